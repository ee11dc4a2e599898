#pragma once
// The programming wizard's rules without widgets: five flags of its own, read together with the
// link state, the image flag and the firmware page, give the status line, the load button's
// enabled state and its hint. There is no step counter; each event re-evaluates from the flags.
#include "firmware/loaderwatch.h"

#include <QString>

#include <optional>

namespace firmware {

namespace texts {
inline const QString StepFile = QStringLiteral("Определите файл для загрузки. Шаг 1.");
inline const QString StepSwitchOff = QStringLiteral("Выключите прибор. Шаг 2.");
inline const QString StepSwitchOnEval = QStringLiteral("Включите прибор удерживая указку на экране.Шаг 2.");
inline const QString StepSwitchOnTick = QStringLiteral("Включите прибор удерживая указку на экране.");
inline const QString StepLoad = QStringLiteral("Загрузите программу в прибор. Шаг 3.");
inline const QString Loading = QStringLiteral("Загрузка программы в прибор");
inline const QString Programming = QStringLiteral("Программирование прибора");
inline const QString Cancelled = QStringLiteral("Программирование прибора приостановлено");
inline const QString Rebooting = QStringLiteral("Перезагрузка прибора");
inline const QString Finished = QStringLiteral("Перепрограммирование прибора завершено");
inline const QString HintReady = QStringLiteral("Загрузка программы управления в прибор.");
inline const QString HintNotReady = QStringLiteral("Прибор не готов к загрузке программы управления.");
inline const QString NotInLoaderCaption = QStringLiteral("Вернитесь к шагу 2.");
inline const QString NotInLoaderText = QStringLiteral("Прибор не в режиме программирования!");
// The boot loader holds part of a stream (or did not take the whole one): a new load would be
// misread until the instrument has restarted.
inline const QString RestartForRetry =
    QStringLiteral("Загрузка прервана. Выключите прибор и включите, удерживая указку на экране. Шаг 2.");
// No restart within the restart limit after the whole stream.
inline const QString NotRestarted = QStringLiteral(
    "Прибор не перезапустился за 5 минут после загрузки программы. Выключите прибор и включите, удерживая указку на "
    "экране, затем загрузите программу снова. Шаг 2.");
inline const QString LeaveCaption = QStringLiteral("КВИРО-сервис");
inline const QString LeaveQuestion = QStringLiteral("Идёт загрузка программы в прибор. Прервать загрузку?");
} // namespace texts

struct WizardFlags {
    bool WizardActive = false;
    bool TransferStarted = false;
    bool TransferDone = false;
    bool RebootSeen = false;
    bool ReprogramFinished = false;
};

// What the wizard reads from the rest of the program.
struct WizardInputs {
    bool frameExists = false;
    bool linkOn = false;             // the link indicator sbtnCommON
    bool InstrumentInLoader = false; // last probe answer "l"
    bool InstrumentWorking = false;  // last probe answer "L"
    bool FirmwareFileReady = false;
    bool firmwarePageCurrent = false;
    // A transfer holds the line (from the start click until it ends or is cancelled): the load
    // button stays disabled, so a second start cannot put a new header inside the image.
    bool transferBusy = false;
    // What the boot loader holds of our streams (LoaderWatch): a load may start only when Ready.
    LoaderState loader = LoaderState::Ready;
    bool loaderRefused = false;     // no restart within the limit after the whole stream
    bool instrumentSilent = false;  // the last link check found it silent or its port gone
};

// What one evaluation decides; absent fields are left as they are.
struct WizardOutcome {
    std::optional<bool> loadEnabled;
    std::optional<QString> status;
    std::optional<QString> loadHint;
    bool resetWizard = false; // the end was announced: the wizard is reset (ResetProgWizard)
};

class ProgWizard {
public:
    const WizardFlags &flags() const { return m_flags; }

    // StopProgWizard: every flag cleared, the wizard no longer reacts.
    void stop() { m_flags = {}; }
    // ResetProgWizard: the wizard reacts again from a clean start.
    void reset()
    {
        m_flags = {};
        m_flags.WizardActive = true;
    }
    // Transfer start and end.
    void transferStarted() { m_flags.TransferStarted = true; }
    void transferHeaderSent()
    {
        m_flags.TransferDone = false;
        m_flags.RebootSeen = false;
    }
    void transferDone()
    {
        m_flags.TransferDone = true;
        m_flags.RebootSeen = false;
    }
    // After the stream the instrument was seen restarting (port lost or silent).
    void rebootSeen()
    {
        if (m_flags.TransferStarted && m_flags.TransferDone)
            m_flags.RebootSeen = true;
    }
    // The instrument answered after its restart: the procedure is over. True when the end is to
    // be announced (the wizard followed this transfer from its start); the wizard is then reset
    // and the end message is kept until the operator's next action.
    bool reprogrammingEnded()
    {
        const bool announce = m_flags.WizardActive && m_flags.TransferStarted && m_flags.TransferDone;
        if (!announce)
            return false;
        reset();
        m_flags.ReprogramFinished = true;
        return true;
    }

    // UpdateProgStep: the step from the flags (does nothing without the frame or while inactive).
    WizardOutcome updateProgStep(const WizardInputs &in);
    // The wizard's part of the link-state update, after the base status text has been written.
    WizardOutcome linkUpdate(const WizardInputs &in);

    static bool loadAllowed(const WizardInputs &in)
    {
        return in.InstrumentInLoader && in.FirmwareFileReady && !in.transferBusy && in.loader == LoaderState::Ready;
    }
    // The status text while the boot loader is not ready for a new stream (none when it is, or
    // while a transfer runs). atTick: the link check's wording, else the step evaluation's.
    static std::optional<QString> loaderStatus(const WizardInputs &in, bool atTick);

private:
    WizardFlags m_flags;
};

} // namespace firmware
