// The virtual instrument's own machinery: command parsing, modes, and the line knobs that the
// other tests and the benchmarks rely on.
#include "link/portcatalog.h"
#include "link/tmscomm.h"
#include "sim/virtualinstrument.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TstSimCore : public QObject {
    Q_OBJECT
private slots:
    void commandsAreParsedAcrossPieces()
    {
        InstrumentCore core;
        QByteArray replies;
        connect(&core, &InstrumentCore::reply, this, [&](const QByteArray &b) { replies += b; });
        int seen = 0;
        // A three-byte command that waits for its payload.
        core.addCommand('M', [&](const QByteArray &pending) -> qsizetype {
            if (pending.size() < 3)
                return 0;
            ++seen;
            core.send("m");
            return 3;
        });
        core.feed("lM");
        QCOMPARE(replies, QByteArray("L"));
        QCOMPARE(seen, 0);
        core.feed(QByteArray("\x01", 1));
        core.feed(QByteArray("\x2Cl", 2));
        QCOMPARE(seen, 1);
        QCOMPARE(replies, QByteArray("LmL"));
        QCOMPARE(core.received(), QByteArray("lM\x01\x2Cl"));

        core.setMode(InstrumentCore::Mode::Loader);
        replies.clear();
        core.feed("l");
        QCOMPARE(replies, QByteArray("l"));
        core.setSilent(true);
        core.feed("l");
        QCOMPARE(replies, QByteArray("l"));
    }

    // The executable's own options: the ones that print end it at once with exit code 0 and
    // start no instrument; a mistake is refused with exit code 2 and the usage on standard error.
    void programOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QStringList>("err");
        const QStringList helpWords{"Usage: kviro-sim", "--folder DIR", "--chunk BYTES MS", "--database FILE",
                                    "--version", "Control commands:", "  mode — mode working|loader"};
        QTest::newRow("--help") << QStringList{"--help"} << 0 << helpWords << QStringList{};
        QTest::newRow("-h after an option") << QStringList{"--com", "5", "-h"} << 0 << helpWords << QStringList{};
        QTest::newRow("--version") << QStringList{"--version"} << 0 << QStringList{"kviro-sim 20"} << QStringList{};
        QTest::newRow("-v") << QStringList{"-v"} << 0 << QStringList{"kviro-sim 20"} << QStringList{};
        QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << QStringList{}
                                 << QStringList{"--bogus", "Usage: kviro-sim", "kviro-sim --help"};
        QTest::newRow("value missing") << QStringList{"--chunk", "16"} << 2 << QStringList{}
                                       << QStringList{"--chunk", "Usage: kviro-sim"};
    }

    void programOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, out);
        QFETCH(QStringList, err);
        QTemporaryDir ports;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVIRO_SERIALCOMM"), ports.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(KVIRO_SIM_EXE), arguments);
        program.closeWriteChannel();
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(program.readAllStandardError());
        for (const QString &word : out)
            QVERIFY2(stdOut.contains(word), qPrintable(word + QStringLiteral(" not in: ") + stdOut));
        for (const QString &word : err)
            QVERIFY2(stdErr.contains(word), qPrintable(word + QStringLiteral(" not in: ") + stdErr));
        QVERIFY2(stdOut.isEmpty() == out.isEmpty(), qPrintable(stdOut));
        QVERIFY2(stdErr.isEmpty() == err.isEmpty(), qPrintable(stdErr));
        QVERIFY(QDir(ports.path()).isEmpty()); // no port was published
    }

    void controlInterface()
    {
        QTemporaryDir dir;
        VirtualInstrument vi(dir.path(), 3);
        QVERIFY(vi.control(QStringLiteral("help")).contains(QStringLiteral("chunk")));
        QVERIFY(vi.control(QStringLiteral("nonsense")).startsWith(QStringLiteral("error")));
        QCOMPARE(vi.control(QStringLiteral("on stylus")), QStringLiteral("ok"));
        QCOMPARE(vi.core().mode(), InstrumentCore::Mode::Loader);
        QVERIFY(vi.isOn());
        QCOMPARE(vi.control(QStringLiteral("off")), QStringLiteral("ok"));
        QVERIFY(!vi.isOn());
        QVERIFY(!FolderPortCatalog(dir.path()).valueTexts()->contains(QStringLiteral("COM3")));
    }

    void switchedOffOnAPortThatStaysIsSilent()
    {
        QTemporaryDir dir;
        VirtualInstrument vi(dir.path(), 3);
        QCOMPARE(vi.control(QStringLiteral("portstays on")), QStringLiteral("ok"));
        QVERIFY(vi.powerOn(InstrumentCore::Mode::Loader));
        FolderPortCatalog catalog(dir.path());
        TMSComm comm(catalog);
        comm.setCommPort(3);
        QVERIFY(comm.setPortOpen(true));
        QByteArray got;
        connect(&comm, &TMSComm::OnComm, this, [&] { got += comm.Input(); });
        QVERIFY(comm.setOutput("l"));
        QTRY_COMPARE(got, QByteArray("l"));
        // Off: the port is still listed and open, nothing is taken or answered.
        vi.control(QStringLiteral("off"));
        QVERIFY(!vi.isOn());
        QVERIFY(FolderPortCatalog(dir.path()).valueTexts()->contains(QStringLiteral("COM3")));
        vi.core().clearReceived();
        QVERIFY(comm.setOutput("l"));
        QTest::qWait(300);
        QCOMPARE(got, QByteArray("l"));
        QCOMPARE(vi.core().received(), QByteArray());
        QVERIFY(comm.PortOpen());
        // On again with the stylus, on the same port.
        QCOMPARE(vi.control(QStringLiteral("on stylus")), QStringLiteral("ok"));
        QVERIFY(comm.setOutput("l"));
        QTRY_COMPARE(got, QByteArray("ll"));
    }

    void chunkedRepliesArriveInPieces()
    {
        QTemporaryDir dir;
        VirtualInstrument vi(dir.path(), 3);
        QVERIFY(vi.powerOn());
        vi.port().setChunking(10, 20);
        FolderPortCatalog catalog(dir.path());
        TMSComm comm(catalog);
        comm.setCommPort(3);
        QVERIFY(comm.setPortOpen(true));
        QSignalSpy notices(&comm, &TMSComm::OnComm);
        QByteArray got;
        connect(&comm, &TMSComm::OnComm, this, [&] { got += comm.Input(); });
        const QByteArray reply(55, 'x');
        vi.sendRaw(reply);
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), reply.size(), 5000);
        QVERIFY(notices.count() >= 5);
    }

    void lineRateHoldsBothDirections()
    {
        QTemporaryDir dir;
        VirtualInstrument vi(dir.path(), 3);
        QVERIFY(vi.powerOn());
        vi.port().setLineRate(20000);
        FolderPortCatalog catalog(dir.path());
        TMSComm comm(catalog);
        comm.setCommPort(3);
        QVERIFY(comm.setPortOpen(true));
        // 6000 bytes at 20000 bytes/s take at least about 0.3 s; unthrottled they take microseconds.
        QElapsedTimer t;
        t.start();
        QVERIFY(comm.setOutput(QByteArray(6000, 'r')));
        QTRY_COMPARE_WITH_TIMEOUT(vi.core().received().size(), 6000, 10000);
        QVERIFY2(t.elapsed() >= 200, qPrintable(QString::number(t.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TstSimCore)
#include "tst_simcore.moc"
