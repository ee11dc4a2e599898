#include "app/mainwindow.h"

#include "app/aboutpage.h"
#include "app/qtdialogs.h"
#include "bdts/bdtsfeature.h"
#include "core/files.h"
#include "firmware/firmwarefeature.h"
#include "reader/readerfeature.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

const QString TFormMainKviroS_D7::ApplicationTitle = QStringLiteral("КВИРО-сервис 2011_01_01 (3070)");

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
    setFixedSize(784, 444);
    m_startLinkCheck = options.startLinkCheck;

    ProgramDir = options.programDir.isEmpty() ? files::programDir() : options.programDir;
    if (!ProgramDir.endsWith(QLatin1Char('/')))
        ProgramDir += QLatin1Char('/');
    if (options.dialogs) {
        m_dialogs = options.dialogs;
    } else {
        m_ownDialogs = std::make_unique<QtUserDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }
    m_link = std::make_unique<InstrumentLink>(m_status,
                                              options.catalog ? std::move(options.catalog) : makePortCatalogFromEnvironment());
    const FeatureContext context{*m_link, m_status, *m_dialogs, ProgramDir};
    m_reader = std::make_unique<ReaderFeature>(context);
    m_firmware = std::make_unique<FirmwareFeature>(context, [this] { return currentPage() == PageSoftSor; });
    m_bdts = std::make_unique<BdtsFeature>(context);

    buildActions();
    buildMenus();

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("RzSplitterMain"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(buildGroupBar());

    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    RzPageControl1 = new QTabWidget;
    RzPageControl1->setObjectName(QStringLiteral("RzPageControl1"));
    RzPageControl1->setTabPosition(QTabWidget::South);
    m_about = new AboutPage;
    TabShSoftSor = pageHolder(QStringLiteral("TabShSoftSor"));
    TabShBDTS = pageHolder(QStringLiteral("TabShBDTS"));
    TabShReader = pageHolder(QStringLiteral("TabShReader"));
    TabShResult = pageHolder(QStringLiteral("TabShResult"));
    RzPageControl1->addTab(m_about, QStringLiteral("О программе"));
    RzPageControl1->addTab(TabShSoftSor, QStringLiteral("ПО прибора"));
    RzPageControl1->addTab(TabShBDTS, QStringLiteral("БД ТС"));
    RzPageControl1->addTab(TabShReader, QStringLiteral("Ридер ОП"));
    RzPageControl1->addTab(TabShResult, QStringLiteral("Результаты"));
    TabShReader->layout()->addWidget(m_reader->createOdPage(TabShReader));
    TabShResult->layout()->addWidget(m_reader->createResultPage(TabShResult));
    for (int page = PageSoftSor; page <= PageResult; ++page)
        RzPageControl1->setTabVisible(page, false);
    RzPageControl1->setCurrentIndex(PageAbout);
    connect(RzPageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index < 0 || index == m_lastPage)
            return;
        m_lastPage = index;
        RzPageControl1Change(index);
    });
    rightLayout->addWidget(RzPageControl1, 1);
    rightLayout->addWidget(buildPortStrip());
    // Neither side may force its own width on the division made when the window shows.
    right->setMinimumWidth(0);
    right->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_splitter->addWidget(right);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);
    buildStatusBar();

    // About page feature lines run their actions' operations directly.
    connect(m_about->lbLoadPOInSor, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionSoftSorvintExecute);
    connect(m_about->lbLoadBDTS, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionBDTSExecute);
    connect(m_about->lbReader, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionSor2006Execute);
    connect(m_about->lbProtokol, &FeatureLine::clicked, this, &TFormMainKviroS_D7::ActionFileExecute);

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
    Action1 = make(QStringLiteral("Action1"), QStringLiteral("О программе"), nullptr);
    ActionExit = make(QStringLiteral("ActionExit"), QStringLiteral("Выход"), &TFormMainKviroS_D7::ActionExitExecute);
    ActionSoftSorvint = make(QStringLiteral("ActionSoftSorvint"), QStringLiteral("Сорвинт"),
                             &TFormMainKviroS_D7::ActionSoftSorvintExecute);
    ActionBDTS = make(QStringLiteral("ActionBDTS"), QStringLiteral("БД тест-систем"), &TFormMainKviroS_D7::ActionBDTSExecute);
    ActionSor2006 = make(QStringLiteral("ActionSor2006"), QStringLiteral("Оптические плотности"),
                         &TFormMainKviroS_D7::ActionSor2006Execute);
    ActionFile = make(QStringLiteral("ActionFile"), QStringLiteral("Результаты"), &TFormMainKviroS_D7::ActionFileExecute);
}

void TFormMainKviroS_D7::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    bar->setFixedHeight(26);
    QMenu *user = bar->addMenu(QStringLiteral("Пользователю"));
    user->addAction(Action1);
    user->addSeparator();
    user->addAction(ActionExit);
    QMenu *prog = bar->addMenu(QStringLiteral("Программирование"));
    prog->addAction(ActionSoftSorvint);
    prog->addAction(ActionBDTS);
    QMenu *reader = bar->addMenu(QStringLiteral("Ридер"));
    reader->addAction(ActionSor2006);
    reader->addAction(ActionFile);
}

