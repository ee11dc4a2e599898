#pragma once
// The page "Ридер ОП" without its widgets: the table request and its reception (branches 'G'
// and 'D'), the instrument's save request (branch '2'), the save and spreadsheet buttons, and the
// enabled and ticked states the page shows.
#include "core/joboutcome.h"
#include "link/featurecontext.h"
#include "link/instrumentlink.h"
#include "reader/odtable.h"
#include "reader/plateexport.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

class SheetObject;

class OdController : public QObject {
    Q_OBJECT
public:
    OdController(FeatureContext context, SheetObject &sheet, QObject *parent = nullptr);

    // The last complete table reply with its tag replaced by a blank; empty until the first one.
    // A fetch that fails keeps it (and its time): a table and a time always belong together.
    QByteArray OpText;
    // When the table in OpText was received (invalid while there is none); the saving buttons
    // name the table they write by this time.
    QDateTime tableReceivedAt() const { return m_readAt; }
    // "таблица, принятая 08.12.2026 в 11:29:39", or empty when no table has been received.
    QString tableWords() const;

    OdTableModel &grid() { return m_grid; }

    // Page state: "Принять данные", "Данные в файл", "Данные в Excel", the two check boxes.
    bool readEnabled() const { return m_readEnabled; }
    bool saveEnabled() const { return m_saveEnabled; }
    bool excelEnabled() const { return m_excelEnabled; }
    bool autoRead() const { return m_autoRead; }
    bool autoSave() const { return m_autoSave; }
    void setReadEnabled(bool enabled);
    // The operator's ticks; nothing reads them back except the page.
    void setAutoRead(bool ticked);
    void setAutoSave(bool ticked);

    // Buttons.
    void btnReadOPClick() { requestTable(); }
    // Asks the instrument for the table ("Принять данные"); false when refused (fetchEnded tells why).
    bool requestTable();
    // Gives a running fetch up; the table from before stays.
    void cancelFetch();
    void btnSaveOPClick();
    void btnCreateExcelClick();
    void btnFileToExcelClick();

    // Receive branches: each is handed the waiting bytes, its tag first, and answers how many it
    // took (InstrumentLink::NeedMore: none yet).
    qsizetype branchNotice(const QByteArray &waiting);      // 'G': optical densities measured, fetch at once
    qsizetype branchTable(const QByteArray &waiting);       // 'D': the table, 777 characters
    qsizetype branchSaveRequest(const QByteArray &waiting); // '2': write the table under the 19 received characters

    // The grid labelled anew when the page becomes current, with the held table in it again: the
    // grid shows what "Данные в файл" and "Данные в Excel" would write (empty while none is held).
    void layOutGrid()
    {
        m_grid.label();
        if (!OpText.isEmpty())
            m_grid.fill(OpText);
    }

    // Shows a complete reply in the grid and keeps it as the table text; with "автосохранение
    // данных" ticked the table is saved at once (autoSaveTable).
    void acceptTable(const QByteArray &reply);

    // When and through which port the held table was read (for the workbook's heading).
    PlateMeta readingMeta() const;
    // Saves the held table in the program folder under the time of its reading,
    // "yyyy_MM_dd_HH-mm-ss ОП": the exact bytes (.txt) and a workbook (.xlsx). A name already
    // taken by either file gets " (2)", " (3)"...: nothing is overwritten. Returns the name
    // without extension, empty when a file could not be written (reported in a message box).
    QString autoSaveTable();

signals:
    void stateChanged();
    // A complete table has been taken in; OpText holds it.
    void tableReceived();
    // A fetch (asked for, or started by the instrument's notice) has taken the line.
    void fetchBegun();
    // A fetch has ended, or was refused before it began: once for every fetch asked for.
    void fetchEnded(const JobOutcome &outcome);

private:
    void showInSheet(const QString &path, const PlateMeta *meta = nullptr);
    // No complete table held: the status says so and nothing is written.
    bool refusedWithoutTable();
    bool fetch();
    void exchangeAborted(InstrumentLink::ExchangeEnd why);
    void changed();

    FeatureContext m_ctx;
    SheetObject &m_sheet;
    OdTableModel m_grid;
    bool m_readEnabled = true;
    bool m_saveEnabled = false;
    bool m_excelEnabled = false;
    bool m_autoRead = false;
    bool m_autoSave = false;
    QDateTime m_readAt;
    bool m_autoReadByExchange = false; // "автоприем данных" was ticked by the notice of the running fetch
};
