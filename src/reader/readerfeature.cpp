#include "reader/readerfeature.h"

#include <QLabel>

ReaderFeature::ReaderFeature(FeatureContext context, QObject *parent) : QObject(parent), m_ctx(context) {}
ReaderFeature::~ReaderFeature() = default;

QWidget *ReaderFeature::createOdPage(QWidget *parent) { return new QLabel(QStringLiteral("Ридер ОП"), parent); }
QWidget *ReaderFeature::createResultPage(QWidget *parent) { return new QLabel(QStringLiteral("Результаты"), parent); }
void ReaderFeature::odPageBecameCurrent() {}
void ReaderFeature::ActionSor2006Execute() {}
void ReaderFeature::setReadOpEnabled(bool) {}
