// The plate as a workbook and as CSV: fields found by their positions whatever the separators,
// numbers with point or comma, the workbook read back independently, CSV bytes as written.
#include "core/cp1251.h"
#include "core/files.h"
#include "reader/plateexport.h"
#include "reader/sheetobject.h"
#include "sim/reader_sim.h"
#include "xlsxreadback.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A table whose field of row r, column c is "r.0cc" (e.g. " 3.007"), with odd separators and
// row ends, and a few fields that are not plain point numbers.
QByteArray oddTable()
{
    QByteArray reply("D");
    for (int r = 1; r <= 8; ++r) {
        for (int c = 1; c <= 12; ++c) {
            QByteArray field = QByteArray::number(r) + ".0" + QByteArray::number(c).rightJustified(2, '0');
            if (r == 2 && c == 3)
                field = "OVER  ";
            if (r == 3 && c == 5)
                field = " 0,250";
            if (r == 4 && c == 7)
                field = "=1+2; ";
            if (r == 5 && c == 1)
                field = "  -.5 ";
            reply += field.rightJustified(6, ' ') + (c % 2 ? "|;" : "  ");
        }
        reply += '\n';
    }
    return reply;
}

PlateMeta sampleMeta()
{
    PlateMeta meta;
    meta.readAt = QDateTime(QDate(2011, 4, 3), QTime(15, 30, 0));
    meta.port = QStringLiteral("COM3, 115200,n,8,1");
    return meta;
}

QString ref(int row0, int column0) { return QString(QChar(u'A' + column0)) + QString::number(row0 + 1); }
} // namespace

class TstPlateExport : public QObject {
    Q_OBJECT
private slots:
    void numbersWithPointOrCommaOnly()
    {
        QCOMPARE(plate::number(" 0.123"), std::optional<double>(0.123));
        QCOMPARE(plate::number("0,5   "), std::optional<double>(0.5));
        QCOMPARE(plate::number(" -.25 "), std::optional<double>(-0.25));
        QCOMPARE(plate::number("  +3. "), std::optional<double>(3.0));
        for (const QByteArray &no : {QByteArray("      "), QByteArray("OVER  "), QByteArray(" 1e5  "), QByteArray("  nan "),
                                    QByteArray(" inf  "), QByteArray("1.2.3 "), QByteArray("1,2.3 "), QByteArray(" 0x1F "),
                                    QByteArray("1 2   "), QByteArray("  .   "), QByteArray()})
            QVERIFY2(!plate::number(no), no.constData());
    }

