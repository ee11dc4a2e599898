#include "bdts/dbreadoperation.h"

#include "core/status.h"

DbReadOperation::DbReadOperation(BdtsTransfer &transfer, InstrumentLink &link, StatusModel &status, QObject *parent)
    : InstrumentOperation(link, status, QStringLiteral("Чтение БД ТС из прибора"), parent), m_transfer(transfer)
{
    connect(&m_transfer, &BdtsTransfer::jobBegun, this, [this] {
        if (m_mine)
            begin();
    });
    connect(&m_transfer, &BdtsTransfer::jobEnded, this, [this](const JobOutcome &outcome) {
        if (!m_mine)
            return;
        m_mine = false;
        finish(outcome);
    });
}

void DbReadOperation::start()
{
    if (m_transfer.job() != BdtsTransfer::Job::None) {
        m_transfer.RequestBdtsRead(); // refused with the status text; the running job goes on
        if (!running())
            finish(JobOutcome::make(JobOutcome::Kind::Refused, status().text()));
        return;
    }
    m_mine = true;
    m_transfer.RequestBdtsRead();
}

void DbReadOperation::stopNow(bool) { m_transfer.cancelRead(); }
