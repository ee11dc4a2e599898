// kviro-cli with its port on the network: Debian's ser2net in front of the virtual instrument's
// pseudo-terminal, once passing the bytes as they are and once as Telnet with the COM port
// control option. The database read and write, the table and a firmware load arrive byte for
// byte; an address nothing serves says why.
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "core/cp1251.h"
#include "core/files.h"
#include "sim/bdts_sim.h"
#include "sim/boot_sim.h"
#include "sim/reader_sim.h"
#include "sim/virtualinstrument.h"
#include "support/clirun.h"
#include "support/ser2netrig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {
using Run = CliRun;

QByteArray w(const char *utf8) { return cp1251::encode(QString::fromUtf8(utf8)); }

// Six pages in the order the lists keep (so the file read is the image itself).
QByteArray database(quint32 seed)
{
    return bdts::makeImage(bdts::makeTestSystem(w("Гепатиты"), w("HBsAg"), w("ИФА-1"), 3, seed) +
                               bdts::makeTestSystem(w("Гепатиты"), w("HBsAg"), w("ИФА-2"), 1, seed + 1) +
                               bdts::makeTestSystem(w("Гепатиты"), w("HBsAg"), w("ИФА-я"), 1, seed + 2),
                           bdts::descriptorPage(QDate(2009, 3, 5), QDate(2010, 11, 17)));
}

QByteArray pattern(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 29 + (i >> 5)) & 0xFF); // every byte value, 0xFF among them
    return b;
}
} // namespace

class TstCliNetwork : public QObject {
    Q_OBJECT
    QTemporaryDir m_ports, m_work, m_noPorts;

    QString work(const QString &name) const { return QDir(m_work.path()).filePath(name); }

    Run cli(QStringList args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVIRO_SERIALCOMM"), m_noPorts.path()); // no local port to fall back on
        args << QStringLiteral("--work-dir") << m_work.path();
        return runProgram(QStringLiteral(KVIRO_CLI_PATH), args, env);
    }

private slots:
    void wholeJobsThroughSer2net_data()
    {
        QTest::addColumn<int>("accepter");
        QTest::newRow("raw TCP") << int(Ser2netRig::Accepter::RawTcp);
        QTest::newRow("telnet rfc2217") << int(Ser2netRig::Accepter::Rfc2217);
    }
    void wholeJobsThroughSer2net()
    {
        QFETCH(int, accepter);
        QString why;
        if (!Ser2netRig::available(&why))
            QSKIP(qPrintable(why));
        VirtualInstrument vi(m_ports.path(), 3);
        QVERIFY(vi.powerOn());
        vi.boot().setProgrammingMs(200);
        vi.boot().setRestartGapMs(300);
        Ser2netRig server;
        QVERIFY2(server.start(QDir(m_ports.path()).filePath(QStringLiteral("COM3")), Ser2netRig::Accepter(accepter)), qPrintable(server.error()));
        const QStringList port{QStringLiteral("--port"), server.address()};

        // The database read whole: 0xFF ('я') in its names and in its data.
        const QByteArray image = database(7);
        vi.bdts().setImage(image);
        Run r = cli(QStringList{QStringLiteral("db-read"), work(QStringLiteral("sor.bdts"))} + port);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QByteArray got;
        QVERIFY(files::readWhole(work(QStringLiteral("sor.bdts")), &got));
        QCOMPARE(got, image);

        // Another one written, then read back by the job itself.
        const QByteArray other = database(50);
        QVERIFY(files::writeWhole(work(QStringLiteral("new.bdts")), other));
        r = cli(QStringList{QStringLiteral("db-write"), work(QStringLiteral("new.bdts"))} + port);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QCOMPARE(vi.bdts().image(), other);

        // The optical density table: the reply with its tag replaced by a blank.
        r = cli(QStringList{QStringLiteral("od"), work(QStringLiteral("plate.txt"))} + port);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QVERIFY(files::readWhole(work(QStringLiteral("plate.txt")), &got));
        QCOMPARE(got, ' ' + vi.reader().tableReply().mid(1));

        // A firmware load in the boot loader, and the restart after it.
        const QByteArray firmware = pattern(20000);
        QVERIFY(files::writeWhole(work(QStringLiteral("fw.tsk")), firmware));
        // At the line's own speed: the instrument restarts only after the line has carried the image.
        vi.port().setLineRate(11520);
        vi.boot().switchOnWithStylus();
        r = cli(QStringList{QStringLiteral("flash"), work(QStringLiteral("fw.tsk"))} + port);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err + vi.boot().report()));
        QCOMPARE(vi.boot().last().image, firmware);
        QVERIFY(vi.boot().last().checksumOk);
    }

    void unreachableServerSaysWhy()
    {
        quint16 unused = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            unused = probe.serverPort();
        }
        const Run r = cli({QStringLiteral("probe"), QStringLiteral("--port"), QStringLiteral("tcp://127.0.0.1:%1").arg(unused)});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("соединение отвергнуто")), qPrintable(r.err));
        const Run bad = cli({QStringLiteral("probe"), QStringLiteral("--port"), QStringLiteral("rfc2217://127.0.0.1")});
        QCOMPARE(bad.exitCode, 1);
        QVERIFY2(bad.err.contains(QStringLiteral("УЗЕЛ:ПОРТ")), qPrintable(bad.err));
    }
};

QTEST_MAIN(TstCliNetwork)
#include "tst_clinetwork.moc"
