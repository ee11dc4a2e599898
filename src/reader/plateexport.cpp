#include "reader/plateexport.h"

#include "core/cp1251.h"
#include "core/files.h"
#include "reader/odtable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <functional>

namespace plate {
Fields fields(const QByteArray &table)
{
    Fields out;
    for (int r = 1; r <= Rows; ++r)
        for (int c = 1; c <= Columns; ++c)
            out[r - 1][c - 1] = odtable::field(table, r, c);
    return out;
}

std::optional<double> number(const QByteArray &field)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?(?:[0-9]+(?:[.,][0-9]*)?|[.,][0-9]+)$"));
    QString t = QString::fromLatin1(field.trimmed());
    if (!decimal.match(t).hasMatch())
        return std::nullopt;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = t.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString text(const QByteArray &field) { return cp1251::decode(field).trimmed(); }

bool looksLikePlateTable(const QByteArray &bytes)
{
    if (bytes.size() != odtable::ReplyLength || (bytes.at(0) != 'D' && bytes.at(0) != ' ') || bytes.contains('\0'))
        return false;
    const Fields f = fields(bytes);
    for (const auto &row : f)
        for (const QByteArray &field : row)
            if (number(field))
                return true;
    return false;
}

QString plateSheetName() { return QStringLiteral("Оптические плотности"); }
QString textSheetName() { return QStringLiteral("Текст прибора"); }

Format formatOfPath(const QString &path)
{
    const QString suffix = QFileInfo(files::shortName(path)).suffix().toLower();
    if (suffix == QLatin1String("xlsx"))
        return Format::Xlsx;
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    return Format::ExactText;
}
} // namespace plate

namespace {
const QString DateTimeText = QStringLiteral("dd.MM.yyyy HH:mm:ss");

QString metaLabel(int row)
{
    switch (row) {
    case 0: return QStringLiteral("Дата и время чтения");
    case 1: return QStringLiteral("Порт");
    default: return QStringLiteral("Файл");
    }
}

QString portText(const PlateMeta &meta) { return meta.port.isEmpty() ? QStringLiteral("не известен") : meta.port; }

// The instrument's text as lines: split at CR LF, CR or LF; a final line end starts no row.
QStringList instrumentLines(const QByteArray &table)
{
    QString text = cp1251::decode(table);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// ---- CSV
QString csvNumber(double value, const CsvStyle &style)
{
    return QString::number(value, 'f', plate::Decimals).replace(QLatin1Char('.'), style.decimal);
}

// A text cell: quoted when it holds the separator, a quote or a line end; text that a spreadsheet
// would take for a formula gets a leading apostrophe so that it stays text.
QString csvText(QString t, const CsvStyle &style)
{
    if (!t.isEmpty() && QStringLiteral("=+-@\t\r").contains(t.at(0)))
        t.prepend(QLatin1Char('\''));
    if (t.contains(style.separator) || t.contains(QLatin1Char('"')) || t.contains(QLatin1Char('\n')) ||
        t.contains(QLatin1Char('\r'))) {
        t.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        t = QLatin1Char('"') + t + QLatin1Char('"');
    }
    return t;
}

QString csvCell(const QByteArray &field, const CsvStyle &style)
{
    if (const auto v = plate::number(field))
        return csvNumber(*v, style);
    return csvText(plate::text(field), style);
}

QByteArray csvDocument(const QStringList &lines)
{
    QByteArray out("\xEF\xBB\xBF");
    for (const QString &line : lines)
        out += line.toUtf8() + "\r\n";
    return out;
}

// ---- XLSX
// Builds a workbook in a temporary folder with the given filler and hands back its bytes.
QByteArray buildWorkbook(const std::function<bool(lxw_workbook *, QString *)> &fill, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    QTemporaryDir scratch(QDir(QDir::tempPath()).filePath(QStringLiteral("kviro-xlsx-XXXXXX")));
    if (!scratch.isValid())
        return fail(scratch.errorString());
    const QString path = QDir(scratch.path()).filePath(QStringLiteral("book.xlsx"));
    QByteArray encodedPath = QFile::encodeName(path);
    QByteArray encodedTmp = QFile::encodeName(scratch.path());
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = encodedTmp.data();
    options.use_zip64 = LXW_FALSE;
    lxw_workbook *book = workbook_new_opt(encodedPath.constData(), &options);
    if (!book)
        return fail(QStringLiteral("не удалось создать книгу"));
    QString why;
    if (!fill(book, &why)) {
        workbook_close(book);
        return fail(why);
    }
    const lxw_error closed = workbook_close(book);
    if (closed != LXW_NO_ERROR)
        return fail(QString::fromUtf8(lxw_strerror(closed)));
    QByteArray bytes;
    if (!files::readWhole(path, &bytes, &why))
        return fail(why);
    return bytes;
}

lxw_worksheet *addSheet(lxw_workbook *book, const QString &name, QString *why)
{
    lxw_worksheet *sheet = workbook_add_worksheet(book, name.toUtf8().constData());
    if (!sheet)
        *why = QStringLiteral("не удалось добавить лист \"%1\"").arg(name);
    return sheet;
}

void writeText(lxw_worksheet *sheet, int row, int column, const QString &text, lxw_format *format = nullptr)
{
    // A cell holds at most 32767 characters; a longer line is cut rather than left out.
    constexpr int CellLimit = 32767;
    if (!text.isEmpty())
        worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column), text.left(CellLimit).toUtf8().constData(), format);
}

