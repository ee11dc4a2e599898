#include "bdts/tframebdts.h"

#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/tstreeview.h"
#include "widgets/textfit.h"

#include "widgets/keyboard.h"

#include <QGroupBox>
#include <QItemSelectionModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QString &hint, bool enabled)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setAccessibleName(caption);
    b->setEnabled(enabled);
    return b;
}

QGroupBox *group(QWidget *parent, const char *name, const QString &caption, const QColor &background)
{
    auto *g = new QGroupBox(caption, parent);
    g->setObjectName(QLatin1String(name));
    g->setAutoFillBackground(true);
    QPalette p = g->palette();
    p.setColor(QPalette::Window, background);
    g->setPalette(p);
    return g;
}

QLabel *dateLabel(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true); // the whole date line, also in a narrow group
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0xFF, 0x00, 0xFF)); // fuchsia
    l->setPalette(p);
    return l;
}

TsTreeView *tree(QWidget *parent, const char *name, bool multi, QAbstractItemModel *model)
{
    auto *t = new TsTreeView(multi, parent);
    t->setObjectName(QLatin1String(name));
    t->setModel(model);
    t->setAccessibleName(QLatin1String(name));
    // At least four lines of a list show, whatever the text size: the window grows for them.
    t->setMinimumRows(4);
    // A rebuilt list is shown opened; what the operator folds stays folded until the next rebuild.
    QObject::connect(model, &QAbstractItemModel::modelReset, t, &QTreeView::expandAll);
    return t;
}
} // namespace

