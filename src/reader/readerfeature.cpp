#include "reader/readerfeature.h"

#include "link/instrumentlink.h"
#include "reader/odpage.h"
#include "reader/readerfiles.h"
#include "reader/resultpage.h"
#include "reader/samples.h"
#include "reader/sheetwindow.h"

ReaderFeature::ReaderFeature(FeatureContext context, QObject *parent)
    : QObject(parent), m_ctx(context), m_exchanges(context)
{
    connect(&sheet(), &SheetObject::openRequested, this, &ReaderFeature::showSheet);
    connect(&sheet(), &SheetObject::discarded, this, &ReaderFeature::closeSheet);

    // Copies handed to the desktop's spreadsheet program by an earlier run are no longer needed.
    readerfiles::removeOldSheetCopies(m_ctx.programDir);
}

// The exchanges take their branches off the link when they go.
ReaderFeature::~ReaderFeature() = default;

QWidget *ReaderFeature::createOdPage(QWidget *parent)
{
    m_odPage = new OdPage(od(), parent);
    return m_odPage;
}

QWidget *ReaderFeature::createResultPage(QWidget *parent)
{
    m_resultPage = new ResultPage(protocol(), m_ctx, parent);
    return m_resultPage;
}

void ReaderFeature::odPageBecameCurrent()
{
    if (m_odPage)
        m_odPage->layOut(true);
    else
        od().layOutGrid();
}

void ReaderFeature::ActionReaderExecute()
{
    if (m_odPage)
        m_odPage->layOut(false);
    else
        od().layOutGrid();
}

OdPage *ReaderFeature::odPage() const { return m_odPage; }
ResultPage *ReaderFeature::resultPage() const { return m_resultPage; }

void ReaderFeature::setReadOpEnabled(bool enabled) { od().setReadEnabled(enabled); }

void ReaderFeature::showSampleData(bool openSheet)
{
    od().acceptTable(readersamples::odReply());
    protocol().acceptBody(readersamples::protocolReply());
    if (openSheet)
        od().btnCreateExcelClick();
}

void ReaderFeature::showSheet()
{
    if (!m_sheetWindow) {
        QWidget *anchor = m_odPage ? m_odPage->window() : nullptr;
        m_sheetWindow = std::make_unique<SheetWindow>(sheet(), m_ctx.dialogs, m_ctx.programDir);
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
