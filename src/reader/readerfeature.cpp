#include "reader/readerfeature.h"

#include "link/instrumentlink.h"
#include "reader/odpage.h"
#include "reader/resultpage.h"
#include "reader/samples.h"
#include "reader/sheetwindow.h"

namespace {
constexpr char ReaderTags[] = {'G', 'D', '2', 'g', 'N', 'd'};
}

ReaderFeature::ReaderFeature(FeatureContext context, QObject *parent)
    : QObject(parent), m_ctx(context), m_od(context, m_sheet), m_protocol(context)
{
    InstrumentLink &link = m_ctx.link;
    using Kind = InstrumentLink::BranchKind;
    link.registerBranch('G', Kind::Notice, [this](const QByteArray &b) { return m_od.branchNotice(b); });
    link.registerBranch('D', Kind::Reply, [this](const QByteArray &b) { return m_od.branchTable(b); });
    link.registerBranch('2', Kind::Notice, [this](const QByteArray &b) { return m_od.branchSaveRequest(b); });
    link.registerBranch('g', Kind::Notice, [this](const QByteArray &b) { return m_protocol.branchNotice(b); });
    link.registerBranch('N', Kind::Reply, [this](const QByteArray &b) { return m_protocol.branchAnnouncement(b); });
    link.registerBranch('d', Kind::Reply, [this](const QByteArray &b) { return m_protocol.branchBody(b); });

    connect(&m_protocol, &ProtocolController::resultsNotice, &m_od, [this] { m_od.setReadEnabled(true); });
    connect(&m_sheet, &SheetObject::openRequested, this, &ReaderFeature::showSheet);
    connect(&m_sheet, &SheetObject::discarded, this, &ReaderFeature::closeSheet);
}

ReaderFeature::~ReaderFeature()
{
    // The link may outlive this feature: its branches must not call into it any more.
    for (char tag : ReaderTags)
        m_ctx.link.unregisterBranch(tag);
    m_ctx.link.endExchange(&m_od);
    m_ctx.link.endExchange(&m_protocol);
}

QWidget *ReaderFeature::createOdPage(QWidget *parent)
{
    m_odPage = new OdPage(m_od, parent);
    return m_odPage;
}

QWidget *ReaderFeature::createResultPage(QWidget *parent)
{
    m_resultPage = new ResultPage(m_protocol, parent);
    return m_resultPage;
}

void ReaderFeature::odPageBecameCurrent()
{
    if (m_odPage)
        m_odPage->layOut(true);
    else
        m_od.layOutGrid();
}

void ReaderFeature::ActionSor2006Execute()
{
    if (m_odPage)
        m_odPage->layOut(false);
    else
        m_od.layOutGrid();
}

OdPage *ReaderFeature::odPage() const { return m_odPage; }
ResultPage *ReaderFeature::resultPage() const { return m_resultPage; }

void ReaderFeature::setReadOpEnabled(bool enabled) { m_od.setReadEnabled(enabled); }

void ReaderFeature::showSampleData(bool openSheet)
{
    m_od.acceptTable(readersamples::odReply());
    m_protocol.acceptBody(readersamples::protocolReply());
    if (openSheet)
        m_od.btnCreateExcelClick();
}

void ReaderFeature::showSheet()
{
    if (!m_sheetWindow) {
        QWidget *anchor = m_odPage ? m_odPage->window() : nullptr;
        m_sheetWindow = std::make_unique<SheetWindow>(m_sheet, m_ctx.dialogs);
        if (anchor)
            m_sheetWindow->move(anchor->geometry().topLeft() + QPoint(40, 40));
    }
    m_sheetWindow->refresh();
    m_sheetWindow->show();
    m_sheetWindow->raise();
    m_sheetWindow->activateWindow();
}

void ReaderFeature::closeSheet()
{
    if (m_sheetWindow)
        m_sheetWindow->close();
}
