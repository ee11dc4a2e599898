#include "journal/journalwindow.h"

#include "core/files.h"
#include "journal/journalmodel.h"

#include "widgets/keyboard.h"
#include "widgets/screenroom.h"

#include <QAbstractButton>
#include <QShortcut>
#include <QStyle>

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>


JournalWindow::JournalWindow(Journal &journal, LineMonitor &monitor, UserDialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_journal(journal), m_monitor(monitor), m_dialogs(dialogs),
      m_folderOpener(&QDesktopServices::openUrl)
{
    setObjectName(QStringLiteral("JournalWindow"));
    setWindowTitle(QStringLiteral("Журнал"));
    // 760 x 460, or less on a small screen (2x scaling on 1280 x 1024).
    resize(QSize(760, 460).boundedTo(screenroom::clientRoom(*this)));
    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("JournalTabs"));
    m_tabs->addTab(buildEvents(), QStringLiteral("События"));
    m_tabs->addTab(buildMonitor(), QStringLiteral("Монитор линии"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_tabs);
    QList<QAbstractButton *> buttons;
    for (const char *name : {"btnJournalCopy", "btnJournalFolder", "btnMonitorClear", "btnMonitorSave"})
        buttons << findChild<QAbstractButton *>(QLatin1String(name));
    keyboard::giveMnemonics(buttons);
    // Esc closes the window, as it does the spreadsheet view.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QWidget *JournalWindow::buildEvents()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *bar = new QHBoxLayout;
    m_kind = new QComboBox;
    m_kind->setObjectName(QStringLiteral("cbxJournalKind"));
    m_kind->addItem(QStringLiteral("Все события"));
    for (JournalKind k : {JournalKind::Info, JournalKind::Warning, JournalKind::Error, JournalKind::Exchange,
                          JournalKind::File, JournalKind::Port})
        m_kind->addItem(Journal::kindCaption(k), int(k));
    m_kind->setToolTip(QStringLiteral("Показывать события одного вида."));
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("edJournalSearch"));
    m_search->setPlaceholderText(QStringLiteral("Поиск"));
    m_search->setClearButtonEnabled(true);
    auto *copy = new QPushButton(QStringLiteral("Копировать"));
    copy->setObjectName(QStringLiteral("btnJournalCopy"));
    copy->setToolTip(QStringLiteral("Копировать выделенные события (или все показанные) в буфер обмена."));
    auto *folder = new QPushButton(QStringLiteral("Открыть папку журналов"));
    folder->setObjectName(QStringLiteral("btnJournalFolder"));
    folder->setToolTip(QDir::toNativeSeparators(m_journal.folder()));
    bar->addWidget(new QLabel(QStringLiteral("Вид:")));
    bar->addWidget(m_kind);
    bar->addWidget(m_search, 1);
    bar->addWidget(copy);
    bar->addWidget(folder);
    v->addLayout(bar);

    m_model = new JournalModel(m_journal, this);
    m_filter = new JournalFilter(this);
    m_filter->setSourceModel(m_model);
    m_view = new QTableView;
    m_view->setObjectName(QStringLiteral("tvJournal"));
    m_view->setModel(m_filter);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    // The time and kind columns as wide as their longest text in the present font (larger text
    // at 120 or 144 dpi), never less than at 96 dpi.
    const QFontMetrics metrics = m_view->fontMetrics();
    const int padding = 2 * m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 12;
    m_view->setColumnWidth(JournalModel::ColumnTime, std::max(96, metrics.horizontalAdvance(QStringLiteral("00:00:00.000")) + padding));
    int kindWidth = 0;
    for (JournalKind k : {JournalKind::Info, JournalKind::Warning, JournalKind::Error, JournalKind::Exchange,
                          JournalKind::File, JournalKind::Port})
        kindWidth = std::max(kindWidth, metrics.horizontalAdvance(Journal::kindCaption(k)));
    m_view->setColumnWidth(JournalModel::ColumnKind, std::max(110, kindWidth + padding));
    v->addWidget(m_view, 1);

    connect(m_kind, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QVariant k = m_kind->itemData(index);
        m_filter->setKind(k.isValid() ? std::optional<JournalKind>(JournalKind(k.toInt())) : std::nullopt);
        followNewest();
    });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_filter->setSearch(text);
        followNewest();
    });
    connect(copy, &QPushButton::clicked, this, &JournalWindow::copyEntries);
    connect(folder, &QPushButton::clicked, this, &JournalWindow::openJournalFolder);
    // The newest entry stays in sight while the view is scrolled to the bottom.
    connect(m_filter, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        QScrollBar *bar = m_view->verticalScrollBar();
        m_view->setProperty("follow", bar->value() >= bar->maximum());
    });
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_view->property("follow").toBool())
            followNewest();
    });
    connect(m_filter, &QAbstractItemModel::modelReset, this, &JournalWindow::followNewest);
    return page;
}

