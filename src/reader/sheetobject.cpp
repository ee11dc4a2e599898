#include "reader/sheetobject.h"

#include "core/cp1251.h"
#include "core/files.h"

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
    m_rows = sheettext::looksBinary(bytes) ? QVector<QStringList>{} : sheettext::rows(bytes);
    m_columns = 0;
    for (const QStringList &row : m_rows)
        m_columns = std::max(m_columns, int(row.size()));
    endResetModel();
}

int SheetModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int SheetModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_columns; }

QVariant SheetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= m_rows.size())
        return {};
    return m_rows.at(index.row()).value(index.column());
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    // Spreadsheet column letters: A..Z, AA..
    QString name;
    for (int n = section + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

SheetObject::SheetObject(QObject *parent) : QObject(parent) { setObjectName(QStringLiteral("OleContainer1")); }

void SheetObject::DiscardSheetObject()
{
    if (m_state == State::Empty)
        return;
    m_state = State::Empty;
    m_bytes.clear();
    m_source.clear();
    m_model.clear();
    emit discarded();
}

bool SheetObject::CreateSheetObjectFromFile(const QString &fileName, QString *error)
{
    DiscardSheetObject();
    QByteArray copy;
    if (!files::readWhole(fileName, &copy, error))
        return false;
    m_bytes = copy;
    m_source = fileName;
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
