// The program's command line, its version, and where an installed program keeps its working files.
#include "app/commandline.h"
#include "core/files.h"
#include "core/version.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
using Action = CommandLineRequest::Action;

CommandLineRequest read(const QStringList &arguments)
{
    return readCommandLine(QStringList{QStringLiteral("kviro-service")} + arguments);
}

// The environment of a machine without any display, and no platform chosen for Qt.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}
} // namespace

class TstStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void versionFromTheBuild()
    {
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{4}\\.[0-9]{1,2}\\.[0-9]{1,2}$"))
                    .match(kviro::versionNumber())
                    .hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^([0-9a-f]{7,40}\\+?)?$")).match(kviro::buildCommit()).hasMatch());
        QVERIFY(kviro::versionText().startsWith(kviro::versionNumber()));
        if (!kviro::buildCommit().isEmpty())
            QVERIFY(kviro::versionText().endsWith(QStringLiteral("(git %1)").arg(kviro::buildCommit())));
        // The About page's form: day_month_year, two digits each for day and month.
        const QStringList parts = kviro::versionNumber().split(QLatin1Char('.'));
        QCOMPARE(kviro::versionDateText(), QStringLiteral("%1_%2_%3")
                                               .arg(parts[2].toInt(), 2, 10, QLatin1Char('0'))
                                               .arg(parts[1].toInt(), 2, 10, QLatin1Char('0'))
                                               .arg(parts[0]));
    }

    void optionsThatPrint()
    {
        for (const QString &option : {QStringLiteral("--version"), QStringLiteral("-v")}) {
            const auto request = read({option});
            QCOMPARE(request.action, Action::Print);
            QCOMPARE(request.exitCode, 0);
            QCOMPARE(request.text, QStringLiteral("КВИРО-сервис %1\n").arg(kviro::versionText()));
        }
        for (const QString &option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const auto request = read({option});
            QCOMPARE(request.action, Action::Print);
            for (const char *word : {"--help", "--version", "--working-folder", "СОРВИНТ"})
                QVERIFY2(request.text.contains(QString::fromUtf8(word)), word);
        }
        const auto folder = read({QStringLiteral("--working-folder")});
        QCOMPARE(folder.action, Action::Print);
        QCOMPARE(folder.text, QDir::toNativeSeparators(files::programDir()) + QLatin1Char('\n'));
    }

    void optionsOfTheGuiAndMistakes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("named"); // what a refusal names

        const auto row = [](const char *name, const QStringList &arguments, Action action, const QString &named = {}) {
            QTest::newRow(name) << arguments << int(action) << named;
        };
        row("none", {}, Action::OpenWindow);
        // Qt's own options, with their values, are left for the GUI; "-reverse" is not -r -e -v ...
        row("qt options", {"-platform", "offscreen", "-reverse", "-style", "fusion"}, Action::OpenWindow);
        row("qt options, two dashes", {"--platform", "xcb", "--display", ":1", "-geometry", "800x500+0+0"},
            Action::OpenWindow);
        row("qt option with =", {"-style=fusion"}, Action::OpenWindow);
        row("qt options then --version", {"-platform", "offscreen", "-reverse", "--version"}, Action::Print);
        row("unknown option", {"--bogus"}, Action::Refuse, "bogus");
        row("typo", {"--verison"}, Action::Refuse, "verison");
        row("unknown single dash word", {"-bogus"}, Action::Refuse, "bogus");
        row("unknown beside qt options", {"-style", "fusion", "--bogus"}, Action::Refuse, "bogus");
        row("stray argument", {"plate.txt"}, Action::Refuse, "plate.txt");
        row("value of a qt option missing", {"-platform"}, Action::Refuse, "platform");
    }

    void optionsOfTheGuiAndMistakes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, named);
        const auto request = read(arguments);
        QCOMPARE(int(request.action), action);
        if (request.action == Action::Refuse) {
            QCOMPARE(request.exitCode, 2);
            QVERIFY2(request.text.contains(named), qPrintable(request.text));
            QVERIFY(request.text.contains(QStringLiteral("--help")));
        }
    }

    void installedProgramKeepsFilesPerUser()
    {
        // Run as root the system's program folder can be written; the files still go per user.
        const QString data = files::programDirFor(QStringLiteral("/usr/bin"));
        QVERIFY(!data.startsWith(QStringLiteral("/usr/")));
        QVERIFY(QFileInfo(data).isDir());
        QCOMPARE(files::programDirFor(QStringLiteral("/usr/local/bin/")), data);
        QVERIFY(!QFile::exists(QStringLiteral("/usr/bin/.kviro-write-probe")));

        // A program unpacked into a folder of its own keeps its files beside it.
        QTemporaryDir own;
        QCOMPARE(files::programDirFor(own.path()), own.path() + QLatin1Char('/'));
    }

    // The user's folder under its plain name, and the folder of the earlier name: what is in it is
    // never lost and stays where both the new and an older version find it.
    void userFolderAndTheEarlierName_data()
    {
        QTest::addColumn<QStringList>("before"); // "old/NAME", "new/NAME": files; "new=file"; "old->new"
        QTest::addColumn<QString>("used");       // "new" or "old"
        QTest::addColumn<QStringList>("inUsed"); // files then found in the folder used

        QTest::newRow("first start") << QStringList{} << "new" << QStringList{};
        QTest::newRow("earlier folder moved whole")
            << QStringList{"old/MSTempProtokol.txt", "old/logs/2026-12-01.log", "old/BDTSBackup/BDTS_1.bdts"} << "new"
            << QStringList{"MSTempProtokol.txt", "logs/2026-12-01.log", "BDTSBackup/BDTS_1.bdts"};
        QTest::newRow("already moved") << QStringList{"new/a.txt", "old->new"} << "new" << QStringList{"a.txt"};
        QTest::newRow("both there: the earlier one is left alone")
            << QStringList{"new/a.txt", "old/b.txt"} << "new" << QStringList{"a.txt"};
        QTest::newRow("new name taken by a file: the earlier folder stays in use")
            << QStringList{"new=file", "old/b.txt"} << "old" << QStringList{"b.txt"};
    }

    void userFolderAndTheEarlierName()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, used);
        QFETCH(QStringList, inUsed);
        QTemporaryDir home;
        const QDir dir(home.path());
        const QString newFolder = dir.filePath(QStringLiteral("kviro-service"));
        const QString oldFolder = dir.filePath(QStringLiteral("КВИРО-сервис 2011_01_01 (3070)"));
        QStringList oldFiles;
        for (const QString &entry : before) {
            if (entry == QLatin1String("new=file")) {
                QVERIFY(files::writeWhole(newFolder, "not a folder"));
            } else if (entry == QLatin1String("old->new")) {
                QVERIFY(QFile::link(newFolder, oldFolder));
            } else {
                const QString path = dir.filePath(entry.startsWith(QLatin1String("old/")) ? oldFolder : newFolder)
                    + entry.mid(3);
                QVERIFY(QDir().mkpath(QFileInfo(path).path()));
                QVERIFY(files::writeWhole(path, entry.toUtf8()));
                if (entry.startsWith(QLatin1String("old/")))
                    oldFiles << entry;
            }
        }

        const QString folder = files::userFolderIn(home.path());
        QCOMPARE(folder, (used == QLatin1String("new") ? newFolder : oldFolder) + QLatin1Char('/'));
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(files::userFolderIn(home.path()), folder); // the next start uses the same
        for (const QString &name : inUsed)
            QVERIFY2(QFile::exists(folder + name), qPrintable(name));
        // Whatever the earlier folder held can still be read under its old name, with its content.
        for (const QString &entry : oldFiles) {
            QByteArray bytes;
            QVERIFY2(files::readWhole(oldFolder + entry.mid(3), &bytes), qPrintable(entry));
            QCOMPARE(bytes, entry.toUtf8());
        }
        if (before.contains(QStringLiteral("new=file")))
            QVERIFY(QFileInfo(newFolder).isFile());
    }

    void theProgramAnswersWithoutADisplay()
    {
        QProcess program;
        program.setProcessEnvironment(withoutDisplay());
        program.start(QStringLiteral(KVIRO_SERVICE_EXE), {QStringLiteral("--version")});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(program.readAllStandardOutput()),
                 QStringLiteral("КВИРО-сервис %1\n").arg(kviro::versionText()));

        program.start(QStringLiteral(KVIRO_SERVICE_EXE), {QStringLiteral("--help")});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QString::fromUtf8(program.readAllStandardOutput()).contains(QStringLiteral("--working-folder")));

        // A mistaken option is refused with exit code 2 before any window system is needed.
        program.start(QStringLiteral(KVIRO_SERVICE_EXE), {QStringLiteral("-style"), QStringLiteral("fusion"),
                                                          QStringLiteral("--verison")});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 2);
        const QString complaint = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(complaint.contains(QStringLiteral("verison")), qPrintable(complaint));
        QVERIFY2(!complaint.contains(QStringLiteral("style")), qPrintable(complaint));
        QVERIFY(program.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