QWidget *JournalWindow::buildMonitor()
{
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    auto *bar = new QHBoxLayout;
    m_monitorOn = new QCheckBox(QStringLiteral("Монитор включён"));
    m_monitorOn->setObjectName(QStringLiteral("chckMonitorOn"));
    m_monitorOn->setChecked(m_monitor.enabled());
    m_monitorOn->setToolTip(QStringLiteral("Записывать все байты, переданные и принятые по линии связи."));
    m_monitorBound = new QLabel(QStringLiteral("Хранятся последние %1 КиБ обмена.").arg(LineMonitor::MaxBytes / 1024));
    auto *clear = new QPushButton(QStringLiteral("Очистить"));
    clear->setObjectName(QStringLiteral("btnMonitorClear"));
    auto *save = new QPushButton(QStringLiteral("Сохранить…"));
    save->setObjectName(QStringLiteral("btnMonitorSave"));
    bar->addWidget(m_monitorOn);
    bar->addWidget(m_monitorBound, 1);
    bar->addWidget(clear);
    bar->addWidget(save);
    v->addLayout(bar);
    auto *legend = new QLabel(QStringLiteral("→ передано в прибор, ← принято от прибора; байты в шестнадцатеричном виде и "
                                             "как текст Windows-1251 (управляющие байты — точкой)."));
    legend->setWordWrap(true);
    v->addWidget(legend);
    m_monitorView = new QPlainTextEdit;
    m_monitorView->setObjectName(QStringLiteral("memoMonitor"));
    m_monitorView->setReadOnly(true);
    m_monitorView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_monitorView->setMaximumBlockCount(MonitorViewLines);
    m_monitorView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    v->addWidget(m_monitorView, 1);

    m_monitorRefresh = new QTimer(this);
    m_monitorRefresh->setSingleShot(true);
    m_monitorRefresh->setInterval(200); // gathers the pieces of a fast exchange into one redraw
    connect(m_monitorRefresh, &QTimer::timeout, this, &JournalWindow::refreshMonitor);
    // Only a view on the screen follows the traffic; the monitor tab catches up when shown.
    connect(&m_monitor, &LineMonitor::recorded, this, [this] {
        if (m_monitorView->isVisible() && !m_monitorRefresh->isActive())
            m_monitorRefresh->start();
    });
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == TabMonitor)
            refreshMonitor();
    });
    connect(&m_monitor, &LineMonitor::cleared, this, [this] {
        m_monitorView->clear();
        m_piecesShown = 0;
    });
    connect(&m_monitor, &LineMonitor::enabledChanged, m_monitorOn, &QCheckBox::setChecked);
    connect(m_monitorOn, &QCheckBox::toggled, &m_monitor, &LineMonitor::setEnabled);
    connect(clear, &QPushButton::clicked, &m_monitor, &LineMonitor::clear);
    connect(save, &QPushButton::clicked, this, &JournalWindow::saveMonitor);
    return page;
}

void JournalWindow::showTab(Tab tab) { m_tabs->setCurrentIndex(tab); }

void JournalWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshMonitor();
    followNewest();
}

void JournalWindow::followNewest() { m_view->scrollToBottom(); }

QStringList JournalWindow::shownLines(bool selectedOnly) const
{
    QStringList lines;
    const QItemSelectionModel *selection = m_view->selectionModel();
    for (int row = 0; row < m_filter->rowCount(); ++row) {
        if (selectedOnly && !selection->isRowSelected(row, {}))
            continue;
        const int source = m_filter->mapToSource(m_filter->index(row, 0)).row();
        lines << Journal::lineOf(m_model->entry(source));
    }
    return lines;
}

void JournalWindow::copyEntries()
{
    QStringList lines = shownLines(true);
    if (lines.isEmpty())
        lines = shownLines(false);
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void JournalWindow::openJournalFolder()
{
    const QString folder = QDir::toNativeSeparators(m_journal.folder());
    if (!QDir().mkpath(m_journal.folder())) {
        m_dialogs.showError(QStringLiteral("Журнал"),
                            QStringLiteral("Папка журналов \"%1\" не существует и не может быть создана. Проверьте права "
                                           "на рабочую папку программы; пока журнал хранится только в памяти.")
                                .arg(folder));
        return;
    }
    if (!m_folderOpener(QUrl::fromLocalFile(m_journal.folder())))
        m_dialogs.showError(QStringLiteral("Журнал"),
                            QStringLiteral("Не удалось открыть папку журналов: в системе не задана программа для "
                                           "просмотра папок. Откройте папку \"%1\" вручную (её путь скопирован в буфер "
                                           "обмена).")
                                .arg(folder));
    else
        return;
    QApplication::clipboard()->setText(folder);
}

void JournalWindow::refreshMonitor()
{
    const auto &pieces = m_monitor.pieces();
    qint64 fresh = m_monitor.piecesKept() - m_piecesShown;
    if (fresh <= 0)
        return;
    if (fresh > qint64(pieces.size()) || fresh > MonitorViewLines) {
        // Pieces went out of the monitor, or past what the view keeps, before they were shown:
        // the newest that fit (every piece takes a line at least).
        m_monitorView->clear();
        fresh = std::min<qint64>(qint64(pieces.size()), MonitorViewLines);
    }
    QString text;
    for (size_t i = pieces.size() - size_t(fresh); i < pieces.size(); ++i) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += LineMonitor::formatPiece(pieces[i]);
    }
    m_monitorView->appendPlainText(text);
    m_piecesShown = m_monitor.piecesKept();
}

QString JournalWindow::monitorText() const { return m_monitorView->toPlainText(); }

void JournalWindow::saveMonitor()
{
    FileDialogRequest request;
    request.caption = QStringLiteral("Сохранить обмен по линии");
    request.folder = m_journal.folder();
    request.fileName = QStringLiteral("Монитор_") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    request.filter = qtFilterFromPairs(QStringLiteral("Текстовый файл (*.txt)|*.txt"));
    request.defaultSuffix = QStringLiteral("txt");
    const QString path = m_dialogs.askSaveFile(request);
    if (path.isEmpty())
        return;
    QString why;
    if (!files::writeWhole(path, m_monitor.dump().toUtf8(), &why))
        m_dialogs.showError(QStringLiteral("Журнал"), QStringLiteral("Не удалось записать файл \"%1\".\n%2")
                                                          .arg(QDir::toNativeSeparators(path), why));
}
