#include "reader/odcontroller.h"

#include "core/files.h"
#include "core/status.h"
#include "link/instrumentlink.h"
#include "link/networkports.h"
#include "reader/readerfiles.h"
#include "reader/sheetobject.h"

#include <QDir>

#include <algorithm>

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
    exchange.aborted = [this](InstrumentLink::ExchangeEnd why) { exchangeAborted(why); };
    if (!m_ctx.link.beginExchange(this, std::move(exchange))) {
        emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Refused, m_ctx.status.text()));
        return false;
    }
    emit fetchBegun();
    m_sheet.DiscardSheetObject();
    // The last complete table stays, with its time, until a new complete one replaces it: a fetch
    // that fails leaves nothing half-received to be saved under the old time.
    return m_ctx.link.request(QByteArrayLiteral("G"), QByteArrayLiteral("D"));
}

void OdController::exchangeAborted(InstrumentLink::ExchangeEnd why)
{
    // The tick shows a fetch under way; a fetch that was given up is not.
    if (m_autoReadByExchange)
        setAutoRead(false);
    m_autoReadByExchange = false;
    const bool lost = why == InstrumentLink::ExchangeEnd::PortLost;
    emit fetchEnded(JobOutcome::make(lost ? JobOutcome::Kind::PortLost : JobOutcome::Kind::InstrumentSilent,
                                     m_ctx.status.text(),
                                     lost ? QStringLiteral("Проверьте кабель и питание прибора и повторите.")
                                          : QStringLiteral("Проверьте, что прибор включён в рабочем режиме и не занят "
                                                           "измерением, и повторите.")));
}

bool OdController::requestTable()
{
    if (!m_ctx.link.portOpen()) {
        m_ctx.status.setText(QStringLiteral("Порт отключен."));
        emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Refused, QStringLiteral("Порт отключен.")));
        return false;
    }
    m_autoReadByExchange = false;
    return fetch();
}

void OdController::cancelFetch()
{
    if (!m_ctx.link.ownsExchange(this))
        return;
    m_ctx.link.cutExchange(this);
    if (m_autoReadByExchange)
        setAutoRead(false);
    m_autoReadByExchange = false;
    const QString text = QStringLiteral("Приём таблицы оптических плотностей прерван.");
    m_ctx.status.setText(text);
    emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Cancelled, text));
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
    // The table takes its own length; what follows it (a notice sent right behind it) is the
    // dispatcher's.
    const int length = int(std::min<qsizetype>(waiting.size(), odtable::ReplyLength));
    m_ctx.status.setText(QString::number(length));
    m_ctx.status.setProgress(StatusModel::percentOf(length, odtable::ReplyLength));
    if (length < odtable::ReplyLength)
        return InstrumentLink::NeedMore;
    // The line is given back before the table is taken in: an automatic save that must ask or
    // report opens a box, and the exchange must not time out behind it.
    m_autoReadByExchange = false;
    m_ctx.link.endExchange(this);
    acceptTable(waiting.left(length));
    emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Completed, QStringLiteral("Оптические плотности приняты.")));
    return length;
}

void OdController::acceptTable(const QByteArray &reply)
{
    m_grid.fill(reply);
    m_ctx.status.setProgress(0);
    m_ctx.status.setText(QStringLiteral("Оптические плотности приняты"));
    OpText = odtable::tableText(reply);
    m_readAt = QDateTime::currentDateTime();
    m_readEnabled = true;
    m_saveEnabled = true;
    m_excelEnabled = true;
    m_autoRead = false;
    changed();
    if (m_autoSave)
        autoSaveTable();
    emit tableReceived();
}

PlateMeta OdController::readingMeta() const
{
    PlateMeta meta;
    meta.readAt = m_readAt;
    // A port on the network goes by its address (its number is the program's own), as in the journal.
    const int n = m_ctx.link.line().CommPort();
    const QString address = isNetworkPortNumber(n) ? m_ctx.link.line().openDevice() : QString();
    meta.port = QStringLiteral("%1, %2").arg(address.isEmpty() ? QStringLiteral("COM%1").arg(n) : address, m_ctx.link.settingsText());
    return meta;
}