TFrameBDTS::TFrameBDTS(BdtsFeature &feature, BdtsDatabase &database, QWidget *parent) : QWidget(parent), m_db(database)
{
    setObjectName(QStringLiteral("FrameBDTS"));
    auto *outer = new QVBoxLayout(this);
    title = new QLabel(QStringLiteral("Перепрограммирование базы данных тест-систем."), this);
    title->setObjectName(QStringLiteral("lbTitleBDTS"));
    QFont f = title->font();
    f.setBold(true);
    title->setFont(f);
    outer->addWidget(title);
    auto *halves = new QHBoxLayout;
    outer->addLayout(halves, 1);

    // Instrument list.
    instrumentListGroup = group(this, "instrumentListGroup", QStringLiteral("Список ТС в приборе:"), QColor(0xFF, 0xFB, 0xF0));
    auto *left = new QVBoxLayout(instrumentListGroup);
    TreeViewSor = tree(instrumentListGroup, "TreeViewSor", true, &database.sorList);
    lbDateBDTSinSorvint = dateLabel(instrumentListGroup, "lbDateBDTSinSorvint");
    btnReadBDTSFromSor = button(instrumentListGroup, "btnReadBDTSFromSor", QStringLiteral(" из прибора"),
                                QStringLiteral("Чтение БД ТС из прибора."), true);
    btnSaveBDTSinFile = button(instrumentListGroup, "btnSaveBDTSinFile", QStringLiteral("в файл..."),
                               QStringLiteral("Запись БД ТС в файл."), false);
    btnDeleteTS = button(instrumentListGroup, "btnDeleteTS", QStringLiteral("удалить"),
                         QStringLiteral("Выбор для удаления:\nShift + левый клик - непрерывно,\nCtrl + левый клик - выборочно."),
                         false);
    btnSaveAddTs = button(instrumentListGroup, "btnSaveAddTs", QStringLiteral("в прибор"), QStringLiteral("Запись БД ТС в прибор."), false);
    left->addWidget(TreeViewSor, 1);
    left->addWidget(lbDateBDTSinSorvint);
    auto *leftButtons = new QHBoxLayout;
    for (QPushButton *b : {btnReadBDTSFromSor, btnSaveBDTSinFile, btnDeleteTS, btnSaveAddTs})
        leftButtons->addWidget(b);
    left->addLayout(leftButtons);
    halves->addWidget(instrumentListGroup);

    // File list and additional list.
    auto *right = new QVBoxLayout;
    fileListGroup = group(this, "fileListGroup", QStringLiteral("Список ТС в файле:"), QColor(0xA6, 0xCA, 0xF0));
    auto *fileBox = new QVBoxLayout(fileListGroup);
    TreeViewFile = tree(fileListGroup, "TreeViewFile", false, &database.fileList);
    // The file's list is the one the operator picks from: five rows, as at the classic text size.
    TreeViewFile->setMinimumRows(5);
    lbDateBDTSinPC = dateLabel(fileListGroup, "lbDateBDTSinPC");
    btnReadBDTSFromFile = button(fileListGroup, "btnReadBDTSFromFile", QStringLiteral("из файла..."),
                                 QStringLiteral("Чтение БД ТС из файла."), true);
    btnWriteBDTSInSor = button(fileListGroup, "btnWriteBDTSInSor", QStringLiteral("в прибор"),
                               QStringLiteral("Запись БД ТС из файла в прибор."), false);
    fileBox->addWidget(TreeViewFile, 1);
    fileBox->addWidget(lbDateBDTSinPC);
    auto *fileButtons = new QHBoxLayout;
    fileButtons->addWidget(btnReadBDTSFromFile);
    fileButtons->addWidget(btnWriteBDTSInSor);
    fileButtons->addStretch(1);
    fileBox->addLayout(fileButtons);

    addListGroup = group(this, "addListGroup", QStringLiteral("Дополнительный список ТС:"), QColor(0xC0, 0xDC, 0xC0));
    auto *addBox = new QVBoxLayout(addListGroup);
    TreeViewAdd = tree(addListGroup, "TreeViewAdd", false, &database.addList);
    // The additional list is a short one: three rows leave the room to the file's list.
    TreeViewAdd->setMinimumRows(3);
    btnAddTSInSor = button(addListGroup, "btnAddTSInSor", QStringLiteral("<<< Добавить в список прибора"),
                           QStringLiteral("Дополнение списка ТС прибора\nнедостающими из файла."), false);
    keyboard::giveMnemonics({btnReadBDTSFromSor, btnSaveBDTSinFile, btnDeleteTS, btnSaveAddTs, btnReadBDTSFromFile,
                             btnWriteBDTSInSor, btnAddTSInSor},
                            keyboard::MenuLetters);
    addBox->addWidget(TreeViewAdd, 1);
    addBox->addWidget(btnAddTSInSor);
    right->addWidget(fileListGroup, 1);
    right->addWidget(addListGroup, 1);
    halves->addLayout(right, 1);

    // The page is small: tight margins, and the last button of a row takes what is left.
    for (QLayout *l : findChildren<QLayout *>()) {
        l->setContentsMargins(4, 4, 4, 4);
        l->setSpacing(3);
    }
    for (QHBoxLayout *row : {leftButtons, fileButtons})
        row->setContentsMargins(0, 0, 0, 0);
    btnSaveAddTs->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    btnSaveAddTs->setMinimumWidth(textfit::buttonTextWidth(*btnSaveAddTs));

    connect(btnReadBDTSFromSor, &QPushButton::clicked, &feature, &BdtsFeature::btnReadBDTSFromSorClick);
    connect(btnSaveBDTSinFile, &QPushButton::clicked, &feature, &BdtsFeature::btnSaveBDTSinFileClick);
    connect(btnDeleteTS, &QPushButton::clicked, &feature, &BdtsFeature::btnDeleteTSClick);
    connect(btnSaveAddTs, &QPushButton::clicked, &feature, &BdtsFeature::btnSaveAddTsClick);
    connect(btnReadBDTSFromFile, &QPushButton::clicked, &feature, &BdtsFeature::btnReadBDTSFromFileClick);
    connect(btnWriteBDTSInSor, &QPushButton::clicked, &feature, &BdtsFeature::btnWriteBDTSInSorClick);
    connect(btnAddTSInSor, &QPushButton::clicked, &feature, &BdtsFeature::btnAddTSInSorClick);
    connect(TreeViewSor, &TsTreeView::clickedInView, &feature, &BdtsFeature::TreeViewSorClick);
    // "удалить" follows the selection whatever made it: the mouse, the keyboard, or a rebuilt list
    // that has none; the Delete key presses it.
    connect(TreeViewSor->selectionModel(), &QItemSelectionModel::selectionChanged, &feature, &BdtsFeature::TreeViewSorClick);
    connect(TreeViewSor->model(), &QAbstractItemModel::modelReset, &feature, &BdtsFeature::TreeViewSorClick);
    connect(TreeViewSor, &TsTreeView::deletePressed, this, [this] {
        if (btnDeleteTS->isEnabled())
            btnDeleteTS->click();
    });
    connect(&database, &BdtsDatabase::changed, this, &TFrameBDTS::refresh);
    refresh();
}

