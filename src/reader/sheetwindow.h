#pragma once
// The spreadsheet view: a separate top-level window that shows the sheet object's content as a
// table (an optical density table as the plate, coloured by value when the scale is on), saves
// it as a workbook or CSV, and hands a workbook to the desktop's own spreadsheet program.
#include "reader/plateexport.h"

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class SheetObject;
class UserDialogs;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;

class SheetWindow : public QWidget {
    Q_OBJECT
public:
    // programDir: where "Сохранить как…" starts and where the hand-off copies are kept.
    SheetWindow(SheetObject &sheet, UserDialogs &dialogs, const QString &programDir, QWidget *parent = nullptr);

    // How a file is handed to the desktop (QDesktopServices by default; tests record instead).
    using Opener = std::function<bool(const QUrl &)>;
    void setOpener(Opener opener) { m_opener = std::move(opener); }

    // Shown anew for the object's current content.
    void refresh();
    // Writes what the window shows as a workbook under a new name in the hand-off folder and
    // opens that in the desktop's program: the desktop program never warns about the format, and
    // a second open works while the first copy is still open. A file that is not text is handed
    // over as its own bytes under its own extension.
    void openInSpreadsheetApp();
    // "Сохранить как…": a workbook (.xlsx) or CSV, as the chosen name's extension says.
    void saveAs();

    QTableView *table = nullptr;
    QLabel *notText = nullptr;
    QLabel *lbPlateInfo = nullptr;   // the plate's time of reading and port
    QLabel *lbScaleLegend = nullptr; // the colour scale's values
    QCheckBox *chckColourScale = nullptr;
    QPushButton *btnSaveAs = nullptr;
    QPushButton *btnOpenInSpreadsheetApp = nullptr;
    QPushButton *btnClose = nullptr; // "Закрыть"; Esc does the same

private:
    // The workbook or CSV of the object's content; empty with the reason on failure.
    QByteArray exportBytes(bool csv, QString *why, const CsvStyle &style = RussianCsv) const;
    // The name a saved or opened copy gets: the time of reading for a plate just read, else the file's.
    QString proposedName() const;

    SheetObject &m_sheet;
    UserDialogs &m_dialogs;
    QString m_programDir;
    Opener m_opener;
};
