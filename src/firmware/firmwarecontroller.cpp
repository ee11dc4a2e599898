#include "firmware/firmwarecontroller.h"

#include "core/dialogs.h"
#include "core/status.h"
#include "link/instrumentlink.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace firmware {

FirmwareController::FirmwareController(FeatureContext context, std::function<bool()> firmwarePageCurrent, QObject *parent)
    : QObject(parent), m_ctx(context), m_pageCurrent(std::move(firmwarePageCurrent)), m_watch(context.link),
      m_transfer(context.link.streamLine())
{
    connect(&m_transfer, &FirmwareTransfer::progress, this, [this](int percent) { m_ctx.status.setProgress(percent); });
    connect(&m_transfer, &FirmwareTransfer::imageSent, this, &FirmwareController::onImageSent);
    connect(&m_transfer, &FirmwareTransfer::writeFailed, this, &FirmwareController::onWriteFailed);
    connect(&m_watch, &LoaderWatch::stateChanged, this, &FirmwareController::onLoaderState);
    connect(&m_watch, &LoaderWatch::restartCompleted, this, &FirmwareController::onRestartCompleted);
    m_job = std::make_unique<FirmwareLoadOperation>(*this, context.link, context.status);
}

FirmwareController::~FirmwareController()
{
    m_job.reset();
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
    in.transferBusy = m_watch.streaming();
    in.loader = m_watch.state();
    in.loaderRefused = m_watch.refused();
    in.instrumentSilent = m_watch.silent();
    return in;
}

