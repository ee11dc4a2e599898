#include "app/mainwindow.h"

#include "app/aboutpage.h"
#include "app/outcomepane.h"
#include "app/networkportdialog.h"
#include "app/programjournal.h"
#include "app/qtdialogs.h"
#include "bdts/bdtsfeature.h"
#include "core/files.h"
#include "core/version.h"
#include "firmware/firmwarefeature.h"
#include "firmware/progwizard.h"
#include "link/networkports.h"
#include "reader/readerfeature.h"
#include "widgets/keyboard.h"
#include "widgets/screenroom.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

const QString TFormMainKviroS_D7::ApplicationTitle = kviro::applicationTitle();

// The port drop-down tells when its list opens and closes: the link check pauses meanwhile.
// However the list closes (an item chosen, escape, a click outside, the list's window closed or
// hidden), closedUp() follows, once.
class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override
    {
        m_listOpen = true;
        emit droppedDown();
        QComboBox::showPopup();
        QWidget *list = view()->window();
        if (list != window() && list != m_watched) {
            list->installEventFilter(this);
            m_watched = list;
        }
        if (!view()->isVisible())
            listClosed(); // nothing to show: the list never opened
    }
    void hidePopup() override
    {
        QComboBox::hidePopup();
        listClosed();
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_watched && event->type() == QEvent::Hide)
            listClosed();
        return QComboBox::eventFilter(watched, event);
    }
signals:
    void droppedDown();
    void closedUp();

private:
    void listClosed()
    {
        if (!m_listOpen)
            return;
        m_listOpen = false;
        emit closedUp();
    }
    QWidget *m_watched = nullptr;
    bool m_listOpen = false;
};

// A group-bar item: Enter and Return run its action as Space does, so the bar works without a mouse.
class GroupBarButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
            if (isEnabled())
                click();
            event->accept();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
};

namespace {
QIcon linkLampIcon()
{
    auto lamp = [](const QColor &fill) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(40, 40, 40));
        p.setBrush(fill);
        p.drawEllipse(QRectF(2, 2, 12, 12));
        return pm;
    };
    QIcon icon;
    icon.addPixmap(lamp(QColor(40, 200, 60)), QIcon::Normal);
    icon.addPixmap(lamp(QColor(150, 150, 150)), QIcon::Disabled);
    return icon;
}

// The port strip's "add a network instrument" button: a plus, drawn so that it keeps to the
// strip's height at any text size.
QIcon addPortIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.drawLine(QPointF(8, 3), QPointF(8, 13));
    p.drawLine(QPointF(3, 8), QPointF(13, 8));
    return QIcon(pm);
}

// The scrolled page area asks for the size its pages ask for, as the pages did before they could
// scroll (a plain scroll area caps its wish at a few dozen lines of text).
class PageArea final : public QScrollArea {
public:
    QSize sizeHint() const override { return widget() ? widget()->sizeHint() : QScrollArea::sizeHint(); }
};

QWidget *pageHolder(const QString &name)
{
    auto *page = new QWidget;
    page->setObjectName(name);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    return page;
}
} // namespace

