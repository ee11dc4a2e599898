// Port search, link check and receive dispatcher through the real main window, the real serial
// layer and the virtual instrument on a pseudo-terminal.
#include "app/mainwindow.h"
#include "support/testbed.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QToolButton>

class TstLinkCheck : public QObject {
    Q_OBJECT

    static QString statusOf(TFormMainKviroS_D7 &w) { return w.status().text(); }

private slots:
    void firstTickFindsTheInstrumentAndItsMode()
    {
        TestBed bed;
        auto &w = bed.window();
        auto *indicator = w.findChild<QToolButton *>(QStringLiteral("sbtnCommON"));
        QVERIFY(!indicator->isEnabled());
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lbCommParam"))->text(), QStringLiteral("параметры не определены"));

        bed.tick();
        QVERIFY(w.link().linkOn());
        QVERIFY(indicator->isEnabled());
        QVERIFY(w.link().InstrumentWorking);
        QVERIFY(!w.link().InstrumentInLoader);
        QCOMPARE(w.link().CurrentPort, 3);
        // The tick flushed and probed exactly once.
        QCOMPARE(bed.instrument().core().received(), QByteArray("l"));
        // The answer came after that tick's link-state update; the next one shows it.
        QVERIFY(!w.ActionSor2006->isEnabled());
        bed.tick();
        QCOMPARE(statusOf(w), QStringLiteral("Связь с прибором есть."));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lbCommParam"))->text(), QStringLiteral("Параметры: 115200,n,8,1"));
        QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cbxNumPort"))->currentText(), QStringLiteral("3"));
        QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cbBaudRate"))->currentText(), QStringLiteral("115200"));
        QVERIFY(w.ActionBDTS->isEnabled() && w.ActionSor2006->isEnabled() && w.ActionFile->isEnabled());
        QVERIFY(w.ActionSoftSorvint->isEnabled());

        // Boot-loader mode: only "Сорвинт" and "Выход" stay; other pages say so.
        bed.instrument().core().setMode(InstrumentCore::Mode::Loader);
        bed.tick();
        bed.tick();
        QVERIFY(w.link().InstrumentInLoader);
        QVERIFY(!w.link().InstrumentWorking);
        QVERIFY(w.ActionSoftSorvint->isEnabled());
        QVERIFY(!w.ActionBDTS->isEnabled() && !w.ActionSor2006->isEnabled() && !w.ActionFile->isEnabled());
        QVERIFY(w.ActionExit->isEnabled());
        QCOMPARE(statusOf(w), QStringLiteral("Прибор в режиме перепрограммирования."));

        // And back: "L" reverses both flags.
        bed.instrument().core().setMode(InstrumentCore::Mode::Working);
        bed.tick();
        bed.tick();
        QVERIFY(w.link().InstrumentWorking);
        QVERIFY(!w.link().InstrumentInLoader);
        QVERIFY(w.ActionSor2006->isEnabled());
    }

    void portRemovedAndBack()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        QVERIFY(w.link().linkOn());

        bed.instrument().powerOff();
        bed.tick(200);
        QVERIFY(!w.link().linkOn());
        QVERIFY(!w.link().InstrumentWorking);
        QVERIFY(!w.link().InstrumentInLoader);
        QVERIFY(!w.link().portOpen());
        QCOMPARE(statusOf(w), QStringLiteral("Прибор выключен или не подключен к ПК."));
        QVERIFY(!w.ActionSoftSorvint->isEnabled());
        QVERIFY(w.ActionExit->isEnabled());
        // A second tick without ports changes nothing and does not spin.
        bed.tick(100);
        QVERIFY(!w.link().linkOn());

