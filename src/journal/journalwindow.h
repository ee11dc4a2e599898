#pragma once
// The journal window (not modal): the tab "События" with the day's entries, newest at the
// bottom, a filter by kind, a search, copying and "Открыть папку журналов"; the tab
// "Монитор линии" with the raw traffic, off until switched on there, and "Сохранить…".
#include "core/dialogs.h"
#include "core/journal.h"
#include "core/linemonitor.h"

#include <QUrl>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;
class JournalModel;
class JournalFilter;

class JournalWindow : public QWidget {
    Q_OBJECT
public:
    JournalWindow(Journal &journal, LineMonitor &monitor, UserDialogs &dialogs, QWidget *parent = nullptr);

    enum Tab { TabEvents = 0, TabMonitor = 1 };
    // The monitor view keeps at most this many lines (about 150 KiB of text); the saved file has
    // everything the monitor holds. Every line is a block of the text document with its layout,
    // and every change is reported to an accessibility bus: a few thousand lines are enough.
    static constexpr int MonitorViewLines = 2000;
    void showTab(Tab tab);

    // Copies the selected entries (all shown ones when none is selected) to the clipboard, one
    // a line as in the journal file.
    void copyEntries();
    // Opens the folder in the desktop's file manager; says why and what to do when it cannot.
    void openJournalFolder();
    using FolderOpener = std::function<bool(const QUrl &)>;
    void setFolderOpener(FolderOpener opener) { m_folderOpener = std::move(opener); }
    // Asks for a file and writes the monitor's text into it whole.
    void saveMonitor();
    // The rows shown, as journal lines (tests; copying).
    QStringList shownLines(bool selectedOnly = false) const;
    QString monitorText() const;

    QTabWidget *tabs() const { return m_tabs; }
    QComboBox *kindFilter() const { return m_kind; }
    QLineEdit *search() const { return m_search; }
    QCheckBox *monitorSwitch() const { return m_monitorOn; }
    QTableView *entryView() const { return m_view; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildEvents();
    QWidget *buildMonitor();
    void followNewest();
    void refreshMonitor();

    Journal &m_journal;
    LineMonitor &m_monitor;
    UserDialogs &m_dialogs;
    FolderOpener m_folderOpener;
    JournalModel *m_model = nullptr;
    JournalFilter *m_filter = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTableView *m_view = nullptr;
    QComboBox *m_kind = nullptr;
    QLineEdit *m_search = nullptr;
    QCheckBox *m_monitorOn = nullptr;
    QLabel *m_monitorBound = nullptr;
    QPlainTextEdit *m_monitorView = nullptr;
    QTimer *m_monitorRefresh = nullptr;
    qint64 m_piecesShown = 0;
};
