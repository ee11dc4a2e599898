#include "firmware/firmwarecontroller.h"

#include "core/dialogs.h"
#include "core/status.h"
#include "link/instrumentlink.h"

#include <QDir>

namespace firmware {

FirmwareController::FirmwareController(FeatureContext context, std::function<bool()> firmwarePageCurrent, QObject *parent)
    : QObject(parent), m_ctx(context), m_pageCurrent(std::move(firmwarePageCurrent)), m_transfer(context.link.MSComm1)
{
    connect(&m_transfer, &FirmwareTransfer::progress, this, [this](int percent) { m_ctx.status.setProgress(percent); });
    connect(&m_transfer, &FirmwareTransfer::imageSent, this, &FirmwareController::onImageSent);
    connect(&m_transfer, &FirmwareTransfer::writeFailed, this, &FirmwareController::onWriteFailed);
}

FirmwareController::~FirmwareController()
{
    m_transfer.stop();
    releaseLine();
}

WizardInputs FirmwareController::inputs() const
{
    WizardInputs in;
    in.frameExists = m_frameExists;
    in.linkOn = m_ctx.link.linkOn();
    in.InstrumentInLoader = m_ctx.link.instrumentInLoader();
    in.InstrumentWorking = m_ctx.link.instrumentWorking();
    in.FirmwareFileReady = m_choice.FirmwareFileReady;
    in.firmwarePageCurrent = m_pageCurrent && m_pageCurrent();
    in.transferBusy = m_busy;
    return in;
}

void FirmwareController::apply(const WizardOutcome &outcome)
{
    bool changed = false;
    if (outcome.resetWizard) {
        // The flags were reset by the rule itself; the rest of the reset follows here.
        m_transfer.stop();
        setBusy(false);
        releaseLine();
        setCancelShown(false);
        m_ctx.status.setProgress(0);
    }
    if (outcome.loadEnabled && m_view.loadEnabled != *outcome.loadEnabled) {
        m_view.loadEnabled = *outcome.loadEnabled;
        changed = true;
    }
    if (outcome.loadHint && m_view.loadHint != *outcome.loadHint) {
        m_view.loadHint = *outcome.loadHint;
        changed = true;
    }
    if (outcome.status)
        m_ctx.status.setText(*outcome.status);
    if (changed)
        emit viewChanged();
}

void FirmwareController::setBusy(bool busy) { m_busy = busy; }

// The stream owns the line from the marker to the checksum: no probe, no flush, and no reply to an
// instrument notice may come between its bytes. It has no reply to wait for, so no idle limit.
bool FirmwareController::takeLine()
{
    InstrumentLink::Exchange exchange;
    exchange.name = QStringLiteral("загрузка программы в прибор");
    exchange.idleTimeoutMs = 0;
    exchange.reportsOwnFailures = true;
    exchange.aborted = [this](InstrumentLink::ExchangeEnd) {
        // Only a lost port ends it: the stream cannot go on.
        if (m_transfer.sending() || m_busy)
            onWriteFailed(QStringLiteral("Порт закрыт или не принимает данные."));
    };
    return m_ctx.link.beginExchange(this, std::move(exchange));
}

void FirmwareController::releaseLine() { m_ctx.link.endExchange(this); }

void FirmwareController::setCancelShown(bool shown)
{
    if (m_view.cancelShown == shown)
        return;
    m_view.cancelShown = shown;
    emit viewChanged();
}

void FirmwareController::reportError(const QString &text) { m_ctx.dialogs.showError(QStringLiteral("КВИРО-сервис"), text); }

// ---------------------------------------------------------------- image file

void FirmwareController::defaultSearch()
{
    firmware::defaultSearch(m_choice, m_ctx.programDir, m_currentDir.isEmpty() ? QDir::currentPath() : m_currentDir);
    m_view.fileLabel = m_choice.labelText;
    emit viewChanged();
    UpdateProgStep();
}

void FirmwareController::btnOtherFileLoadPOClick()
{
    FileDialogRequest request;
    request.caption = QStringLiteral("Открыть");
    request.folder = imageFolder(m_ctx.programDir);
    request.fileName = m_choice.dialogFileName;
    request.filter = qtFilterFromPairs(QString::fromUtf8(DialogFilter));
    request.mustExist = false; // a typed name is taken; loading reports a missing file
    const QString chosen = m_ctx.dialogs.askOpenFile(request);
    applyDialogResult(m_choice, chosen);
    m_view.fileLabel = m_choice.labelText;
    m_view.dialogFileName = m_choice.dialogFileName;
    emit viewChanged();
    UpdateProgStep();
}

// ---------------------------------------------------------------- transfer

void FirmwareController::btnLoadPOClick()
{
    if (!m_ctx.link.instrumentInLoader()) {
        (void)m_ctx.dialogs.warnYesNo(texts::NotInLoaderCaption, texts::NotInLoaderText);
        UpdateProgStep();
        return;
    }
    if (!takeLine())
        return;
    setCancelShown(true);
    m_wizard.transferStarted();
    // The button stays disabled until this transfer ends or is cancelled.
    setBusy(true);
    apply(WizardOutcome{false, std::nullopt, std::nullopt, false});
    m_ctx.status.setText(texts::Loading);
    m_transfer.stop();
    if (!m_transfer.write(startMarker())) {
        onWriteFailed(QStringLiteral("Порт закрыт или не принимает данные."));
        return;
    }
    if (m_choice.FirmwareFileName.isEmpty()) {
        setBusy(false);
        UpdateProgStep();
        return;
    }
    if (!m_stream)
        m_stream = std::make_unique<ImageStream>();
    QString error;
    if (!LoadFirmwareImage(*m_stream, m_choice.FirmwareFileName, &error)) {
        // Only the marker has gone out; "Отменить загрузку" ends this state.
        reportError(error);
        return;
    }
    if (!m_transfer.write(lengthHeader(m_stream->FirmwareSize))) {
        onWriteFailed(QStringLiteral("Порт закрыт или не принимает данные."));
        return;
    }
    checksumPass(*m_stream);
    m_wizard.transferHeaderSent();
    m_transfer.begin(m_stream.get());
}

void FirmwareController::onImageSent()
{
    m_ctx.status.setText(texts::Programming);
    m_ctx.status.setProgress(0);
    m_wizard.transferDone();
    setCancelShown(false);
    setBusy(false);
    // From the next link check on, the wizard follows the instrument's restart.
    releaseLine();
}

void FirmwareController::onWriteFailed(const QString &reason)
{
    // The stream ends here without its checksum; "Отменить загрузку" stays for the operator.
    m_transfer.stop();
    reportError(QStringLiteral("Ошибка передачи программы в прибор.\n") + reason);
}

void FirmwareController::btnStopProgramSorClick()
{
    ResetProgWizard();
    m_ctx.status.setText(texts::Cancelled);
}

// ---------------------------------------------------------------- wizard

void FirmwareController::StopProgWizard()
{
    if (!m_frameExists)
        return;
    m_wizard.stop();
    m_transfer.stop();
    setBusy(false);
    releaseLine();
    setCancelShown(false);
    apply(WizardOutcome{false, std::nullopt, std::nullopt, false});
    m_ctx.status.setText(QString());
    m_ctx.status.setProgress(0);
}

void FirmwareController::ResetProgWizard()
{
    if (!m_frameExists)
        return;
    const bool wasBusy = m_busy;
    m_wizard.reset();
    m_transfer.stop();
    setBusy(false);
    releaseLine();
    setCancelShown(false);
    m_ctx.status.setProgress(0);
    // A transfer that held the button disabled gives it back to the flags.
    if (wasBusy)
        apply(WizardOutcome{ProgWizard::loadAllowed(inputs()), std::nullopt, std::nullopt, false});
}

void FirmwareController::UpdateProgStep() { apply(m_wizard.updateProgStep(inputs())); }

void FirmwareController::linkUpdate() { apply(m_wizard.linkUpdate(inputs())); }

} // namespace firmware
