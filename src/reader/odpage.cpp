#include "reader/odpage.h"

#include "reader/odcontroller.h"

#include "widgets/keyboard.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {
constexpr int PanelTop = 20;
constexpr int PanelBottomReserve = 100;
constexpr int CaptionHeight = 20;
constexpr int LabelColumnWidth = 15;
constexpr int LabelRowHeight = 17;

// The label row and column look like a grid's fixed cells.
class FixedCellsDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.row() == 0 || index.column() == 0)
            painter->fillRect(option.rect, option.palette.button());
        QStyledItemDelegate::paint(painter, option, index);
    }
};
} // namespace

OdPage::OdPage(OdController &controller, QWidget *parent) : ShadowPanel(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("odPagePanel"));

    m_heading = new QLabel(QStringLiteral("Чтение оптических плотностей из СОРВИНТ."), this);
    m_heading->setObjectName(QStringLiteral("lbReaderHeading"));
    QFont bold = m_heading->font();
    bold.setBold(true);
    m_heading->setFont(bold);

    gridPanel = new QFrame(this);
    gridPanel->setObjectName(QStringLiteral("gridPanel"));
    gridPanel->setFrameShape(QFrame::StyledPanel);
    gridPanel->setAutoFillBackground(true);
    auto *panelLayout = new QVBoxLayout(gridPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    auto *caption = new QLabel(QStringLiteral("Таблица оптических плотностей."), gridPanel);
    caption->setObjectName(QStringLiteral("lbOpTableCaption"));
    caption->setFixedHeight(CaptionHeight);
    caption->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(caption);

    grid = new QTableView(gridPanel);
    grid->setObjectName(QStringLiteral("odGrid"));
    grid->setAccessibleName(QStringLiteral("Таблица оптических плотностей."));
    grid->setModel(&controller.grid());
    grid->setItemDelegate(new FixedCellsDelegate(grid));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setFrameShape(QFrame::NoFrame);
    // Tab moves on to the buttons; the arrow keys move between the cells.
    grid->setTabKeyNavigation(false);
    // Six characters must fit a thirteenth of the panel: a slightly smaller font, never elided.
    grid->setTextElideMode(Qt::ElideNone);
    grid->setWordWrap(false);
    QFont small = grid->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    grid->setFont(small);
    panelLayout->addWidget(grid, 1);
    addShadowed(gridPanel);

    m_controls = new QWidget(this);
    m_controls->setObjectName(QStringLiteral("odControls"));
    auto *rows = new QVBoxLayout(m_controls);
    rows->setContentsMargins(0, 0, 0, 0);
    auto *buttons = new QHBoxLayout;
    auto makeButton = [this, buttons](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, m_controls);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    btnReadOP = makeButton("btnReadOP", QStringLiteral("Принять данные"));
    btnSaveOP = makeButton("btnSaveOP", QStringLiteral("Данные в файл"));
    btnCreateExcel = makeButton("btnCreateExcel", QStringLiteral("Данные в Excel"));
    btnFileToExcel = makeButton("btnFileToExcel", QStringLiteral("Из файла в Excel"));
    keyboard::giveMnemonics({btnReadOP, btnSaveOP, btnCreateExcel, btnFileToExcel}, keyboard::MenuLetters);
    btnReadOP->setToolTip(QStringLiteral("Принять таблицу оптических плотностей из прибора"));
    btnSaveOP->setToolTip(QStringLiteral("Записать таблицу в файл"));
    btnCreateExcel->setToolTip(QStringLiteral("Показать таблицу в окне электронной таблицы"));
    btnFileToExcel->setToolTip(QStringLiteral("Показать сохранённый файл в окне электронной таблицы"));
    auto *checks = new QHBoxLayout;
    chckAutoReadOP = new QCheckBox(QStringLiteral("автоприем данных"), m_controls);
    chckAutoReadOP->setObjectName(QStringLiteral("chckAutoReadOP"));
    chckAutoSaveOP = new QCheckBox(QStringLiteral("автосохранение данных"), m_controls);
    chckAutoSaveOP->setObjectName(QStringLiteral("chckAutoSaveOP"));
    checks->addWidget(chckAutoReadOP);
    checks->addWidget(chckAutoSaveOP);
    checks->addStretch(1);
    rows->addLayout(buttons);
    rows->addLayout(checks);

    // The embedded worksheet's container: invisible and disabled, the view is its own window.
    auto *container = new QWidget(this);
    container->setObjectName(QStringLiteral("sheetContainer"));
    container->setAccessibleName(QStringLiteral("Таблица Excel"));
    container->setGeometry(0, 0, 17, 25);
    container->setEnabled(false);
    container->hide();

    connect(btnReadOP, &QPushButton::clicked, &controller, &OdController::btnReadOPClick);
    connect(btnSaveOP, &QPushButton::clicked, &controller, &OdController::btnSaveOPClick);
    connect(btnCreateExcel, &QPushButton::clicked, &controller, &OdController::btnCreateExcelClick);
    connect(btnFileToExcel, &QPushButton::clicked, &controller, &OdController::btnFileToExcelClick);
    // On the state, not the click: a screen reader or the keyboard may toggle a box without one.
    connect(chckAutoReadOP, &QCheckBox::toggled, &controller, &OdController::setAutoRead);
    connect(chckAutoSaveOP, &QCheckBox::toggled, &controller, &OdController::setAutoSave);
    connect(&controller, &OdController::stateChanged, this, &OdPage::refresh);
    refresh();
    placePanel();
    sizeGrid();
    placeControls();
}

