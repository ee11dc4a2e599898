// kviro-cli against the virtual instrument: each command over a pseudo-terminal, its output and
// exit code, and a failed job of each kind (no answer, boot loader absent, port lost, an
// unreadable file, Ctrl-C).
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "cli/progress.h"
#include "core/cp1251.h"
#include "core/files.h"
#include "core/version.h"
#include "reader/xlsxreadback.h"
#include "sim/bdts_sim.h"
#include "sim/boot_sim.h"
#include "sim/reader_sim.h"
#include "sim/virtualinstrument.h"
#include "support/clirun.h"
#include "support/smalldisk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QMap>

#include <csignal>

#include <sys/stat.h>
#include <functional>

namespace {
QByteArray w(const char *utf8) { return cp1251::encode(QString::fromUtf8(utf8)); }

// Three pages in the order the lists keep: two test systems and the dated descriptor page.
QByteArray smallDatabase(quint32 seed = 7)
{
    return bdts::makeImage(bdts::makeTestSystem(w("Гепатиты"), w("HBsAg"), w("ИФА-1"), 1, seed) +
                               bdts::makeTestSystem(w("Гепатиты"), w("HBsAg"), w("ИФА-2"), 1, seed + 1),
                           bdts::descriptorPage(QDate(2009, 3, 5), QDate(2010, 11, 17)));
}

// A table reply as the instrument writes it (tag 'D', 8 rows of 12 six-character fields, two
// separators after each, CR at each row end: 777 bytes): field r.0cc, one "OVER".
QByteArray knownTable()
{
    QByteArray reply("D");
    for (int r = 1; r <= 8; ++r) {
        for (int c = 1; c <= 12; ++c) {
            QByteArray field = " " + QByteArray::number(r) + ".0" + QByteArray::number(c).rightJustified(2, '0');
            if (r == 2 && c == 3)
                field = "  OVER";
            reply += field + " \t";
        }
        reply += '\r';
    }
    return reply;
}

QByteArray pattern(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 13 + (i >> 7)) & 0xFF);
    return b;
}

using Run = CliRun;
} // namespace

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_ports, m_work;
    std::unique_ptr<VirtualInstrument> m_vi;

    VirtualInstrument &vi() { return *m_vi; }
    QString work(const QString &name) const { return QDir(m_work.path()).filePath(name); }
    // Environment variables the next runs of kviro-cli do not get, and those they get instead.
    QStringList m_unset;
    QMap<QString, QString> m_env;
    // The working folder of the next runs, when not the test's own.
    QString m_workDir;

    // Runs kviro-cli with the port folder of the test; `during` is called every few milliseconds
    // while it runs (with the elapsed time) to act on the instrument or the process.
    Run cli(QStringList args, const std::function<void(QProcess &, qint64)> &during = {}, int maxMs = 120000)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVIRO_SERIALCOMM"), m_ports.path());
        for (const QString &name : m_unset)
            env.remove(name);
        for (auto it = m_env.cbegin(); it != m_env.cend(); ++it)
            env.insert(it.key(), it.value());
        args << QStringLiteral("--work-dir") << (m_workDir.isEmpty() ? m_work.path() : m_workDir);
        return runProgram(QStringLiteral(KVIRO_CLI_PATH), args, env, during, maxMs);
    }

    // What the PC sent to the instrument since the last call.
    QByteArray sent()
    {
        const QByteArray b = vi().core().received();
        vi().core().clearReceived();
        return b;
    }

