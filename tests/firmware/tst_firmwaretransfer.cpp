// The firmware stream through a real link into the virtual instrument's boot loader: pacing on a
// slow line, failures, and the boot loader's own reading of the stream. (The bytes of a click and
// cancel are checked through the main window in tst_firmwaregui.)
#include "firmwarerig.h"

#include <QSignalSpy>

using namespace firmware;

class TestFirmwareTransfer : public QObject {
    Q_OBJECT
private slots:
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
        // The cancel gives the line back: after the chunks already written only probes follow.
        QTRY_VERIFY_WITH_TIMEOUT(rig.vi.core().received().size() >= 6 + chunks * 10000, 10000);
        QTest::qWait(400);
        rig.link.stopPortSearch();
        const QByteArray received = rig.vi.core().received();
        QCOMPARE(received.left(6 + chunks * 10000), FirmwareRig::wire(image).left(6 + chunks * 10000));
        QCOMPARE(received.mid(6 + chunks * 10000), QByteArray(received.size() - 6 - chunks * 10000, 'l'));
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
        // The lost port ended the stream's hold on the line: the link check looks for the port again.
        QVERIFY(!rig.link.exchangeRunning());
        QVERIFY(rig.link.portSearchRunning());
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
};

QTEST_MAIN(TestFirmwareTransfer)
#include "tst_firmwaretransfer.moc"
