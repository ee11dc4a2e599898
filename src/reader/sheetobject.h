#pragma once
// The worksheet object behind "Данные в Excel" and "Из файла в Excel": a copy of a file's bytes
// (never a link to the file: later changes to the file do not reach it), the name it came from,
// and the table a spreadsheet would make of it when it imports the text (rows at line ends,
// cells at tabs). Showing it is the sheet window's business; this object only says when.
#include "reader/plateexport.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace sheettext {
// Rows split at CR LF, CR or LF (a final line end does not start another row), cells at tabs.
QVector<QStringList> rows(const QByteArray &bytes);
// A file that is not text (it holds zero bytes): a real workbook, an image... It is not shown as
// a table; the desktop's own application may still open it.
bool looksBinary(const QByteArray &bytes);
} // namespace sheettext

// The sheet as a table. An optical density table is laid out as the plate, 8 rows A..H by 12
// columns 1..12 (the header labels), by its fixed field positions whatever its separators; any
// other text is split into rows at line ends and cells at tabs, under spreadsheet headers.
class SheetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The value of a cell that reads as a number (a double), else nothing.
    static constexpr int NumberRole = Qt::UserRole + 1;
    // The colour-scale colour of a plate cell that holds a number, as 0xAARRGGBB (unsigned), while
    // the scale is on; the view paints it.
    static constexpr int ScaleColourRole = Qt::UserRole + 2;

    using QAbstractTableModel::QAbstractTableModel;

    void setBytes(const QByteArray &bytes);
    void clear() { setBytes({}); }
    bool isPlate() const { return m_plate; }
    const QVector<QStringList> &rows() const { return m_rows; }

    // The plate's cells coloured by their value: green the lowest, yellow the median, red the
    // highest (the workbook's colour scale).
    void setColourScale(bool on);
    bool colourScale() const { return m_colourScale; }
    // The scale's legend: the lowest value, the median and the highest with their colours; empty
    // when the content is no plate or holds no number.
    struct ScaleStop {
        double value;
        unsigned colour; // 0xAARRGGBB
    };
    QVector<ScaleStop> scaleStops() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    unsigned scaleColour(double value) const;

    QVector<QStringList> m_rows;
    int m_columns = 0;
    bool m_plate = false;
    bool m_colourScale = true;
    double m_min = 0, m_median = 0, m_max = 0;
    bool m_scaled = false; // the plate holds at least one number
};

class SheetObject : public QObject {
    Q_OBJECT
public:
    enum class State { InitialSheet, FromFile, Empty };

    explicit SheetObject(QObject *parent = nullptr);

    State state() const { return m_state; }
    bool holdsObject() const { return m_state != State::Empty; }
    // The copy of the file's content and the file it was made from.
    const QByteArray &bytes() const { return m_bytes; }
    const QString &sourceFile() const { return m_source; }
    bool isText() const { return !sheettext::looksBinary(m_bytes); }
    SheetModel &model() { return m_model; }
    // How many objects were made from files so far (a replaced object counts anew).
    int generation() const { return m_generation; }

    // Closes the object's view without saving and releases the object; nothing without one.
    void DiscardSheetObject();
    // Discards the old object, then makes a new one from a copy of the file's content; it is not
    // shown. A file that cannot be read, or that is larger than MaxFileBytes, leaves the
    // container empty and gives the reason.
    bool CreateSheetObjectFromFile(const QString &fileName, QString *error = nullptr);
    static constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

    // What the workbook shows above a plate: when and through which port it was read. A new
    // object from a file knows only the file; the table's owner adds the rest.
    const PlateMeta &plateMeta() const { return m_meta; }
    void setPlateMeta(const PlateMeta &meta) { m_meta = meta; }
    // Asks for the object to be shown in its own window; nothing without an object from a file.
    void OpenSheetObject();

signals:
    void discarded();
    void created();
    void openRequested();

private:
    State m_state = State::InitialSheet;
    QByteArray m_bytes;
    QString m_source;
    PlateMeta m_meta;
    SheetModel m_model;
    int m_generation = 0;
};