private slots:
    void init()
    {
        m_vi = std::make_unique<VirtualInstrument>(m_ports.path(), 3);
        QVERIFY(m_vi->powerOn());
        m_vi->boot().setProgrammingMs(200);
        m_vi->boot().setRestartGapMs(300);
    }
    void cleanup()
    {
        m_unset.clear();
        m_env.clear();
        m_workDir.clear();
        m_vi.reset();
        QDir(m_ports.path()).removeRecursively();
        QDir().mkpath(m_ports.path());
    }

    void usageHelpAndVersion()
    {
        QCOMPARE(cli({}).exitCode, 2);
        const Run unknown = cli({QStringLiteral("frobnicate")});
        QCOMPARE(unknown.exitCode, 2);
        QVERIFY(unknown.err.contains(QStringLiteral("frobnicate")));
        QCOMPARE(cli({QStringLiteral("od")}).exitCode, 2);
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("extra")}).exitCode, 2);
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("--baud"), QStringLiteral("1234")}).exitCode, 2);
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("--timeout"), QStringLiteral("zero")}).exitCode, 2);
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("--no-wait")}).exitCode, 2);
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("--bogus")}).exitCode, 2);
        const QStringList commands = {QStringLiteral("ports"),   QStringLiteral("probe"),    QStringLiteral("od"),
                                      QStringLiteral("protocol"), QStringLiteral("db-read"), QStringLiteral("db-write"),
                                      QStringLiteral("db-list"), QStringLiteral("flash")};
        for (const QString &c : commands) {
            const Run help = cli({c, QStringLiteral("--help")});
            QCOMPARE(help.exitCode, 0);
            QVERIFY2(help.out.contains(QStringLiteral("kviro-cli ") + c), qPrintable(help.out));
        }
        QCOMPARE(cli({QStringLiteral("--help")}).exitCode, 0);
        const Run version = cli({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out.trimmed(), QStringLiteral("kviro-cli ") + kviro::versionText());
        // Usage errors in JSON too; nothing reached the instrument.
        const Run json = cli({QStringLiteral("--json"), QStringLiteral("frobnicate")});
        QCOMPARE(json.exitCode, 2);
        QCOMPARE(json.json().value(QStringLiteral("exitCode")).toInt(), 2);
        QCOMPARE(json.json().value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(json.json().value(QStringLiteral("version")).toString(), kviro::versionText());
        QCOMPARE(sent(), QByteArray());
    }

    void portsTable()
    {
        // A second entry whose device does not exist.
        QVERIFY(QFile::link(QDir(m_ports.path()).filePath(QStringLiteral("gone")), QDir(m_ports.path()).filePath(QStringLiteral("COM5"))));
        const Run r = cli({QStringLiteral("ports")});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        const QString com3 = lines.filter(QStringLiteral("COM3 ")).value(0);
        const QString com5 = lines.filter(QStringLiteral("COM5 ")).value(0);
        QVERIFY2(com3.contains(QStringLiteral("открывается")) && com3.contains(vi().port().slavePath()), qPrintable(r.out));
        QVERIFY2(com5.contains(QStringLiteral("не найден")), qPrintable(r.out));
        const Run json = cli({QStringLiteral("ports"), QStringLiteral("--json")});
        const QJsonArray ports = json.json().value(QStringLiteral("ports")).toArray();
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports.at(0).toObject().value(QStringLiteral("opens")).toBool(), true);
        QCOMPARE(ports.at(1).toObject().value(QStringLiteral("opens")).toBool(), false);
        // One port by its number, or a device by its path.
        const Run one = cli({QStringLiteral("ports"), QStringLiteral("--port"), QStringLiteral("com5"), QStringLiteral("--json")});
        QCOMPARE(one.json().value(QStringLiteral("ports")).toArray().size(), 1);
        const Run device = cli({QStringLiteral("ports"), QStringLiteral("--port"), vi().port().slavePath()});
        QVERIFY2(device.out.contains(QStringLiteral("открывается")), qPrintable(device.out));
        QCOMPARE(sent(), QByteArray()); // opening is not talking
    }

    void timeLimitsOutsideTheirRangeAreRefused_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("value");
        for (const char *v : {"nan", "NaN", "inf", "-inf", "-1", "0", "0.0004", "1e-9", "86401", "1e300"}) {
            QTest::newRow(qPrintable(QStringLiteral("timeout ") + QLatin1String(v))) << QStringLiteral("--timeout") << QString::fromLatin1(v);
            QTest::newRow(qPrintable(QStringLiteral("restart ") + QLatin1String(v)))
                << QStringLiteral("--restart-timeout") << QString::fromLatin1(v);
        }
    }
    void timeLimitsOutsideTheirRangeAreRefused()
    {
        // NaN and values that would round to no limit never reach the wait: the silent instrument
        // is never asked.
        QFETCH(QString, option);
        QFETCH(QString, value);
        vi().core().setSilent(true);
        const QString command = option == QLatin1String("--timeout") ? QStringLiteral("probe") : QStringLiteral("flash");
        const QString given = option + QLatin1Char('=') + value;
        const QStringList args = command == QLatin1String("probe") ? QStringList{command, given}
                                                                   : QStringList{command, QStringLiteral("x.tsk"), given};
        const Run r = cli(args, {}, 20000);
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("от 0.001 до 86400")), qPrintable(r.err));
        QCOMPARE(sent(), QByteArray());
    }

    void helpSaysZeroIsNoLimitNowhere()
    {
        const Run help = cli({QStringLiteral("probe"), QStringLiteral("--help")});
        QVERIFY2(help.out.contains(QStringLiteral("0 не означает \"без ограничения\" и не допускается")), qPrintable(help.out));
        // The smallest allowed limit is a real one: a silent instrument ends the probe.
        vi().core().setSilent(true);
        const Run r = cli({QStringLiteral("probe"), QStringLiteral("--timeout"), QStringLiteral("0.001")}, {}, 20000);
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 1);
    }

    void portsSayWhatWasLookedAt()
    {
        // A device that does not exist: a failure with the advice for that cause.
        Run r = cli({QStringLiteral("ports"), QStringLiteral("--port"), QStringLiteral("/dev/nonexistent"), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.json().value(QStringLiteral("ok")).toBool(true), false);
        QVERIFY2(r.json().value(QStringLiteral("advice")).toString().contains(QStringLiteral("Такого порта нет")), qPrintable(r.out));
        r = cli({QStringLiteral("probe"), QStringLiteral("--port"), QStringLiteral("/dev/nonexistent")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Такого порта нет")) && !r.err.contains(QStringLiteral("Включите прибор")), qPrintable(r.err));
        // The folder of port links does not exist, or holds no COM<n>.
        const QString missing = work(QStringLiteral("no-such-folder"));
        m_env.insert(QStringLiteral("KVIRO_SERIALCOMM"), missing);
        r = cli({QStringLiteral("ports")});
        QVERIFY2(r.out.contains(QStringLiteral("папки %1 (KVIRO_SERIALCOMM) нет").arg(missing)), qPrintable(r.out));
        r = cli({QStringLiteral("probe")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("папки %1 (KVIRO_SERIALCOMM) нет").arg(missing)), qPrintable(r.err));
        QVERIFY(QDir().mkpath(missing));
        r = cli({QStringLiteral("ports")});
        QVERIFY2(r.out.contains(QStringLiteral("нет ссылок COM<n>")), qPrintable(r.out));
        QCOMPARE(sent(), QByteArray());
    }

    // The port folder stands in for the registry: a port above COM16 is listed with the reason it
    // is not used, never lost behind a "no ports" message; names that are no port are left out.
    void portsAboveCom16AreNamed_data()
    {
        QTest::addColumn<QStringList>("entries"); // COM3 is the instrument, the rest lead nowhere
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("unused");
        QTest::newRow("COM3 only") << QStringList{"COM3"} << QStringList{"COM3"} << QStringList();
        QTest::newRow("COM17 only") << QStringList{"COM17"} << QStringList() << QStringList{"COM17"};
        QTest::newRow("COM3 and COM20") << QStringList{"COM20", "COM3"} << QStringList{"COM3"} << QStringList{"COM20"};
        QTest::newRow("junk names") << QStringList{"COMx", "COM", "COM0", "notes"} << QStringList() << QStringList();
    }
    void portsAboveCom16AreNamed()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, unused);
        QTemporaryDir table;
        for (const QString &e : entries)
            QVERIFY(QFile::link(e == QLatin1String("COM3") ? vi().port().slavePath() : QStringLiteral("/dev/null"), QDir(table.path()).filePath(e)));
        m_env.insert(QStringLiteral("KVIRO_SERIALCOMM"), table.path());
        const Run r = cli({QStringLiteral("ports"), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QStringList gotListed, gotUnused;
        for (const auto &p : r.json().value(QStringLiteral("ports")).toArray())
            gotListed << p.toObject().value(QStringLiteral("port")).toString();
        for (const auto &p : r.json().value(QStringLiteral("unused")).toArray())
            gotUnused << p.toObject().value(QStringLiteral("port")).toString() + ": " + p.toObject().value(QStringLiteral("reason")).toString();
        QCOMPARE(gotListed, listed);
        for (QString &u : unused)
            u += QStringLiteral(": программа работает только с портами COM1–COM16");
        QCOMPARE(gotUnused, unused);
        if (listed.isEmpty()) // the message says what was there
            QVERIFY2(r.json().value(QStringLiteral("message")).toString().contains(unused.isEmpty() ? QStringLiteral("нет ссылок COM<n>") : QStringLiteral("Не используются: COM17")), qPrintable(r.out));
        // The search without a port takes only what is listed; an unused port named is refused.
        const Run probe = cli({QStringLiteral("probe")}, {}, 30000);
        QCOMPARE(probe.exitCode, listed.isEmpty() ? 1 : 0);
        const QString name = unused.value(0).section(QLatin1Char(':'), 0, 0);
        for (const QString &command : {QStringLiteral("ports"), QStringLiteral("probe")}) {
            if (name.isEmpty())
                break;
            const Run named = cli({command, QStringLiteral("--port"), name});
            QCOMPARE(named.exitCode, 1);
            QVERIFY2(named.err.contains(name) && named.err.contains(QStringLiteral("программа работает только с портами COM1–COM16")), qPrintable(named.err));
        }
        QCOMPARE(sent(), QByteArray(listed.isEmpty() ? "" : "l"));
    }

    void outputsThatCannotBeWrittenAreRefusedFirst_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("out");
        for (const char *c : {"db-read", "od", "protocol"}) {
            QTest::newRow(qPrintable(QLatin1String(c) + QStringLiteral(" folder"))) << QString::fromLatin1(c) << QStringLiteral(".");
            QTest::newRow(qPrintable(QLatin1String(c) + QStringLiteral(" missing folder")))
                << QString::fromLatin1(c) << QStringLiteral("missing/out.txt");
        }
    }
    void outputsThatCannotBeWrittenAreRefusedFirst()
    {
        QFETCH(QString, command);
        QFETCH(QString, out);
        const Run r = cli({command, QDir(m_work.path()).filePath(out)});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("папка, а не файл")) || r.err.contains(QStringLiteral("нет: файл")), qPrintable(r.err));
        QCOMPARE(sent(), QByteArray()); // not even the probe
    }

    void legacyFileNeverReplacesAnotherDatabase()
    {
        const QByteArray image = smallDatabase();
        const QByteArray other = smallDatabase(40);
        files::writeWhole(work(QStringLiteral("b.bdt")), bdts::toLegacy(image));
        files::writeWhole(work(QStringLiteral("b.bdts")), other);
        Run r = cli({QStringLiteral("db-write"), work(QStringLiteral("b.bdt"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("--replace")), qPrintable(r.err));
        QByteArray kept;
        QVERIFY(files::readWhole(work(QStringLiteral("b.bdts")), &kept));
        QCOMPARE(kept, other);
        QCOMPARE(sent(), QByteArray());
        // Allowed: converted beside it and written.
        r = cli({QStringLiteral("db-write"), work(QStringLiteral("b.bdt")), QStringLiteral("--replace")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(files::readWhole(work(QStringLiteral("b.bdts")), &kept));
        QVERIFY(kept != other);
        QCOMPARE(vi().bdts().image(), kept);
        QCOMPARE(cli({QStringLiteral("db-read"), work(QStringLiteral("x.bdts")), QStringLiteral("--replace")}).exitCode, 2);
    }

    void probeAnswersAndSilence()
    {
        Run r = cli({QStringLiteral("probe")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("working"));
        QVERIFY2(!r.err.contains(QLatin1Char('\r')), "no progress bar on a pipe");
        QCOMPARE(sent(), QByteArray("l"));

        vi().core().setMode(InstrumentCore::Mode::Loader);
        r = cli({QStringLiteral("probe"), QStringLiteral("--port"), QStringLiteral("COM3"), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.json().value(QStringLiteral("answer")).toString(), QStringLiteral("boot-loader"));
        QCOMPARE(r.json().value(QStringLiteral("port")).toString(), QStringLiteral("COM3"));

        // The device itself instead of a COM number.
        r = cli({QStringLiteral("probe"), QStringLiteral("--port"), vi().port().slavePath()});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("boot-loader"));

        vi().core().setSilent(true);
        r = cli({QStringLiteral("probe"), QStringLiteral("--timeout"), QStringLiteral("1")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out.trimmed(), QStringLiteral("no answer"));
        QVERIFY2(r.err.contains(QStringLiteral("не отвечает")), qPrintable(r.err));

        r = cli({QStringLiteral("probe"), QStringLiteral("--port"), QStringLiteral("COM7")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("COM7")), qPrintable(r.err));

        vi().powerOff();
        r = cli({QStringLiteral("probe"), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.json().value(QStringLiteral("answer")).toString(), QStringLiteral("no answer"));
    }

    void odTableExactBytes()
    {
        // The file holds the reply with its tag replaced by a blank, nothing added.
        const QByteArray expected = ' ' + vi().reader().tableReply().mid(1);
        QCOMPARE(expected.size(), 777);
        for (const char *name : {"plate.txt", "plate.xls"}) {
            const Run r = cli({QStringLiteral("od"), work(QLatin1String(name))});
            QCOMPARE(r.exitCode, 0);
            QByteArray got;
            QVERIFY(files::readWhole(work(QLatin1String(name)), &got));
            QCOMPARE(got, expected);
        }
        QVERIFY(sent().startsWith("lG"));

        // The instrument answers the probe, then falls silent: no file, exit 1.
        vi().port().setStalled(false);
        vi().reader().setTableReply(vi().reader().tableReply().left(300)); // never complete
        const Run r = cli({QStringLiteral("od"), work(QStringLiteral("short.txt")), QStringLiteral("--timeout"), QStringLiteral("1")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("не отвечает")) && r.err.contains(QStringLiteral("COM3")), qPrintable(r.err));
        QVERIFY(!QFile::exists(work(QStringLiteral("short.txt"))));

        // In the boot loader no table is asked for.
        vi().core().setMode(InstrumentCore::Mode::Loader);
        sent();
        const Run loader = cli({QStringLiteral("od"), work(QStringLiteral("x.txt"))});
        QCOMPARE(loader.exitCode, 1);
        QCOMPARE(sent(), QByteArray("l"));
    }

    void odPlateAsCsvAndWorkbook()
    {
        vi().reader().setTableReply(knownTable());
        QCOMPARE(knownTable().size(), 777);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        Run r = cli({QStringLiteral("od"), work(QStringLiteral("plate.csv"))});
        QCOMPARE(r.exitCode, 0);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);
        QByteArray csv;
        QVERIFY(files::readWhole(work(QStringLiteral("plate.csv")), &csv));
        // The time of reading varies: its line is checked apart, the rest byte for byte.
        const qsizetype firstEnd = csv.indexOf("\r\n");
        QVERIFY(firstEnd > 0);
        const QByteArray head = QByteArray("\xEF\xBB\xBF") + QStringLiteral("Дата и время чтения;").toUtf8();
        QVERIFY2(csv.startsWith(head), csv.left(80).constData());
        const QDateTime readAt = QDateTime::fromString(QString::fromUtf8(csv.mid(head.size(), firstEnd - head.size())),
                                                       QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        QVERIFY(readAt.isValid());
        QVERIFY(readAt >= before.addMSecs(-before.time().msec()) && readAt <= after);
        const QByteArray expected =
            QStringLiteral("Порт;COM3, 115200,n,8,1\r\n"
                           "\r\n"
                           ";1;2;3;4;5;6;7;8;9;10;11;12\r\n"
                           "A;1,001;1,002;1,003;1,004;1,005;1,006;1,007;1,008;1,009;1,010;1,011;1,012\r\n"
                           "B;2,001;2,002;OVER;2,004;2,005;2,006;2,007;2,008;2,009;2,010;2,011;2,012\r\n"
                           "C;3,001;3,002;3,003;3,004;3,005;3,006;3,007;3,008;3,009;3,010;3,011;3,012\r\n"
                           "D;4,001;4,002;4,003;4,004;4,005;4,006;4,007;4,008;4,009;4,010;4,011;4,012\r\n"
                           "E;5,001;5,002;5,003;5,004;5,005;5,006;5,007;5,008;5,009;5,010;5,011;5,012\r\n"
                           "F;6,001;6,002;6,003;6,004;6,005;6,006;6,007;6,008;6,009;6,010;6,011;6,012\r\n"
                           "G;7,001;7,002;7,003;7,004;7,005;7,006;7,007;7,008;7,009;7,010;7,011;7,012\r\n"
                           "H;8,001;8,002;8,003;8,004;8,005;8,006;8,007;8,008;8,009;8,010;8,011;8,012\r\n")
                .toUtf8();
        QCOMPARE(csv.mid(firstEnd + 2), expected);

        // The workbook, read back independently; the device path given stands for the port.
        const QString device = vi().port().slavePath();
        r = cli({QStringLiteral("od"), work(QStringLiteral("plate.xlsx")), QStringLiteral("--port"), device});
        QCOMPARE(r.exitCode, 0);
        const XlsxReadBack book(work(QStringLiteral("plate.xlsx")));
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheetNames, (QStringList{QStringLiteral("Оптические плотности"), QStringLiteral("Текст прибора")}));
        QVERIFY(book.cell(0, QStringLiteral("B1")).number);
        QCOMPARE(book.cell(0, QStringLiteral("B2")).value, device + QStringLiteral(", 115200,n,8,1"));
        const XlsxCell a1 = book.cell(0, QStringLiteral("B5"));
        QVERIFY(a1.number);
        QCOMPARE(a1.value.toDouble(), 1.001);
        QCOMPARE(book.cell(0, QStringLiteral("M12")).value.toDouble(), 8.012);
        QCOMPARE(book.cell(0, QStringLiteral("D6")).value, QStringLiteral("OVER"));
        QVERIFY(sent().startsWith("lG"));

        // A file that cannot be written: the table was read, the job failed, nothing left behind.
        r = cli({QStringLiteral("od"), work(QStringLiteral("no/such/folder/plate.xlsx"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("plate.xlsx")), qPrintable(r.err));
    }

    void protocolExactBytesAndRefusal()
    {
        vi().reader().setProtocol(QStringLiteral("12"), QStringLiteral("03.04.11"));
        const QByteArray body = vi().reader().protocolBody();
        const Run r = cli({QStringLiteral("protocol"), work(QStringLiteral("res.txt")), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QByteArray got;
        QVERIFY(files::readWhole(work(QStringLiteral("res.txt")), &got));
        QCOMPARE(got, body);
        QCOMPARE(r.json().value(QStringLiteral("bytes")).toInt(), body.size());
        QCOMPARE(sent(), QByteArray("lgd"));

        // As PDF, drawn offscreen even when the environment names no platform.
        m_unset << QStringLiteral("QT_QPA_PLATFORM") << QStringLiteral("DISPLAY") << QStringLiteral("WAYLAND_DISPLAY");
        const Run pdf = cli({QStringLiteral("protocol"), work(QStringLiteral("res.pdf"))});
        m_unset.clear();
        QVERIFY2(pdf.exitCode == 0, qPrintable(pdf.err));
        QByteArray document;
        QVERIFY(files::readWhole(work(QStringLiteral("res.pdf")), &document));
        QVERIFY(document.size() > 500);
        QVERIFY(document.startsWith("%PDF"));
        QCOMPARE(sent(), QByteArray("lgd"));

        vi().reader().setAnnouncementOverride(QByteArray("1x2y3"));
        const Run bad = cli({QStringLiteral("protocol"), work(QStringLiteral("bad.txt"))});
        QCOMPARE(bad.exitCode, 1);
        QVERIFY2(bad.err.contains(QStringLiteral("1x2y3")), qPrintable(bad.err));
        QVERIFY(!QFile::exists(work(QStringLiteral("bad.txt"))));
    }

    void dbReadWritesImageAndList()
    {
        const QByteArray image = smallDatabase();
        vi().bdts().setImage(image);
        const Run r = cli({QStringLiteral("db-read"), work(QStringLiteral("sor.bdts"))});
        QCOMPARE(r.exitCode, 0);
        QByteArray got;
        QVERIFY(files::readWhole(work(QStringLiteral("sor.bdts")), &got));
        QCOMPARE(got, image);
        QVERIFY2(r.out.contains(QStringLiteral("Гепатиты\n\tHBsAg\n\t\tИФА-1\n\t\tИФА-2\n")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10")));
        QVERIFY(r.out.contains(QStringLiteral("Тест-систем: 2, страниц: 3")));
        QVERIFY(r.out.contains(QStringLiteral("Принято из прибора страниц: 3\n")));
        QCOMPARE(sent(), QByteArray("lRrrr"));
    }

    void dbWriteBacksUpWritesAndChecks()
    {
        const QByteArray before = smallDatabase(40);
        const QByteArray file = smallDatabase(50);
        vi().bdts().setImage(before);
        files::writeWhole(work(QStringLiteral("new.bdts")), file);
        Run r = cli({QStringLiteral("db-write"), work(QStringLiteral("new.bdts")), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(vi().bdts().image(), file);
        QCOMPARE(vi().bdts().writesCompleted(), 1);
        const QString backup = r.json().value(QStringLiteral("backup")).toString();
        QByteArray kept;
        QVERIFY2(files::readWhole(backup, &kept), qPrintable(backup));
        QCOMPARE(kept, before);
        // Backup read, write ("M", 3 pages each after an 'm'), read-back.
        const QByteArray wire = sent();
        QVERIFY(wire.startsWith("lRrrrM\x00\x03m"));
        QVERIFY(wire.endsWith("Rrrr"));

        // A page that the instrument stores wrongly is found by the read-back.
        vi().bdts().corruptNextWrite(1);
        r = cli({QStringLiteral("db-write"), work(QStringLiteral("new.bdts"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("отличается")) && r.err.contains(QStringLiteral("страница 2 из 3")), qPrintable(r.err));

        // An unreadable file never reaches the instrument.
        sent();
        r = cli({QStringLiteral("db-write"), m_work.path()});
        QCOMPARE(r.exitCode, 1);
        r = cli({QStringLiteral("db-write"), work(QStringLiteral("missing.bdts"))});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(sent(), QByteArray());
    }

    // A full disk: nothing is claimed, a good file stays, and the instrument's database is not
    // written over without a complete backup.
    void fullDiskStopsTheJob_data()
    {
        QTest::addColumn<QString>("job");
        QTest::newRow("table as a workbook") << "od";
        QTest::newRow("table over a good file") << "od-over";
        QTest::newRow("database write without its backup") << "db-write";
    }
    void fullDiskStopsTheJob()
    {
        QFETCH(QString, job);
        SmallDisk disk(work(QStringLiteral("disk-") + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'))));
        if (!disk.ok())
            QSKIP(disk.why().constData());
        const QString target = QDir(disk.folder()).filePath(QStringLiteral("plate.xlsx"));
        const QByteArray before = smallDatabase(40);
        vi().bdts().setImage(before);
        QVERIFY(files::writeWhole(work(QStringLiteral("new.bdts")), smallDatabase(50)));
        if (job == QLatin1String("od-over"))
            QVERIFY(files::writeWhole(target, "the good file"));
        disk.fill();
        Run r;
        if (job == QLatin1String("db-write")) {
            m_workDir = disk.folder(); // the backups and the journal go to the full disk
            r = cli({QStringLiteral("db-write"), work(QStringLiteral("new.bdts"))});
        } else {
            r = cli({QStringLiteral("od"), target});
        }
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("На диске нет свободного места")), qPrintable(r.err));
        if (job == QLatin1String("db-write")) {
            QVERIFY2(r.err.contains(QStringLiteral("резервн")), qPrintable(r.err));
            QCOMPARE(vi().bdts().image(), before);
            QCOMPARE(vi().bdts().writesCompleted(), 0);
            QVERIFY(!sent().contains('M'));
        } else {
            QByteArray kept;
            const bool there = files::readWhole(target, &kept);
            QCOMPARE(there, job == QLatin1String("od-over"));
            if (there)
                QCOMPARE(kept, QByteArray("the good file"));
        }
    }

    // Devices and FIFOs in place of a file: refused at once with the file's name, never read
    // without end nor waited on; a FIFO in place of the day's journal does not hold the exit.
    void specialFilesAreRefused_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("file");
        for (const char *command : {"db-list", "db-write", "flash"}) {
            QTest::addRow("%s on an endless device", command) << command << "/dev/zero";
            QTest::addRow("%s on a FIFO", command) << command << "fifo";
        }
        QTest::newRow("FIFO as the day's journal") << "db-list" << "journal-fifo";
    }
    void specialFilesAreRefused()
    {
        QFETCH(QString, command);
        QFETCH(QString, file);
        QTemporaryDir own;
        m_workDir = own.path();
        QString path = file;
        if (file == QLatin1String("fifo")) {
            path = work(QStringLiteral("pipe.bdts"));
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (file == QLatin1String("journal-fifo")) {
            const QString logs = QDir(own.path()).filePath(QStringLiteral("logs"));
            QVERIFY(QDir().mkpath(logs));
            const QString day = QDir(logs).filePath(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
            QCOMPARE(::mkfifo(QFile::encodeName(day).constData(), 0600), 0);
            path = work(QStringLiteral("listed.bdts"));
            QVERIFY(files::writeWhole(path, smallDatabase()));
        }
        if (command == QLatin1String("flash"))
            vi().boot().switchOnWithStylus();
        sent();
        const Run r = cli({command, path}, {}, 20000);
        QVERIFY2(r.finished, "kviro-cli still ran after 20 s");
        if (file == QLatin1String("journal-fifo")) {
            QCOMPARE(r.exitCode, 0);
            return;
        }
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QDir::toNativeSeparators(path)), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("не обычный файл")), qPrintable(r.err));
        QVERIFY(!sent().contains(command == QLatin1String("flash") ? '\x55' : 'M'));
        if (file == QLatin1String("fifo"))
            QFile::remove(path); // only the FIFO made here, never the device
    }

    void dbListWithoutInstrument()
    {
        vi().powerOff();
        const QByteArray image = smallDatabase();
        files::writeWhole(work(QStringLiteral("old.bdt")), bdts::toLegacy(image));
        Run r = cli({QStringLiteral("db-list"), work(QStringLiteral("old.bdt"))});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("\t\tИФА-2\n")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("Тест-систем: 2, страниц: 3 (файл формата 528)")));
        QVERIFY(!QFile::exists(work(QStringLiteral("old.bdts")))); // listing writes nothing

        files::writeWhole(work(QStringLiteral("text.bdts")), "no database here");
        QCOMPARE(cli({QStringLiteral("db-list"), work(QStringLiteral("text.bdts"))}).exitCode, 1);
        r = cli({QStringLiteral("db-list"), work(QStringLiteral("missing.bdts"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(QStringLiteral("missing.bdts")));
    }

    void journalKeepsEachJob()
    {
        // The day's journal in the working folder; earlier tests may have written to it already.
        const QString log = QDir(work(QStringLiteral("logs"))).filePath(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                                                                     QStringLiteral(".log"));
        QByteArray before;
        files::readWhole(log, &before);
        vi().bdts().setImage(smallDatabase());
        QCOMPARE(cli({QStringLiteral("db-read"), work(QStringLiteral("journal.bdts"))}).exitCode, 0);
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("--port"), QStringLiteral("COM7")}).exitCode, 1);
        QCOMPARE(cli({QStringLiteral("db-list"), work(QStringLiteral("absent.bdts"))}).exitCode, 1);
        // A file that is no database (a status text that warns), and a read whose file cannot be
        // written (a message box).
        QVERIFY(files::writeWhole(work(QStringLiteral("junk.bdts")), QByteArray("no database here")));
        QCOMPARE(cli({QStringLiteral("db-write"), work(QStringLiteral("junk.bdts"))}).exitCode, 1);
        QCOMPARE(cli({QStringLiteral("db-read"), work(QStringLiteral("no/such/folder/x.bdts"))}).exitCode, 1);
        QByteArray after;
        QVERIFY(files::readWhole(log, &after));
        QVERIFY(after.startsWith(before)); // appended to, never rewritten
        QStringList lines = QString::fromUtf8(after.mid(before.size())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // Each line: time, kind, text.
        for (QString &line : lines) {
            const QStringList parts = line.split(QLatin1Char('\t'));
            QCOMPARE(parts.size(), 3);
            QVERIFY(QTime::fromString(parts.at(0), QStringLiteral("HH:mm:ss.zzz")).isValid());
            line = parts.at(1) + QLatin1Char(' ') + parts.at(2);
        }
        const QString all = lines.join(QLatin1Char('\n'));
        auto has = [&](const QString &start, const QString &part = {}) {
            for (const QString &line : lines)
                if (line.startsWith(start) && line.contains(part))
                    return true;
            return false;
        };
        const QString dbRead = QStringLiteral("info kviro-cli db-read ") + QDir::toNativeSeparators(work(QStringLiteral("journal.bdts")));
        QVERIFY2(has(dbRead + QStringLiteral(": начало.")), qPrintable(all));
        // The job's exchange, journalled by the operation: its end with the outcome, the port, and
        // the bytes the line carried (the request and 3 pages), then the job's own end.
        const QString exchange = QStringLiteral("exchange Чтение БД ТС из прибора: ");
        QVERIFY2(has(exchange + QStringLiteral("начало.")), qPrintable(all));
        QVERIFY2(has(exchange + QStringLiteral("конец — БД ТС прибора прочитана"), QStringLiteral("Порт COM3.")), qPrintable(all));
        QVERIFY2(has(exchange + QStringLiteral("конец"), QStringLiteral("отправлено байт: 4, принято байт: ")), qPrintable(all));
        QVERIFY2(has(QStringLiteral("info kviro-cli db-read: БД ТС прибора записана в файл"), QStringLiteral("Порт COM3")), qPrintable(all));
        // Every exchange that starts ends once.
        QMap<QString, int> open;
        for (const QString &line : lines) {
            if (!line.startsWith(QStringLiteral("exchange ")))
                continue;
            const QString what = line.section(QStringLiteral(": "), 0, 0);
            if (line.endsWith(QStringLiteral(": начало.")))
                ++open[what];
            else if (line.contains(QStringLiteral(": конец")))
                --open[what];
        }
        for (auto it = open.cbegin(); it != open.cend(); ++it)
            QVERIFY2(it.value() == 0, qPrintable(it.key() + QLatin1Char('\n') + all));
        // The status line's counter and the file written.
        QVERIFY2(has(QStringLiteral("info Принято из прибора страниц: 3")) || has(QStringLiteral("info "), QStringLiteral("страниц: 3")),
                 qPrintable(all));
        QVERIFY2(has(QStringLiteral("file "), QDir::toNativeSeparators(work(QStringLiteral("journal.bdts")))), qPrintable(all));
        // Failed jobs: an exchange that ended, and an error entry with the advice; a job without
        // the instrument as plain entries.
        QVERIFY2(has(QStringLiteral("exchange kviro-cli probe: конец — Порт COM7 не найден")), qPrintable(all));
        QVERIFY2(has(QStringLiteral("error kviro-cli probe: Порт COM7 не найден"), QStringLiteral("(код 1)")), qPrintable(all));
        QVERIFY2(has(QStringLiteral("info kviro-cli db-list"), QStringLiteral(": начало.")), qPrintable(all));
        QVERIFY2(has(QStringLiteral("error kviro-cli db-list: "), QStringLiteral("absent.bdts")), qPrintable(all));
        QVERIFY2(has(QStringLiteral("warning Файл junk.bdts не содержит БД ТС")), qPrintable(all));
        // The read into a missing folder is refused before the instrument is asked: the job's own
        // error entry, no message box of a failed write.
        int errors = 0;
        for (const QString &line : lines)
            if (line.startsWith(QStringLiteral("error ")) && line.contains(QStringLiteral("x.bdts")))
                ++errors;
        QVERIFY2(errors == 1 && has(QStringLiteral("error kviro-cli db-read"), QStringLiteral("не может быть записан")), qPrintable(all));
        // Help and usage errors touch no journal.
        QCOMPARE(cli({QStringLiteral("probe"), QStringLiteral("--bogus")}).exitCode, 2);
        QCOMPARE(cli({QStringLiteral("--version")}).exitCode, 0);
        QByteArray last;
        QVERIFY(files::readWhole(log, &last));
        QCOMPARE(last.size(), after.size());
    }

    void portLostMidRead()
    {
        bdts::GenOptions o;
        o.targetPages = 60;
        vi().bdts().setImage(bdts::generateImage(o));
        vi().port().setLineRate(5000);
        const Run r = cli({QStringLiteral("db-read"), work(QStringLiteral("lost.bdts"))}, [this](QProcess &, qint64) {
            if (vi().isOn() && vi().bdts().pagesServed() >= 5)
                vi().powerOff();
        });
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Порт отключен: чтение БД ТС прервано")), qPrintable(r.err));
        QVERIFY(!QFile::exists(work(QStringLiteral("lost.bdts"))));
    }

    void interruptedRead()
    {
        bdts::GenOptions o;
        o.targetPages = 60;
        vi().bdts().setImage(bdts::generateImage(o));
        vi().port().setLineRate(5000);
        bool signalled = false;
        const Run r = cli({QStringLiteral("db-read"), work(QStringLiteral("int.bdts"))}, [&](QProcess &p, qint64) {
            if (!signalled && vi().bdts().pagesServed() >= 5) {
                signalled = true;
                ::kill(pid_t(p.processId()), SIGINT);
            }
        });
        QVERIFY(signalled);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Чтение БД ТС из прибора прервано")), qPrintable(r.err));
        QVERIFY(vi().bdts().pagesServed() < 60);
    }

    void flashStreamsAndWaitsForRestart()
    {
        const QByteArray image = pattern(12000); // two send ticks
        files::writeWhole(work(QStringLiteral("fw.tsk")), image);
        // The line's own speed: the instrument restarts only after the line has carried the image.
        vi().port().setLineRate(11520);
        vi().boot().switchOnWithStylus();
        const Run r = cli({QStringLiteral("flash"), work(QStringLiteral("fw.tsk"))});
        QVERIFY2(r.exitCode == 0 && r.out.contains(QStringLiteral("завершено")), qPrintable(r.out + r.err + vi().boot().report()));
        QCOMPARE(vi().boot().last().image, image);
        QVERIFY(vi().boot().last().checksumOk);
        QCOMPARE(vi().boot().programmed(), 1);
        QCOMPARE(vi().core().mode(), InstrumentCore::Mode::Working);

        // A boot loader that answers "l" while it programs has not refused the image.
        vi().boot().setAnswersWhileProgramming(true);
        vi().boot().setProgrammingMs(2000);
        vi().boot().switchOnWithStylus();
        const Run answering = cli({QStringLiteral("flash"), work(QStringLiteral("fw.tsk"))});
        QVERIFY2(answering.exitCode == 0 && answering.out.contains(QStringLiteral("завершено")),
                 qPrintable(answering.out + answering.err + vi().boot().report()));
        QCOMPARE(vi().boot().programmed(), 2);
        // One that never restarts is reported once the restart limit has passed.
        vi().boot().setProgrammingMs(60000);
        vi().boot().switchOnWithStylus();
        const Run stuck = cli({QStringLiteral("flash"), work(QStringLiteral("fw.tsk")), QStringLiteral("--restart-timeout"), QStringLiteral("1.5")});
        QCOMPARE(stuck.exitCode, 1);
        QVERIFY2(stuck.err.contains(QStringLiteral("не перезапустился за 1.5 с")), qPrintable(stuck.err));
        vi().boot().setAnswersWhileProgramming(false);

        // --no-wait ends once the whole stream is on the line.
        vi().boot().setProgrammingMs(60000);
        vi().boot().switchOnWithStylus();
        const Run quick = cli({QStringLiteral("flash"), work(QStringLiteral("fw.tsk")), QStringLiteral("--no-wait"), QStringLiteral("--json")});
        QCOMPARE(quick.exitCode, 0);
        QCOMPARE(quick.json().value(QStringLiteral("restarted")).toBool(), false);
        QTRY_VERIFY_WITH_TIMEOUT(vi().boot().last().complete, 10000);
        QCOMPARE(vi().boot().last().image, image);
    }

    void flashRefusals()
    {
        const QByteArray image = pattern(5000);
        files::writeWhole(work(QStringLiteral("fw.tsk")), image);
        // Working mode: it says how to enter the boot loader; only the probe went out.
        sent();
        Run r = cli({QStringLiteral("flash"), work(QStringLiteral("fw.tsk"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("указк")), qPrintable(r.err));
        QCOMPARE(sent(), QByteArray("l"));

        // Unreadable or empty image: the instrument is not even asked.
        vi().boot().switchOnWithStylus();
        r = cli({QStringLiteral("flash"), work(QStringLiteral("missing.tsk"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(QStringLiteral("missing.tsk")));
        files::writeWhole(work(QStringLiteral("empty.tsk")), QByteArray());
        r = cli({QStringLiteral("flash"), work(QStringLiteral("empty.tsk"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("пуст")), qPrintable(r.err));
        // A folder is refused as the wizard refuses it.
        QVERIFY(QDir(m_work.path()).mkpath(QStringLiteral("fw-folder.tsk")));
        r = cli({QStringLiteral("flash"), work(QStringLiteral("fw-folder.tsk"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("папка")), qPrintable(r.err));
        QCOMPARE(cli({QStringLiteral("flash"), work(QStringLiteral("fw.tsk")), QStringLiteral("--baud"), QStringLiteral("9600")}).exitCode, 2);
        QCOMPARE(sent(), QByteArray());
    }

    // The stream is the phase that must not be cut: a lost port or a second Ctrl-C cuts it (the
    // instrument must be restarted); one Ctrl-C is held until the whole image is out, and only the
    // wait for the restart is given up.
    void flashStoppedMidStream_data()
    {
        QTest::addColumn<int>("interrupts"); // 0: the port is lost instead; -1: lost, then back in the boot loader
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("says");
        QTest::newRow("port lost") << 0 << 120000 << QStringList() << "связь потеряна";
        QTest::newRow("Ctrl-C twice: forced") << 2 << 120000 << QStringList() << "перезапустить";
        QTest::newRow("Ctrl-C once: held to the stream's end") << 1 << 120000 << QStringList() << "перезапустить";
        // The system takes a small image whole at once; the line has not carried it yet.
        const QStringList shortWait{QStringLiteral("--restart-timeout"), QStringLiteral("1")};
        QTest::newRow("small image, port lost, --no-wait") << 0 << 5000 << QStringList{QStringLiteral("--no-wait")} << "связь потеряна";
        QTest::newRow("small image, port lost, silent") << 0 << 5000 << shortWait << "пока линия несла программу";
        QTest::newRow("small image, port lost, back in the boot loader") << -1 << 5000 << shortWait << "в режиме программирования";
    }
    void flashStoppedMidStream()
    {
        QFETCH(int, interrupts);
        QFETCH(int, size);
        QFETCH(QStringList, extra);
        QFETCH(QString, says);
        const QByteArray image = pattern(size);
        files::writeWhole(work(QStringLiteral("big.tsk")), image);
        vi().boot().switchOnWithStylus();
        vi().boot().setProgrammingMs(60000); // no restart within the test: only a stop ends the job
        vi().port().setLineRate(11520);
        bool acted = false;
        const Run r = cli(QStringList{QStringLiteral("flash"), work(QStringLiteral("big.tsk"))} + extra, [&](QProcess &p, qint64) {
            if (!acted && vi().boot().last().image.size() > size / 20) {
                acted = true;
                for (int k = 0; k < interrupts; ++k) {
                    ::kill(pid_t(p.processId()), SIGINT);
                    QTest::qWait(100);
                }
                if (interrupts <= 0)
                    vi().powerOff();
                if (interrupts < 0)
                    QTimer::singleShot(300, this, [this] { vi().boot().switchOnWithStylus(); });
            }
        });
        QVERIFY(acted);
        QCOMPARE(r.exitCode, 1);
        if (interrupts == 1) {
            QVERIFY2(r.err.contains(QStringLiteral("этот этап прерывать нельзя")) &&
                         r.err.contains(QStringLiteral("ожидание перезапуска прибора прервано")),
                     qPrintable(r.err));
            QTRY_VERIFY_WITH_TIMEOUT(vi().boot().last().complete, 5000);
            QCOMPARE(vi().boot().last().image, image);
            return;
        }
        QVERIFY2(r.err.contains(QStringLiteral("перезапустить")) && r.err.contains(says), qPrintable(r.err));
        QVERIFY(!vi().boot().last().complete);
        QVERIFY(vi().boot().last().image.size() < image.size());
    }

    // A second instrument on COM5: jobs that change an instrument refuse to pick one by chance,
    // a named port is the one used, and every result names its port.
    void twoInstruments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("firstInLoader");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("port"); // the port the text names; empty: both are listed
        QTest::addColumn<int>("writes3");
        QTest::addColumn<int>("writes5");
        QTest::newRow("db-write without --port") << QStringList{QStringLiteral("db-write"), QStringLiteral("new.bdts")} << false << 2
                                                 << QString() << 0 << 0;
        QTest::newRow("flash without --port") << QStringList{QStringLiteral("flash"), QStringLiteral("fw.tsk")} << true << 2
                                              << QString() << 0 << 0;
        QTest::newRow("db-write --port COM5") << QStringList{QStringLiteral("db-write"), QStringLiteral("new.bdts"), QStringLiteral("--port"),
                                                             QStringLiteral("COM5")}
                                              << false << 0 << QStringLiteral("COM5") << 0 << 1;
        QTest::newRow("db-read without --port") << QStringList{QStringLiteral("db-read"), QStringLiteral("out.bdts")} << false << 0
                                                << QStringLiteral("COM3") << 0 << 0;
        QTest::newRow("od without --port") << QStringList{QStringLiteral("od"), QStringLiteral("plate.txt")} << false << 0
                                           << QStringLiteral("COM3") << 0 << 0;
    }
    void twoInstruments()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, firstInLoader);
        QFETCH(int, exitCode);
        QFETCH(QString, port);
        QFETCH(int, writes3);
        QFETCH(int, writes5);
        VirtualInstrument second(m_ports.path(), 5);
        QVERIFY(second.powerOn(firstInLoader ? InstrumentCore::Mode::Loader : InstrumentCore::Mode::Working));
        if (firstInLoader)
            vi().boot().switchOnWithStylus();
        vi().bdts().setImage(smallDatabase(60));
        second.bdts().setImage(smallDatabase(61));
        files::writeWhole(work(QStringLiteral("new.bdts")), smallDatabase(62));
        files::writeWhole(work(QStringLiteral("fw.tsk")), pattern(3000));
        for (QString &a : args)
            if (a.contains(QLatin1Char('.')))
                a = work(a);
        const Run r = cli(args);
        QVERIFY2(r.exitCode == exitCode, qPrintable(r.out + r.err));
        const QString text = r.out + r.err;
        if (port.isEmpty()) {
            QVERIFY2(text.contains(QStringLiteral("COM3")) && text.contains(QStringLiteral("COM5")), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("--port")), qPrintable(text));
            QCOMPARE(vi().boot().programmed() + second.boot().programmed(), 0);
        } else {
            QVERIFY2(text.contains(QStringLiteral("Порт ") + port), qPrintable(text));
        }
        QCOMPARE(vi().bdts().writesCompleted(), writes3);
        QCOMPARE(second.bdts().writesCompleted(), writes5);
    }

    // The restart after a flash is awaited on the flashed instrument's own port: another
    // instrument answering meanwhile does not count.
    void flashWaitsForItsOwnPort()
    {
        VirtualInstrument second(m_ports.path(), 5);
        QVERIFY(second.powerOn());
        files::writeWhole(work(QStringLiteral("fw.tsk")), pattern(3000));
        vi().port().setLineRate(11520);
        vi().boot().setRestartGapMs(60000); // programs, then stays off (its port gone) for a minute
        vi().boot().switchOnWithStylus();
        const Run r = cli({QStringLiteral("flash"), work(QStringLiteral("fw.tsk")), QStringLiteral("--port"), QStringLiteral("COM3"),
                           QStringLiteral("--restart-timeout"), QStringLiteral("3"), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.json().value(QStringLiteral("restarted")).toBool(), false);
        QCOMPARE(r.json().value(QStringLiteral("outcome")).toString(), QStringLiteral("instrument-silent"));
        QCOMPARE(r.json().value(QStringLiteral("port")).toString(), QStringLiteral("COM3"));
        QVERIFY(vi().boot().last().complete);
    }

    // Ctrl-C during the writing phase of db-write is held until the last page is written (and the
    // operator is told so); a second one cuts the write, and the outcome names the backup and the
    // command that writes it back.
    void dbWriteInterrupted_data()
    {
        QTest::addColumn<int>("interrupts");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("writes");
        QTest::newRow("once: held") << 1 << "written-not-verified" << 1;
        QTest::newRow("twice: forced") << 2 << "cancelled" << 0;
    }
    void dbWriteInterrupted()
    {
        QFETCH(int, interrupts);
        QFETCH(QString, outcome);
        QFETCH(int, writes);
        bdts::GenOptions o;
        o.targetPages = 60;
        o.seed = 70;
        const QByteArray before = smallDatabase(71);
        vi().bdts().setImage(before);
        files::writeWhole(work(QStringLiteral("big.bdts")), bdts::generateImage(o));
        vi().port().setLineRate(20000);
        int sent = 0;
        const Run r = cli({QStringLiteral("db-write"), work(QStringLiteral("big.bdts")), QStringLiteral("--json")}, [&](QProcess &p, qint64) {
            if (sent < interrupts && vi().bdts().writing()) {
                ::kill(pid_t(p.processId()), SIGINT);
                ++sent;
                QTest::qWait(150);
            }
        });
        QCOMPARE(sent, interrupts);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("этот этап прерывать нельзя")), qPrintable(r.err));
        QCOMPARE(r.json().value(QStringLiteral("outcome")).toString(), outcome);
        QCOMPARE(vi().bdts().writesCompleted(), writes);
        if (interrupts == 2) {
            QVERIFY(r.json().value(QStringLiteral("mayBeIncomplete")).toBool());
            QVERIFY2(r.json().value(QStringLiteral("message")).toString().contains(QStringLiteral("может быть неполной")), qPrintable(r.out));
            const QString backup = r.json().value(QStringLiteral("backup")).toString();
            QVERIFY2(r.json().value(QStringLiteral("advice")).toString().contains(QStringLiteral("kviro-cli db-write --port COM3 \"%1\"").arg(backup)),
                     qPrintable(r.out));
            QByteArray kept;
            QVERIFY2(files::readWhole(backup, &kept), qPrintable(backup));
            QCOMPARE(kept, before);
        }
    }

    void progressLine()
    {
        const QString line = ProgressBar::render(5120, 0.5, 2.0, QString(), 80);
        QVERIFY2(line.contains(QStringLiteral(" 50%")), qPrintable(line));
        QVERIFY(line.contains(QStringLiteral("5.0 KiB")));
        QVERIFY(line.contains(QStringLiteral("2.5 KiB/с")));
        QVERIFY(line.contains(QStringLiteral("осталось 0:02")));
        QVERIFY(line.size() <= 80);
        QVERIFY(!ProgressBar::render(100, -1.0, 1.0, QString(), 80).contains(QStringLiteral("осталось")));
        QCOMPARE(ProgressBar::durationText(3725), QStringLiteral("1:02:05"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
