// The reader's formats without widgets or a line: table fields, the grid's labelling, the
// protocol's length and automatic name, the sheet's rows and cells, the instrument's names.
#include "core/cp1251.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "reader/odtable.h"
#include "reader/protocol.h"
#include "reader/sheetobject.h"
#include "sim/reader_sim.h"

#include <QTemporaryDir>
#include <QTest>

class TstReaderFormats : public QObject {
    Q_OBJECT

    static QString nameOf(const QByteArray &body)
    {
        return files::safeInstrumentFileName(protokol::automaticName(body));
    }
    // A body whose header window (offset 92) holds the given text.
    static QByteArray bodyWithHeader(const QString &header)
    {
        return QByteArray(protokol::HeaderOffset, '=') + cp1251::encode(header);
    }

private slots:
    void tableFieldsAreMovedUnchangedWhateverTheSeparators()
    {
        // Odd separators and row ends: only the field positions count.
        QByteArray reply("D");
        for (int r = 1; r <= 8; ++r) {
            for (int c = 1; c <= 12; ++c)
                reply += QByteArray("  ") + char('0' + r) + QByteArray::number(c).rightJustified(2, '0') + char('a' + c) + "#|";
            reply += '\n';
        }
        QCOMPARE(reply.size(), odtable::ReplyLength);
        OdTableModel grid;
        grid.fill(reply);
        QCOMPARE(grid.cell(1, 1), QByteArray("  101b"));
        QCOMPARE(grid.cell(12, 8), QByteArray("  812m"));
        QCOMPARE(grid.data(grid.index(3, 5)).toString(), QStringLiteral("  305f")); // blanks kept
        QCOMPARE(grid.data(grid.index(0, 12)).toString(), QStringLiteral("12"));
        QCOMPARE(grid.data(grid.index(8, 0)).toString(), QStringLiteral("H"));
        QVERIFY(grid.data(grid.index(0, 0)).toString().isEmpty());
        QVERIFY(!(grid.flags(grid.index(2, 2)) & Qt::ItemIsEditable));

        // Labelling empties every value cell and keeps the labels.
        grid.label();
        QVERIFY(grid.valuesEmpty());
        QCOMPARE(grid.cell(0, 1), QByteArray("A"));

        // The kept text: tag replaced by a blank, all else byte for byte.
        const QByteArray text = odtable::tableText(reply);
        QCOMPARE(text.size(), 777);
        QCOMPARE(text.at(0), ' ');
        QCOMPARE(text.mid(1), reply.mid(1));
    }

    void instrumentTableHasTheLayoutThePageReads()
    {
        const QByteArray t = ReaderSim::plateTable(3);
        QCOMPARE(t.size(), 777);
        for (int r = 1; r <= 8; ++r) {
            QCOMPARE(t.at(odtable::fieldOffset(r, 1) + 96), '\r');
            for (int c = 1; c <= 12; ++c) {
                const QByteArray f = odtable::field(t, r, c);
                QCOMPARE(f.size(), 6);
                QVERIFY2(f.at(2) == '.' || f.at(1) == '.', f.constData());
            }
        }
    }

