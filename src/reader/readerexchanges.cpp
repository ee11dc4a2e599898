#include "reader/readerexchanges.h"

#include "link/instrumentlink.h"

namespace {
constexpr char ReaderTags[] = {'G', 'D', '2', 'g', 'N', 'd'};
}

ReaderExchanges::ReaderExchanges(FeatureContext context, QObject *parent)
    : QObject(parent), m_ctx(context), m_od(context, m_sheet), m_protocol(context),
      m_odJob(m_od, context.link, context.status), m_protocolJob(m_protocol, context.link, context.status)
{
    InstrumentLink &link = m_ctx.link;
    using Kind = InstrumentLink::BranchKind;
    link.registerBranch('G', Kind::Notice, [this](const QByteArray &b) { return m_od.branchNotice(b); });
    link.registerBranch('D', Kind::Reply, [this](const QByteArray &b) { return m_od.branchTable(b); });
    link.registerBranch('2', Kind::Request, [this](const QByteArray &b) { return m_od.branchSaveRequest(b); });
    link.registerBranch('g', Kind::Notice, [this](const QByteArray &b) { return m_protocol.branchNotice(b); });
    link.registerBranch('N', Kind::Reply, [this](const QByteArray &b) { return m_protocol.branchAnnouncement(b); });
    link.registerBranch('d', Kind::Reply, [this](const QByteArray &b) { return m_protocol.branchBody(b); });
    // The results-ready notice enables the table's request as well.
    connect(&m_protocol, &ProtocolController::resultsNotice, &m_od, [this] { m_od.setReadEnabled(true); });
}

ReaderExchanges::~ReaderExchanges()
{
    // The link may outlive the exchanges: their branches must not call into them any more.
    for (char tag : ReaderTags)
        m_ctx.link.unregisterBranch(tag);
    m_ctx.link.endExchange(&m_od);
    m_ctx.link.endExchange(&m_protocol);
}
