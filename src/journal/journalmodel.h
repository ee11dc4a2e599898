#pragma once
// The journal's entries as a table (time, kind, text) and the filter the window puts on it.
#include "core/journal.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <optional>

class JournalModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnTime, ColumnKind, ColumnText, ColumnCount };
    explicit JournalModel(Journal &journal, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    const JournalEntry &entry(int row) const { return m_journal.entries().at(row); }

private:
    void onAdded();
    Journal &m_journal;
    int m_rows = 0;
    int m_dropping = 0; // rows being removed at the journal's bound
};

class JournalFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setKind(std::optional<JournalKind> kind);
    void setSearch(const QString &text);

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override;

private:
    std::optional<JournalKind> m_kind;
    QString m_search;
};
