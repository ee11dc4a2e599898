#include "journal/journalmodel.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

JournalModel::JournalModel(Journal &journal, QObject *parent) : QAbstractTableModel(parent), m_journal(journal)
{
    m_rows = int(journal.entries().size());
    connect(&journal, &Journal::added, this, &JournalModel::onAdded);
    // The journal's bound: its oldest rows go as one removal, not as a reset of the whole table.
    connect(&journal, &Journal::oldestAboutToBeDropped, this, [this](int count) {
        m_dropping = std::min(count, m_rows);
        if (m_dropping > 0)
            beginRemoveRows({}, 0, m_dropping - 1);
    });
    connect(&journal, &Journal::oldestDropped, this, [this] {
        if (m_dropping <= 0)
            return;
        m_rows -= m_dropping;
        m_dropping = 0;
        endRemoveRows();
    });
    connect(&journal, &Journal::earlierLoaded, this, [this] {
        beginResetModel();
        m_rows = int(m_journal.entries().size());
        endResetModel();
    });
}

void JournalModel::onAdded()
{
    const int now = int(m_journal.entries().size());
    if (now == m_rows + 1) {
        beginInsertRows({}, m_rows, m_rows);
        m_rows = now;
        endInsertRows();
        return;
    }
    // Out of step (entries added before the model was made): shown anew.
    beginResetModel();
    m_rows = now;
    endResetModel();
}

int JournalModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rows; }
int JournalModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const JournalEntry &e = entry(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case ColumnTime: return e.when.toString(QStringLiteral("HH:mm:ss.zzz"));
        case ColumnKind: return Journal::kindCaption(e.kind);
        case ColumnText: return e.text;
        default: return {};
        }
    }
    if (role == Qt::ToolTipRole)
        return index.column() == ColumnTime ? e.when.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz")) : e.text;
    if (role == Qt::ForegroundRole) {
        if (e.kind == JournalKind::Error)
            return QBrush(QColor(176, 0, 0));
        if (e.kind == JournalKind::Warning)
            return QBrush(QColor(150, 90, 0));
    }
    return {};
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColumnTime: return QStringLiteral("Время");
    case ColumnKind: return QStringLiteral("Вид");
    case ColumnText: return QStringLiteral("Событие");
    default: return {};
    }
}

void JournalFilter::setKind(std::optional<JournalKind> kind)
{
    m_kind = kind;
    invalidateFilter();
}

void JournalFilter::setSearch(const QString &text)
{
    m_search = text.trimmed();
    invalidateFilter();
}

bool JournalFilter::filterAcceptsRow(int row, const QModelIndex &) const
{
    const auto *model = static_cast<const JournalModel *>(sourceModel());
    const JournalEntry &e = model->entry(row);
    if (m_kind && e.kind != *m_kind)
        return false;
    return m_search.isEmpty() || e.text.contains(m_search, Qt::CaseInsensitive);
}