        bed.instrument().powerOn();
        bed.tick();
        QVERIFY(w.link().linkOn());
        QVERIFY(w.link().InstrumentWorking);
        bed.tick();
        QVERIFY(w.ActionSor2006->isEnabled());
    }

    void portVanishingWhileOpenIsClosedAtTheFirstError()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        bed.instrument().port().close(); // the peer is gone but the tick has not run yet
        QTRY_VERIFY_WITH_TIMEOUT((w.link().SendCommand("l"), !w.link().portOpen()), 5000);
        bed.tick(200);
        QVERIFY(!w.link().linkOn());
    }

    void unlistedPortGivesWayToTheFirstListed()
    {
        TestBed bed(false);
        VirtualInstrument other(bed.portFolder(), 7);
        QVERIFY(other.powerOn());
        auto &w = bed.window();
        w.link().MSComm1.setCommPort(9); // a port the catalog does not list
        bed.tick();
        QCOMPARE(w.link().CurrentPort, 7);
        QVERIFY(w.link().linkOn());

        // With two listed, a choice that is listed is kept.
        QVERIFY(bed.instrument().powerOn());
        bed.tick();
        QCOMPARE(w.link().CurrentPort, 7);
        QCOMPARE(w.link().PortNumbers, (QStringList{QStringLiteral("3"), QStringLiteral("7")}));
        other.powerOff();
        bed.tick();
        QCOMPARE(w.link().CurrentPort, 3);
        QVERIFY(w.link().linkOn());
    }

    void registryValuesAreFiltered()
    {
        TestBed bed(false);
        // COM20 and a value that is no number are skipped; COM4 is listed.
        for (const char *name : {"COM20", "COM4"})
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), QDir(bed.portFolder()).filePath(QString::fromLatin1(name))));
        auto &w = bed.window();
        bed.tick(100);
        QCOMPARE(w.link().PortNumbers, QStringList{QStringLiteral("4")});
        auto *combo = w.findChild<QComboBox *>(QStringLiteral("cbxNumPort"));
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), QStringLiteral("4"));
    }

    void silentInstrumentKeepsTheIndicator()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        bed.tick();
        bed.instrument().core().setSilent(true);
        bed.tick(200);
        bed.tick(200);
        QVERIFY(w.link().linkOn());
        QCOMPARE(statusOf(w), QStringLiteral("Связь с прибором есть."));
    }

    void operatorChoosesSpeedAndPort()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        // Indicator on: the speed changes at once.
        w.link().cbBaudRateChange(1);
        QCOMPARE(statusOf(w), QStringLiteral("Установление контакта с прибором."));
        QCOMPARE(w.link().MSComm1.Settings(), QStringLiteral("9600,n,8,1"));
        bed.tick();
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lbCommParam"))->text(), QStringLiteral("Параметры: 9600,n,8,1"));
        QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cbBaudRate"))->currentText(), QStringLiteral("9600"));

        // Indicator off: the speed waits for the next tick's open.
        bed.instrument().powerOff();
        bed.tick(100);
        w.link().cbBaudRateChange(4);
        QCOMPARE(w.link().MSComm1.Settings(), QStringLiteral("9600,n,8,1"));
        bed.instrument().powerOn();
        bed.tick();
        QCOMPARE(w.link().MSComm1.Settings(), QStringLiteral("57600,n,8,1"));

        // Picking a port opens it without a probe; the next tick probes.
        VirtualInstrument other(bed.portFolder(), 5);
        QVERIFY(other.powerOn());
        bed.tick();
        const int index = int(w.link().PortNumbers.indexOf(QStringLiteral("5")));
        QVERIFY(index >= 0);
        other.core().clearReceived();
        w.link().cbxNumPortChange(index);
        QCOMPARE(w.link().CurrentPort, 5);
        QVERIFY(w.link().portOpen());
        TestBed::pump(50);
        QCOMPARE(other.core().received(), QByteArray());
        bed.tick();
        QCOMPARE(other.core().received(), QByteArray("l"));

        // The list open suspends the ticks.
        w.link().startPortSearch();
        w.link().cbxNumPortDropDown();
        QVERIFY(!w.link().portSearchRunning());
        w.link().cbxNumPortCloseUp();
        QVERIFY(w.link().portSearchRunning());
        // ...but not over a stream that holds the line.
        w.link().stopPortSearch();
        w.link().holdPortSearch(true);
        w.link().cbxNumPortDropDown();
        w.link().cbxNumPortCloseUp();
        QVERIFY(!w.link().portSearchRunning());
        w.link().holdPortSearch(false);
    }

    void dispatcherCases()
    {
        TestBed bed;
        auto &w = bed.window();
        auto &link = w.link();
        bed.tick();
        auto &vi = bed.instrument();

        // "B" alone turns the indicator on and keeps the mode flags.
        link.setLinkOn(false);
        vi.sendLinkSignal();
        QTRY_VERIFY(link.linkOn());
        QVERIFY(link.InstrumentWorking);
        QVERIFY(link.RxBuffer.isEmpty());

        // "B" with more in the same read is not consumed.
        vi.sendRaw("BX");
        QTRY_COMPARE(link.RxBuffer, QByteArray("BX"));
        bed.tick(); // the tick empties it and probes again
        QVERIFY(link.RxBuffer.isEmpty());

        // "LL" in one read is one answer.
        link.InstrumentWorking = false;
        vi.sendRaw("LL");
        QTRY_VERIFY(link.InstrumentWorking);
        QCOMPARE(link.ReplyLen, 2);
        QVERIFY(link.RxBuffer.isEmpty());

        // A fixed-length message split across notifications is dispatched once, when complete.
        int calls = 0, consumed = 0;
        link.registerBranch('Z', [&] {
            ++calls;
            if (link.RxBuffer.size() == 6) {
                ++consumed;
                link.RxBuffer.clear();
            }
        });
        vi.sendRaw("Zab");
        QTRY_COMPARE(link.RxBuffer, QByteArray("Zab"));
        vi.sendRaw("cde");
        QTRY_COMPARE(consumed, 1);
        QVERIFY(calls >= 2);

        // An unknown first byte stays, with what follows, until the next tick empties it.
        vi.sendRaw("X");
        QTRY_COMPARE(link.RxBuffer, QByteArray("X"));
        vi.sendRaw("L");
        QTRY_COMPARE(link.RxBuffer, QByteArray("XL"));
        bed.tick();
        QVERIFY(link.RxBuffer.isEmpty());
        QVERIFY(link.linkOn());
    }
};

QTEST_MAIN(TstLinkCheck)
#include "tst_linkcheck.moc"
