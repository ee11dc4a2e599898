// The firmware stream through a real link: into the virtual instrument's boot loader over a
// pseudo-terminal (refused images, a lost port, the boot loader's verdict on a retry), and onto a
// stand-in serial device that shows every write and holds the output queue (chunking, pacing,
// refused writes). The bytes of a click and cancel through the main window are in tst_firmwaregui.
#include "firmwarerig.h"
#include "standindevice.h"

#include <QSignalSpy>

using namespace firmware;

namespace {
// The controller on the real link and serial control over a stand-in device on COM3.
struct StandInRig {
    QTemporaryDir ports, program, cwd;
    StandInDevice *device = nullptr;
    StatusModel status;
    ScriptedDialogs dialogs;
    InstrumentLink link{status, std::make_unique<FolderPortCatalog>(ports.path()), [this] {
                            auto d = std::make_unique<StandInDevice>();
                            device = d.get();
                            return d;
                        }};
    FirmwareController ctl{FeatureContext{link, status, dialogs, program.path() + QLatin1Char('/')}, [] { return true; }};

    StandInRig()
    {
        QFile::link(QStringLiteral("/dev/null"), QDir(ports.path()).filePath(QStringLiteral("COM3")));
        ctl.setFrameExists(true);
        ctl.setCurrentDirForSearch(cwd.path());
        QObject::connect(&link, &InstrumentLink::tickFinished, [this] { ctl.linkUpdate(); });
    }

    void designate(const QByteArray &image)
    {
        const QString folder = imageFolder(program.path() + QLatin1Char('/'));
        QDir().mkpath(folder);
        QVERIFY(files::writeWhole(QDir(folder).filePath(QStringLiteral("Sorvint_3070.tsk")), image));
        ctl.ResetProgWizard();
        ctl.defaultSearch();
    }
    void inLoader()
    {
        tickAndAwaitAnswer(link);
        tickAndAwaitAnswer(link);
        QVERIFY(link.instrumentInLoader());
        QVERIFY(ctl.view().loadEnabled);
        device->writes.clear();
    }
};

QList<int> writeSizes(const StandInDevice &d)
{
    QList<int> sizes;
    for (const auto &w : d.writes)
        sizes << int(w.bytes.size());
    return sizes;
}
} // namespace

