#include "firmware/progwizard.h"

namespace firmware {

std::optional<QString> ProgWizard::loaderStatus(const WizardInputs &in, bool atTick)
{
    switch (in.loader) {
    case LoaderState::Ready:
    case LoaderState::Streaming:
        return std::nullopt;
    case LoaderState::Programming:
    case LoaderState::Restarting:
        return in.linkOn ? texts::Programming : texts::Rebooting;
    case LoaderState::HoldsPartial:
        return in.loaderRefused ? texts::NotRestarted : texts::RestartForRetry;
    case LoaderState::PartialRestarting:
        // Seen restarting; now it must come back in the boot loader. Silent on a port that stays
        // listed it may still be on, holding the stream: off and on again is the way out.
        if (!in.linkOn)
            return atTick ? texts::StepSwitchOnTick : texts::StepSwitchOnEval;
        if (in.instrumentSilent)
            return texts::RestartForRetry;
        return texts::StepSwitchOff;
    }
    return std::nullopt;
}

WizardOutcome ProgWizard::updateProgStep(const WizardInputs &in)
{
    WizardOutcome out;
    if (!in.frameExists || !m_flags.WizardActive)
        return out;
    // Every evaluation follows an action of the operator: the end message has been seen.
    m_flags.ReprogramFinished = false;
    const bool load = loadAllowed(in);
    out.loadEnabled = load;
    if (load) {
        out.status = texts::StepLoad;
        out.loadHint = texts::HintReady;
        return out;
    }
    // While a transfer holds the line its own status text stays.
    if (in.transferBusy)
        return out;
    out.loadHint = texts::HintNotReady;
    if (const auto text = loaderStatus(in, false)) {
        out.status = *text;
        return out;
    }
    if (m_flags.RebootSeen)
        return out;
    if (!in.FirmwareFileReady)
        out.status = texts::StepFile;
    else
        out.status = in.linkOn ? texts::StepSwitchOff : texts::StepSwitchOnEval;
    return out;
}

WizardOutcome ProgWizard::linkUpdate(const WizardInputs &in)
{
    WizardOutcome out;
    if (!in.frameExists)
        return out;
    const bool load = loadAllowed(in);
    out.loadEnabled = load;
    if (m_flags.ReprogramFinished) {
        // The end message stays until the operator acts, or the instrument goes off or back
        // into its boot loader.
        if (in.linkOn && !in.InstrumentInLoader && in.firmwarePageCurrent) {
            out.status = texts::Finished;
            return out;
        }
        m_flags.ReprogramFinished = false;
    }
    const bool answering = in.InstrumentWorking || in.InstrumentInLoader;
    if (in.linkOn) {
        if (answering && in.firmwarePageCurrent) {
            if (!in.FirmwareFileReady)
                out.status = texts::StepFile;
            else if (!in.InstrumentInLoader)
                out.status = texts::StepSwitchOff;
        }
        if (in.InstrumentInLoader && m_flags.WizardActive && load) {
            out.status = texts::StepLoad;
            out.loadHint = texts::HintReady;
        }
    } else if (in.firmwarePageCurrent) {
        if (m_flags.TransferStarted) {
            if (m_flags.TransferDone) {
                out.status = texts::Rebooting;
                m_flags.RebootSeen = true;
            }
        } else if (m_flags.WizardActive) {
            out.status = texts::StepSwitchOnTick;
        }
    }
    if (in.firmwarePageCurrent && m_flags.WizardActive) {
        if (const auto text = loaderStatus(in, true)) {
            out.status = *text;
            out.loadHint = texts::HintNotReady;
        }
    }
    return out;
}

} // namespace firmware
