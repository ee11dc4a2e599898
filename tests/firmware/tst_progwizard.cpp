// The wizard's rules over its flags, walked through the operator's steps without widgets.
#include "firmware/progwizard.h"

#include <QTest>

using namespace firmware;

namespace {
struct Walk {
    ProgWizard wizard;
    WizardInputs in;
    QString status;
    bool loadEnabled = false;
    QString hint = texts::HintNotReady;

    Walk()
    {
        in.frameExists = true;
        in.firmwarePageCurrent = true;
    }
    void take(const WizardOutcome &o)
    {
        if (o.loadEnabled)
            loadEnabled = *o.loadEnabled;
        if (o.status)
            status = *o.status;
        if (o.loadHint)
            hint = *o.loadHint;
    }
    // A link check: the base text, then the wizard's rules.
    void tick()
    {
        status = in.linkOn ? QStringLiteral("Связь с прибором есть.") : QStringLiteral("Прибор выключен или не подключен к ПК.");
        take(wizard.linkUpdate(in));
    }
    void eval() { take(wizard.updateProgStep(in)); }
    void answers(char c)
    {
        in.linkOn = true;
        in.InstrumentWorking = c == 'L';
        in.InstrumentInLoader = c == 'l';
    }
    void portGone() { in.linkOn = in.InstrumentWorking = in.InstrumentInLoader = false; }
};
} // namespace

class TestProgWizard : public QObject {
    Q_OBJECT
private slots:
    void stepsInTheOperatorsOrder()
    {
        Walk w;
        w.answers('L');
        w.wizard.reset(); // the page became current
        w.eval();
        QCOMPARE(w.status, texts::StepFile);
        QCOMPARE(w.hint, texts::HintNotReady);
        w.in.FirmwareFileReady = true; // the default search found the image
        w.eval();
        QCOMPARE(w.status, texts::StepSwitchOff);
        w.tick();
        QCOMPARE(w.status, texts::StepSwitchOff);

        w.portGone(); // switched off
        w.tick();
        QCOMPARE(w.status, texts::StepSwitchOnTick);
        w.eval();
        QCOMPARE(w.status, texts::StepSwitchOnEval);
        QVERIFY(!w.loadEnabled);

        w.answers('l'); // on with the stylus
        w.tick();
        QCOMPARE(w.status, texts::StepLoad);
        QVERIFY(w.loadEnabled);
        QCOMPARE(w.hint, texts::HintReady);

        // The load: the transfer holds the button and its own status text.
        w.wizard.transferStarted();
        w.in.transferBusy = true;
        w.status = texts::Loading;
        w.eval(); // a click on an inner tab during the transfer
        QCOMPARE(w.status, texts::Loading);
        QVERIFY(!w.loadEnabled);
        w.wizard.transferHeaderSent();
        w.wizard.transferDone();
        w.in.transferBusy = false;
        w.in.loader = LoaderState::Programming;
        w.status = texts::Programming;

        w.tick(); // still seen in the boot loader while it programs: no second start
        QCOMPARE(w.status, texts::Programming);
        QVERIFY(!w.loadEnabled);
        w.eval();
        QCOMPARE(w.status, texts::Programming);
        QVERIFY(!w.loadEnabled);
        w.portGone(); // restarting
        w.in.loader = LoaderState::Restarting;
        w.tick();
        QCOMPARE(w.status, texts::Rebooting);
        QVERIFY(w.wizard.flags().RebootSeen);
        w.eval();
        QCOMPARE(w.status, texts::Rebooting);

        w.answers('L'); // back in working mode: the watch reports the end
        w.in.loader = LoaderState::Ready;
        QVERIFY(w.wizard.reprogrammingEnded());
        QVERIFY(w.wizard.flags().WizardActive);
        QVERIFY(w.wizard.flags().ReprogramFinished);
        QVERIFY(!w.wizard.flags().TransferStarted);
        w.status = texts::Finished;
        for (int i = 0; i < 3; ++i) { // the end message outlasts the link checks
            w.tick();
            QCOMPARE(w.status, texts::Finished);
        }
        w.eval(); // the operator's next action, e.g. a tab click
        QCOMPARE(w.status, texts::StepSwitchOff);
        w.tick();
        QCOMPARE(w.status, texts::StepSwitchOff);
    }

    void endIsAnnouncedOnlyForATransferFollowedFromItsStart()
    {
        Walk w;
        w.in.FirmwareFileReady = true;
        w.answers('L');
        w.wizard.reset(); // the page was left and entered again while the instrument programmed
        QVERIFY(!w.wizard.reprogrammingEnded());
        w.wizard.transferStarted();
        w.wizard.transferHeaderSent();
        w.wizard.transferDone();
        w.wizard.stop();
        QVERIFY(!w.wizard.reprogrammingEnded());
    }