class TestFirmwareTransfer : public QObject {
    Q_OBJECT
private slots:
    void refusedImageSendsNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing (a typed name)") << QStringLiteral("missing");
        QTest::newRow("a folder") << QStringLiteral("folder");
        QTest::newRow("empty") << QStringLiteral("empty");
        QTest::newRow("too large for the length value") << QStringLiteral("large");
    }
    void refusedImageSendsNothing()
    {
        QFETCH(QString, kind);
        FirmwareRig rig;
        const QString path = QDir(rig.cwd.path()).filePath(QStringLiteral("chosen.tsk"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind != QLatin1String("missing")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // A sparse file: its size is beyond the 32-bit length value, its blocks are not.
            if (kind == QLatin1String("large"))
                QVERIFY(f.resize(qint64(0x7FFFFFFF)));
        }
        rig.inLoader();
        rig.dialogs.openAnswers << path;
        rig.ctl.btnOtherFileLoadPOClick();
        // No image folder here: the dialog opens in the program folder, which exists.
        QCOMPARE(QDir(rig.dialogs.openRequests.first().folder), QDir(rig.programDir()));
        QCOMPARE(rig.dialogs.openRequests.first().filter, QStringLiteral("Файлы загрузки (*.tsk)"));
        QCOMPARE(rig.ctl.view().fileLabel, QDir(rig.cwd.path()).path() + QStringLiteral("/\nchosen.tsk"));
        QVERIFY(rig.ctl.view().loadEnabled);

        rig.ctl.btnLoadPOClick();
        QCOMPARE(rig.dialogs.errors.size(), 1);
        QVERIFY2(rig.dialogs.errors.first().contains(QStringLiteral("chosen.tsk")), qPrintable(rig.dialogs.errors.first()));
        // Still at step 3, not sending: the link check goes on and the load may be tried again.
        QCOMPARE(rig.status.text(), texts::StepLoad);
        QVERIFY(!rig.ctl.view().cancelShown);
        QVERIFY(rig.ctl.view().loadEnabled);
        QVERIFY(!rig.ctl.transferBusy());
        QVERIFY(rig.ctl.loader().ready());
        QVERIFY(!rig.link.exchangeRunning());
        QVERIFY(!rig.ctl.flags().TransferStarted);
        QTest::qWait(300);
        QCOMPARE(rig.vi.core().received(), QByteArray());
        QCOMPARE(rig.vi.boot().last().markerSeen, false);
    }

    void oddSizeOverOneMiBWriteByWrite()
    {
        StandInRig rig;
        const int size = (1 << 20) + 7; // 104 writes of 10000, then 8583
        const QByteArray image = FirmwareRig::pattern(size);
        rig.designate(image);
        rig.inLoader();
        // Each send tick leaves a mark of 4 bytes, "tick", after its writes.
        QObject::connect(&rig.ctl.transfer().Timer, &QTimer::timeout, [&] { rig.device->writes << StandInDevice::Write{"tick", 0}; });
        rig.ctl.btnLoadPOClick();
        QTRY_COMPARE_WITH_TIMEOUT(rig.status.text(), texts::Programming, 60000);

        QList<int> expected{2, 4};
        for (int i = 0; i < 104; ++i)
            expected << 10000 << 4;
        expected << 8583 << 2 << 4; // the last tick: the remainder and the checksum together
        QList<int> sizes = writeSizes(*rig.device);
        // The link check is back after the stream: drop its probes.
        while (!sizes.isEmpty() && sizes.last() == 1)
            sizes.removeLast();
        QCOMPARE(sizes, expected);
        QByteArray sent;
        for (const auto &w : rig.device->writes)
            if (w.bytes != "tick" && w.bytes != "l")
                sent += w.bytes;
        QCOMPARE(sent.left(6), QByteArray("\x55\xAA\x0D\x00\x10\x00", 6)); // 1048589 = 0x0010000D
        QCOMPARE(sent, FirmwareRig::wire(image));
    }

    void slowLineHoldsTheTicksAndCancelStopsWithinAChunk()
    {
        StandInRig rig;
        const QByteArray image = FirmwareRig::pattern(60000);
        rig.designate(image);
        rig.inLoader();
        // 10000 bytes take 400 ms on this line, four send ticks' worth.
        rig.device->bytesPerStep = 500;
        QSignalSpy ticks(&rig.ctl.transfer(), &FirmwareTransfer::progress);
        rig.ctl.btnLoadPOClick();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 20000);
        // No chunk went to the port while the one before it was still queued.
        for (qsizetype i = 2; i < rig.device->writes.size(); ++i)
            QCOMPARE(rig.device->writes.at(i).queuedBefore, 0);
        QCOMPARE(rig.device->writes.at(0).bytes, QByteArray("\x55\xAA", 2));
        rig.ctl.btnStopProgramSorClick();
        const qsizetype written = rig.device->writes.size();
        QCOMPARE(rig.status.text(), texts::Cancelled);
        QTest::qWait(600);
        // Nothing of the image after the cancel; only the link check's probes.
        for (qsizetype i = written; i < rig.device->writes.size(); ++i)
            QCOMPARE(rig.device->writes.at(i).bytes, QByteArray("l"));
        QByteArray before;
        for (qsizetype i = 0; i < written; ++i)
            before += rig.device->writes.at(i).bytes;
        QCOMPARE(before, FirmwareRig::wire(image).left(6 + (written - 2) * 10000));
    }

    void markerOrHeaderWriteRefused_data()
    {
        QTest::addColumn<int>("failing");
        QTest::newRow("marker") << 0;
        QTest::newRow("length") << 1;
    }
    void markerOrHeaderWriteRefused()
    {
        QFETCH(int, failing);
        StandInRig rig;
        rig.designate(FirmwareRig::pattern(30000));
        rig.inLoader();
        rig.device->failWrite = failing;
        rig.ctl.btnLoadPOClick();
        QCOMPARE(rig.device->writes.size(), failing + 1);
        QCOMPARE(rig.dialogs.errors.size(), 1);
        const QStringList lines = rig.dialogs.errors.first().section(QLatin1Char('|'), 1).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("Ошибка передачи программы в прибор."));
        QVERIFY2(lines.at(1).contains(QStringLiteral("Устройство отключено")), qPrintable(lines.at(1)));
        QVERIFY(!rig.ctl.transferBusy());
        QVERIFY(!rig.ctl.view().cancelShown);
        QVERIFY(!rig.ctl.view().loadEnabled);
        QVERIFY(rig.link.portSearchRunning());
        QVERIFY(!rig.link.exchangeRunning());
        QCOMPARE(rig.status.progress(), 0);
        QCOMPARE(rig.status.text(), texts::RestartForRetry);
        // The port was lost under the stream: that is the restart, the boot loader's answer frees
        // the load once the link check has reopened the port.
        QCOMPARE(rig.ctl.loader().state(), LoaderState::PartialRestarting);
        rig.link.stopPortSearch();
        tickAndAwaitAnswer(rig.link);
        tickAndAwaitAnswer(rig.link);
        QVERIFY(rig.ctl.loader().ready());
        QVERIFY(rig.ctl.view().loadEnabled);
        QCOMPARE(rig.status.text(), texts::StepLoad);
    }

    void lostPortEndsTheStreamWithItsReason()
    {
        FirmwareRig rig;
        rig.designate(FirmwareRig::pattern(100000));
        rig.inLoader();
        rig.vi.port().setLineRate(40000);
        QSignalSpy ticks(&rig.ctl.transfer(), &FirmwareTransfer::progress);
        rig.ctl.btnLoadPOClick();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 1, 5000);
        rig.vi.powerOff();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.ctl.transferBusy(), 5000);
        QCOMPARE(rig.dialogs.errors.size(), 1);
        const QStringList lines = rig.dialogs.errors.first().section(QLatin1Char('|'), 1).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("Ошибка передачи программы в прибор."));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("Порт")));
        // The bar shows what the port took: the share of the last tick that wrote.
        QCOMPARE(rig.status.progress(), ticks.last().first().toInt());
        QVERIFY(!rig.ctl.view().cancelShown);
        QVERIFY(!rig.ctl.flags().TransferDone);
        QVERIFY(!rig.link.exchangeRunning());
        QVERIFY(rig.link.portSearchRunning());
        QCOMPARE(rig.ctl.loader().state(), LoaderState::PartialRestarting);
        QTRY_COMPARE_WITH_TIMEOUT(rig.status.text(), texts::StepSwitchOnTick, 5000);
    }

    void retryWaitsForTheRestart_data()
    {
        QTest::addColumn<bool>("portStays");
        QTest::newRow("port vanishes while off") << false;
        QTest::newRow("port stays listed while off") << true;
    }
    void retryWaitsForTheRestart()
    {
        QFETCH(bool, portStays);
        FirmwareRig rig;
        rig.vi.setPortStaysWhenOff(portStays);
        const QByteArray image = FirmwareRig::pattern(50000);
        rig.designate(image);
        rig.inLoader();
        BootSim &boot = rig.vi.boot();
        boot.setProgrammingMs(100);
        rig.vi.port().setLineRate(40000);
        QSignalSpy ticks(&rig.ctl.transfer(), &FirmwareTransfer::progress);
        rig.ctl.btnLoadPOClick();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 5000);
        rig.ctl.btnStopProgramSorClick();
        rig.vi.port().setLineRate(0);
        QCOMPARE(rig.status.text(), texts::Cancelled);
        QVERIFY(rig.link.portSearchRunning());
        // The boot loader holds part of the image; the link checks ask for the restart.
        QTRY_COMPARE_WITH_TIMEOUT(rig.status.text(), texts::RestartForRetry, 5000);
        QVERIFY(!rig.ctl.view().loadEnabled);
        rig.ctl.btnLoadPOClick(); // a click that slipped past the button
        QTest::qWait(700);
        QCOMPARE(boot.last().markerSeen, true);
        QVERIFY(!boot.last().complete);
        QCOMPARE(boot.programmed(), 0);
        QCOMPARE(rig.status.text(), texts::RestartForRetry);

        // Off for a while (port gone, or silent on a port that stays), then on with the stylus.
        boot.switchOnWithStylus(1600);
        QTRY_VERIFY_WITH_TIMEOUT(rig.ctl.loader().state() == LoaderState::PartialRestarting, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.ctl.view().loadEnabled, 8000);
        QCOMPARE(rig.status.text(), texts::StepLoad);
        rig.ctl.btnLoadPOClick();
        QTRY_VERIFY_WITH_TIMEOUT(boot.last().complete, 10000);
        QVERIFY(boot.last().checksumOk);
        QCOMPARE(boot.last().image, image);
        QTRY_COMPARE_WITH_TIMEOUT(boot.programmed(), 1, 5000);
    }

    void bootLoaderChecksAndRestarts()
    {
        FirmwareRig rig;
        rig.inLoader();
        BootSim &boot = rig.vi.boot();
        boot.setProgrammingMs(100);
        boot.setRestartGapMs(300);

        // A wrong checksum: refused, still in the boot loader and answering "l".
        QByteArray bad = FirmwareRig::wire("lll\x55\xAA");
        bad[bad.size() - 2] = char(bad.at(bad.size() - 2) ^ 1);
        QVERIFY(rig.link.SendCommand(bad));
        QTRY_VERIFY(boot.last().complete);
        QVERIFY(!boot.last().checksumOk);
        QCOMPARE(boot.last().image, QByteArray("lll\x55\xAA"));
        QCOMPARE(boot.stage(), BootSim::Stage::Idle);
        QSignalSpy answers(&rig.link, &InstrumentLink::linkChanged);
        rig.tick();
        QVERIFY(answers.size() >= 1);
        QVERIFY(rig.link.instrumentInLoader());

        // A good one: programmed, the port goes away, then the instrument answers "L".
        QSignalSpy restarted(&boot, &BootSim::restarted);
        QVERIFY(rig.link.SendCommand(FirmwareRig::wire("llll")));
        QTRY_VERIFY(!rig.vi.isOn());
        QTRY_COMPARE_WITH_TIMEOUT(restarted.size(), 1, 5000);
        QVERIFY(rig.vi.isOn());
        QCOMPARE(boot.programmed(), 1);
        rig.tick();
        rig.tick();
        QVERIFY(rig.link.instrumentWorking());
        QVERIFY(rig.vi.control(QStringLiteral("boot status")).contains(QStringLiteral("programmed 1")));
    }

    void noRestartWithinTheLimitIsSaid()
    {
        // The boot loader keeps answering after the whole stream: that is work in progress, never
        // a refusal, until no restart has been seen within the limit. Then the operator is told,
        // and a new load waits for the restart.
        StandInRig rig;
        QCOMPARE(rig.ctl.loader().restartLimitMs(), 5 * 60 * 1000);
        rig.ctl.loader().setRestartLimitMs(1500);
        rig.designate(FirmwareRig::pattern(3000));
        rig.inLoader();
        rig.ctl.btnLoadPOClick();
        QTRY_COMPARE_WITH_TIMEOUT(rig.status.text(), texts::Programming, 5000);
        rig.link.stopPortSearch();
        for (int i = 0; i < 3; ++i) {
            tickAndAwaitAnswer(rig.link);
            QCOMPARE(rig.status.text(), texts::Programming);
            QVERIFY(rig.status.busy());
            QCOMPARE(rig.ctl.loader().state(), LoaderState::Programming);
        }
        QTest::qWait(1600);
        tickAndAwaitAnswer(rig.link);
        QVERIFY(!rig.status.busy());
        QCOMPARE(rig.status.text(), texts::NotRestarted);
        QVERIFY(!rig.ctl.view().loadEnabled);
        rig.device->probeAnswer = 0; // off, on a port that stays
        tickAndAwaitAnswer(rig.link, 100);
        tickAndAwaitAnswer(rig.link, 100);
        QCOMPARE(rig.ctl.loader().state(), LoaderState::PartialRestarting);
        rig.device->probeAnswer = 'l';
        tickAndAwaitAnswer(rig.link);
        tickAndAwaitAnswer(rig.link);
        QVERIFY(rig.ctl.loader().ready());
        QCOMPARE(rig.status.text(), texts::StepLoad);
    }
};

QTEST_MAIN(TestFirmwareTransfer)
#include "tst_firmwaretransfer.moc"