    void announcedLength_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("length"); // -999 = not a number
        QTest::newRow("leading zeros") << QByteArray("N00250") << 250;
        QTest::newRow("all digits") << QByteArray("N12345") << 12345;
        QTest::newRow("zero") << QByteArray("N00000") << 0;
        QTest::newRow("negative") << QByteArray("N-0001") << -1;
        QTest::newRow("blanks before") << QByteArray("N  250") << 250;
        QTest::newRow("letter") << QByteArray("N00a50") << -999;
        QTest::newRow("blank after") << QByteArray("N250  ") << -999;
        QTest::newRow("only blanks") << QByteArray("N     ") << -999;
        QTest::newRow("only sign") << QByteArray("N    -") << -999;
        QTest::newRow("zero byte") << QByteArray("N00\0" "50", 6) << -999;
    }
    void announcedLength()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, length);
        const auto got = protokol::announcedLength(reply);
        if (length == -999)
            QVERIFY(!got);
        else
            QCOMPARE(got.value_or(-999), length);
    }

    void bodyTextDropsTagAndFinalCharacter()
    {
        QCOMPARE(protokol::bodyText(QByteArray("dABC\x1A")), QByteArray("ABC"));
        QCOMPARE(protokol::bodyText(QByteArray("d")), QByteArray());
        QCOMPARE(protokol::bodyText(QByteArray(250, 'x')).size(), 248);
    }

    void automaticNameFromTheHeader()
    {
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral("12 от 03.04.11      "))), QStringLiteral("2011_04_03 Pr №12"));
        // Blanks in the designation stay, between "№" and the digits.
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral("  7 от 31.12.09 xxxxx"))), QStringLiteral("2009_12_31 Pr №  7"));
        // Only the window counts: text after offset 111 is not read.
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral("123456 от 01.02.03XXX.YY.ZZ"))),
                 QStringLiteral("2003_02_01 Pr №123456"));
        // The instrument's own protocol.
        QCOMPARE(nameOf(ReaderSim::protocolText(QStringLiteral("12"), QStringLiteral("03.04.11"))),
                 QStringLiteral("2011_04_03 Pr №12"));
    }

    void automaticNameFromIncompleteHeaders()
    {
        // No " от": the designation is empty, the date is still read.
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral("12 - 03.04.11       "))), QStringLiteral("2011_04_03 Pr №"));
        // No ".": the date parts are empty.
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral("5 от сегодня        "))), QStringLiteral("20__ Pr №5"));
        // A "." at the window's edge: what falls outside is left out, nothing is read past it.
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral(".4.11"))), QStringLiteral("201_4._ Pr №"));
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral("ab от 12345678901.12"))), QStringLiteral("20_12_01 Pr №ab"));
        // Bodies shorter than the window, or than its offset.
        QCOMPARE(nameOf(bodyWithHeader(QStringLiteral("9 от 01.0"))), QStringLiteral("20_0_01 Pr №9"));
        QCOMPARE(nameOf(QByteArray(50, 'x')), QStringLiteral("20__ Pr №"));
        QCOMPARE(nameOf(QByteArray()), QStringLiteral("20__ Pr №"));
        // A designation that names another folder is refused.
        QVERIFY(nameOf(bodyWithHeader(QStringLiteral("../x от 01.02.03    "))).isEmpty());
        QVERIFY(nameOf(bodyWithHeader(QStringLiteral("a\tb от 01.02.03    "))).isEmpty());
    }

    void sheetRowsAndCells()
    {
        const QByteArray text("a\tb\tc\r1\t2\r\n\r\nx\ny\t\n\xCF\xEB");
        const auto rows = sheettext::rows(text);
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows.at(0), (QStringList{"a", "b", "c"}));
        QCOMPARE(rows.at(1), (QStringList{"1", "2"}));
        QCOMPARE(rows.at(2), QStringList{QString()});
        QCOMPARE(rows.at(4), (QStringList{"y", QString()}));
        QCOMPARE(rows.at(5), QStringList{QStringLiteral("Пл")});
        QCOMPARE(sheettext::rows("last\r").size(), 1);

        SheetModel model;
        // An optical density table is laid out as the plate, without the empty cell after the
        // last tab; other text keeps every cell and spreadsheet column letters.
        model.setBytes(ReaderSim::plateTable(1));
        QCOMPARE(model.rowCount(), 8);
        QCOMPARE(model.columnCount(), 12);
        QCOMPARE(model.headerData(11, Qt::Horizontal).toString(), QStringLiteral("12"));
        model.setBytes(ReaderSim::plateTable(1).mid(1));
        QVERIFY(!model.isPlate());
        QCOMPARE(model.columnCount(), 13); // 12 values and the empty cell after the last tab
        QCOMPARE(model.headerData(12, Qt::Horizontal).toString(), QStringLiteral("M"));
        QCOMPARE(model.headerData(26, Qt::Horizontal).toString(), QStringLiteral("AA"));
        model.setBytes(QByteArray("PK\0\0binary", 10));
        QCOMPARE(model.rowCount(), 0);
    }

    void sheetObjectHoldsACopyNotALink()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.xls"));
        QVERIFY(files::writeWhole(path, "1\t2\r3\t4\r"));
        SheetObject sheet;
        QCOMPARE(sheet.state(), SheetObject::State::InitialSheet);
        int discarded = 0, opened = 0;
        connect(&sheet, &SheetObject::discarded, this, [&] { ++discarded; });
        connect(&sheet, &SheetObject::openRequested, this, [&] { ++opened; });

        sheet.OpenSheetObject(); // the stored initial sheet is never opened
        QCOMPARE(opened, 0);
        QVERIFY(sheet.CreateSheetObjectFromFile(path));
        QCOMPARE(discarded, 1);
        QCOMPARE(opened, 0); // made, not shown
        QVERIFY(files::writeWhole(path, "changed"));
        QCOMPARE(sheet.bytes(), QByteArray("1\t2\r3\t4\r"));
        QCOMPARE(sheet.model().rowCount(), 2);
        sheet.OpenSheetObject();
        QCOMPARE(opened, 1);

        QString why;
        QVERIFY(!sheet.CreateSheetObjectFromFile(dir.filePath(QStringLiteral("none.xls")), &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(sheet.state(), SheetObject::State::Empty);
        QCOMPARE(sheet.model().rowCount(), 0);
        sheet.DiscardSheetObject(); // nothing to discard
        QCOMPARE(discarded, 2);
    }

    void saveDialogFiltersNameTheirExtensions()
    {
        QCOMPARE(suffixOfFilter(QStringLiteral("Книга Excel (*.xlsx)")), QStringLiteral("xlsx"));
        QCOMPARE(suffixOfFilter(QStringLiteral("CSV — Excel, LibreOffice (*.csv)")), QStringLiteral("csv"));
        QCOMPARE(suffixOfFilter(QStringLiteral("Таблица (*.xls *.txt)")), QStringLiteral("xls"));
        QVERIFY(suffixOfFilter(QStringLiteral("Все файлы (*)")).isEmpty());
        QVERIFY(suffixOfFilter(QStringLiteral("Все файлы (*.*)")).isEmpty());
    }

    void instrumentNamesAreCheckedBeforeUse()
    {
        const QByteArray own = ReaderSim::defaultSaveName();
        QCOMPARE(own.size(), 19);
        QCOMPARE(files::safeInstrumentFileName(own), QString::fromLatin1(own));
        // Windows-1251 letters and "№" are decoded for the file system and kept.
        QCOMPARE(files::safeInstrumentFileName(cp1251::encode(QStringLiteral("2ОП_№12_0304.txt___"))),
                 QStringLiteral("2ОП_№12_0304.txt___"));
        for (const QByteArray &hostile : ReaderSim::hostileSaveNames()) {
            QCOMPARE(hostile.size(), 19);
            QString why;
            QVERIFY2(files::safeInstrumentFileName(hostile, &why).isEmpty(), hostile.toHex().constData());
            QVERIFY(!why.isEmpty());
        }
        // ".." is refused as the whole name only; a name Windows would silently change by
        // dropping a final dot or blank, and a device name, are refused too.
        QCOMPARE(files::safeInstrumentFileName("a..b_plate_01.txt"), QStringLiteral("a..b_plate_01.txt"));
        QCOMPARE(files::safeInstrumentFileName("..hidden.txt"), QStringLiteral("..hidden.txt"));
        QCOMPARE(files::safeInstrumentFileName("CONSOLE.txt"), QStringLiteral("CONSOLE.txt"));
        for (const QByteArray &refused : {QByteArray(".."), QByteArray(" .. "), QByteArray("plate."), QByteArray("plate.txt "),
                                         QByteArray("plate..."), QByteArray("nul.txt"), QByteArray("COM1"), QByteArray("Lpt9.xls")}) {
            QString why;
            QVERIFY2(files::safeInstrumentFileName(refused, &why).isEmpty(), refused.constData());
            QVERIFY(!why.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TstReaderFormats)
#include "tst_readerformats.moc"