TFormMainKviroS_D7::TFormMainKviroS_D7(MainWindowOptions options, QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMainKviroS_D7"));
    setWindowTitle(QStringLiteral("КВИРО-сервис"));
    // 784 x 444 is where the window starts and the least it may be; it grows with larger text.
    setMinimumSize(MinimumWidth, MinimumHeight);
    resize(MinimumWidth, MinimumHeight);
    m_startLinkCheck = options.startLinkCheck;

    ProgramDir = options.programDir.isEmpty() ? files::programDir() : options.programDir;
    if (!ProgramDir.endsWith(QLatin1Char('/')))
        ProgramDir += QLatin1Char('/');
    m_journal = std::make_unique<ProgramJournal>(ProgramDir, m_status);
    m_outcomes.watchStatus(m_status);
    if (!JobOutcomes::current())
        JobOutcomes::setCurrent(&m_outcomes);
    if (!options.dialogs) {
        m_ownDialogs = std::make_unique<QtUserDialogs>(this);
        options.dialogs = m_ownDialogs.get();
    }
    m_dialogs = &m_journal->dialogs(*options.dialogs);
    // The COM ports, then the instruments on the network listed in the working folder.
    m_link = std::make_unique<InstrumentLink>(
        m_status, std::make_unique<NetworkPortCatalog>(options.catalog ? std::move(options.catalog) : makePortCatalogFromEnvironment(),
                                                       ProgramDir));
    m_journal->attachLink(*m_link);
    const FeatureContext context{*m_link, m_status, *m_dialogs, ProgramDir};
    m_reader = std::make_unique<ReaderFeature>(context);
    m_firmware = std::make_unique<FirmwareFeature>(context, [this] { return currentPage() == PageSoftSor; });
    m_bdts = std::make_unique<BdtsFeature>(context);

    keyboard::enterPressesButtons();
    buildActions();
    buildMenus();

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("mainSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(buildGroupBar());

    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    pageTabs = new QTabWidget;
    pageTabs->setObjectName(QStringLiteral("pageTabs"));
    pageTabs->setTabPosition(QTabWidget::South);
    m_about = new AboutPage;
    TabShSoftSor = pageHolder(QStringLiteral("TabShSoftSor"));
    TabShBDTS = pageHolder(QStringLiteral("TabShBDTS"));
    TabShReader = pageHolder(QStringLiteral("TabShReader"));
    TabShResult = pageHolder(QStringLiteral("TabShResult"));
    pageTabs->addTab(m_about, QStringLiteral("О программе"));
    pageTabs->addTab(TabShSoftSor, QStringLiteral("ПО прибора"));
    pageTabs->addTab(TabShBDTS, QStringLiteral("БД ТС"));
    pageTabs->addTab(TabShReader, QStringLiteral("Ридер ОП"));
    pageTabs->addTab(TabShResult, QStringLiteral("Результаты"));
    TabShReader->layout()->addWidget(m_reader->createOdPage(TabShReader));
    TabShResult->layout()->addWidget(m_reader->createResultPage(TabShResult));
    for (int page = PageSoftSor; page <= PageResult; ++page)
        pageTabs->setTabVisible(page, false);
    pageTabs->setCurrentIndex(PageAbout);
    connect(pageTabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index < 0 || index == m_lastPage)
            return;
        if (!mayLeavePage(index)) {
            // The operator keeps the load or the write going: back to its page, with no page change.
            pageTabs->setCurrentIndex(m_lastPage);
            return;
        }
        m_lastPage = index;
        pageTabsChange(index);
    });
    // The pages scroll only when the screen is too small for them; otherwise the area is as large
    // as they need and shows no scroll bars (fitToContent).
    m_pageArea = new PageArea;
    m_pageArea->setObjectName(QStringLiteral("pageArea"));
    m_pageArea->setFrameShape(QFrame::NoFrame);
    m_pageArea->setFocusPolicy(Qt::NoFocus);
    m_pageArea->setWidgetResizable(true);
    m_pageArea->setWidget(pageTabs);
    pageTabs->installEventFilter(this);
    rightLayout->addWidget(m_pageArea, 1);
    rightLayout->addWidget(buildPortStrip());
    m_splitter->addWidget(right);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);
    buildStatusBar();
    m_journal->attachStatusPane(statusText);
    fitToContent();

    // About page feature lines run their actions' operations directly.
    connect(m_about->lbLoadPOInSor, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionSoftSorvintExecute);
    connect(m_about->lbLoadBDTS, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionBDTSExecute);
    connect(m_about->lbReader, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionReaderExecute);
    connect(m_about->lbProtokol, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionFileExecute);
    // The page area takes the keyboard first; the group bar is reached by Shift+Tab.
    pageTabs->setFocus();

    connect(m_link.get(), &InstrumentLink::tickStarted, &m_outcomes, &JobOutcomes::linkCheckStarted);
    {
        using namespace firmware::texts;
        m_outcomes.setGuidanceTexts({StepFile, StepSwitchOff, StepSwitchOnEval, StepSwitchOnTick, StepLoad});
    }
    connect(m_link.get(), &InstrumentLink::tickFinished, this, &TFormMainKviroS_D7::UpdateLinkState);
    connect(m_link.get(), &InstrumentLink::linkChanged, this, [this] { sbtnCommON->setEnabled(m_link->linkOn()); });
    connect(m_link.get(), &InstrumentLink::stripChanged, this, &TFormMainKviroS_D7::refreshPortStrip);
    // An exchange the link gave up is told in a message box: the next tick overwrites the status
    // line. Queued, so the box never opens inside the serial layer's own error handling.
    connect(
        m_link.get(), &InstrumentLink::exchangeAborted, this,
        [this](const QString &text) { m_dialogs->showError(QStringLiteral("КВИРО-сервис"), text); }, Qt::QueuedConnection);

    FormCreate();
}

