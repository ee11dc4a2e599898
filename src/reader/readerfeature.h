#pragma once
// The reader pages: optical density table ("Ридер ОП"), its spreadsheet view, results protocol
// ("Результаты"). The main window puts the pages on its tabs and calls the hooks below.
#include "link/featurecontext.h"

#include <QObject>

class QWidget;

class ReaderFeature : public QObject {
    Q_OBJECT
public:
    explicit ReaderFeature(FeatureContext context, QObject *parent = nullptr);
    ~ReaderFeature() override;

    // Page contents for TabShReader and TabShResult.
    QWidget *createOdPage(QWidget *parent);
    QWidget *createResultPage(QWidget *parent);

    // The page-change step for "Ридер ОП": grid panel placed, rows and columns laid out and labelled.
    void odPageBecameCurrent();
    // ActionSor2006Execute's own step after the page is shown (the grid laid out again).
    void ActionSor2006Execute();
    // From the link-state update: "Принять данные" enabled.
    void setReadOpEnabled(bool enabled);

private:
    FeatureContext m_ctx;
};
