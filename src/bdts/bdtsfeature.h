#pragma once
// The test-system database page: the frame TFrameBDTS with its three lists, the database files
// and the transfer with the instrument.
#include "link/featurecontext.h"

#include <QObject>

#include <memory>

class QAbstractButton;
class QWidget;
class BdtsDatabase;
class BdtsTransfer;
class DbReadOperation;
class DbWriteOperation;
class TFrameBDTS;

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
    // The button beside the progress bar that stops a running read ("Прервать"); shown only
    // while a read runs. The main window places it in its status bar.
    QAbstractButton *createReadCancelButton(QWidget *parent);
    // From the link-state update: " из прибора" enabled.
    void setReadFromSorEnabled(bool enabled);

    BdtsDatabase &database() { return *m_db; }
    BdtsTransfer &transfer() { return *m_transfer; }
    // The page's two jobs with the instrument; their outcomes come through finished().
    DbReadOperation &readOperation() { return *m_readOp; }
    DbWriteOperation &writeOperation() { return *m_writeOp; }
    // The operator is about to close the program or leave the page. During the writing phase of a
    // database write asks first; on yes the write is cut (its outcome names the backup). False:
    // the operator keeps the write going.
    bool confirmLeave();

    // Starts a read of the instrument's database (also the read-back after every write).
    void RequestBdtsRead();
    TFrameBDTS *frame() const { return m_frame; }

    // Handlers of the page.
    void btnSaveBDTSinFileClick();
    void btnReadBDTSFromFileClick();
    void btnAddTSInSorClick();
    void btnDeleteTSClick();
    void TreeViewSorClick();
    void btnReadBDTSFromSorClick();
    void btnWriteBDTSInSorClick();
    void btnSaveAddTsClick();
    void btnCancelBDTSReadClick();

private:
    // True (after telling the operator) while an exchange runs: nothing may change the images then.
    bool refusedDuringExchange();

    FeatureContext m_ctx;
    std::unique_ptr<BdtsDatabase> m_db;
    std::unique_ptr<BdtsTransfer> m_transfer;
    std::unique_ptr<DbReadOperation> m_readOp;
    std::unique_ptr<DbWriteOperation> m_writeOp;
    TFrameBDTS *m_frame = nullptr;
};
