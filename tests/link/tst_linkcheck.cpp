// Port search, link check and receive dispatcher through the real main window, the real serial
// layer and the virtual instrument on a pseudo-terminal.
#include "app/mainwindow.h"
#include "support/testbed.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {
QString statusOf(TFormMainKviroS_D7 &w) { return w.status().text(); }
QLabel *paramLabel(TFormMainKviroS_D7 &w) { return w.findChild<QLabel *>(QStringLiteral("lbCommParam")); }
QComboBox *portCombo(TFormMainKviroS_D7 &w) { return w.findChild<QComboBox *>(QStringLiteral("cbxNumPort")); }
QComboBox *baudCombo(TFormMainKviroS_D7 &w) { return w.findChild<QComboBox *>(QStringLiteral("cbBaudRate")); }
QToolButton *indicator(TFormMainKviroS_D7 &w) { return w.findChild<QToolButton *>(QStringLiteral("sbtnCommON")); }

// Two ticks: the first opens and probes, the second's link-state update shows the answer.
void settle(TestBed &bed)
{
    bed.tick();
    bed.tick();
}

// Any object may own an exchange; the tests use one of their own.
struct Owner : QObject {};
} // namespace

class TstLinkCheck : public QObject {
    Q_OBJECT

private slots:
    // ---- start and the first ticks

    void startValuesBeforeTheFirstTick()
    {
        TestBed bed;
        auto &w = bed.window();
        QVERIFY(!indicator(w)->isEnabled());
        QVERIFY(!w.link().linkOn());
        QVERIFY(!w.link().instrumentWorking() && !w.link().instrumentInLoader());
        QCOMPARE(paramLabel(w)->text(), QStringLiteral("параметры не определены"));
        QCOMPARE(portCombo(w)->currentIndex(), -1);
        QCOMPARE(baudCombo(w)->currentIndex(), -1);
        // The serial control itself starts at the speed the drop-down will show.
        QCOMPARE(w.link().line().Settings(), QStringLiteral("115200,n,8,1"));
    }

