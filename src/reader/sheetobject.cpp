#include "reader/sheetobject.h"

#include "core/cp1251.h"
#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <vector>

namespace sheettext {
QVector<QStringList> rows(const QByteArray &bytes)
{
    QVector<QStringList> out;
    const QString text = cp1251::decode(bytes);
    QString line;
    auto endRow = [&] {
        out.append(line.split(QLatin1Char('\t')));
        line.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endRow();
        } else if (ch == QLatin1Char('\n')) {
            endRow();
        } else {
            line.append(ch);
        }
    }
    if (!line.isEmpty())
        endRow();
    return out;
}

bool looksBinary(const QByteArray &bytes) { return bytes.contains('\0'); }
} // namespace sheettext

void SheetModel::setBytes(const QByteArray &bytes)
{
    beginResetModel();
    m_plate = plate::looksLikePlateTable(bytes);
    m_rows.clear();
    m_columns = 0;
    m_scaled = false;
    if (m_plate) {
        std::vector<double> values;
        const plate::Fields fields = plate::fields(bytes);
        for (const auto &fieldRow : fields) {
            QStringList row;
            for (const QByteArray &field : fieldRow) {
                row << plate::text(field);
                if (const auto v = plate::number(field))
                    values.push_back(*v);
            }
            m_rows.append(row);
        }
        m_columns = plate::Columns;
        std::sort(values.begin(), values.end());
        if (!values.empty()) {
            m_scaled = true;
            m_min = values.front();
            m_max = values.back();
            const size_t n = values.size();
            m_median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
        }
    } else if (!sheettext::looksBinary(bytes)) {
        m_rows = sheettext::rows(bytes);
        for (const QStringList &row : m_rows)
            m_columns = std::max(m_columns, int(row.size()));
    }
    endResetModel();
}

void SheetModel::setColourScale(bool on)
{
    if (m_colourScale == on)
        return;
    m_colourScale = on;
    if (m_plate)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {ScaleColourRole});
}

int SheetModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int SheetModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_columns; }

QVector<SheetModel::ScaleStop> SheetModel::scaleStops() const
{
    if (!m_plate || !m_scaled)
        return {};
    return {{m_min, scaleColour(m_min)}, {m_median, scaleColour(m_median)}, {m_max, scaleColour(m_max)}};
}

unsigned SheetModel::scaleColour(double value) const
{
    struct Rgb {
        double r, g, b;
    };
    static constexpr Rgb low{0x63, 0xBE, 0x7B}, mid{0xFF, 0xEB, 0x84}, high{0xF8, 0x69, 0x6B};
    auto blend = [](const Rgb &a, const Rgb &b, double t) {
        t = std::clamp(t, 0.0, 1.0);
        auto channel = [t](double x, double y) { return unsigned(std::lround(x + (y - x) * t)); };
        return 0xFF000000u | channel(a.r, b.r) << 16 | channel(a.g, b.g) << 8 | channel(a.b, b.b);
    };
    if (value <= m_median)
        return m_median > m_min ? blend(low, mid, (value - m_min) / (m_median - m_min)) : blend(mid, mid, 0);
    return m_max > m_median ? blend(mid, high, (value - m_median) / (m_max - m_median)) : blend(mid, mid, 0);
}

QVariant SheetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const QString cell = m_rows.at(index.row()).value(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return cell;
    case NumberRole:
        if (const auto v = plate::number(cell.toLatin1()))
            return *v;
        return {};
    case Qt::TextAlignmentRole:
        if (m_plate)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        return {};
    case ScaleColourRole:
        if (m_plate && m_colourScale)
            if (const auto v = plate::number(cell.toLatin1()))
                return scaleColour(*v);
        return {};
    default:
        return {};
    }
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (m_plate)
        return orientation == Qt::Vertical ? QVariant(QString(QChar(u'A' + section))) : QVariant(section + 1);
    if (orientation == Qt::Vertical)
        return section + 1;
    // Spreadsheet column letters: A..Z, AA..
    QString name;
    for (int n = section + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

namespace {
// A table of a plate is under a kilobyte; a file of many megabytes is not one to be shown as a
// table, and reading it whole would hold the window and the memory for nothing.
bool readLimited(const QString &fileName, QByteArray *bytes, QString *error)
{
    const auto tooLarge = [&] {
        if (error)
            *error = QStringLiteral("Файл \"%1\" слишком велик для таблицы: больше %2 МиБ.")
                         .arg(QDir::toNativeSeparators(fileName))
                         .arg(SheetObject::MaxFileBytes / (1024 * 1024));
        return false;
    };
    const QFileInfo info(fileName);
    if (info.isFile() && info.size() > SheetObject::MaxFileBytes)
        return tooLarge();
    // Only a regular file (a device or a FIFO would hold the window), and no more than allowed.
    return files::readWhole(fileName, bytes, error, SheetObject::MaxFileBytes);
}
} // namespace

SheetObject::SheetObject(QObject *parent) : QObject(parent) { setObjectName(QStringLiteral("sheetContainer")); }

void SheetObject::DiscardSheetObject()
{
    if (m_state == State::Empty)
        return;
    m_state = State::Empty;
    m_bytes.clear();
    m_source.clear();
    m_meta = PlateMeta{};
    m_model.clear();
    emit discarded();
}

bool SheetObject::CreateSheetObjectFromFile(const QString &fileName, QString *error)
{
    DiscardSheetObject();
    QByteArray copy;
    if (!readLimited(fileName, &copy, error))
        return false;
    m_bytes = copy;
    m_source = fileName;
    m_meta = PlateMeta{};
    m_meta.source = fileName;
    m_state = State::FromFile;
    ++m_generation;
    m_model.setBytes(m_bytes);
    emit created();
    return true;
}

void SheetObject::OpenSheetObject()
{
    if (m_state == State::FromFile)
        emit openRequested();
}