    void restartWithoutLinkDropShowsProgrammingUntilTheEnd()
    {
        Walk w;
        w.in.FirmwareFileReady = true;
        w.answers('l');
        w.wizard.reset();
        w.wizard.transferStarted();
        w.wizard.transferHeaderSent();
        w.wizard.transferDone();
        w.in.loader = LoaderState::Restarting; // silent while programming, the port stays listed
        w.in.instrumentSilent = true;
        w.tick();
        QCOMPARE(w.status, texts::Programming);
        QVERIFY(!w.wizard.flags().RebootSeen); // the link was never seen lost
        w.answers('L'); // restarted in working mode
        w.in.loader = LoaderState::Ready;
        QVERIFY(w.wizard.reprogrammingEnded());
        w.tick();
        QCOMPARE(w.status, texts::Finished);
    }

    void bootLoaderThatIsNotReadyKeepsTheLoadDisabled()
    {
        Walk w;
        w.in.FirmwareFileReady = true;
        w.answers('l');
        w.wizard.reset();
        w.in.loader = LoaderState::HoldsPartial;
        w.tick();
        QCOMPARE(w.status, texts::RestartForRetry);
        QVERIFY(!w.loadEnabled);
        QCOMPARE(w.hint, texts::HintNotReady);
        w.eval();
        QCOMPARE(w.status, texts::RestartForRetry);
        w.in.loaderRefused = true;
        w.tick();
        QCOMPARE(w.status, texts::NotRestarted);

        w.in.loader = LoaderState::PartialRestarting;
        w.in.instrumentSilent = true; // off, its port still listed
        w.tick();
        QCOMPARE(w.status, texts::RestartForRetry);
        w.portGone();
        w.tick();
        QCOMPARE(w.status, texts::StepSwitchOnTick);
        w.eval();
        QCOMPARE(w.status, texts::StepSwitchOnEval);
        w.answers('L');
        w.in.instrumentSilent = false;
        w.tick();
        QCOMPARE(w.status, texts::StepSwitchOff);
        QVERIFY(!w.loadEnabled);

        w.answers('l');
        w.in.loader = LoaderState::Ready;
        w.tick();
        QCOMPARE(w.status, texts::StepLoad);
        QVERIFY(w.loadEnabled);
    }

    void linkOffBeforeAnyTransferAndOtherPages()
    {
        Walk w;
        w.in.FirmwareFileReady = true;
        w.wizard.reset();
        w.wizard.transferStarted(); // started but not finished (cancelled ticks were paused)
        w.portGone();
        w.tick();
        QCOMPARE(w.status, QStringLiteral("Прибор выключен или не подключен к ПК."));
        QVERIFY(!w.wizard.flags().RebootSeen);

        w.wizard.stop(); // another page
        w.in.firmwarePageCurrent = false;
        w.tick();
        QCOMPARE(w.status, QStringLiteral("Прибор выключен или не подключен к ПК."));
        w.answers('l');
        w.tick();
        QCOMPARE(w.status, QStringLiteral("Связь с прибором есть."));
        QVERIFY(w.loadEnabled); // the button follows the flags even while inactive
        w.status = QStringLiteral("x");
        w.eval(); // inactive: nothing
        QCOMPARE(w.status, QStringLiteral("x"));

        WizardInputs noFrame = w.in;
        noFrame.frameExists = false;
        QVERIFY(!w.wizard.linkUpdate(noFrame).loadEnabled.has_value());
    }

    void rebootIntoBootLoaderEndsOnTheLoadStep()
    {
        // The end is announced, the reset wizard is active again, and with the instrument back in
        // its boot loader the load step replaces the message at the next link check.
        Walk w;
        w.in.FirmwareFileReady = true;
        w.wizard.reset();
        w.wizard.transferStarted();
        w.wizard.transferHeaderSent();
        w.wizard.transferDone();
        w.in.loader = LoaderState::Restarting;
        w.portGone();
        w.tick();
        w.answers('l');
        w.in.loader = LoaderState::Ready;
        QVERIFY(w.wizard.reprogrammingEnded());
        w.tick();
        QCOMPARE(w.status, texts::StepLoad);
        QVERIFY(w.loadEnabled);
    }
};

QTEST_GUILESS_MAIN(TestProgWizard)
#include "tst_progwizard.moc"