QWidget *TFormMainKviroS_D7::buildGroupBar()
{
    RzGroupBar1 = new QWidget;
    RzGroupBar1->setObjectName(QStringLiteral("RzGroupBar1"));
    RzGroupBar1->setAutoFillBackground(true);
    RzGroupBar1->setStyleSheet(QStringLiteral("#RzGroupBar1 { background: #5A78A0; }"
                                              "QGroupBox { background: #E8EEF6; border: 1px solid #2F4F7F;"
                                              " border-radius: 3px; margin-top: 18px; font-weight: bold; }"
                                              "QGroupBox::title { subcontrol-origin: margin; left: 0px; padding: 1px 6px;"
                                              " color: white; background: #2F4F7F; }"
                                              "QToolButton { border: none; text-align: left; color: #102050; }"
                                              "QToolButton:hover { color: #C00000; text-decoration: underline; }"
                                              "QToolButton:disabled { color: #8090A0; }"));
    auto *layout = new QVBoxLayout(RzGroupBar1);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(6);
    auto group = [&](const QString &caption, const QList<QAction *> &actions) {
        auto *box = new QGroupBox(caption);
        box->setObjectName(QStringLiteral("RzGroup_") + caption);
        auto *v = new QVBoxLayout(box);
        v->setContentsMargins(8, 6, 4, 4);
        v->setSpacing(2);
        for (QAction *a : actions) {
            auto *b = new QToolButton;
            b->setDefaultAction(a);
            b->setToolButtonStyle(Qt::ToolButtonTextOnly);
            b->setCursor(Qt::PointingHandCursor);
            v->addWidget(b);
        }
        layout->addWidget(box);
    };
    group(QStringLiteral("Пользователю"), {Action1, ActionExit});
    group(QStringLiteral("Программирование"), {ActionSoftSorvint, ActionBDTS});
    group(QStringLiteral("Ридер"), {ActionSor2006, ActionFile});
    layout->addStretch(1);
    return RzGroupBar1;
}

QWidget *TFormMainKviroS_D7::buildPortStrip()
{
    RzGroupBox1 = new QGroupBox(QStringLiteral("Порт связи:"));
    RzGroupBox1->setObjectName(QStringLiteral("RzGroupBox1"));
    RzGroupBox1->setFixedHeight(39);
    RzGroupBox1->setStyleSheet(QStringLiteral("QGroupBox { margin-top: 12px; } QGroupBox::title { subcontrol-origin: margin; left: 6px; }"));
    auto *h = new QHBoxLayout(RzGroupBox1);
    h->setContentsMargins(6, 0, 6, 2);
    auto *com = new QLabel(QStringLiteral("Com"));
    com->setObjectName(QStringLiteral("lbCom"));
    cbxNumPort = new PortComboBox;
    cbxNumPort->setObjectName(QStringLiteral("cbxNumPort"));
    cbxNumPort->setPlaceholderText(QStringLiteral("нет"));
    cbxNumPort->setToolTip(QStringLiteral("Выбор Com-порта."));
    cbxNumPort->setAccessibleName(QStringLiteral("Com"));
    cbxNumPort->setMinimumWidth(56);
    com->setBuddy(cbxNumPort);
    sbtnCommON = new QToolButton;
    sbtnCommON->setObjectName(QStringLiteral("sbtnCommON"));
    sbtnCommON->setIcon(linkLampIcon());
    sbtnCommON->setAutoRaise(true);
    sbtnCommON->setToolTip(QStringLiteral("Индикатор связи."));
    sbtnCommON->setAccessibleName(QStringLiteral("Индикатор связи."));
    sbtnCommON->setEnabled(false);
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
    h->addWidget(sbtnCommON);
    h->addWidget(lbCommParam, 1);
    h->addWidget(cbBaudRate);

    connect(cbxNumPort, &QComboBox::activated, this, [this](int index) { m_link->cbxNumPortChange(index); });
    connect(cbxNumPort, &PortComboBox::droppedDown, this, [this] { m_link->cbxNumPortDropDown(); });
    connect(cbxNumPort, &PortComboBox::closedUp, this, [this] { m_link->cbxNumPortCloseUp(); });
    connect(cbBaudRate, &QComboBox::activated, this, [this](int index) { m_link->cbBaudRateChange(index); });
    return RzGroupBox1;
}