namespace {
// Room of a group's layout around its contents: margins and the spacing between n items.
int around(const QWidget *group, int items)
{
    const QLayout *l = group->layout();
    const QMargins m = l->contentsMargins();
    const QMargins frame = group->contentsMargins();
    return m.left() + m.right() + frame.left() + frame.right() + std::max(0, items - 1) * l->spacing();
}
} // namespace

void TFrameBDTS::applyWidths()
{
    const int buttonWidth = width() * 55 / 100 / 4;
    int buttons = textfit::buttonTextWidth(*btnSaveAddTs);
    for (QPushButton *b : {btnReadBDTSFromSor, btnSaveBDTSinFile, btnDeleteTS}) {
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        b->setFixedWidth(std::max(buttonWidth, textfit::buttonTextWidth(*b)));
        buttons += b->minimumWidth();
    }
    const int groupWidth = std::max(width() * 55 / 100, buttons + around(instrumentListGroup, 4));
    instrumentListGroup->setFixedWidth(groupWidth);
    const int fileGroupWidth = width() - groupWidth;
    btnReadBDTSFromFile->setFixedWidth(std::max(textfit::buttonTextWidth(*btnReadBDTSFromFile), fileGroupWidth / 2));
}

QSize TFrameBDTS::minimumSizeHint() const
{
    int left = 0;
    for (QPushButton *b : {btnReadBDTSFromSor, btnSaveBDTSinFile, btnDeleteTS, btnSaveAddTs})
        left += textfit::buttonTextWidth(*b);
    left = std::max(left + around(instrumentListGroup, 4), instrumentListGroup->fontMetrics().horizontalAdvance(instrumentListGroup->title()) + 16);
    const int fileRow = textfit::buttonTextWidth(*btnReadBDTSFromFile) + textfit::buttonTextWidth(*btnWriteBDTSInSor) +
                        around(fileListGroup, 2);
    const int addRow = textfit::buttonTextWidth(*btnAddTSInSor) + around(addListGroup, 1);
    const QMargins m = layout()->contentsMargins();
    const int width = std::max(m.left() + left + layout()->spacing() + std::max(fileRow, addRow) + m.right(),
                               title->sizeHint().width() + m.left() + m.right());
    // Heights are not set by arithmetic: the layout's own least height holds.
    return {width, layout()->minimumSize().height()};
}

void TFrameBDTS::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (isVisible())
        applyWidths();
}

void TFrameBDTS::refresh()
{
    const BdtsView &v = m_db.view;
    instrumentListGroup->setTitle(v.sorCaption);
    fileListGroup->setTitle(v.fileCaption);
    addListGroup->setTitle(v.addCaption);
    lbDateBDTSinSorvint->setText(v.sorDate);
    lbDateBDTSinPC->setText(v.fileDate);
    TreeViewSor->setVisible(v.sorVisible);
    TreeViewFile->setVisible(v.fileVisible);
    TreeViewAdd->setVisible(v.addVisible);
    // No exchange starts over a running one, and nothing changes or replaces the images while
    // one runs: the read fills the instrument image, the write sends the one it copied.
    const bool idle = !v.exchangeRunning;
    btnSaveBDTSinFile->setEnabled(v.saveToFileEnabled && idle);
    btnDeleteTS->setEnabled(v.deleteEnabled && idle);
    btnReadBDTSFromSor->setEnabled(v.readAllowed && idle);
    btnSaveAddTs->setEnabled(v.saveAddEnabled && idle);
    btnReadBDTSFromFile->setEnabled(idle);
    btnWriteBDTSInSor->setEnabled(v.writeFileEnabled && idle);
    btnAddTSInSor->setEnabled(v.addEnabled && idle);
}

std::vector<const bdts::TsNode *> TFrameBDTS::selectedInstrumentNodes() const
{
    std::vector<const bdts::TsNode *> nodes;
    for (const QModelIndex &index : TreeViewSor->selectionModel()->selectedIndexes())
        if (const bdts::TsNode *node = m_db.sorList.nodeAt(index))
            nodes.push_back(node);
    return nodes;
}

int TFrameBDTS::selectedInstrumentCount() const { return int(TreeViewSor->selectionModel()->selectedIndexes().size()); }