QString OdController::autoSaveTable()
{
    const QString suffixText = QStringLiteral(".txt"), suffixBook = QStringLiteral(".xlsx");
    const QString stem = readerfiles::freeStem(
        m_ctx.programDir, m_readAt.toString(QStringLiteral("yyyy_MM_dd_HH-mm-ss")) + QStringLiteral(" ОП"),
        {suffixText, suffixBook});
    const QString textPath = files::inFolder(m_ctx.programDir, stem + suffixText);
    if (!readerfiles::writeOrReport(m_ctx.dialogs, textPath, OpText))
        return {};
    const QString bookPath = files::inFolder(m_ctx.programDir, stem + suffixBook);
    QString why;
    if (!writePlateXlsx(bookPath, OpText, readingMeta(), &why)) {
        m_ctx.dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось записать файл \"%1\".\n%2")
                                                              .arg(QDir::toNativeSeparators(bookPath), why));
        return {};
    }
    m_ctx.status.setText(QStringLiteral("Таблица записана в файлы: ") + stem + QStringLiteral(" (.txt, .xlsx)"));
    return stem;
}

qsizetype OdController::branchSaveRequest(const QByteArray &waiting)
{
    if (waiting.size() < 19)
        return InstrumentLink::NeedMore;
    if (refusedWithoutTable())
        return waiting.size();
    // The name comes from the instrument: it may only name a file in the program folder.
    const QString name =
        readerfiles::writeUnderInstrumentName(m_ctx, waiting.left(19), OpText, QStringLiteral("Имя файла от прибора отклонено"));
    if (!name.isEmpty())
        m_ctx.status.setText(QStringLiteral("Данные записаны в файл: ") + name);
    return 19;
}

bool OdController::refusedWithoutTable()
{
    if (!OpText.isEmpty())
        return false;
    m_ctx.status.setText(QStringLiteral("Таблица оптических плотностей не принята: записывать нечего."));
    return true;
}

void OdController::btnSaveOPClick()
{
    if (refusedWithoutTable())
        return;
    FileDialogRequest request = readerfiles::sdlgSaveOpTable(m_ctx.programDir);
    QString filter;
    request.chosenFilter = &filter;
    const QString path = m_ctx.dialogs.askSaveFile(request);
    if (path.isEmpty())
        return;
    // ".xlsx" a workbook, ".csv" CSV in the chosen filter's form; ".xls", ".txt" and anything
    // else the table's plain text.
    QString why;
    if (!writePlateAs(path, OpText, readingMeta(), &why, readerfiles::csvStyleOfFilter(filter))) {
        m_ctx.dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось записать файл \"%1\".\n%2")
                                                              .arg(QDir::toNativeSeparators(path), why));
        return;
    }
    const QString which = tableWords();
    m_ctx.status.setText(which.isEmpty() ? QStringLiteral("Данные записаны в файл.")
                                         : QStringLiteral("Данные записаны в файл. Записана ") + which + QLatin1Char('.'));
    if (!m_sheet.CreateSheetObjectFromFile(path, &why))
        m_ctx.dialogs.showError(QStringLiteral("Таблица Excel"), why);
}

void OdController::btnCreateExcelClick()
{
    if (refusedWithoutTable())
        return;
    const QString path = readerfiles::tempBdtsPath(m_ctx.programDir);
    if (!readerfiles::writeOrReport(m_ctx.dialogs, path, OpText))
        return;
    const QString which = tableWords();
    if (!which.isEmpty())
        m_ctx.status.setText(QStringLiteral("В Excel передана ") + which + QLatin1Char('.'));
    const PlateMeta meta = readingMeta();
    showInSheet(path, &meta);
}

QString OdController::tableWords() const
{
    if (!m_readAt.isValid())
        return {};
    return QStringLiteral("таблица, принятая %1 в %2")
        .arg(m_readAt.toString(QStringLiteral("dd.MM.yyyy")), m_readAt.toString(QStringLiteral("HH:mm:ss")));
}

void OdController::btnFileToExcelClick()
{
    const QString path = m_ctx.dialogs.askOpenFile(readerfiles::odlgOpenFileToExcel(m_ctx.programDir));
    if (!path.isEmpty())
        showInSheet(path);
}

// A new sheet object from the file's bytes, shown in its own window; a failure is reported.
void OdController::showInSheet(const QString &path, const PlateMeta *meta)
{
    QString why;
    if (!m_sheet.CreateSheetObjectFromFile(path, &why)) {
        m_ctx.dialogs.showError(QStringLiteral("Таблица Excel"), why);
        return;
    }
    if (meta)
        m_sheet.setPlateMeta(*meta);
    m_sheet.OpenSheetObject();
}
