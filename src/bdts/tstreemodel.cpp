#include "bdts/tstreemodel.h"

void TsTreeModel::change(const std::function<void(bdts::TsTree &)> &edit)
{
    beginResetModel();
    edit(m_tree);
    endResetModel();
}

const bdts::TsNode *TsTreeModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<const bdts::TsNode *>(index.internalPointer()) : &m_tree.root();
}

const bdts::TsNode *TsTreeModel::nodeAt(const QModelIndex &index) const
{
    return index.isValid() ? nodeOf(index) : nullptr;
}

QModelIndex TsTreeModel::indexOf(const bdts::TsNode *node) const
{
    if (!node || node == &m_tree.root())
        return {};
    return createIndex(node->row, 0, const_cast<bdts::TsNode *>(node));
}

QModelIndex TsTreeModel::find(const QStringList &names) const
{
    const bdts::TsNode *node = &m_tree.root();
    for (const QString &name : names) {
        const bdts::TsNode *next = nullptr;
        for (const auto &child : node->children)
            if (child->text == name)
                next = child.get();
        if (!next)
            return {};
        node = next;
    }
    return indexOf(node);
}

QModelIndex TsTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const bdts::TsNode *p = nodeOf(parent);
    if (column != 0 || row < 0 || size_t(row) >= p->children.size())
        return {};
    return createIndex(row, 0, p->children[size_t(row)].get());
}

QModelIndex TsTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    return indexOf(nodeOf(child)->parent);
}

int TsTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(nodeOf(parent)->children.size());
}

int TsTreeModel::columnCount(const QModelIndex &) const { return 1; }

QVariant TsTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return nodeOf(index)->text;
}

Qt::ItemFlags TsTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable; // read-only
}
