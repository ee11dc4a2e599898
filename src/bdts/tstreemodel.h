#pragma once
// A test-system list shown by a tree view: the model owns the plain tree and tells the views
// when a list operation has rebuilt it.
#include "bdts/tstree.h"

#include <QAbstractItemModel>

#include <functional>

class TsTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    using QAbstractItemModel::QAbstractItemModel;

    const bdts::TsTree &tree() const { return m_tree; }
    // Runs a change of the tree; the views are reset around it.
    void change(const std::function<void(bdts::TsTree &)> &edit);

    const bdts::TsNode *nodeAt(const QModelIndex &index) const;
    QModelIndex indexOf(const bdts::TsNode *node) const;
    // The index of a node found by its names (1 to 3 of them), or an invalid index.
    QModelIndex find(const QStringList &names) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    const bdts::TsNode *nodeOf(const QModelIndex &index) const;
    bdts::TsTree m_tree;
};
