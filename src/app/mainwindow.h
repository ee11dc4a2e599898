#pragma once
// The main window: navigation (menu bar and group bar with the same six actions), the page area
// with hideable tabs, the port strip, the status bar, and the program-wide state. Handlers stay
// short; the work is done by the link and the features, which have no widgets of their own state.
#include "core/dialogs.h"
#include "core/joboutcomes.h"
#include "core/status.h"
#include "link/instrumentlink.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QScrollArea;
class QSplitter;
class QTabWidget;
class QToolButton;
class QGroupBox;
class AboutPage;
class OutcomePane;
class PortComboBox;
class ReaderFeature;
class FirmwareFeature;
class BdtsFeature;
class ProgramJournal;
class Journal;

struct MainWindowOptions {
    std::unique_ptr<PortCatalog> catalog; // none: KVIRO_SERIALCOMM or the system's ports
    UserDialogs *dialogs = nullptr;       // none: the real dialogs
    QString programDir;                   // empty: the executable's folder (or the user's data folder)
    bool startLinkCheck = true;           // false: tests drive the ticks themselves
};

class TFormMainKviroS_D7 : public QMainWindow {
    Q_OBJECT
public:
    static const QString ApplicationTitle;
    // The window's initial and least client size.
    static constexpr int MinimumWidth = 784;
    static constexpr int MinimumHeight = 444;
    // The clock: long date and long time.
    static constexpr const char *ClockFormat = "d MMMM yyyy 'г.' H:mm:ss";
    enum Page { PageAbout = 0, PageSoftSor = 1, PageBDTS = 2, PageReader = 3, PageResult = 4 };

    explicit TFormMainKviroS_D7(MainWindowOptions options = {}, QWidget *parent = nullptr);
    ~TFormMainKviroS_D7() override;

    // Program-wide state.
    QString ProgramDir;
    StatusModel &status() { return m_status; }
    JobOutcomes &outcomes() { return m_outcomes; }
    InstrumentLink &link() { return *m_link; }
    ReaderFeature &reader() { return *m_reader; }
    FirmwareFeature &firmware() { return *m_firmware; }
    BdtsFeature &bdts() { return *m_bdts; }
    UserDialogs &dialogs() { return *m_dialogs; }
    ProgramJournal &programJournal() { return *m_journal; }
    Journal &journal();
    QWidget *FrameSoftSor = nullptr;
    QWidget *FrameBDTS = nullptr;

    // Actions.
    QAction *ActionAbout = nullptr;
    QAction *ActionJournal = nullptr;
    QAction *ActionExit = nullptr;
    QAction *ActionSoftSorvint = nullptr;
    QAction *ActionBDTS = nullptr;
    QAction *ActionReader = nullptr;
    QAction *ActionFile = nullptr;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    void pageTabsChange(int newPage);
    void UpdateLinkState();
    // "О программе": shows the About page.
    void Action1Execute();
    void ActionExitExecute();
    void ActionJournalExecute();
    void ActionSoftSorvintExecute();
    void ActionBDTSExecute();
    void ActionReaderExecute();
    void ActionFileExecute();

    // Navigation.
    QTabWidget *pages() const { return pageTabs; }
    int currentPage() const;
    bool tabVisible(int page) const;
    int pageChangeCount() const { return m_pageChanges; }

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildActions();
    void buildMenus();
    QWidget *buildGroupBar();
    QWidget *buildPortStrip();
    void buildStatusBar();
    // Makes a page current and its tab visible; the page-change step runs on a real change.
    void showPage(int page);
    // A firmware stream or the writing phase of a database write is broken off by a page change
    // only when the operator says so.
    bool mayLeavePage(int newPage);
    void refreshPortStrip();
    // The window's least size: 784 x 444, or more when the pages need it (larger text), but never
    // more than the screen's available area; the page area scrolls for the rest.
    void fitToContent();
    // The status bar as tall as its texts need when they wrap (an instruction is shown whole).
    void fitStatusBar();
    void showOutcomeBox(const QString &text);

    StatusModel m_status;
    JobOutcomes m_outcomes;
    std::unique_ptr<ProgramJournal> m_journal; // before everything that reports to it
    std::unique_ptr<UserDialogs> m_ownDialogs;
    UserDialogs *m_dialogs = nullptr;
    std::unique_ptr<InstrumentLink> m_link;
    std::unique_ptr<ReaderFeature> m_reader;
    std::unique_ptr<FirmwareFeature> m_firmware;
    std::unique_ptr<BdtsFeature> m_bdts;

    QSplitter *m_splitter = nullptr;
    QWidget *groupBar = nullptr;
    QTabWidget *pageTabs = nullptr;
    QScrollArea *m_pageArea = nullptr;
    QSize m_fittedPages; // the pages' least size the window was last fitted to
    AboutPage *m_about = nullptr;
    QWidget *TabShSoftSor = nullptr;
    QWidget *TabShBDTS = nullptr;
    QWidget *TabShReader = nullptr;
    QWidget *TabShResult = nullptr;
    QGroupBox *portGroup = nullptr;
    PortComboBox *cbxNumPort = nullptr;
    QToolButton *sbtnCommON = nullptr;
    QLabel *lbCommParam = nullptr;
    QComboBox *cbBaudRate = nullptr;
    QLabel *statusText = nullptr;
    OutcomePane *outcomePane = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *clockLabel = nullptr;
    int m_lastPage = 0;
    int m_pageChanges = 0;
    bool m_shown = false;
    bool m_startLinkCheck = true;
};
