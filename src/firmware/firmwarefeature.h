#pragma once
// Firmware reprogramming: the frame TFrameSoftSor with its wizard, the image file and the transfer.
#include "link/featurecontext.h"

#include <QObject>

#include <functional>
#include <memory>

class QWidget;
class TFrameSoftSor;
class UserDialogs;
namespace firmware {
class FirmwareController;
}

class FirmwareFeature : public QObject {
    Q_OBJECT
public:
    // firmwarePageCurrent tells whether the main window's firmware page is the current one.
    FirmwareFeature(FeatureContext context, std::function<bool()> firmwarePageCurrent, QObject *parent = nullptr);
    ~FirmwareFeature() override;

    bool frameExists() const;
    // Creates TFrameSoftSor (first run of ActionSoftSorvintExecute); the main window places it.
    QWidget *createFrame(QWidget *parent);
    // ActionSoftSorvintExecute after the page is shown: default image search, splitters, centring.
    void afterShow();

    void StopProgWizard();
    void ResetProgWizard();
    void UpdateProgStep();
    // Inside UpdateLinkState: the load button from the flags, then the wizard rules of the link
    // update; the base status text has been written already.
    void linkUpdate();
    // Before the firmware page is left or the program closes: false when the operator keeps a
    // running load going.
    bool confirmLeave();

    firmware::FirmwareController &controller() { return *m_controller; }
    TFrameSoftSor *frame() const { return m_frame; }

private:
    UserDialogs *m_dialogs = nullptr; // before the controller: initialised first
    const InstrumentLink *m_link = nullptr;
    std::unique_ptr<firmware::FirmwareController> m_controller;
    TFrameSoftSor *m_frame = nullptr;
};
