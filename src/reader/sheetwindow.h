#pragma once
// The spreadsheet view: a separate top-level window that shows the sheet object's text as a table
// and offers to open it in the desktop's own spreadsheet application.
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

#include <functional>

class SheetObject;
class UserDialogs;
class QLabel;
class QPushButton;
class QTableView;

class SheetWindow : public QWidget {
    Q_OBJECT
public:
    SheetWindow(SheetObject &sheet, UserDialogs &dialogs, QWidget *parent = nullptr);

    // How a file is handed to the desktop (QDesktopServices by default; tests record instead).
    using Opener = std::function<bool(const QUrl &)>;
    void setOpener(Opener opener) { m_opener = std::move(opener); }

    // Shown anew for the object's current content.
    void refresh();
    // Writes the object's copy to a file of its own and opens that in the desktop's application:
    // what opens is what this window shows, even when the original file has changed since.
    void openInSpreadsheetApp();

    QTableView *table = nullptr;
    QLabel *notText = nullptr;
    QPushButton *btnOpenInSpreadsheetApp = nullptr;
    QPushButton *btnClose = nullptr; // "Закрыть"; Esc does the same

private:
    SheetObject &m_sheet;
    UserDialogs &m_dialogs;
    Opener m_opener;
    QTemporaryDir m_copies;
};