TFormMainKviroS_D7::~TFormMainKviroS_D7()
{
    if (JobOutcomes::current() == &m_outcomes)
        JobOutcomes::setCurrent(nullptr);
    m_link->stopPortSearch();
    // The frames and pages hold pointers into the features: let the widgets go first.
    delete takeCentralWidget();
}

void TFormMainKviroS_D7::buildActions()
{
    auto make = [this](const QString &name, const QString &caption, void (TFormMainKviroS_D7::*handler)()) {
        auto *action = new QAction(caption, this);
        action->setObjectName(name);
        if (handler)
            connect(action, &QAction::triggered, this, handler);
        return action;
    };
    // "&" marks the Alt letter in the menus; the group bar shows the captions without it.
    ActionAbout = make(QStringLiteral("ActionAbout"), QStringLiteral("&О программе"), &TFormMainKviroS_D7::Action1Execute);
    ActionJournal = make(QStringLiteral("ActionJournal"), QStringLiteral("&Журнал"), &TFormMainKviroS_D7::ActionJournalExecute);
    ActionExit = make(QStringLiteral("ActionExit"), QStringLiteral("&Выход"), &TFormMainKviroS_D7::ActionExitExecute);
    ActionSoftSorvint = make(QStringLiteral("ActionSoftSorvint"), QStringLiteral("&Сорвинт"),
                             &TFormMainKviroS_D7::ActionSoftSorvintExecute);
    ActionBDTS = make(QStringLiteral("ActionBDTS"), QStringLiteral("&БД тест-систем"), &TFormMainKviroS_D7::ActionBDTSExecute);
    ActionReader = make(QStringLiteral("ActionReader"), QStringLiteral("&Оптические плотности"),
                         &TFormMainKviroS_D7::ActionReaderExecute);
    ActionFile = make(QStringLiteral("ActionFile"), QStringLiteral("&Результаты"), &TFormMainKviroS_D7::ActionFileExecute);
}

void TFormMainKviroS_D7::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    bar->setMinimumHeight(26);
    QMenu *user = bar->addMenu(QStringLiteral("&Пользователю"));
    user->addAction(ActionAbout);
    user->addAction(ActionJournal);
    user->addSeparator();
    user->addAction(ActionExit);
    QMenu *prog = bar->addMenu(QStringLiteral("Про&граммирование"));
    prog->addAction(ActionSoftSorvint);
    prog->addAction(ActionBDTS);
    QMenu *reader = bar->addMenu(QStringLiteral("&Ридер"));
    reader->addAction(ActionReader);
    reader->addAction(ActionFile);
}

