#include "bdts/tstreeview.h"

#include <algorithm>

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>

TsTreeView::TsTreeView(bool multiSelection, QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(multiSelection ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
}

void TsTreeView::setModel(QAbstractItemModel *model)
{
    QTreeView::setModel(model);
    if (selectionMode() == QAbstractItemView::ExtendedSelection)
        connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &TsTreeView::keepSiblingsOnly);
}

void TsTreeView::setMinimumRows(int rows)
{
    m_minimumRows = rows;
    updateGeometry();
}

QSize TsTreeView::minimumSizeHint() const
{
    QSize size = QTreeView::minimumSizeHint();
    if (m_minimumRows > 0) {
        // A row as the style draws a line of text in the present font, known before the list fills.
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        QStandardItemModel sample;
        sample.appendRow(new QStandardItem(QStringLiteral("Ёу")));
        const int row = itemDelegate()->sizeHint(option, sample.index(0, 0)).height();
        size.setHeight(std::max(size.height(), m_minimumRows * row + 2 * frameWidth()));
    }
    return size;
}

void TsTreeView::keepSiblingsOnly()
{
    if (m_fixing)
        return;
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex parent = current.parent();
    QItemSelection drop;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        if (index.parent() != parent)
            drop.select(index, index);
    if (drop.isEmpty())
        return;
    m_fixing = true;
    selectionModel()->select(drop, QItemSelectionModel::Deselect);
    m_fixing = false;
}

void TsTreeView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TsTreeView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    emit clickedInView();
}

void TsTreeView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        event->accept();
        emit deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}