// Green for the lowest densities, yellow at the median, red for the highest.
constexpr lxw_color_t ScaleLow = 0x63BE7B;
constexpr lxw_color_t ScaleMid = 0xFFEB84;
constexpr lxw_color_t ScaleHigh = 0xF8696B;
} // namespace

QByteArray plateCsvBytes(const QByteArray &table, const PlateMeta &meta, const CsvStyle &style)
{
    const QChar sep = style.separator;
    QStringList lines;
    lines << metaLabel(0) + sep + (meta.readAt.isValid() ? meta.readAt.toString(DateTimeText) : QString());
    lines << metaLabel(1) + sep + csvText(portText(meta), style);
    lines << (meta.source.isEmpty() ? QString() : metaLabel(2) + sep + csvText(files::shortName(meta.source), style));
    QStringList labels{QString()};
    for (int c = 1; c <= plate::Columns; ++c)
        labels << QString::number(c);
    lines << labels.join(sep);
    const plate::Fields f = plate::fields(table);
    for (int r = 0; r < plate::Rows; ++r) {
        QStringList cells{QString(QChar(u'A' + r))};
        for (const QByteArray &field : f[r])
            cells << csvCell(field, style);
        lines << cells.join(sep);
    }
    return csvDocument(lines);
}

QByteArray plateXlsxBytes(const QByteArray &table, const PlateMeta &meta, QString *error)
{
    return buildWorkbook(
        [&](lxw_workbook *book, QString *why) {
            lxw_worksheet *sheet = addSheet(book, plate::plateSheetName(), why);
            lxw_worksheet *textSheet = sheet ? addSheet(book, plate::textSheetName(), why) : nullptr;
            if (!textSheet)
                return false;
            lxw_format *value = workbook_add_format(book);
            format_set_num_format(value, "0.000");
            format_set_align(value, LXW_ALIGN_CENTER);
            lxw_format *label = workbook_add_format(book);
            format_set_bold(label);
            format_set_align(label, LXW_ALIGN_CENTER);
            format_set_bg_color(label, 0xE7E6E6);
            format_set_border(label, LXW_BORDER_THIN);
            lxw_format *metaLabelFormat = workbook_add_format(book);
            format_set_bold(metaLabelFormat);
            lxw_format *when = workbook_add_format(book);
            format_set_num_format(when, "dd.mm.yyyy hh:mm:ss");
            format_set_align(when, LXW_ALIGN_LEFT);
            lxw_format *textValue = workbook_add_format(book);
            format_set_align(textValue, LXW_ALIGN_CENTER);

            // Printed, the plate fits one landscape A4 page.
            worksheet_set_landscape(sheet);
            worksheet_set_paper(sheet, 9);
            worksheet_fit_to_pages(sheet, 1, 1);
            worksheet_set_column(sheet, 0, 0, 21, nullptr);
            worksheet_set_column(sheet, plate::FirstPlateColumn, plate::FirstPlateColumn + plate::Columns - 1, 9, nullptr);

            // Date and time, port, source file above the plate; the date spans three columns so
            // that it is never shown as "###".
            for (int row = 0; row < plate::MetaRows; ++row)
                if (row < 2 || !meta.source.isEmpty())
                    writeText(sheet, row, 0, metaLabel(row), metaLabelFormat);
            worksheet_merge_range(sheet, 0, 1, 0, 3, "", when);
            if (meta.readAt.isValid()) {
                const QDate d = meta.readAt.date();
                const QTime t = meta.readAt.time();
                lxw_datetime stamp{d.year(), d.month(), d.day(), t.hour(), t.minute(), double(t.second())};
                worksheet_write_datetime(sheet, 0, 1, &stamp, when);
            } else {
                writeText(sheet, 0, 1, QStringLiteral("не известны"), when);
            }
            writeText(sheet, 1, 1, portText(meta));
            if (!meta.source.isEmpty())
                writeText(sheet, 2, 1, files::shortName(meta.source));

            worksheet_write_blank(sheet, plate::LabelRow, 0, label);
            for (int c = 0; c < plate::Columns; ++c)
                worksheet_write_number(sheet, plate::LabelRow, lxw_col_t(plate::FirstPlateColumn + c), c + 1, label);
            const plate::Fields f = plate::fields(table);
            for (int r = 0; r < plate::Rows; ++r) {
                const int row = plate::FirstPlateRow + r;
                writeText(sheet, row, 0, QString(QChar(u'A' + r)), label);
                for (int c = 0; c < plate::Columns; ++c) {
                    const int column = plate::FirstPlateColumn + c;
                    if (const auto v = plate::number(f[r][c]))
                        worksheet_write_number(sheet, lxw_row_t(row), lxw_col_t(column), *v, value);
                    else
                        writeText(sheet, row, column, plate::text(f[r][c]), textValue);
                }
            }
            lxw_conditional_format scale{};
            scale.type = LXW_CONDITIONAL_3_COLOR_SCALE;
            scale.min_color = ScaleLow;
            scale.mid_color = ScaleMid;
            scale.max_color = ScaleHigh;
            worksheet_conditional_format_range(sheet, plate::FirstPlateRow, plate::FirstPlateColumn,
                                               plate::FirstPlateRow + plate::Rows - 1,
                                               plate::FirstPlateColumn + plate::Columns - 1, &scale);

            worksheet_set_column(textSheet, 0, 0, 110, nullptr);
            const QStringList lines = instrumentLines(table);
            for (int i = 0; i < lines.size(); ++i)
                writeText(textSheet, i, 0, lines.at(i));
            return true;
        },
        error);
}

