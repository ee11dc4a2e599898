#include "reader/protocoloperation.h"

#include "reader/protocolcontroller.h"

ProtocolOperation::ProtocolOperation(ProtocolController &protocol, InstrumentLink &link, StatusModel &status, QObject *parent)
    : InstrumentOperation(link, status, QStringLiteral("Приём протокола результатов"), parent), m_protocol(protocol)
{
    connect(&m_protocol, &ProtocolController::fetchBegun, this, [this] { begin(); });
    connect(&m_protocol, &ProtocolController::fetchEnded, this, [this](const JobOutcome &outcome) { finish(outcome); });
}

void ProtocolOperation::start() { m_protocol.requestProtocol(); }

void ProtocolOperation::stopNow(bool) { m_protocol.cancelFetch(); }