void OdPage::refresh()
{
    btnReadOP->setEnabled(m_controller.readEnabled());
    btnSaveOP->setEnabled(m_controller.saveEnabled());
    btnCreateExcel->setEnabled(m_controller.excelEnabled());
    chckAutoReadOP->setChecked(m_controller.autoRead());
    chckAutoSaveOP->setChecked(m_controller.autoSave());
}

void OdPage::placePanel()
{
    gridPanel->setGeometry(0, PanelTop, width(),
                          std::max(CaptionHeight + 9, height() - bottomReserve()));
    update();
}

void OdPage::sizeGrid()
{
    const int columnWidth = gridPanel->width() / OdTableModel::GridColumns;
    const int rowHeight = (gridPanel->height() - CaptionHeight) / OdTableModel::GridRows;
    grid->setColumnWidth(0, LabelColumnWidth);
    grid->setRowHeight(0, LabelRowHeight);
    for (int c = 1; c < OdTableModel::GridColumns; ++c)
        grid->setColumnWidth(c, columnWidth);
    for (int r = 1; r < OdTableModel::GridRows; ++r)
        grid->setRowHeight(r, rowHeight);
}

QSize OdPage::minimumSizeHint() const
{
    const QFontMetrics cells(grid->font());
    const int cellWidth = cells.horizontalAdvance(QStringLiteral("0.0000")) + 6;
    const int cellHeight = cells.height() + 2;
    const int gridHeight = CaptionHeight + OdTableModel::GridRows * cellHeight;
    const QSize controls = m_controls->minimumSizeHint();
    const int width = std::max({300, controls.width() + 16, m_heading->sizeHint().width() + 8,
                                OdTableModel::GridColumns * cellWidth});
    const int height = std::max(200, PanelTop + gridHeight + bottomReserve());
    return {width, height};
}

int OdPage::bottomReserve() const
{
    // The panel starts PanelTop down; its shadow, a gap, the controls and a margin follow it.
    return std::max(PanelBottomReserve, PanelTop + ShadowDepth + 6 + m_controls->minimumSizeHint().height() + 5);
}

void OdPage::placeControls()
{
    m_heading->setGeometry(8, 0, width() - 8, std::max(PanelTop, m_heading->sizeHint().height()));
    const int top = gridPanel->geometry().bottom() + ShadowPanel::ShadowDepth + 6;
    m_controls->setGeometry(8, top, width() - 16, std::max(0, height() - top - 4));
}

void OdPage::layOut(bool place)
{
    if (place)
        placePanel();
    sizeGrid();
    placeControls();
    m_controller.layOutGrid();
}

void OdPage::resizeEvent(QResizeEvent *event)
{
    ShadowPanel::resizeEvent(event);
    // The panel follows the page's size; the values stay (only a page change relabels the grid).
    placePanel();
    sizeGrid();
    placeControls();
}
