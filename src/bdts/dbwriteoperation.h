#pragma once
// The job "write a database into the instrument": the file list's and the instrument list's
// "в прибор" on the page, and `kviro-cli db-write`. It asks first, keeps a backup of what the
// instrument holds at that moment (read again unless the image held was read from this
// instrument since its port opened and the link has not dropped since), writes every page and
// reads the database back, comparing it page by page with what was sent.
//
// The writing phase is protected: a stop asked for then is held until the last page is
// acknowledged, and the job ends there, written but not verified. A forced stop cuts it; the
// outcome then says that the instrument's database may be incomplete and names the backup.
#include "bdts/bdtstransfer.h"
#include "link/instrumentoperation.h"

class DbWriteOperation : public InstrumentOperation {
    Q_OBJECT
public:
    DbWriteOperation(BdtsTransfer &transfer, InstrumentLink &link, StatusModel &status, QObject *parent = nullptr);

    // Starts the write of the file image or of the edited instrument image.
    void start(BdtsTransfer::Source source);
    // The backup made by the last run (empty when none was made).
    QString backup() const { return m_transfer.lastBackup(); }
    // The writing phase runs (the same as inProtectedPhase()).
    bool writing() const { return m_transfer.writingPhase(); }

protected:
    void stopNow(bool forced) override;

private:
    BdtsTransfer &m_transfer;
    bool m_mine = false;
};
