#pragma once
// The firmware page's work without widgets: the designated image, the transfer and the wizard,
// and the state the frame shows (file labels, the load button's enabled state and hint, the
// cancel button). The frame's handlers call straight into this class.
#include "firmware/firmwareimage.h"
#include "firmware/firmwareloadoperation.h"
#include "firmware/firmwaretransfer.h"
#include "firmware/loaderwatch.h"
#include "firmware/progwizard.h"
#include "link/featurecontext.h"

#include <QObject>

#include <functional>
#include <memory>

namespace firmware {

// What the frame shows; it redraws on viewChanged().
struct FrameView {
    QString fileLabel = NoFileLabel;
    QString dialogFileName;
    bool loadEnabled = false;
    QString loadHint = texts::HintNotReady;
    bool cancelShown = false; // "Отменить загрузку" visible and enabled
};

class FirmwareController : public QObject {
    Q_OBJECT
public:
    FirmwareController(FeatureContext context, std::function<bool()> firmwarePageCurrent, QObject *parent = nullptr);
    ~FirmwareController() override;

    // The wizard acts only once its frame exists.
    void setFrameExists(bool exists) { m_frameExists = exists; }
    bool frameExists() const { return m_frameExists; }

    // Default image search, then the step evaluation.
    void defaultSearch();
    // "Другой файл...": the dialog, its answer, then the step evaluation.
    void btnOtherFileLoadPOClick();
    // "Загрузить программу в прибор".
    void btnLoadPOClick();
    // The load without its dialogs: with a path, the file choice is set to it first. Started, or
    // why not (*why holds the image's refusal text).
    enum class LoadStart { Started, NotInLoader, NotReady, ImageRefused };
    LoadStart startLoad(const QString &path, QString *why);
    // Breaks a running stream off, as "Отменить загрузку" does.
    void cancelLoad() { btnStopProgramSorClick(); }
    // The load as a job: every stream, from the button or from kviro-cli, runs as this one.
    FirmwareLoadOperation &loadOperation() { return *m_job; }
    // "Отменить загрузку".
    void btnStopProgramSorClick();
    // The operator is about to leave the firmware page or close the program. While the image
    // streams, asks whether to break the load off; on yes the stream stops as a cancel does.
    // False: the operator keeps the load going, the leave must not happen.
    bool confirmLeave();
    // The inner page control is about to change its page (always allowed).
    void wizardTabsChanging() { UpdateProgStep(); }

    void StopProgWizard();
    void ResetProgWizard();
    void UpdateProgStep();
    // Inside UpdateLinkState, after the base status text.
    void linkUpdate();

    const FrameView &view() const { return m_view; }
    const ImageChoice &image() const { return m_choice; }
    const WizardFlags &flags() const { return m_wizard.flags(); }
    // FirmwareStream: absent until the first transfer start.
    const ImageStream *stream() const { return m_stream.get(); }
    FirmwareTransfer &transfer() { return m_transfer; }
    // What the boot loader holds of our streams; a load starts only when it is ready.
    const LoaderWatch &loader() const { return m_watch; }
    LoaderWatch &loader() { return m_watch; }
    // From the marker until the checksum, a cancel, a leave of the page or a write error.
    bool transferBusy() const { return m_watch.streaming(); }

    // Where the default search looks besides the image folder (the process's current directory
    // unless set).
    void setCurrentDirForSearch(const QString &dir) { m_currentDir = dir; }

signals:
    void viewChanged();

private:
    WizardInputs inputs() const;
    void apply(const WizardOutcome &outcome);
    bool takeLine();
    void releaseLine();
    void setCancelShown(bool shown);
    void cutStream();
    void onImageSent();
    void onWriteFailed(const QString &reason);
    void onLoaderState(LoaderState state);
    void onRestartCompleted();
    void reportError(const QString &text);

    FeatureContext m_ctx;
    std::function<bool()> m_pageCurrent;
    ImageChoice m_choice;
    std::unique_ptr<ImageStream> m_stream;
    ProgWizard m_wizard;
    LoaderWatch m_watch;
    FirmwareTransfer m_transfer;
    FrameView m_view;
    std::unique_ptr<FirmwareLoadOperation> m_job;
    QString m_currentDir;
    bool m_frameExists = false;
};

} // namespace firmware
