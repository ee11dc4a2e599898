#include "bdts/dbwriteoperation.h"

#include "core/status.h"

DbWriteOperation::DbWriteOperation(BdtsTransfer &transfer, InstrumentLink &link, StatusModel &status, QObject *parent)
    : InstrumentOperation(link, status, QStringLiteral("Запись БД ТС в прибор"), parent), m_transfer(transfer)
{
    connect(&m_transfer, &BdtsTransfer::jobBegun, this, [this] {
        if (m_mine)
            begin();
    });
    connect(&m_transfer, &BdtsTransfer::writingPhaseChanged, this, [this](bool writing) {
        if (m_mine)
            setProtectedPhase(writing);
    });
    connect(&m_transfer, &BdtsTransfer::jobEnded, this, [this](const JobOutcome &outcome) {
        if (!m_mine)
            return;
        m_mine = false;
        finish(outcome);
    });
}

void DbWriteOperation::start(BdtsTransfer::Source source)
{
    if (m_transfer.job() != BdtsTransfer::Job::None) {
        m_transfer.startWrite(source); // refused with the status text; the running job goes on
        if (!running())
            finish(JobOutcome::make(JobOutcome::Kind::Refused, status().text()));
        return;
    }
    m_mine = true;
    m_transfer.startWrite(source);
}

void DbWriteOperation::stopNow(bool forced) { m_transfer.stopWrite(forced); }
