#include "reader/readerexchanges.h"

#include "link/instrumentlink.h"

namespace {
constexpr char ReaderTags[] = {'G', 'D', '2', 'g', 'N', 'd'};
}

ReaderExchanges::ReaderExchanges(FeatureContext context, QObject *parent)
    : QObject(parent), m_ctx(context), m_od(context, m_sheet), m_protocol(context)
{
    InstrumentLink &link = m_ctx.link;
    link.registerBranch('G', [this] { m_od.branchNotice(); });
    link.registerBranch('D', [this] { m_od.branchTable(); });
    link.registerBranch('2', [this] { m_od.branchSaveRequest(); });
    link.registerBranch('g', [this] { m_protocol.branchNotice(); });
    link.registerBranch('N', [this] { m_protocol.branchAnnouncement(); });
    link.registerBranch('d', [this] { m_protocol.branchBody(); });
    // The results-ready notice enables the table's request as well.
    connect(&m_protocol, &ProtocolController::resultsNotice, &m_od, [this] { m_od.setReadEnabled(true); });
}

ReaderExchanges::~ReaderExchanges()
{
    for (char tag : ReaderTags)
        m_ctx.link.registerBranch(tag, {});
}