QWidget *TFormMainKviroS_D7::buildGroupBar()
{
    groupBar = new QWidget;
    groupBar->setObjectName(QStringLiteral("groupBar"));
    groupBar->setAutoFillBackground(true);
    groupBar->setStyleSheet(QStringLiteral("#groupBar { background: #5A78A0; }"
                                              "QGroupBox { background: #E8EEF6; border: 1px solid #2F4F7F;"
                                              " border-radius: 3px; margin-top: 18px; font-weight: bold; }"
                                              "QGroupBox::title { subcontrol-origin: margin; left: 0px; padding: 1px 6px;"
                                              " color: white; background: #2F4F7F; }"
                                              "QToolButton { border: none; text-align: left; color: #102050; }"
                                              "QToolButton:hover { color: #C00000; text-decoration: underline; }"
                                              "QToolButton:focus { color: #C00000; background: #FFF4C0;"
                                              " border: 1px dotted #102050; }"
                                              "QToolButton:disabled { color: #8090A0; }"));
    auto *layout = new QVBoxLayout(groupBar);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(6);
    auto group = [&](const QString &caption, const QList<QAction *> &actions) {
        auto *box = new QGroupBox(caption);
        box->setObjectName(QStringLiteral("groupBar_") + caption);
        auto *v = new QVBoxLayout(box);
        v->setContentsMargins(8, 6, 4, 4);
        v->setSpacing(2);
        for (QAction *a : actions) {
            auto *b = new GroupBarButton;
            b->setDefaultAction(a);
            b->setToolButtonStyle(Qt::ToolButtonTextOnly);
            b->setCursor(Qt::PointingHandCursor);
            v->addWidget(b);
        }
        layout->addWidget(box);
    };
    group(QStringLiteral("Пользователю"), {ActionAbout, ActionExit});
    group(QStringLiteral("Программирование"), {ActionSoftSorvint, ActionBDTS});
    group(QStringLiteral("Ридер"), {ActionReader, ActionFile});
    layout->addStretch(1);
    return groupBar;
}

