#include "reader/odtable.h"

#include "core/cp1251.h"

namespace odtable {
QByteArray field(const QByteArray &reply, int r, int c)
{
    const int at = fieldOffset(r, c);
    if (r < 1 || r > Rows || c < 1 || c > Columns || at + FieldWidth > reply.size())
        return {};
    return reply.mid(at, FieldWidth);
}

QByteArray tableText(const QByteArray &reply)
{
    QByteArray text = reply;
    if (!text.isEmpty())
        text[0] = ' ';
    return text;
}
} // namespace odtable

OdTableModel::OdTableModel(QObject *parent) : QAbstractTableModel(parent) { label(); }

int OdTableModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : GridRows; }
int OdTableModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : GridColumns; }

QVariant OdTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= GridRows || index.column() >= GridColumns)
        return {};
    const QByteArray &bytes = m_cells[index.row()][index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return cp1251::decode(bytes);
    case RawRole:
        return bytes;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    default:
        return {};
    }
}

Qt::ItemFlags OdTableModel::flags(const QModelIndex &index) const
{
    // Shown and selectable, never edited.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void OdTableModel::label()
{
    for (auto &row : m_cells)
        for (auto &cell : row)
            cell.clear();
    for (int c = 1; c <= odtable::Columns; ++c)
        m_cells[0][c] = QByteArray::number(c);
    for (int r = 1; r <= odtable::Rows; ++r)
        m_cells[r][0] = QByteArray(1, char('A' + r - 1));
    emit dataChanged(index(0, 0), index(GridRows - 1, GridColumns - 1));
}

void OdTableModel::fill(const QByteArray &reply)
{
    for (int r = 1; r <= odtable::Rows; ++r)
        for (int c = 1; c <= odtable::Columns; ++c)
            m_cells[r][c] = odtable::field(reply, r, c);
    emit dataChanged(index(1, 1), index(GridRows - 1, GridColumns - 1));
}

bool OdTableModel::valuesEmpty() const
{
    for (int r = 1; r < GridRows; ++r)
        for (int c = 1; c < GridColumns; ++c)
            if (!m_cells[r][c].isEmpty())
                return false;
    return true;
}
