#include "firmware/firmwarefeature.h"

#include <QLabel>

FirmwareFeature::FirmwareFeature(FeatureContext context, std::function<bool()> firmwarePageCurrent, QObject *parent)
    : QObject(parent), m_ctx(context), m_pageCurrent(std::move(firmwarePageCurrent))
{
}
FirmwareFeature::~FirmwareFeature() = default;

bool FirmwareFeature::frameExists() const { return false; }
QWidget *FirmwareFeature::createFrame(QWidget *parent) { return new QLabel(QStringLiteral("ПО прибора"), parent); }
void FirmwareFeature::afterShow() {}
void FirmwareFeature::StopProgWizard() {}
void FirmwareFeature::ResetProgWizard() {}
void FirmwareFeature::UpdateProgStep() {}
void FirmwareFeature::linkUpdate() {}