bool writePlateXlsx(const QString &path, const QByteArray &table, const PlateMeta &meta, QString *error)
{
    const QByteArray bytes = plateXlsxBytes(table, meta, error);
    return !bytes.isEmpty() && files::writeWhole(path, bytes, error);
}

bool writePlateCsv(const QString &path, const QByteArray &table, const PlateMeta &meta, QString *error, const CsvStyle &style)
{
    return files::writeWhole(path, plateCsvBytes(table, meta, style), error);
}

bool writePlateAs(const QString &path, const QByteArray &table, const PlateMeta &meta, QString *error, const CsvStyle &style)
{
    switch (plate::formatOfPath(path)) {
    case plate::Format::Xlsx:
        return writePlateXlsx(path, table, meta, error);
    case plate::Format::Csv:
        return writePlateCsv(path, table, meta, error, style);
    case plate::Format::ExactText:
        break;
    }
    return files::writeWhole(path, table, error);
}

QByteArray sheetCsvBytes(const QVector<QStringList> &rows, const CsvStyle &style)
{
    QStringList lines;
    for (const QStringList &row : rows) {
        QStringList cells;
        // A number keeps its digits as written, with the style's decimal sign.
        for (const QString &cell : row)
            cells << (plate::number(cell.toLatin1()) ? cell.trimmed().replace(QLatin1Char('.'), style.decimal)
                                                             .replace(QLatin1Char(','), style.decimal)
                                                     : csvText(cell, style));
        lines << cells.join(style.separator);
    }
    return csvDocument(lines);
}

QByteArray sheetXlsxBytes(const QVector<QStringList> &rows, QString *error)
{
    return buildWorkbook(
        [&](lxw_workbook *book, QString *why) {
            lxw_worksheet *sheet = addSheet(book, QStringLiteral("Таблица"), why);
            if (!sheet)
                return false;
            // A worksheet holds at most 1048576 rows of 16384 columns; the rest is left out.
            for (int r = 0; r < rows.size() && r < 1048576; ++r)
                for (int c = 0; c < rows.at(r).size() && c < 16384; ++c) {
                    const QString &cell = rows.at(r).at(c);
                    if (const auto v = plate::number(cell.toLatin1()))
                        worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), *v, nullptr);
                    else
                        writeText(sheet, r, c, cell);
                }
            return true;
        },
        error);
}
