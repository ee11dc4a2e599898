#include "firmware/firmwarefeature.h"

#include "firmware/firmwarecontroller.h"
#include "firmware/framesoftsor.h"

FirmwareFeature::FirmwareFeature(FeatureContext context, std::function<bool()> firmwarePageCurrent, QObject *parent)
    : QObject(parent), m_dialogs(&context.dialogs), m_link(&context.link),
      m_controller(std::make_unique<firmware::FirmwareController>(context, std::move(firmwarePageCurrent)))
{
}

FirmwareFeature::~FirmwareFeature() = default;

bool FirmwareFeature::frameExists() const { return m_frame != nullptr; }

QWidget *FirmwareFeature::createFrame(QWidget *parent)
{
    if (!m_frame) {
        m_frame = new TFrameSoftSor(*m_controller, parent);
        m_frame->setConfirmation(m_dialogs, m_link);
        m_controller->setFrameExists(true);
    }
    return m_frame;
}

void FirmwareFeature::afterShow()
{
    if (!m_frame)
        return;
    m_controller->defaultSearch();
    m_frame->arrangePanes();
}

void FirmwareFeature::StopProgWizard() { m_controller->StopProgWizard(); }
void FirmwareFeature::ResetProgWizard() { m_controller->ResetProgWizard(); }
void FirmwareFeature::UpdateProgStep() { m_controller->UpdateProgStep(); }
void FirmwareFeature::linkUpdate() { m_controller->linkUpdate(); }
bool FirmwareFeature::confirmLeave() { return m_controller->confirmLeave(); }
