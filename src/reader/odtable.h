#pragma once
// The optical density table of one 96-well plate as the instrument sends it, and the 13 x 9 grid
// model the page "Ридер ОП" shows: row 0 holds the column labels 1..12, column 0 the row labels
// A..H, the 96 value cells hold the six-character fields exactly as received.
#include <QAbstractTableModel>
#include <QByteArray>

#include <array>

namespace odtable {
constexpr int Rows = 8;             // A..H
constexpr int Columns = 12;         // 1..12
constexpr int FieldWidth = 6;       // one value, blanks kept
constexpr int FieldPitch = 8;       // the field and its 2 separator characters
constexpr int RowBlock = 97;        // 12 fields of 8 characters and the row end
constexpr int ReplyLength = 777;    // tag 'D' and 8 row blocks

// Offset (from 0) in the reply of the field of row r, column c (both from 1).
constexpr int fieldOffset(int r, int c) { return 1 + RowBlock * (r - 1) + FieldPitch * (c - 1); }
// The six characters of that field; empty when the reply is too short to hold it.
QByteArray field(const QByteArray &reply, int r, int c);
// The reply kept as the table text: the tag replaced by a blank, everything else unchanged.
QByteArray tableText(const QByteArray &reply);
} // namespace odtable

class OdTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int GridColumns = odtable::Columns + 1;
    static constexpr int GridRows = odtable::Rows + 1;
    // The cell's bytes as received (value cells) or the label, as a QByteArray.
    static constexpr int RawRole = Qt::UserRole + 1;

    explicit OdTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Writes the labels A..H and 1..12. Labelling a row or column replaces its whole content,
    // so every value cell is emptied as well.
    void label();
    // Moves the 96 fields of a complete reply into the value cells.
    void fill(const QByteArray &reply);

    QByteArray cell(int column, int row) const { return m_cells[row][column]; }
    bool valuesEmpty() const;

private:
    std::array<std::array<QByteArray, GridColumns>, GridRows> m_cells;
};
