#include "firmware/progwizard.h"

namespace firmware {

WizardOutcome ProgWizard::updateProgStep(const WizardInputs &in)
{
    WizardOutcome out;
    if (!in.frameExists || !m_flags.WizardActive)
        return out;
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
    if (m_flags.RebootSeen)
        return out;
    if (m_flags.ReprogramFinished) {
        // The end message stays in place for this one evaluation.
        m_flags.ReprogramFinished = false;
        return out;
    }
    if (!in.FirmwareFileReady)
        out.status = texts::StepFile;
    else
        out.status = in.linkOn ? texts::StepSwitchOff : texts::StepSwitchOnEval;
    out.loadHint = texts::HintNotReady;
    return out;
}

WizardOutcome ProgWizard::linkUpdate(const WizardInputs &in)
{
    WizardOutcome out;
    if (!in.frameExists)
        return out;
    const bool load = loadAllowed(in);
    out.loadEnabled = load;
    const bool answering = in.InstrumentWorking || in.InstrumentInLoader;
    if (in.linkOn) {
        if (answering && in.firmwarePageCurrent) {
            if (!in.FirmwareFileReady)
                out.status = texts::StepFile;
            else if (!in.InstrumentInLoader)
                out.status = texts::StepSwitchOff;
            // The instrument answers again after it was seen restarting: the end of the procedure.
            if (m_flags.TransferStarted && m_flags.TransferDone && m_flags.RebootSeen) {
                out.status = texts::Finished;
                out.resetWizard = true;
                reset();
                m_flags.ReprogramFinished = true;
            }
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
    return out;
}

} // namespace firmware
