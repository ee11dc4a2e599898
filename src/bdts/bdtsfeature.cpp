#include "bdts/bdtsfeature.h"

#include <QLabel>

BdtsFeature::BdtsFeature(FeatureContext context, QObject *parent) : QObject(parent), m_ctx(context) {}
BdtsFeature::~BdtsFeature() = default;

bool BdtsFeature::frameExists() const { return false; }
QWidget *BdtsFeature::createFrame(QWidget *parent) { return new QLabel(QStringLiteral("БД ТС"), parent); }
void BdtsFeature::afterShow() {}
void BdtsFeature::setReadFromSorEnabled(bool) {}
