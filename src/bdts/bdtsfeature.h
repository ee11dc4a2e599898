#pragma once
// The test-system database page: the frame TFrameBDTS with its three lists, the database files
// and the transfer with the instrument.
#include "link/featurecontext.h"

#include <QObject>

class QWidget;

class BdtsFeature : public QObject {
    Q_OBJECT
public:
    explicit BdtsFeature(FeatureContext context, QObject *parent = nullptr);
    ~BdtsFeature() override;

    bool frameExists() const;
    // Creates TFrameBDTS (first run of ActionBDTSExecute); the main window places it.
    QWidget *createFrame(QWidget *parent);
    // ActionBDTSExecute after the page is shown: the widths of the groups and buttons.
    void afterShow();
    // From the link-state update: " из прибора" enabled.
    void setReadFromSorEnabled(bool enabled);

private:
    FeatureContext m_ctx;
};