QWidget *TFormMainKviroS_D7::buildPortStrip()
{
    portGroup = new QGroupBox(QStringLiteral("Порт связи:"));
    portGroup->setObjectName(QStringLiteral("portGroup"));
    // The caption sits in the top margin: as tall as the text, never less than the classic 12 px.
    portGroup->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    const int titleMargin = std::max(12, portGroup->fontMetrics().height() - 3);
    portGroup->setStyleSheet(QStringLiteral("QGroupBox { margin-top: %1px; } QGroupBox::title { subcontrol-origin: margin; left: 6px; }")
                                   .arg(titleMargin));
    auto *h = new QHBoxLayout(portGroup);
    h->setContentsMargins(6, 0, 6, 2);
    auto *com = new QLabel(QStringLiteral("Com"));
    com->setObjectName(QStringLiteral("lbCom"));
    cbxNumPort = new PortComboBox;
    cbxNumPort->setObjectName(QStringLiteral("cbxNumPort"));
    cbxNumPort->setPlaceholderText(QStringLiteral("нет"));
    cbxNumPort->setToolTip(QStringLiteral("Выбор Com-порта."));
    cbxNumPort->setAccessibleName(QStringLiteral("Com"));
    cbxNumPort->setMinimumWidth(56);
    // A network port's name is longer than "COM3": the box grows to the longest name listed.
    cbxNumPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    com->setBuddy(cbxNumPort);
    sbtnCommON = new QToolButton;
    sbtnCommON->setObjectName(QStringLiteral("sbtnCommON"));
    sbtnCommON->setIcon(linkLampIcon());
    sbtnCommON->setAutoRaise(true);
    sbtnCommON->setToolTip(QStringLiteral("Индикатор связи."));
    sbtnCommON->setAccessibleName(QStringLiteral("Индикатор связи."));
    sbtnCommON->setEnabled(false);
    sbtnCommON->setFocusPolicy(Qt::NoFocus); // a lamp, not a control
    lbCommParam = new QLabel(QStringLiteral("параметры не определены"));
    lbCommParam->setObjectName(QStringLiteral("lbCommParam"));
    lbCommParam->setToolTip(QStringLiteral("Параметры порта: скорость,биты,паритет,стоп-бит"));
    lbCommParam->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    cbBaudRate = new QComboBox;
    cbBaudRate->setObjectName(QStringLiteral("cbBaudRate"));
    cbBaudRate->addItems(InstrumentLink::BaudRates);
    cbBaudRate->setPlaceholderText(QStringLiteral("нет"));
    cbBaudRate->setCurrentIndex(-1);
    cbBaudRate->setToolTip(QStringLiteral("Установка новой скорости обмена."));
    cbBaudRate->setAccessibleName(QStringLiteral("Установка новой скорости обмена."));
    h->addWidget(com);
    h->addWidget(cbxNumPort);
    auto *addNetworkPort = new QToolButton;
    addNetworkPort->setObjectName(QStringLiteral("btnAddNetworkPort"));
    addNetworkPort->setIcon(addPortIcon());
    addNetworkPort->setAutoRaise(true);
    addNetworkPort->setToolTip(QStringLiteral("Добавить прибор в сети (сервер последовательных портов)…"));
    addNetworkPort->setAccessibleName(QStringLiteral("Добавить прибор в сети"));
    h->addWidget(addNetworkPort);
    h->addWidget(sbtnCommON);
    h->addWidget(lbCommParam, 1);
    h->addWidget(cbBaudRate);
    // The classic 39 px, or the caption's margin, the tallest control and the frame below it at
    // this text size, whichever is more.
    portGroup->ensurePolished();
    const QMargins frame = portGroup->contentsMargins();
    int row = 0;
    for (QWidget *c : std::initializer_list<QWidget *>{cbxNumPort, addNetworkPort, sbtnCommON, cbBaudRate})
        row = std::max(row, c->sizeHint().height());
    portGroup->setMinimumHeight(std::max(39, std::max(frame.top(), titleMargin) + row + h->contentsMargins().bottom() +
                                                 frame.bottom()));

    connect(cbxNumPort, &QComboBox::activated, this, [this](int index) { m_link->cbxNumPortChange(index); });
    connect(cbxNumPort, &PortComboBox::droppedDown, this, [this] { m_link->cbxNumPortDropDown(); });
    connect(cbxNumPort, &PortComboBox::closedUp, this, [this] { m_link->cbxNumPortCloseUp(); });
    connect(cbBaudRate, &QComboBox::activated, this, [this](int index) { m_link->cbBaudRateChange(index); });
    connect(addNetworkPort, &QToolButton::clicked, this, [this] { NetworkPortDialog(ProgramDir, this).exec(); });
    return portGroup;
}

