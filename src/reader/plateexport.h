#pragma once
// The plate as a spreadsheet: the optical density table read by its fixed field positions (8 rows
// A..H by 12 columns 1..12, whatever separators the instrument put between the fields), written
// as an Excel workbook (.xlsx, through libxlsxwriter) or as CSV for Excel and LibreOffice.
// Plain functions on the table text, Qt Core only: the pages, the automatic save and a command
// line tool all call them.
//
// Files are written whole or not at all: the workbook is built in a temporary file and the
// finished bytes then replace the target in one commit.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <optional>

// What is written above the plate.
struct PlateMeta {
    QDateTime readAt; // when the table was received; invalid = not known (a table from a file)
    QString port;     // "COM3, 115200,n,8,1"; empty = not known
    QString source;   // the file the table came from, if it came from one
};

namespace plate {
constexpr int Rows = 8;
constexpr int Columns = 12;
using Fields = std::array<std::array<QByteArray, Columns>, Rows>;

// The 96 six-character fields of a table text (the reply or the kept text with its tag replaced
// by a blank), row by row, by their fixed positions. Fields the text is too short for are empty.
Fields fields(const QByteArray &table);

// The value of a field that reads as a decimal number: blanks around it, an optional sign,
// digits with one decimal point or comma. Anything else (blanks only, "OVER", "1e5", "nan")
// is not a number.
std::optional<double> number(const QByteArray &field);

// A field as a text cell: decoded from Windows-1251, blanks around it removed.
QString text(const QByteArray &field);

// Whether a file's content is an optical density table: the 777 characters of a reply, the first
// a 'D' or the blank that replaces it, no zero bytes, and at least one field that is a number.
bool looksLikePlateTable(const QByteArray &bytes);

// The layout both formats share: rows of the sheet "Оптические плотности" from row 1.
constexpr int MetaRows = 3;          // date and time, port, source file (blank when none)
constexpr int LabelRow = MetaRows;   // 0-based: the column labels 1..12
constexpr int FirstPlateRow = LabelRow + 1;
constexpr int FirstPlateColumn = 1;  // column A holds the row labels A..H
constexpr int Decimals = 3;

// Names of the two sheets of the workbook.
QString plateSheetName();
QString textSheetName();
// The file's format as its extension says: .xlsx a workbook, .csv CSV, anything else the exact
// bytes of the table text.
enum class Format { ExactText, Xlsx, Csv };
Format formatOfPath(const QString &path);
} // namespace plate

// How a CSV separates its fields and writes decimals. A spreadsheet reads the numbers right only
// when its locale agrees: Russian settings expect ";" and a decimal comma, English ones "," and a
// decimal point (a comma there makes 0,047 read as 47).
struct CsvStyle {
    QChar separator;
    QChar decimal;
};
inline constexpr CsvStyle RussianCsv{u';', u','};
inline constexpr CsvStyle EnglishCsv{u',', u'.'};

// CSV of the plate: UTF-8 with a byte-order mark, CR LF line ends, numbers with three decimals,
// the same rows as the workbook's first sheet; separator and decimal sign as the style says.
QByteArray plateCsvBytes(const QByteArray &table, const PlateMeta &meta, const CsvStyle &style = RussianCsv);
// The workbook's bytes: sheet "Оптические плотности" (the plate, numbers with three decimals, a
// three-colour scale over the 96 cells, date, time and port above) and sheet "Текст прибора"
// (the instrument's text as received, one line per row). Empty on failure, with the reason.
QByteArray plateXlsxBytes(const QByteArray &table, const PlateMeta &meta, QString *error = nullptr);

bool writePlateXlsx(const QString &path, const QByteArray &table, const PlateMeta &meta, QString *error = nullptr);
bool writePlateCsv(const QString &path, const QByteArray &table, const PlateMeta &meta, QString *error = nullptr,
                   const CsvStyle &style = RussianCsv);
// Writes the table in the format the path's extension names (exact bytes for .xls, .txt, ...).
bool writePlateAs(const QString &path, const QByteArray &table, const PlateMeta &meta, QString *error = nullptr,
                  const CsvStyle &style = RussianCsv);

// Any other text table (rows and cells as the sheet window splits them): cells that read as
// numbers become numbers, the rest text.
QByteArray sheetCsvBytes(const QVector<QStringList> &rows, const CsvStyle &style = RussianCsv);
QByteArray sheetXlsxBytes(const QVector<QStringList> &rows, QString *error = nullptr);