void TFormMainKviroS_D7::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("RzStatusBar1"));
    bar->setFixedHeight(19);
    bar->setSizeGripEnabled(false);
    RzStatusPane1 = new QLabel;
    RzStatusPane1->setObjectName(QStringLiteral("RzStatusPane1"));
    RzProgressBar1 = new QProgressBar;
    RzProgressBar1->setObjectName(QStringLiteral("RzProgressBar1"));
    RzProgressBar1->setFixedWidth(164);
    RzProgressBar1->setRange(0, 100);
    RzProgressBar1->setValue(0);
    RzProgressBar1->setFormat(QStringLiteral("%p%"));
    RzProgressBar1->setTextVisible(true);
    RzClockStatus1 = new QLabel;
    RzClockStatus1->setObjectName(QStringLiteral("RzClockStatus1"));
    RzClockStatus1->setFixedWidth(164);
    RzClockStatus1->setAlignment(Qt::AlignCenter);
    bar->addWidget(RzStatusPane1, 1);
    bar->addPermanentWidget(RzProgressBar1);
    bar->addPermanentWidget(RzClockStatus1);
    connect(&m_status, &StatusModel::textChanged, RzStatusPane1, &QLabel::setText);
    connect(&m_status, &StatusModel::progressChanged, RzProgressBar1, &QProgressBar::setValue);

    auto *clock = new QTimer(this);
    auto showTime = [this] {
        static const QLocale russian(QLocale::Russian, QLocale::Russia);
        RzClockStatus1->setText(russian.toString(QDateTime::currentDateTime(), QStringLiteral("d MMMM yyyy 'г.' H:mm:ss")));
    };
    connect(clock, &QTimer::timeout, this, showTime);
    clock->start(1000);
    showTime();
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
    FormClose();
    QMainWindow::closeEvent(event);
}

int TFormMainKviroS_D7::currentPage() const { return RzPageControl1->currentIndex(); }
bool TFormMainKviroS_D7::tabVisible(int page) const { return RzPageControl1->isTabVisible(page); }

void TFormMainKviroS_D7::showPage(int page)
{
    RzPageControl1->setTabVisible(page, true);
    RzPageControl1->setCurrentIndex(page);
}

void TFormMainKviroS_D7::RzPageControl1Change(int newPage)
{
    ++m_pageChanges;
    m_firmware->StopProgWizard();
    if (newPage == PageSoftSor) {
        m_firmware->ResetProgWizard();
        m_link->BaudIndex = 5;
        m_link->setBaudSettings();
        m_link->strip.baudIndex = 5;
        m_link->strip.paramText = QStringLiteral("Параметры: ") + m_link->MSComm1.Settings();
        refreshPortStrip();
        m_firmware->UpdateProgStep();
    } else if (newPage == PageReader) {
        m_reader->odPageBecameCurrent();
    }
}

void TFormMainKviroS_D7::ActionExitExecute() { close(); }

void TFormMainKviroS_D7::ActionSoftSorvintExecute()
{
    if (!FrameSoftSor) {
        FrameSoftSor = m_firmware->createFrame(TabShSoftSor);
        TabShSoftSor->layout()->addWidget(FrameSoftSor);
    }
    showPage(PageSoftSor);
    m_firmware->afterShow();
}

void TFormMainKviroS_D7::ActionBDTSExecute()
{
    if (!FrameBDTS) {
        FrameBDTS = m_bdts->createFrame(TabShBDTS);
        TabShBDTS->layout()->addWidget(FrameBDTS);
    }
    showPage(PageBDTS);
    m_bdts->afterShow();
}

void TFormMainKviroS_D7::ActionSor2006Execute()
{
    showPage(PageReader);
    m_reader->ActionSor2006Execute();
}

void TFormMainKviroS_D7::ActionFileExecute() { showPage(PageResult); }

void TFormMainKviroS_D7::UpdateLinkState()
{
    const bool link = m_link->linkOn();
    const bool working = link && m_link->instrumentWorking();
    ActionSoftSorvint->setEnabled(link);
    ActionBDTS->setEnabled(working);
    ActionSor2006->setEnabled(working);
    ActionFile->setEnabled(working);
    cbBaudRate->setEnabled(true);
    m_about->lbReader->setEnabled(working);
    m_about->lbLoadBDTS->setEnabled(working);
    m_about->lbLoadPOInSor->setEnabled(link);
    m_about->lbProtokol->setEnabled(working);
    m_reader->setReadOpEnabled(working);
    m_link->strip.paramText = QStringLiteral("Параметры: ") + m_link->MSComm1.Settings();
    m_link->strip.baudIndex = m_link->BaudIndex;
    refreshPortStrip();
    if (m_bdts->frameExists())
        m_bdts->setReadFromSorEnabled(working);
    m_status.setText(link ? QStringLiteral("Связь с прибором есть.") : QStringLiteral("Прибор выключен или не подключен к ПК."));
    m_firmware->linkUpdate();
    if (m_link->instrumentInLoader() && currentPage() != PageSoftSor)
        m_status.setText(QStringLiteral("Прибор в режиме перепрограммирования."));
}

void TFormMainKviroS_D7::refreshPortStrip()
{
    const PortStrip &s = m_link->strip;
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
    cbxNumPort->setToolTip(s.problem.isEmpty() ? QStringLiteral("Выбор Com-порта.")
                                               : QStringLiteral("Выбор Com-порта.\n") + s.problem);
    {
        const QSignalBlocker block(cbBaudRate);
        cbBaudRate->setCurrentIndex(s.baudIndex);
    }
    lbCommParam->setText(s.paramText);
}

#include "mainwindow.moc"
