// The serial control layer over a real pseudo-terminal, and the port catalog.
#include "link/portcatalog.h"
#include "link/tmscomm.h"
#include "sim/ptyport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TstSerial : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;


private slots:
    void everyByteValueRoundTripsInOrder()
    {
        PtyPort peer(m_dir.path(), 3);
        QVERIFY2(peer.open(), qPrintable(peer.errorString()));
        QByteArray atPeer;
        connect(&peer, &PtyPort::received, this, [&](const QByteArray &b) { atPeer += b; });
        FolderPortCatalog catalog(m_dir.path());
        TMSComm comm(catalog);
        QVERIFY(comm.setCommPort(3));
        QVERIFY(comm.setSettings(QStringLiteral("115200,n,8,1")));
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(comm.PortOpen());

        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        // PC to instrument: 0x00 and bytes above 0x7F go out unchanged and in order, in several writes.
        QVERIFY(comm.setOutput(all.left(100)));
        QVERIFY(comm.setOutput(all.mid(100)));
        QTRY_VERIFY_WITH_TIMEOUT(atPeer.size() >= 256, 5000);
        QCOMPARE(atPeer, all);

        // Instrument to PC, with NullDiscard off: everything arrives, OnComm tells.
        QSignalSpy onComm(&comm, &TMSComm::OnComm);
        peer.write(all);
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += comm.Input()).size() >= 256, 5000);
        QCOMPARE(got, all);
        QVERIFY(onComm.count() >= 1);
        QCOMPARE(comm.InBufferCount(), 0);
    }

    void nullDiscardAndFlush()
    {
        PtyPort peer(m_dir.path(), 4);
        QVERIFY(peer.open());
        FolderPortCatalog catalog(m_dir.path());
        TMSComm comm(catalog);
        comm.setCommPort(4);
        QVERIFY(comm.setPortOpen(true));
        comm.setNullDiscard(true);
        peer.write(QByteArray("a\0b\0\0c", 6));
        QTRY_COMPARE_WITH_TIMEOUT(comm.InBufferCount(), 3, 5000);
        QCOMPARE(comm.Input(), QByteArray("abc"));

        comm.setNullDiscard(false);
        peer.write(QByteArray("x\0y", 3));
        QTRY_COMPARE_WITH_TIMEOUT(comm.InBufferCount(), 3, 5000);
        comm.setInBufferCount(0);
        QCOMPARE(comm.InBufferCount(), 0);
        QCOMPARE(comm.Input(), QByteArray());
    }

    void settingsReadBackAndPortRange()
    {
        QTemporaryDir empty;
        FolderPortCatalog catalog(empty.path());
        TMSComm comm(catalog);
        QVERIFY(comm.setSettings(QStringLiteral("9600,n,8,1")));
        QCOMPARE(comm.Settings(), QStringLiteral("9600,n,8,1"));
        QCOMPARE(TMSComm::baudOf(QStringLiteral("57600,n,8,1")), 57600);
        QVERIFY(!comm.setCommPort(0));
        QVERIFY(!comm.setCommPort(17));
        QVERIFY(comm.setCommPort(16));
        QCOMPARE(comm.CommPort(), 16);
    }

    void openFailureCannotBeIgnored()
    {
        QTemporaryDir dir;
        FolderPortCatalog catalog(dir.path());
        TMSComm comm(catalog);
        comm.setCommPort(5);
        QVERIFY(!comm.setPortOpen(true)); // not listed at all
        QCOMPARE(comm.lastOpenFailure().kind, OpenErrorKind::NotFound);
        QVERIFY(!comm.PortOpen());
        QVERIFY(!comm.setOutput("l"));

        // A link to a device that is not there.
        QVERIFY(QFile::link(QStringLiteral("/dev/does-not-exist-kviro"), QDir(dir.path()).filePath(QStringLiteral("COM5"))));
        QVERIFY(!comm.setPortOpen(true));
        QVERIFY(comm.lastOpenFailure().kind != OpenErrorKind::None);
        QVERIFY(!comm.lastOpenFailure().text.isEmpty());
    }

    void vanishingPeerReadsAsClosedOnce()
    {
        PtyPort peer(m_dir.path(), 6);
        QVERIFY(peer.open());
        FolderPortCatalog catalog(m_dir.path());
        TMSComm comm(catalog);
        comm.setCommPort(6);
        QVERIFY(comm.setPortOpen(true));
        QSignalSpy lost(&comm, &TMSComm::portLost);
        peer.close();
        // The next write or read notices; no storm of errors.
        QTRY_VERIFY_WITH_TIMEOUT((comm.setOutput("l"), !comm.PortOpen()), 5000);
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
        QVERIFY(!comm.setPortOpen(true)); // its link is gone too
    }

    // The registry gives its values in the order of their names: the port search takes them by
    // COM number, and what the program does not use is named with the reason.
    void tableValuesOrderedAndUnusedNamed_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QStringList>("ordered");
        QTest::addColumn<QString>("note");
        const QString range = QStringLiteral(" (программа работает только с портами COM1–COM16)");
        QTest::newRow("COM3 only") << QStringList{"COM3"} << QStringList{"COM3"} << QString();
        QTest::newRow("registry order") << QStringList{"COM12", "COM3", "COM1", "COM16"} << QStringList{"COM1", "COM3", "COM12", "COM16"} << QString();
        QTest::newRow("COM17 only") << QStringList{"COM17"} << QStringList{"COM17"} << "Не используются: COM17" + range + ".";
        QTest::newRow("COM20 before COM3") << QStringList{"COM20", "COM3"} << QStringList{"COM3", "COM20"} << "Не используются: COM20" + range + ".";
        QTest::newRow("junk and zero") << QStringList{"CNCA0", "COM5", "COM0", "com4", "COM99999999999", ""}
                                       << QStringList{"COM0", "com4", "COM5", "CNCA0", "COM99999999999", ""}
                                       << "Не используются: CNCA0, COM99999999999, \"\" (не имя COM-порта), COM0" + range + ".";
        QTest::newRow("Linux devices past the numbering") << QStringList{"COM5", "ttyACM6", "ttyUSB6", "ttyUSB"}
                                       << QStringList{"COM5", "ttyACM6", "ttyUSB6", "ttyUSB"}
                                       << QStringLiteral("Не используются: ttyACM6, ttyUSB6 (COM-номер есть только у ttyS0–ttyS3, "
                                                         "ttyUSB0–ttyUSB5, ttyACM0–ttyACM5), ttyUSB (не имя COM-порта).");
    }
    void tableValuesOrderedAndUnusedNamed()
    {
        QFETCH(QStringList, values);
        QFETCH(QStringList, ordered);
        QFETCH(QString, note);
        QCOMPARE(comport::ascending(values), ordered);
        QCOMPARE(comport::unusedNote(comport::unused(values)), note);
    }

    void catalogFolderOrderAbsentAndEmpty()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        for (const char *name : {"COM12", "COM3", "COM1", "notes", "COMx"}) {
            QFile f(QDir(folder).filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        FolderPortCatalog catalog(folder);
        QCOMPARE(catalog.valueTexts().value(), (QStringList{QStringLiteral("COM1"), QStringLiteral("COM3"), QStringLiteral("COM12")}));
        QVERIFY(catalog.devicePath(3).endsWith(QStringLiteral("/COM3")));
        QVERIFY(catalog.devicePath(4).isEmpty());

        FolderPortCatalog absent(folder + QStringLiteral("/missing"));
        QVERIFY(!absent.valueTexts().has_value());
        QTemporaryDir emptyDir;
        FolderPortCatalog empty(emptyDir.path());
        QVERIFY(empty.valueTexts().has_value());
        QVERIFY(empty.valueTexts()->isEmpty());
    }

    void linuxDeviceNumbering()
    {
        QCOMPARE(SystemPortCatalog::comNumberForDevice(QStringLiteral("ttyS0")), 1);
        QCOMPARE(SystemPortCatalog::comNumberForDevice(QStringLiteral("ttyS3")), 4);
        QCOMPARE(SystemPortCatalog::comNumberForDevice(QStringLiteral("ttyS4")), 0);
        QCOMPARE(SystemPortCatalog::comNumberForDevice(QStringLiteral("ttyUSB0")), 5);
        QCOMPARE(SystemPortCatalog::comNumberForDevice(QStringLiteral("ttyACM5")), 16);
        QCOMPARE(SystemPortCatalog::comNumberForDevice(QStringLiteral("ttyACM6")), 0);
        QCOMPARE(SystemPortCatalog::comNumberForDevice(QStringLiteral("pts/1")), 0);
    }
};

QTEST_GUILESS_MAIN(TstSerial)
#include "tst_serial.moc"