    void firstTickOpensTheListedPortAndProbesOnce()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        QCOMPARE(w.link().currentPort(), 3);
        QVERIFY(w.link().portOpen());
        QCOMPARE(bed.instrument().core().received(), QByteArray("l"));
        QCOMPARE(portCombo(w)->currentText(), QStringLiteral("3"));
    }

    void workingAnswerEnablesTheActionsAtTheNextUpdate()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        QVERIFY(w.link().linkOn());
        QVERIFY(indicator(w)->isEnabled());
        QVERIFY(w.link().instrumentWorking());
        QVERIFY(!w.link().instrumentInLoader());
        // The answer came after that tick's link-state update; the next one shows it.
        QVERIFY(!w.ActionReader->isEnabled());
        bed.tick();
        QCOMPARE(statusOf(w), QStringLiteral("Связь с прибором есть."));
        QCOMPARE(paramLabel(w)->text(), QStringLiteral("Параметры: 115200,n,8,1"));
        QCOMPARE(baudCombo(w)->currentText(), QStringLiteral("115200"));
        QVERIFY(w.ActionBDTS->isEnabled() && w.ActionReader->isEnabled() && w.ActionFile->isEnabled());
        QVERIFY(w.ActionSoftSorvint->isEnabled());
    }

    void bootLoaderAnswerLeavesOnlyFirmwareAndExit()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.instrument().core().setMode(InstrumentCore::Mode::Loader);
        settle(bed);
        QVERIFY(w.link().instrumentInLoader());
        QVERIFY(!w.link().instrumentWorking());
        QVERIFY(w.ActionSoftSorvint->isEnabled());
        QVERIFY(!w.ActionBDTS->isEnabled() && !w.ActionReader->isEnabled() && !w.ActionFile->isEnabled());
        QVERIFY(w.ActionExit->isEnabled());
        QCOMPARE(statusOf(w), QStringLiteral("Прибор в режиме перепрограммирования."));
    }

    void workingAnswerAfterTheBootLoaderReversesBothFlags()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.instrument().core().setMode(InstrumentCore::Mode::Loader);
        settle(bed);
        bed.instrument().core().setMode(InstrumentCore::Mode::Working);
        settle(bed);
        QVERIFY(w.link().instrumentWorking());
        QVERIFY(!w.link().instrumentInLoader());
        QVERIFY(w.ActionReader->isEnabled());
    }

    // ---- ports that come, go and refuse

    void portRemovedAndBack()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        QVERIFY(w.link().linkOn());

        bed.instrument().powerOff();
        bed.tick(200);
        QVERIFY(!w.link().linkOn());
        QVERIFY(!w.link().instrumentWorking());
        QVERIFY(!w.link().instrumentInLoader());
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
        QVERIFY(w.link().instrumentWorking());
        bed.tick();
        QVERIFY(w.ActionReader->isEnabled());
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

    void listedPortThatCannotBeOpenedTurnsTheLinkOff()
    {
        TestBed bed;
        auto &w = bed.window();
        settle(bed);
        QVERIFY(w.link().linkOn() && w.link().instrumentWorking());
        // The device goes, but its name stays listed: a link to nothing.
        bed.instrument().powerOff();
        const QString com3 = QDir(bed.portFolder()).filePath(QStringLiteral("COM3"));
        QVERIFY(QFile::link(QDir(bed.portFolder()).filePath(QStringLiteral("gone")), com3));
        QTRY_VERIFY_WITH_TIMEOUT((w.link().SendCommand("l"), !w.link().portOpen()), 5000);
        bed.tick(200);
        QCOMPARE(w.link().portNumbers(), QStringList{QStringLiteral("3")});
        QVERIFY(!w.link().portOpen());
        QVERIFY(!w.link().linkOn());
        QVERIFY(!indicator(w)->isEnabled());
        QVERIFY(!w.link().instrumentWorking());
        QVERIFY(!w.link().instrumentInLoader());
        QCOMPARE(statusOf(w), QStringLiteral("Прибор выключен или не подключен к ПК."));
        QVERIFY(!w.ActionReader->isEnabled());
        QVERIFY2(portCombo(w)->toolTip().contains(QStringLiteral("не найден")), qPrintable(portCombo(w)->toolTip()));

        // The device back under the same name: found at the next tick.
        QVERIFY(QFile::remove(com3));
        QVERIFY(bed.instrument().powerOn());
        settle(bed);
        QVERIFY(w.link().linkOn());
        QCOMPARE(portCombo(w)->toolTip(), QStringLiteral("Выбор Com-порта."));
    }

    void unlistedPortGivesWayToTheFirstListed()
    {
        TestBed bed(false);
        VirtualInstrument other(bed.portFolder(), 7);
        QVERIFY(other.powerOn());
        auto &w = bed.window();
        w.link().streamLine().setCommPort(9); // a port the catalog does not list
        bed.tick();
        QCOMPARE(w.link().currentPort(), 7);
        QVERIFY(w.link().linkOn());

        // With two listed, a choice that is listed is kept.
        QVERIFY(bed.instrument().powerOn());
        bed.tick();
        QCOMPARE(w.link().currentPort(), 7);
        QCOMPARE(w.link().portNumbers(), (QStringList{QStringLiteral("3"), QStringLiteral("7")}));
        other.powerOff();
        bed.tick();
        QCOMPARE(w.link().currentPort(), 3);
        QVERIFY(w.link().linkOn());
    }

    void registryValuesAreFiltered()
    {
        TestBed bed(false);
        // COM20 is skipped; COM4 is listed.
        for (const char *name : {"COM20", "COM4"})
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), QDir(bed.portFolder()).filePath(QString::fromLatin1(name))));
        auto &w = bed.window();
        bed.tick(100);
        QCOMPARE(w.link().portNumbers(), QStringList{QStringLiteral("4")});
        auto *combo = portCombo(w);
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), QStringLiteral("4"));
        // COM20 is not lost without a word: the drop-down's hint names it with the reason.
        QVERIFY2(combo->toolTip().contains(QStringLiteral("Не используются: COM20 (программа работает только с портами COM1–COM16)")),
                 qPrintable(combo->toolTip()));
    }

    void noPortListedStillShowsTheLineSettings()
    {
        TestBed bed(false);
        auto &w = bed.window();
        bed.tick(100);
        QVERIFY(!w.link().linkOn());
        // The label and the speed drop-down agree before any port has opened.
        QCOMPARE(paramLabel(w)->text(), QStringLiteral("Параметры: 115200,n,8,1"));
        QCOMPARE(baudCombo(w)->currentText(), QStringLiteral("115200"));
    }

    void silentInstrumentKeepsTheIndicator()
    {
        TestBed bed;
        auto &w = bed.window();
        settle(bed);
        bed.instrument().core().setSilent(true);
        bed.tick(200);
        bed.tick(200);
        QVERIFY(w.link().linkOn());
        QCOMPARE(statusOf(w), QStringLiteral("Связь с прибором есть."));
    }

    // ---- the operator's choices on the port strip

    void speedChosenWithTheLinkOnAppliesAtOnce()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        w.link().cbBaudRateChange(1);
        QCOMPARE(statusOf(w), QStringLiteral("Установление контакта с прибором."));
        QCOMPARE(w.link().line().Settings(), QStringLiteral("9600,n,8,1"));
        bed.tick();
        QCOMPARE(paramLabel(w)->text(), QStringLiteral("Параметры: 9600,n,8,1"));
        QCOMPARE(baudCombo(w)->currentText(), QStringLiteral("9600"));
    }

    void speedChosenWithTheLinkOffWaitsForTheNextOpen()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        bed.instrument().powerOff();
        bed.tick(100);
        w.link().cbBaudRateChange(4);
        QCOMPARE(w.link().line().Settings(), QStringLiteral("115200,n,8,1"));
        bed.instrument().powerOn();
        bed.tick();
        QCOMPARE(w.link().line().Settings(), QStringLiteral("57600,n,8,1"));
    }

    void pickedPortOpensWithoutAProbe()
    {
        TestBed bed;
        auto &w = bed.window();
        VirtualInstrument other(bed.portFolder(), 5);
        QVERIFY(other.powerOn());
        bed.tick();
        const int index = int(w.link().portNumbers().indexOf(QStringLiteral("5")));
        QVERIFY(index >= 0);
        other.core().clearReceived();
        w.link().cbxNumPortChange(index);
        QCOMPARE(w.link().currentPort(), 5);
        QVERIFY(w.link().portOpen());
        TestBed::pump(50);
        QCOMPARE(other.core().received(), QByteArray());
        bed.tick();
        QCOMPARE(other.core().received(), QByteArray("l"));
    }

    void portListSuspendsTheTicksButNeverOverAnExchange()
    {
        TestBed bed;
        auto &link = bed.window().link();
        link.startPortSearch();
        link.cbxNumPortDropDown();
        QVERIFY(!link.portSearchRunning());
        link.cbxNumPortCloseUp();
        QVERIFY(link.portSearchRunning());

        // An exchange holds the line: closing the list leaves the ticks stopped, and the end of
        // the exchange while the list is open waits for the list to close.
        Owner owner;
        QVERIFY(link.beginExchange(&owner, {}));
        link.cbxNumPortDropDown();
        link.cbxNumPortCloseUp();
        QVERIFY(!link.portSearchRunning());
        link.cbxNumPortDropDown();
        link.endExchange(&owner);
        QVERIFY(!link.portSearchRunning());
        link.cbxNumPortCloseUp();
        QVERIFY(link.portSearchRunning());
    }

    void portListClosedAnyWayResumesTheTicks()
    {
        TestBed bed;
        auto &w = bed.window();
        QWidget elsewhere;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        settle(bed);
        auto &link = w.link();
        QComboBox *combo = portCombo(w);
        QVERIFY(combo->count() > 0);
        link.startPortSearch();

        auto open = [&] {
            combo->showPopup();
            QTRY_VERIFY(combo->view()->isVisible());
            QVERIFY(!link.portSearchRunning());
        };
        auto closedAndRunning = [&](const char *how) {
            QTRY_VERIFY2(!combo->view()->isVisible(), how);
            QVERIFY2(link.portSearchRunning(), how);
        };

        open();
        QTest::keyClick(combo->view(), Qt::Key_Escape);
        closedAndRunning("escape");

        open();
        QTest::keyClick(combo->view(), Qt::Key_Return);
        closedAndRunning("an item chosen");

        open();
        // A press outside the list reaches the list first (it holds the mouse), which closes itself.
        QTest::mouseClick(combo->view()->window(), Qt::LeftButton, {}, QPoint(-20, -20));
        closedAndRunning("a click outside the list");

        open();
        elsewhere.show();
        QApplication::setActiveWindow(&elsewhere);
        closedAndRunning("another window activated");

        open();
        combo->view()->window()->close();
        closedAndRunning("the list's window closed");

        open();
        combo->hidePopup();
        closedAndRunning("the combo box closes it");

        // An empty list never opens: the ticks stay on.
        combo->clear();
        combo->showPopup();
        QVERIFY(link.portSearchRunning());
    }

    // ---- the receive dispatcher

    void loneBTurnsTheIndicatorOnAndKeepsTheMode()
    {
        TestBed bed;
        auto &w = bed.window();
        auto &link = w.link();
        bed.instrument().core().setSilent(true); // the probe gets no answer: the port open, the indicator off
        bed.tick(200);
        QVERIFY(link.portOpen());
        QVERIFY(!link.linkOn());
        bed.instrument().sendLinkSignal();
        QTRY_VERIFY(link.linkOn());
        QVERIFY(!link.instrumentWorking() && !link.instrumentInLoader());
        QVERIFY(link.rxBuffer().isEmpty());
    }

    void bWithMoreBehindItIsNotConsumed()
    {
        TestBed bed;
        auto &link = bed.window().link();
        bed.tick();
        bed.instrument().sendRaw("BX");
        QTRY_COMPARE(link.rxBuffer(), QByteArray("BX"));
        bed.tick(); // the tick empties it and probes again
        QVERIFY(link.rxBuffer().isEmpty());
    }

    void twoAnswersReadTogetherAreOne()
    {
        TestBed bed;
        auto &link = bed.window().link();
        bed.tick();
        bed.instrument().sendRaw("l");
        QTRY_VERIFY(link.instrumentInLoader());
        bed.instrument().sendRaw("LL");
        QTRY_VERIFY(link.instrumentWorking());
        QVERIFY(!link.instrumentInLoader());
        QCOMPARE(link.replyLen(), 2);
        QVERIFY(link.rxBuffer().isEmpty());
    }

    void messageInPiecesIsDispatchedOnceWhole()
    {
        TestBed bed;
        auto &link = bed.window().link();
        bed.tick();
        int calls = 0;
        QByteArray taken;
        link.registerBranch('Z', InstrumentLink::BranchKind::Request, [&](const QByteArray &waiting) -> qsizetype {
            ++calls;
            if (waiting.size() < 6)
                return InstrumentLink::NeedMore;
            taken = waiting.left(6);
            return 6;
        });
        bed.instrument().sendRaw("Zab");
        QTRY_COMPARE(link.rxBuffer(), QByteArray("Zab"));
        QCOMPARE(link.replyLen(), 3);
        bed.instrument().sendRaw("cde");
        QTRY_COMPARE(taken, QByteArray("Zabcde"));
        QVERIFY(calls >= 2);
        QVERIFY(link.rxBuffer().isEmpty());

        // A branch that takes part of the buffer: what follows is dispatched by its own tag.
        bed.instrument().sendRaw("Z12345L");
        QTRY_COMPARE(taken, QByteArray("Z12345"));
        QTRY_VERIFY(link.rxBuffer().isEmpty());
        QVERIFY(link.instrumentWorking());
        link.unregisterBranch('Z');
    }

    void unknownFirstByteIsDroppedUpToTheNextMessage()
    {
        TestBed bed;
        auto &link = bed.window().link();
        bed.tick();
        QList<QByteArray> ignored;
        connect(&link, &InstrumentLink::bytesIgnored, this, [&](const QByteArray &b, const QString &) { ignored << b; });
        // Alone it waits: what follows may tell where the next message begins.
        bed.instrument().sendRaw("X");
        QTRY_COMPARE(link.rxBuffer(), QByteArray("X"));
        bed.instrument().sendRaw("l");
        QTRY_VERIFY(link.instrumentInLoader());
        QVERIFY(link.rxBuffer().isEmpty());
        QCOMPARE(ignored, QList<QByteArray>{"X"});
        // The tick empties what is held, and says so.
        bed.instrument().sendRaw("Y");
        QTRY_COMPARE(link.rxBuffer(), QByteArray("Y"));
        bed.tick();
        QVERIFY(link.rxBuffer().isEmpty());
        QVERIFY(link.instrumentWorking());
        QCOMPARE(ignored, (QList<QByteArray>{"X", "Y"}));
    }

    void theLinksOwnAnswersCannotBeTakenOver()
    {
        TestBed bed;
        auto &link = bed.window().link();
        bed.tick();
        bool called = false;
        link.registerBranch('L', InstrumentLink::BranchKind::Notice, [&](const QByteArray &w) -> qsizetype {
            called = true;
            return w.size();
        });
        bed.instrument().sendRaw("l");
        QTRY_VERIFY(link.instrumentInLoader());
        bed.instrument().sendRaw("L");
        QTRY_VERIFY(link.instrumentWorking());
        QVERIFY(!called);
    }

    void flushActsOnlyWithTheLinkOnAndThePortOpen()
    {
        TestBed bed;
        auto &link = bed.window().link();
        // Port open, indicator off (no answer): the flush leaves the buffer.
        bed.instrument().core().setSilent(true);
        bed.tick(200);
        bed.instrument().sendRaw("X1");
        QTRY_COMPARE(link.rxBuffer(), QByteArray("X1"));
        link.FlushInput();
        QCOMPARE(link.rxBuffer(), QByteArray("X1"));
        // The link signal behind the stray bytes is served; they are dropped.
        bed.instrument().sendLinkSignal();
        QTRY_VERIFY(link.linkOn() && link.rxBuffer().isEmpty());
        // Indicator on, port open: emptied.
        bed.instrument().core().setSilent(false);
        bed.tick();
        QVERIFY(link.linkOn());
        bed.instrument().sendRaw("X2");
        QTRY_COMPARE(link.rxBuffer(), QByteArray("X2"));
        link.FlushInput();
        QVERIFY(link.rxBuffer().isEmpty());
        // Indicator on, port gone: nothing to flush, the buffer stays.
        bed.instrument().sendRaw("X3");
        QTRY_COMPARE(link.rxBuffer(), QByteArray("X3"));
        link.closePort();
        QVERIFY(link.linkOn());
        link.FlushInput();
        QCOMPARE(link.rxBuffer(), QByteArray("X3"));
        // The speed change flushes through it.
        (void)link.streamLine().setPortOpen(true);
        link.cbBaudRateChange(5);
        QVERIFY(link.rxBuffer().isEmpty());
    }
};

QTEST_MAIN(TstLinkCheck)
#include "tst_linkcheck.moc"