void FirmwareController::apply(const WizardOutcome &outcome)
{
    bool changed = false;
    if (outcome.resetWizard) {
        // The flags were reset by the rule itself; the rest of the reset follows here.
        if (m_watch.streaming())
            cutStream();
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

// The stream owns the line from the marker to the checksum: no probe, no flush, and no reply to an
// instrument notice may come between its bytes. It has no reply to wait for, so no idle limit.
// The stream is also an exchange of its own in the journal.
bool FirmwareController::takeLine()
{
    InstrumentLink::Exchange exchange;
    exchange.name = QStringLiteral("загрузка программы в прибор");
    exchange.idleTimeoutMs = 0;
    exchange.reportsOwnFailures = true;
    exchange.aborted = [this](InstrumentLink::ExchangeEnd) {
        // Only a lost port ends it: the stream cannot go on. The serial layer's own report of the
        // loss, with its reason, comes right after this one; it is the one the operator sees.
        QTimer::singleShot(0, this, [this] {
            if (m_watch.streaming())
                onWriteFailed(QStringLiteral("Порт закрыт или не принимает данные."));
        });
    };
    return m_ctx.link.beginExchange(this, std::move(exchange));
}

void FirmwareController::releaseLine()
{
    if (!m_ctx.link.ownsExchange(this))
        return;
    m_ctx.link.endExchange(this);
}

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
    request.folder = dialogStartFolder(m_ctx.programDir);
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
    QString why;
    switch (startLoad(QString(), &why)) {
    case LoadStart::Started:
        return;
    case LoadStart::NotInLoader:
        (void)m_ctx.dialogs.warnYesNo(texts::NotInLoaderCaption, texts::NotInLoaderText);
        break;
    case LoadStart::ImageRefused:
        reportError(why);
        break;
    case LoadStart::NotReady:
        break;
    }
    UpdateProgStep();
}

FirmwareController::LoadStart FirmwareController::startLoad(const QString &path, QString *why)
{
    if (!path.isEmpty()) {
        applyDialogResult(m_choice, QFileInfo(path).absoluteFilePath());
        m_view.fileLabel = m_choice.labelText;
        m_view.dialogFileName = m_choice.dialogFileName;
        emit viewChanged();
    }
    if (!m_ctx.link.instrumentInLoader())
        return LoadStart::NotInLoader;
    // A click that raced the button's disabling: the boot loader is not ready for a new stream.
    if (!m_watch.ready()) {
        *why = QStringLiteral("Загрузчик прибора ещё держит часть прежней загрузки.");
        return LoadStart::NotReady;
    }
    if (!m_stream)
        m_stream = std::make_unique<ImageStream>();
    // The whole image is read and checked before the first byte goes out: a boot loader that
    // got the marker alone takes the next start for image bytes.
    if (!readImageForTransfer(*m_stream, m_choice.FirmwareFileName, why))
        return LoadStart::ImageRefused;
    if (!takeLine()) {
        *why = m_ctx.status.text();
        return LoadStart::NotReady;
    }
    m_watch.streamStarted();
    setCancelShown(true);
    m_wizard.transferStarted();
    m_wizard.transferHeaderSent();
    // The button stays disabled until this transfer ends or is cancelled.
    apply(WizardOutcome{false, std::nullopt, std::nullopt, false});
    m_ctx.status.setText(texts::Loading);
    (void)m_transfer.start(m_stream.get()); // a refused write ends in onWriteFailed
    return LoadStart::Started;
}

void FirmwareController::cutStream()
{
    m_transfer.stop();
    m_watch.streamCut();
    setCancelShown(false);
    // The link check follows the instrument again, so that its restart can be seen.
    releaseLine();
}

void FirmwareController::onImageSent()
{
    m_ctx.status.setText(texts::Programming);
    m_ctx.status.setProgress(0);
    m_wizard.transferDone();
    m_watch.streamSent();
    setCancelShown(false);
    // From the next link check on, the wizard follows the instrument's restart.
    releaseLine();
    apply(WizardOutcome{ProgWizard::loadAllowed(inputs()), std::nullopt, std::nullopt, false});
}

void FirmwareController::onWriteFailed(const QString &reason)
{
    // The stream ends here without its checksum. What the port took is shown as written.
    cutStream();
    UpdateProgStep();
    reportError(QStringLiteral("Ошибка передачи программы в прибор.\n") + reason);
}

void FirmwareController::btnStopProgramSorClick()
{
    ResetProgWizard();
    m_ctx.status.setText(texts::Cancelled);
}

bool FirmwareController::confirmLeave()
{
    if (!m_watch.streaming())
        return true;
    if (!m_ctx.dialogs.warnYesNo(texts::LeaveCaption, texts::LeaveQuestion))
        return false;
    // The stream may have ended while the question was open; then there is nothing to cancel.
    if (m_watch.streaming())
        btnStopProgramSorClick();
    return true;
}

void FirmwareController::onLoaderState(LoaderState state)
{
    // The bar shows work going on while the instrument programs itself and restarts.
    m_ctx.status.setBusy(m_watch.programming());
    if (state == LoaderState::Restarting)
        m_wizard.rebootSeen();
}

void FirmwareController::onRestartCompleted()
{
    if (!m_frameExists || !m_pageCurrent || !m_pageCurrent())
        return;
    // The wizard's flags are reset by the rule; nothing of a transfer is left to stop.
    if (!m_wizard.reprogrammingEnded())
        return;
    setCancelShown(false);
    m_ctx.status.setProgress(0);
    m_ctx.status.setText(texts::Finished);
}

// ---------------------------------------------------------------- wizard

void FirmwareController::StopProgWizard()
{
    if (!m_frameExists)
        return;
    m_wizard.stop();
    if (m_watch.streaming())
        cutStream();
    setCancelShown(false);
    apply(WizardOutcome{false, std::nullopt, std::nullopt, false});
    m_ctx.status.setText(QString());
    m_ctx.status.setProgress(0);
}

void FirmwareController::ResetProgWizard()
{
    if (!m_frameExists)
        return;
    const bool wasStreaming = m_watch.streaming();
    m_wizard.reset();
    if (wasStreaming)
        cutStream();
    setCancelShown(false);
    m_ctx.status.setProgress(0);
    // A transfer that held the button disabled gives it back to the flags.
    if (wasStreaming)
        apply(WizardOutcome{ProgWizard::loadAllowed(inputs()), std::nullopt, std::nullopt, false});
}

void FirmwareController::UpdateProgStep() { apply(m_wizard.updateProgStep(inputs())); }

void FirmwareController::linkUpdate() { apply(m_wizard.linkUpdate(inputs())); }

} // namespace firmware