    void plateFoundByPositionWhateverTheSeparators()
    {
        const plate::Fields f = plate::fields(oddTable());
        QCOMPARE(f[0][0], QByteArray(" 1.001"));
        QCOMPARE(f[7][11], QByteArray(" 8.012"));
        QCOMPARE(f[1][2], QByteArray("OVER  "));
        QVERIFY(plate::looksLikePlateTable(oddTable()));
        QVERIFY(plate::looksLikePlateTable(ReaderSim::plateTable(3, ReaderSim::TableStyle::Semicolons)));
        QByteArray kept = oddTable();
        kept[0] = ' ';
        QVERIFY(plate::looksLikePlateTable(kept));
        // Not a table: wrong length, another first character, zero bytes, no number at all.
        QVERIFY(!plate::looksLikePlateTable(oddTable().left(776)));
        QVERIFY(!plate::looksLikePlateTable(QByteArray("x") + oddTable().mid(1)));
        QVERIFY(!plate::looksLikePlateTable(QByteArray(oddTable()).replace('\n', '\0')));
        QVERIFY(!plate::looksLikePlateTable(QByteArray("D") + QByteArray(776, 'x')));

        // The sheet window's model lays such a table out as the plate, with the plate's labels.
        SheetModel model;
        model.setBytes(ReaderSim::plateTable(9, ReaderSim::TableStyle::Blanks));
        QVERIFY(model.isPlate());
        QCOMPARE(model.rowCount(), 8);
        QCOMPARE(model.columnCount(), 12);
        QCOMPARE(model.headerData(7, Qt::Vertical).toString(), QStringLiteral("H"));
        QCOMPARE(model.headerData(11, Qt::Horizontal).toString(), QStringLiteral("12"));
        const QByteArray blanks = ReaderSim::plateTable(9, ReaderSim::TableStyle::Blanks);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 12; ++c)
                QCOMPARE(model.index(r, c).data().toString(), QString::fromLatin1(blanks.mid(1 + 97 * r + 8 * c, 6).trimmed()));
        // Other text stays split at tabs.
        model.setBytes("a\tb\r\nc");
        QVERIFY(!model.isPlate());
        QCOMPARE(model.columnCount(), 2);
    }

    void colourScaleRunsFromLowestToHighest()
    {
        SheetModel model;
        model.setBytes(oddTable());
        // Lowest -0.5 (A..E row 5, column 1), highest 8.012 (H12).
        QCOMPARE(model.index(4, 0).data(SheetModel::ScaleColourRole).toUInt(), 0xFF63BE7Bu);
        QCOMPARE(model.index(7, 11).data(SheetModel::ScaleColourRole).toUInt(), 0xFFF8696Bu);
        QVERIFY(!model.index(1, 2).data(SheetModel::ScaleColourRole).isValid()); // "OVER" is no number
        const unsigned middle = model.index(3, 5).data(SheetModel::ScaleColourRole).toUInt();
        QVERIFY(middle != 0xFF63BE7Bu && middle != 0xFFF8696Bu);
        model.setColourScale(false);
        QVERIFY(!model.index(7, 11).data(SheetModel::ScaleColourRole).isValid());
    }

    void csvBytesAsWritten()
    {
        const QByteArray csv = plateCsvBytes(oddTable(), sampleMeta());
        const QByteArray expected = QByteArray("\xEF\xBB\xBF") +
            QStringLiteral("Дата и время чтения;03.04.2011 15:30:00\r\n"
                           "Порт;COM3, 115200,n,8,1\r\n"
                           "\r\n"
                           ";1;2;3;4;5;6;7;8;9;10;11;12\r\n"
                           "A;1,001;1,002;1,003;1,004;1,005;1,006;1,007;1,008;1,009;1,010;1,011;1,012\r\n"
                           "B;2,001;2,002;OVER;2,004;2,005;2,006;2,007;2,008;2,009;2,010;2,011;2,012\r\n"
                           "C;3,001;3,002;3,003;3,004;0,250;3,006;3,007;3,008;3,009;3,010;3,011;3,012\r\n"
                           "D;4,001;4,002;4,003;4,004;4,005;4,006;\"'=1+2;\";4,008;4,009;4,010;4,011;4,012\r\n"
                           "E;-0,500;5,002;5,003;5,004;5,005;5,006;5,007;5,008;5,009;5,010;5,011;5,012\r\n"
                           "F;6,001;6,002;6,003;6,004;6,005;6,006;6,007;6,008;6,009;6,010;6,011;6,012\r\n"
                           "G;7,001;7,002;7,003;7,004;7,005;7,006;7,007;7,008;7,009;7,010;7,011;7,012\r\n"
                           "H;8,001;8,002;8,003;8,004;8,005;8,006;8,007;8,008;8,009;8,010;8,011;8,012\r\n")
                .toUtf8();
        QCOMPARE(csv, expected);

        // A table from a file names the file; an unknown time leaves the date empty.
        PlateMeta fromFile;
        fromFile.source = QStringLiteral("/data/SorDat_;1.xls");
        const QList<QByteArray> lines = plateCsvBytes(oddTable(), fromFile).split('\n');
        QCOMPARE(lines.at(0), QByteArray("\xEF\xBB\xBF") + QStringLiteral("Дата и время чтения;\r").toUtf8());
        QCOMPARE(lines.at(1), QStringLiteral("Порт;не известен\r").toUtf8());
        QCOMPARE(lines.at(2), QStringLiteral("Файл;\"SorDat_;1.xls\"\r").toUtf8());

        // Any other sheet: numbers keep their digits with a decimal comma.
        QCOMPARE(sheetCsvBytes({{QStringLiteral("x"), QStringLiteral(" 1.50 ")}, {QStringLiteral("-2"), QStringLiteral("a\"b")}}),
                 QByteArray("\xEF\xBB\xBFx;1,50\r\n-2;\"a\"\"b\"\r\n"));
    }

    void workbookReadBackIndependently()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("Планшет 1.xlsx"));
        QString why;
        QVERIFY2(writePlateXlsx(path, oddTable(), sampleMeta(), &why), qPrintable(why));
        const XlsxReadBack book(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheetNames, (QStringList{QStringLiteral("Оптические плотности"), QStringLiteral("Текст прибора")}));

        // Labels: 1..12 above the plate in row 4, A..H in column A from row 5.
        for (int c = 1; c <= 12; ++c) {
            const XlsxCell label = book.cell(0, ref(3, c));
            QVERIFY(label.number);
            QCOMPARE(label.value.toInt(), c);
        }
        for (int r = 0; r < 8; ++r)
            QCOMPARE(book.cell(0, ref(4 + r, 0)).value, QString(QChar(u'A' + r)));
        // The 96 values: numbers with three decimals shown, or the field's text.
        for (int r = 1; r <= 8; ++r)
            for (int c = 1; c <= 12; ++c) {
                const XlsxCell cell = book.cell(0, ref(3 + r, c));
                if ((r == 2 && c == 3) || (r == 4 && c == 7)) {
                    QVERIFY(!cell.number);
                    continue;
                }
                QVERIFY2(cell.number, qPrintable(ref(3 + r, c)));
                QCOMPARE(cell.format, QStringLiteral("0.000"));
                double expected = r + c / 1000.0;
                if (r == 3 && c == 5)
                    expected = 0.25;
                if (r == 5 && c == 1)
                    expected = -0.5;
                QCOMPARE(cell.value.toDouble(), expected);
            }
        QCOMPARE(book.cell(0, QStringLiteral("D6")).value, QStringLiteral("OVER")); // row B, column 3
        QCOMPARE(book.cell(0, QStringLiteral("H8")).value, QStringLiteral("=1+2;")); // a text, never a formula
        QCOMPARE(book.sheets.at(0).colourScales, QStringList{QStringLiteral("B5:M12 3 3")});

        // Date and time of the reading as a date cell, the port as text.
        QCOMPARE(book.cell(0, QStringLiteral("A1")).value, QStringLiteral("Дата и время чтения"));
        const XlsxCell when = book.cell(0, QStringLiteral("B1"));
        QVERIFY(when.number);
        QCOMPARE(when.format, QStringLiteral("dd.mm.yyyy hh:mm:ss"));
        const double serial = QDate(1899, 12, 30).daysTo(QDate(2011, 4, 3)) + 15.5 / 24;
        QVERIFY(qAbs(when.value.toDouble() - serial) < 1e-6);
        QCOMPARE(book.cell(0, QStringLiteral("A2")).value, QStringLiteral("Порт"));
        QCOMPARE(book.cell(0, QStringLiteral("B2")).value, QStringLiteral("COM3, 115200,n,8,1"));

        // The instrument's text, one line per row.
        const QList<QByteArray> lines = oddTable().split('\n');
        for (int i = 0; i < 8; ++i)
            QCOMPARE(book.cell(1, ref(i, 0)).value, QString::fromLatin1(lines.at(i)));
        QVERIFY(!book.sheets.at(1).cells.contains(QStringLiteral("A9")));
    }

    void hostileBytesStillMakeAValidWorkbook()
    {
        // Control bytes, Windows-1251 letters and markup characters in fields and text.
        QByteArray table = ReaderSim::plateTable(4);
        table.replace(1, 6, QByteArray("<&\x01\x02\"'"));
        table.replace(9, 6, cp1251::encode(QStringLiteral("ПЕРЕП ")));
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("h.xlsx"));
        QString why;
        QVERIFY2(writePlateXlsx(path, table, {}, &why), qPrintable(why));
        const XlsxReadBack book(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.cell(0, QStringLiteral("C5")).value, QStringLiteral("ПЕРЕП"));
        QVERIFY(book.cell(0, QStringLiteral("B5")).value.startsWith(QStringLiteral("<&")));
        QCOMPARE(book.cell(0, QStringLiteral("B1")).value, QStringLiteral("не известны"));

        // Any other text as a workbook: numbers as numbers.
        const QByteArray generic =
            sheetXlsxBytes({{QStringLiteral("Лунка"), QStringLiteral("0,5")}, {QString(40000, QLatin1Char('x'))}}, &why);
        QVERIFY2(!generic.isEmpty(), qPrintable(why));
        QVERIFY(files::writeWhole(path, generic));
        const XlsxReadBack other(path);
        QCOMPARE(other.cell(0, QStringLiteral("A1")).value, QStringLiteral("Лунка"));
        QVERIFY(other.cell(0, QStringLiteral("B1")).number);
        QCOMPARE(other.cell(0, QStringLiteral("B1")).value.toDouble(), 0.5);
        // A line longer than a cell may hold is cut, not lost.
        QCOMPARE(other.cell(0, QStringLiteral("A2")).value, QString(32767, QLatin1Char('x')));
    }

    void filesAreWrittenWholeOrNotAtAllAndByExtension()
    {
        QTemporaryDir dir;
        const QByteArray table = ReaderSim::plateTable(2);
        // A folder that does not exist: nothing written, the reason given.
        QString why;
        QVERIFY(!writePlateXlsx(QDir(dir.path()).filePath(QStringLiteral("none/p.xlsx")), table, {}, &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!writePlateCsv(QDir(dir.path()).filePath(QStringLiteral("none/p.csv")), table, {}, &why));
        // An existing file is replaced whole.
        const QString book = QDir(dir.path()).filePath(QStringLiteral("p.XLSX"));
        QVERIFY(files::writeWhole(book, QByteArray(100000, 'x')));
        QVERIFY(writePlateAs(book, table, sampleMeta()));
        QByteArray bytes;
        QVERIFY(files::readWhole(book, &bytes));
        QVERIFY(bytes.startsWith("PK\x03\x04"));
        QVERIFY(!bytes.contains(QByteArray(100, 'x')));
        // .csv is CSV, .xls and .txt keep the exact bytes.
        const QString csv = QDir(dir.path()).filePath(QStringLiteral("p.csv"));
        QVERIFY(writePlateAs(csv, table, sampleMeta()));
        QVERIFY(files::readWhole(csv, &bytes));
        QCOMPARE(bytes, plateCsvBytes(table, sampleMeta()));
        for (const QString &name : {QStringLiteral("p.xls"), QStringLiteral("p.txt"), QStringLiteral("p")}) {
            const QString exact = QDir(dir.path()).filePath(name);
            QVERIFY(writePlateAs(exact, table, sampleMeta()));
            QVERIFY(files::readWhole(exact, &bytes));
            QCOMPARE(bytes, table);
        }
    }
};

QTEST_GUILESS_MAIN(TstPlateExport)
#include "tst_plateexport.moc"
