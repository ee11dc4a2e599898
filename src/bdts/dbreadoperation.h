#pragma once
// The job "read the instrument's database": the page's " из прибора" and `kviro-cli db-read`.
// A stop ends the read at once; the image and lists from before it stay.
#include "bdts/bdtstransfer.h"
#include "link/instrumentoperation.h"

class DbReadOperation : public InstrumentOperation {
    Q_OBJECT
public:
    DbReadOperation(BdtsTransfer &transfer, InstrumentLink &link, StatusModel &status, QObject *parent = nullptr);

    // Starts the read; its end comes through finished() (at once when it is refused).
    void start();

protected:
    void stopNow(bool forced) override;

private:
    BdtsTransfer &m_transfer;
    bool m_mine = false; // the transfer's running job is this operation's
};