void TFormMainKviroS_D7::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setFixedHeight(std::max(19, bar->fontMetrics().height() + 6));
    bar->setSizeGripEnabled(false);
    statusText = new QLabel;
    statusText->setObjectName(QStringLiteral("statusText"));
    // A long message must not widen the window: it takes the pane's width and wraps; the bar
    // grows for it, so an instruction to the operator is read whole.
    statusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusText->setWordWrap(true);
    statusText->setTextFormat(Qt::PlainText);
    outcomePane = new OutcomePane;
    progressBar = new QProgressBar;
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setFixedWidth(164);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setFormat(QStringLiteral("%p%"));
    // No "0%" while nothing runs: the bar shows only during an exchange, and meanwhile its room
    // goes to the status line and the last outcome.
    progressBar->setTextVisible(false);
    progressBar->setVisible(false);
    clockLabel = new QLabel;
    clockLabel->setObjectName(QStringLiteral("clockLabel"));
    // 164 px, or what the longest date with seconds needs in the present font.
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    const QString longest = russian.toString(QDateTime(QDate(2028, 9, 28), QTime(23, 58, 58)), QString::fromUtf8(ClockFormat));
    clockLabel->setFixedWidth(std::max(164, clockLabel->fontMetrics().horizontalAdvance(longest) + 12));
    clockLabel->setAlignment(Qt::AlignCenter);
    bar->addWidget(statusText, 1);
    bar->addWidget(outcomePane, 1);
    bar->addPermanentWidget(m_bdts->createReadCancelButton(bar));
    bar->addPermanentWidget(progressBar);
    bar->addPermanentWidget(clockLabel);
    // The pane's tooltip belongs to the journal: it keeps the last warning or error there.
    connect(&m_status, &StatusModel::textChanged, statusText, [this](const QString &text) {
        statusText->setText(text);
        fitStatusBar();
    });
    connect(&m_outcomes, &JobOutcomes::reported, outcomePane, [this](const ShownOutcome &outcome) {
        outcomePane->showOutcome(outcome);
        fitStatusBar();
    });
    connect(outcomePane, &OutcomePane::readRequested, this, &TFormMainKviroS_D7::showOutcomeBox);
    bar->installEventFilter(this);
    connect(&m_status, &StatusModel::progressChanged, progressBar, [this](int percent) {
        progressBar->setValue(percent);
        progressBar->setTextVisible(percent > 0 && !m_status.busy());
        progressBar->setVisible(percent > 0 || m_status.busy());
    });
    // Busy: a range of 0..0 makes the bar show that work goes on without a percent.
    connect(&m_status, &StatusModel::busyChanged, this, [this](bool busy) {
        progressBar->setRange(0, busy ? 0 : 100);
        progressBar->setValue(m_status.progress());
        progressBar->setTextVisible(!busy && m_status.progress() > 0);
        progressBar->setVisible(busy || m_status.progress() > 0);
    });

    auto *clock = new QTimer(this);
    auto showTime = [this] { clockLabel->setText(russian.toString(QDateTime::currentDateTime(), QString::fromUtf8(ClockFormat))); };
    connect(clock, &QTimer::timeout, this, showTime);
    clock->start(1000);
    showTime();
}

void TFormMainKviroS_D7::fitToContent()
{
    // The least size that shows every page whole, and never below 784 x 444 ...
    if (!layout() || !m_pageArea)
        return;
    // What the window needs with the page area's least size changed by `grow`.
    auto windowNeed = [this](QSize grow) {
        QSize need = layout()->totalMinimumSize() + grow;
        // Room for the group bar's quarter of the width beside the least page area.
        if (QWidget *pageSide = m_splitter->widget(1))
            need.rwidth() = std::max(need.width(),
                                     (pageSide->minimumSizeHint().width() + grow.width() + m_splitter->handleWidth()) * 4 / 3 + 4);
        return need.expandedTo(QSize(MinimumWidth, MinimumHeight));
    };
    // ... unless the screen is smaller: then the page area gives up what is missing and scrolls.
    const QSize room = screenroom::clientRoom(*this);
    const QSize pages = pageTabs->minimumSizeHint().expandedTo(pageTabs->minimumSize());
    // The main window's layout keeps its least size until told: when the pages' need has changed,
    // it is measured anew (once; the layout request that follows finds the same pages).
    if (pages != m_fittedPages) {
        m_fittedPages = pages;
        layout()->invalidate();
    }
    const QSize current = m_pageArea->minimumSize();
    const QSize area = screenroom::areaMinimum(pages, windowNeed(pages - current), room, pages / 3);
    const QSize need = windowNeed(area - current).boundedTo(room);
    if (area != current)
        m_pageArea->setMinimumSize(area);
    // Before the first show the layouts have not taken the area's size yet: the window is fitted
    // when it is shown.
    if (isVisible() && need != minimumSize())
        setMinimumSize(need);
}

