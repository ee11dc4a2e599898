// The firmware stream through a real link into the virtual instrument's boot loader: the bytes
// on the wire, the pacing, cancel, failures, and the boot loader's own reading of the stream.
#include "firmwarerig.h"

#include <QSignalSpy>

using namespace firmware;

class TestFirmwareTransfer : public QObject {
    Q_OBJECT
private slots:
    void wireBytes_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QList<int>>("progress");
        QTest::newRow("3 bytes") << QByteArray("\x01\x02\x03", 3) << QList<int>{100, 0};
        QTest::newRow("10000") << FirmwareRig::pattern(10000) << QList<int>{100, 0};
        QTest::newRow("10001") << FirmwareRig::pattern(10001) << QList<int>{99, 100, 0};
        QTest::newRow("20000") << FirmwareRig::pattern(20000) << QList<int>{50, 100, 0};
        QTest::newRow("sum 70000") << QByteArray(280, char(250)) << QList<int>{100, 0};
    }
    void wireBytes()
    {
        QFETCH(QByteArray, image);
        QFETCH(QList<int>, progress);
        FirmwareRig rig;
        rig.designate(image);
        rig.inLoader();
        QVERIFY(rig.ctl.view().loadEnabled);
        rig.ctl.btnLoadPOClick();
        QCOMPARE(rig.status.text(), texts::Loading);
        QVERIFY(rig.ctl.view().cancelShown);
        QVERIFY(!rig.ctl.view().loadEnabled);
        QVERIFY(!rig.link.portSearchRunning());
        QVERIFY(rig.ctl.flags().TransferStarted);

        QTRY_VERIFY_WITH_TIMEOUT(rig.vi.boot().last().complete, 10000);
        const QByteArray expected = FirmwareRig::wire(image);
        QCOMPARE(rig.vi.core().received().left(expected.size()), expected);
        QVERIFY(rig.vi.boot().last().checksumOk);
        QCOMPARE(rig.vi.boot().last().image, image);
        if (image.size() == 3)
            QCOMPARE(expected.toHex(' '), QByteArray("55 aa 09 00 00 00 01 02 03 06 00"));
        if (image.size() == 280)
            QCOMPARE(expected.right(2), QByteArray("\x70\x11", 2));

        QCOMPARE(rig.progress, progress);
        QCOMPARE(rig.status.text(), texts::Programming);
        QVERIFY(!rig.ctl.view().cancelShown);
        QVERIFY(rig.ctl.flags().TransferDone);
        QVERIFY(!rig.ctl.transfer().sending());
        QVERIFY(rig.link.portSearchRunning());
        // Afterwards only the link check's probe follows.
        rig.tick();
        const QByteArray after = rig.vi.core().received().mid(expected.size());
        QCOMPARE(after, QByteArray(after.size(), 'l'));
    }

    void emptyImageSendsHeaderOnlyUntilCancelled()
    {
        FirmwareRig rig;
        rig.designate(QByteArray());
        rig.inLoader();
        rig.ctl.btnLoadPOClick();
        QTRY_COMPARE(rig.vi.core().received(), QByteArray("\x55\xAA\x06\x00\x00\x00", 6));
        QTest::qWait(450); // several send ticks find nothing to send
        QCOMPARE(rig.vi.core().received().size(), 6);
        QVERIFY(rig.ctl.transfer().sending());
        QCOMPARE(rig.status.text(), texts::Loading);
        rig.ctl.btnStopProgramSorClick();
        QVERIFY(!rig.ctl.transfer().sending());
        QCOMPARE(rig.status.text(), texts::Cancelled);
    }

    void cancelAfterThreeTicks()
    {
        FirmwareRig rig;
        const QByteArray image = FirmwareRig::pattern(50000);
        rig.designate(image);
        rig.inLoader();
        rig.ctl.btnLoadPOClick();
        rig.ctl.transfer().Timer.stop(); // the test drives the ticks
        for (int i = 0; i < 3; ++i)
            rig.ctl.transfer().TimerTimer();
        rig.ctl.btnStopProgramSorClick();
        QCOMPARE(rig.status.text(), texts::Cancelled);
        QCOMPARE(rig.status.progress(), 0);
        QVERIFY(!rig.ctl.view().cancelShown);
        QVERIFY(!rig.ctl.flags().TransferStarted);
        QVERIFY(rig.ctl.flags().WizardActive);
        QVERIFY(!rig.link.portSearchRunning()); // stays paused: the status line keeps the message
        QVERIFY(rig.ctl.view().loadEnabled);    // the button is given back for a new start

        QTRY_COMPARE(rig.vi.core().received().size(), 6 + 30000);
        QTest::qWait(350);
        QCOMPARE(rig.vi.core().received(), FirmwareRig::wire(image).left(6 + 30000));
        QVERIFY(!rig.vi.boot().last().complete);
    }

    void notInBootLoaderAsksToGoBack()
    {
        FirmwareRig rig;
        rig.designate("image");
        rig.vi.powerOn(InstrumentCore::Mode::Working);
        rig.tick();
        rig.tick();
        rig.ctl.ResetProgWizard();
        rig.vi.core().clearReceived();
        rig.ctl.btnLoadPOClick();
        QCOMPARE(rig.dialogs.warnings, QStringList{QStringLiteral("Вернитесь к шагу 2.|Прибор не в режиме программирования!")});
        QCOMPARE(rig.status.text(), texts::StepSwitchOff);
        QVERIFY(!rig.ctl.flags().TransferStarted);
        QTest::qWait(200);
        QCOMPARE(rig.vi.core().received(), QByteArray());
    }

    void unreadableImageSendsMarkerOnly()
    {
        FirmwareRig rig;
        rig.inLoader();
        rig.dialogs.openAnswers << QDir(rig.cwd.path()).filePath(QStringLiteral("typed-name.tsk"));
        rig.ctl.RzPageControl2Changing();
        rig.ctl.btnOtherFileLoadPOClick();
        QCOMPARE(rig.dialogs.openRequests.size(), 1);
        QCOMPARE(rig.dialogs.openRequests.first().folder, imageFolder(rig.programDir()));
        QCOMPARE(rig.dialogs.openRequests.first().filter, QStringLiteral("Файлы загрузки (*.tsk)"));
        QCOMPARE(rig.ctl.view().fileLabel, QDir(rig.cwd.path()).path() + QStringLiteral("/\ntyped-name.tsk"));
        rig.ctl.btnLoadPOClick();
        QCOMPARE(rig.dialogs.errors.size(), 1);
        QVERIFY(rig.dialogs.errors.first().contains(QStringLiteral("typed-name.tsk")));
        QCOMPARE(rig.status.text(), texts::Loading);
        QVERIFY(rig.ctl.view().cancelShown);
        QVERIFY(!rig.ctl.view().loadEnabled);
        QTRY_COMPARE(rig.vi.core().received(), QByteArray("\x55\xAA", 2));
        QTest::qWait(250);
        QCOMPARE(rig.vi.core().received().size(), 2);
        rig.ctl.btnStopProgramSorClick();
        QCOMPARE(rig.status.text(), texts::Cancelled);
        QVERIFY(rig.ctl.view().loadEnabled);
    }

    void slowLineMakesTicksWaitAndCancelStopsWithinAChunk()
    {
        FirmwareRig rig;
        const QByteArray image = FirmwareRig::pattern(200000);
        rig.designate(image);
        rig.inLoader();
        rig.vi.port().setLineRate(40000); // 10000 bytes take 250 ms, more than a tick
        QSignalSpy ticks(&rig.ctl.transfer(), &FirmwareTransfer::progress);
        rig.ctl.btnLoadPOClick();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 10000);
        // Every tick found the previous chunk gone from the program's queue.
        QCOMPARE(rig.ctl.transfer().peakQueued(), 0);
        rig.ctl.btnStopProgramSorClick();
        const int chunks = int(ticks.size());
        QTRY_COMPARE_WITH_TIMEOUT(rig.vi.core().received().size(), 6 + chunks * 10000, 10000);
        QTest::qWait(400);
        QCOMPARE(rig.vi.core().received(), FirmwareRig::wire(image).left(6 + chunks * 10000));
    }

    void lostPortEndsTheStreamWithAnError()
    {
        FirmwareRig rig;
        rig.designate(FirmwareRig::pattern(100000));
        rig.inLoader();
        rig.vi.port().setLineRate(40000);
        QSignalSpy ticks(&rig.ctl.transfer(), &FirmwareTransfer::progress);
        rig.ctl.btnLoadPOClick();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 1, 5000);
        rig.vi.powerOff();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.ctl.transfer().sending(), 5000);
        QCOMPARE(rig.dialogs.errors.size(), 1);
        QVERIFY(rig.ctl.view().cancelShown);
        QCOMPARE(rig.status.text(), texts::Loading);
        QVERIFY(!rig.ctl.flags().TransferDone);
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
        rig.link.InstrumentInLoader = false;
        rig.tick();
        QVERIFY(rig.link.InstrumentInLoader);

        // A good one: programmed, the port goes away, then the instrument answers "L".
        QSignalSpy restarted(&boot, &BootSim::restarted);
        QVERIFY(rig.link.SendCommand(FirmwareRig::wire("llll")));
        QTRY_VERIFY(!rig.vi.isOn());
        QTRY_COMPARE_WITH_TIMEOUT(restarted.size(), 1, 5000);
        QVERIFY(rig.vi.isOn());
        QCOMPARE(boot.programmed(), 1);
        rig.tick();
        rig.tick();
        QVERIFY(rig.link.InstrumentWorking);
        QVERIFY(rig.vi.control(QStringLiteral("boot status")).contains(QStringLiteral("programmed 1")));
    }
};

QTEST_MAIN(TestFirmwareTransfer)
#include "tst_firmwaretransfer.moc"
