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

CommandLineRequest read(const QStringList &arguments, UnknownOptions unknown = UnknownOptions::Refuse)
{
    return readCommandLine(QStringList{QStringLiteral("kviro-service")} + arguments, unknown);
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

    void optionsOfTheGuiAndMistakes()
    {
        // Before the GUI has taken its own options they are not mistakes, and "-reverse" is not -v.
        const QStringList qtOptions{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-reverse")};
        QCOMPARE(read(qtOptions, UnknownOptions::LeaveToGui).action, Action::OpenWindow);
        QCOMPARE(read(qtOptions + QStringList{QStringLiteral("--version")}, UnknownOptions::LeaveToGui).action,
                 Action::Print);
        QCOMPARE(read({}).action, Action::OpenWindow);

        const auto typo = read({QStringLiteral("--verison")});
        QCOMPARE(typo.action, Action::Refuse);
        QCOMPARE(typo.exitCode, 2);
        QVERIFY(typo.text.contains(QStringLiteral("verison")));
        QVERIFY(typo.text.contains(QStringLiteral("--help")));
        const auto extra = read({QStringLiteral("plate.txt")});
        QCOMPARE(extra.action, Action::Refuse);
        QVERIFY(extra.text.contains(QStringLiteral("plate.txt")));
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

        // A mistaken option is refused once the GUI has taken its own, before any window opens.
        QProcessEnvironment offscreen = withoutDisplay();
        offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(offscreen);
        program.start(QStringLiteral(KVIRO_SERVICE_EXE), {QStringLiteral("-style"), QStringLiteral("fusion"),
                                                          QStringLiteral("--verison")});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 2);
        const QString complaint = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(complaint.contains(QStringLiteral("verison")), qPrintable(complaint));
        QVERIFY2(!complaint.contains(QStringLiteral("style")), qPrintable(complaint));
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
