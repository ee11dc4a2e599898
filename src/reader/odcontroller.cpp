#include "reader/odcontroller.h"

#include "core/files.h"
#include "core/status.h"
#include "link/instrumentlink.h"
#include "reader/readerfiles.h"
#include "reader/sheetobject.h"

OdController::OdController(FeatureContext context, SheetObject &sheet, QObject *parent)
    : QObject(parent), m_ctx(context), m_sheet(sheet)
{
}

void OdController::changed() { emit stateChanged(); }

void OdController::setReadEnabled(bool enabled)
{
    if (m_readEnabled != enabled) {
        m_readEnabled = enabled;
        changed();
    }
}

void OdController::setAutoRead(bool ticked)
{
    if (m_autoRead != ticked) {
        m_autoRead = ticked;
        changed();
    }
}

void OdController::setAutoSave(bool ticked)
{
    if (m_autoSave != ticked) {
        m_autoSave = ticked;
        changed();
    }
}

// Takes the line for the table (the link check stops, since its tick would empty the buffer under
// the reply), closes the spreadsheet view of the previous table and asks for the table.
bool OdController::fetch()
{
    InstrumentLink::Exchange exchange;
    exchange.name = QStringLiteral("приём таблицы оптических плотностей");
    exchange.aborted = [this](InstrumentLink::ExchangeEnd) { exchangeAborted(); };
    if (!m_ctx.link.beginExchange(this, std::move(exchange)))
        return false;
    m_sheet.DiscardSheetObject();
    OpText.clear();
    return m_ctx.link.request(QByteArrayLiteral("G"), QByteArrayLiteral("D"));
}

void OdController::exchangeAborted()
{
    // The tick shows a fetch under way; a fetch that was given up is not.
    if (m_autoReadByExchange)
        setAutoRead(false);
    m_autoReadByExchange = false;
}

void OdController::btnReadOPClick()
{
    if (!m_ctx.link.portOpen()) {
        m_ctx.status.setText(QStringLiteral("Порт отключен."));
        return;
    }
    m_autoReadByExchange = false;
    fetch();
}

qsizetype OdController::branchNotice(const QByteArray &waiting)
{
    setAutoRead(true);
    m_autoReadByExchange = true;
    setReadEnabled(true);
    m_ctx.status.setText(QStringLiteral("Оптические плотности измерены"));
    fetch();
    return waiting.size(); // whatever its length
}

qsizetype OdController::branchTable(const QByteArray &waiting)
{
    const int length = int(waiting.size());
    m_ctx.status.setText(QString::number(length));
    m_ctx.status.setProgress(StatusModel::percentOf(length, odtable::ReplyLength));
    if (length != odtable::ReplyLength)
        return InstrumentLink::NeedMore;
    acceptTable(waiting);
    m_autoReadByExchange = false;
    m_ctx.link.endExchange(this);
    return length;
}

void OdController::acceptTable(const QByteArray &reply)
{
    m_grid.fill(reply);
    m_ctx.status.setProgress(0);
    m_ctx.status.setText(QStringLiteral("Оптические плотности приняты"));
    OpText = odtable::tableText(reply);
    m_readEnabled = true;
    m_saveEnabled = true;
    m_excelEnabled = true;
    m_autoRead = false;
    changed();
}

qsizetype OdController::branchSaveRequest(const QByteArray &waiting)
{
    if (waiting.size() != 19)
        return InstrumentLink::NeedMore;
    // The name comes from the instrument: it may only name a file in the program folder.
    const QString name = readerfiles::writeUnderInstrumentName(m_ctx, waiting, OpText, QStringLiteral("Имя файла от прибора отклонено"));
    if (!name.isEmpty())
        m_ctx.status.setText(QStringLiteral("Данные записаны в файл: ") + name);
    return waiting.size();
}

void OdController::btnSaveOPClick()
{
    const QString path = m_ctx.dialogs.askSaveFile(readerfiles::sdlgSaveSorDat(m_ctx.programDir));
    if (path.isEmpty())
        return;
    // The same plain text whatever extension or filter was chosen.
    if (!readerfiles::writeOrReport(m_ctx.dialogs, path, OpText))
        return;
    m_ctx.status.setText(QStringLiteral("Данные записаны в файл."));
    QString why;
    if (!m_sheet.CreateSheetObjectFromFile(path, &why))
        m_ctx.dialogs.showError(QStringLiteral("Таблица Excel"), why);
}

void OdController::btnCreateExcelClick()
{
    const QString path = readerfiles::tempBdtsPath(m_ctx.programDir);
    if (!readerfiles::writeOrReport(m_ctx.dialogs, path, OpText))
        return;
    showInSheet(path);
}

void OdController::btnFileToExcelClick()
{
    const QString path = m_ctx.dialogs.askOpenFile(readerfiles::odlgOpenFileToExcel(m_ctx.programDir));
    if (!path.isEmpty())
        showInSheet(path);
}

// A new sheet object from the file's bytes, shown in its own window; a failure is reported.
void OdController::showInSheet(const QString &path)
{
    QString why;
    if (!m_sheet.CreateSheetObjectFromFile(path, &why)) {
        m_ctx.dialogs.showError(QStringLiteral("Таблица Excel"), why);
        return;
    }
    m_sheet.OpenSheetObject();
}