void TFormMainKviroS_D7::fitStatusBar()
{
    QStatusBar *bar = statusBar();
    const int line = bar->fontMetrics().height();
    auto need = [line](QLabel *label, int lines) {
        if (label->text().isEmpty() || label->width() <= 0)
            return line;
        const QMargins m = label->contentsMargins();
        return std::min(label->heightForWidth(label->width()), line * lines + m.top() + m.bottom());
    };
    // An instruction on the status line is shown whole (up to six lines); the outcome shows three
    // lines and the rest in its tooltip and box.
    const int height = std::max({19, line + 6, need(statusText, 6) + 6, need(outcomePane, 3) + 6});
    if (bar->height() != height)
        bar->setFixedHeight(height);
}

void TFormMainKviroS_D7::showOutcomeBox(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("КВИРО-сервис"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("outcomeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

bool TFormMainKviroS_D7::eventFilter(QObject *watched, QEvent *event)
{
    // A wider or narrower bar wraps its texts anew.
    if (watched == statusBar() && event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, &TFormMainKviroS_D7::fitStatusBar);
    // A page's least size changed inside the scrolled area: fit the window to it once it is laid out.
    if (watched == pageTabs && event->type() == QEvent::LayoutRequest)
        QTimer::singleShot(0, this, &TFormMainKviroS_D7::fitToContent);
    return QMainWindow::eventFilter(watched, event);
}

bool TFormMainKviroS_D7::event(QEvent *event)
{
    const bool done = QMainWindow::event(event);
    // A page made later (a frame on its first use) or a changed font may need more room.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
        fitToContent();
    return done;
}

void TFormMainKviroS_D7::FormCreate()
{
    m_link->resetToStartValues();
    sbtnCommON->setEnabled(false);
    if (m_startLinkCheck)
        m_link->startPortSearch();
}

void TFormMainKviroS_D7::FormShow()
{
    // The splitter must have its final size first, or it rescales the division.
    if (layout())
        layout()->activate();
    fitToContent();
    // A window that would start larger than its screen (the classic 784 x 444 at 2x on a small
    // screen) starts within it.
    const QSize room = screenroom::clientRoom(*this);
    if (width() > room.width() || height() > room.height())
        resize(size().boundedTo(room));
    const int groupWidth = width() / 4;
    m_splitter->setSizes({groupWidth, width() - groupWidth - m_splitter->handleWidth()});
    m_about->arrange();
}

void TFormMainKviroS_D7::FormClose()
{
    m_link->stopPortSearch();
}

void TFormMainKviroS_D7::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFormMainKviroS_D7::closeEvent(QCloseEvent *event)
{
    // A firmware stream or the writing phase of a database write is cut only when the operator says so.
    if (!m_firmware->confirmLeave() || !m_bdts->confirmLeave()) {
        event->ignore();
        return;
    }
    FormClose();
    QMainWindow::closeEvent(event);
}

int TFormMainKviroS_D7::currentPage() const { return pageTabs->currentIndex(); }
bool TFormMainKviroS_D7::tabVisible(int page) const { return pageTabs->isTabVisible(page); }

void TFormMainKviroS_D7::showPage(int page)
{
    pageTabs->setTabVisible(page, true);
    pageTabs->setCurrentIndex(page);
}

bool TFormMainKviroS_D7::mayLeavePage(int newPage)
{
    if (newPage == m_lastPage)
        return true;
    // Leaving the firmware page ends a running stream; the writing phase of a database write is
    // cut on any page change, as on closing. Either goes only when the operator says so.
    if (m_lastPage == PageSoftSor && !m_firmware->confirmLeave())
        return false;
    return m_bdts->confirmLeave();
}

void TFormMainKviroS_D7::pageTabsChange(int newPage)
{
    ++m_pageChanges;
    m_firmware->StopProgWizard();
    if (newPage == PageSoftSor) {
        m_firmware->ResetProgWizard();
        m_link->setBaudIndex(5);
        refreshPortStrip();
        m_firmware->UpdateProgStep();
    } else if (newPage == PageReader) {
        m_reader->odPageBecameCurrent();
    }
}

void TFormMainKviroS_D7::Action1Execute()
{
    if (mayLeavePage(PageAbout))
        showPage(PageAbout);
}

void TFormMainKviroS_D7::ActionExitExecute() { close(); }

void TFormMainKviroS_D7::ActionJournalExecute() { m_journal->showWindow(this); }

Journal &TFormMainKviroS_D7::journal() { return m_journal->journal; }

void TFormMainKviroS_D7::ActionSoftSorvintExecute()
{
    if (!mayLeavePage(PageSoftSor))
        return;
    if (!FrameSoftSor) {
        FrameSoftSor = m_firmware->createFrame(TabShSoftSor);
        TabShSoftSor->layout()->addWidget(FrameSoftSor);
    }
    showPage(PageSoftSor);
    m_firmware->afterShow();
}

void TFormMainKviroS_D7::ActionBDTSExecute()
{
    if (!mayLeavePage(PageBDTS))
        return;
    if (!FrameBDTS) {
        FrameBDTS = m_bdts->createFrame(TabShBDTS);
        TabShBDTS->layout()->addWidget(FrameBDTS);
    }
    showPage(PageBDTS);
    m_bdts->afterShow();
}

void TFormMainKviroS_D7::ActionReaderExecute()
{
    if (!mayLeavePage(PageReader))
        return;
    showPage(PageReader);
    m_reader->ActionReaderExecute();
}

void TFormMainKviroS_D7::ActionFileExecute()
{
    if (mayLeavePage(PageResult))
        showPage(PageResult);
}

void TFormMainKviroS_D7::UpdateLinkState()
{
    // The texts of the link check reach the journal only when they change.
    m_journal->statusFeed.beginTick();
    const bool link = m_link->linkOn();
    const bool working = link && m_link->instrumentWorking();
    ActionSoftSorvint->setEnabled(link);
    ActionBDTS->setEnabled(working);
    ActionReader->setEnabled(working);
    ActionFile->setEnabled(working);
    cbBaudRate->setEnabled(true);
    m_about->lbReader->setEnabled(working);
    m_about->lbLoadBDTS->setEnabled(working);
    m_about->lbLoadPOInSor->setEnabled(link);
    m_about->lbProtokol->setEnabled(working);
    m_reader->setReadOpEnabled(working);
    m_link->showLineSettings();
    refreshPortStrip();
    if (m_bdts->frameExists())
        m_bdts->setReadFromSorEnabled(working);
    m_status.setText(link ? QStringLiteral("Связь с прибором есть.") : QStringLiteral("Прибор выключен или не подключен к ПК."));
    m_firmware->linkUpdate();
    if (m_link->instrumentInLoader() && currentPage() != PageSoftSor)
        m_status.setText(QStringLiteral("Прибор в режиме перепрограммирования."));
    m_journal->statusFeed.endTick(m_link->linkStateKnown());
    m_outcomes.linkCheckEnded();
}

void TFormMainKviroS_D7::refreshPortStrip()
{
    const PortStrip &s = m_link->portStrip();
    const QStringList items = s.items.stringList();
    QStringList shown;
    for (int i = 0; i < cbxNumPort->count(); ++i)
        shown << cbxNumPort->itemText(i);
    {
        const QSignalBlocker block(cbxNumPort);
        if (shown != items) {
            cbxNumPort->clear();
            cbxNumPort->addItems(items);
        }
        for (int i = 0; i < items.size(); ++i)
            cbxNumPort->setItemData(i, s.itemHints.value(i), Qt::ToolTipRole);
        cbxNumPort->setCurrentIndex(s.portIndex < items.size() ? s.portIndex : -1);
    }
    QStringList hint{QStringLiteral("Выбор Com-порта.")};
    for (const QString &note : {s.problem, s.unusedNote})
        if (!note.isEmpty())
            hint << note;
    cbxNumPort->setToolTip(hint.join(QLatin1Char('\n')));
    {
        const QSignalBlocker block(cbBaudRate);
        cbBaudRate->setCurrentIndex(s.baudIndex);
    }
    lbCommParam->setText(s.paramText);
}

#include "mainwindow.moc"
