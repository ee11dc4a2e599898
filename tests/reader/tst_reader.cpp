// The reader pages through the real main window, the real serial layer and the virtual
// instrument: optical density table, spreadsheet window, results protocol.
#include "app/mainwindow.h"
#include "core/cp1251.h"
#include "core/files.h"
#include "reader/odpage.h"
#include "reader/sheetobject.h"
#include "reader/readerfeature.h"
#include "reader/readerfiles.h"
#include "reader/resultpage.h"
#include "reader/sheetwindow.h"
#include "sim/reader_sim.h"
#include "reader/readerfiles.h"
#include "support/smalldisk.h"
#include "support/testbed.h"
#include "xlsxreadback.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <sys/stat.h>

namespace {
constexpr int Patience = 10000;

QByteArray fileBytes(const QString &path)
{
    QByteArray bytes;
    files::readWhole(path, &bytes);
    return bytes;
}

// A bench with the link up and the actions enabled. The link check is then held still so its
// probes do not mingle with the instrument's notices; the exchanges start it again at their end.
struct Bench {
    TestBed bed;
    TFormMainKviroS_D7 &w = bed.window();
    ReaderFeature &reader = w.reader();
    ReaderSim &sim = bed.instrument().reader();

    Bench()
    {
        bed.tick();
        bed.tick();
        hold();
    }
    void hold()
    {
        w.link().stopPortSearch();
        TestBed::pump(30);
        w.link().FlushInput();
        bed.instrument().core().clearReceived();
    }
    template <class T> T *find(const char *name) { return w.findChild<T *>(QLatin1String(name)); }
    QPushButton *button(const char *name) { return find<QPushButton>(name); }
    QString dir() const { return bed.programDir(); }
    QString cell(int column, int row) { return reader.od().grid().data(reader.od().grid().index(row, column)).toString(); }
    // A measured plate fetched through the notice.
    void measure(unsigned seed = 5)
    {
        sim.measurePlate(seed);
        QTRY_COMPARE_WITH_TIMEOUT(reader.od().OpText.size(), 777, Patience);
        hold();
    }
};
} // namespace

class TstReader : public QObject {
    Q_OBJECT
private slots:
    void noticeFillsTheGridAndSaveRequestWritesTheTable()
    {
        Bench b;
        b.w.ActionReader->trigger();
        QVERIFY(!b.button("btnSaveOP")->isEnabled());
        QVERIFY(!b.button("btnCreateExcel")->isEnabled());
        auto *autoRead = b.find<QCheckBox>("chckAutoReadOP");
        QSignalSpy ticks(autoRead, &QCheckBox::toggled);

        QCOMPARE(b.bed.instrument().control(QStringLiteral("measure 5")), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(b.reader.od().OpText.size(), 777, Patience);
        const QByteArray table = ReaderSim::plateTable(5);
        QCOMPARE(b.bed.instrument().core().received(), QByteArray("G"));
        for (int r = 1; r <= 8; ++r)
            for (int c = 1; c <= 12; ++c)
                QCOMPARE(b.cell(c, r), QString::fromLatin1(table.mid(1 + 97 * (r - 1) + 8 * (c - 1), 6)));
        QCOMPARE(b.cell(1, 0), QStringLiteral("1"));
        QCOMPARE(b.cell(0, 1), QStringLiteral("A"));
        QCOMPARE(b.w.status().text(), QStringLiteral("Оптические плотности приняты"));
        QCOMPARE(b.w.status().progress(), 0);
        // Ticked at the notice, cleared with the complete table.
        QCOMPARE(ticks.size(), 2);
        QVERIFY(!autoRead->isChecked());
        QVERIFY(b.button("btnSaveOP")->isEnabled() && b.button("btnCreateExcel")->isEnabled());
        QVERIFY(b.w.link().rxBuffer().isEmpty());
        QVERIFY(b.w.link().portSearchRunning());
        b.hold();

        // The instrument names the file: the leading '2' is part of the name; the bytes are the
        // table with a blank for the tag, no line end added.
        b.sim.sendSaveRequest();
        const QString saved = b.dir() + QStringLiteral("20110403_153000.txt");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(saved), Patience);
        QCOMPARE(fileBytes(saved), QByteArray(" ") + table.mid(1));
        QCOMPARE(b.w.status().text(), QStringLiteral("Данные записаны в файл: 20110403_153000.txt"));
        QVERIFY(b.w.link().rxBuffer().isEmpty());

        // A Cyrillic name is decoded for the file system.
        b.sim.sendSaveRequest(cp1251::encode(QStringLiteral("ОП_№12.txt")));
        const QString cyrillic = b.dir() + QStringLiteral("2ОП_№12.txt________");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cyrillic), Patience);
        QCOMPARE(fileBytes(cyrillic), fileBytes(saved));
    }

    void tableSplitAcrossManyNotifications()
    {
        Bench b;
        b.bed.instrument().port().setChunking(37, 3);
        QStringList texts;
        QList<int> progress;
        connect(&b.w.status(), &StatusModel::textChanged, this, [&](const QString &t) { texts << t; });
        connect(&b.w.status(), &StatusModel::progressChanged, this, [&](int p) { progress << p; });
        b.w.ActionReader->trigger();
        b.button("btnReadOP")->click();
        QVERIFY(!b.w.link().portSearchRunning());
        QTRY_COMPARE_WITH_TIMEOUT(b.reader.od().OpText.size(), 777, Patience);
        QCOMPARE(b.bed.instrument().reader().tableRequests, 1);
        // The count grows piece by piece, each shown as digits only; progress follows.
        QVERIFY2(texts.size() >= 10, qPrintable(texts.join(QLatin1Char(','))));
        int last = 0;
        for (int i = 0; i + 1 < texts.size(); ++i) {
            bool ok = false;
            const int n = texts.at(i).toInt(&ok);
            QVERIFY2(ok && n > last && n <= 777, qPrintable(texts.at(i)));
            last = n;
        }
        QCOMPARE(texts.last(), QStringLiteral("Оптические плотности приняты"));
        QVERIFY(progress.contains(4) || progress.size() > 10);
        QCOMPARE(progress.last(), 0);
        QCOMPARE(b.reader.od().OpText, QByteArray(" ") + b.sim.tableReply().mid(1));
    }

    void tableTakesItsOwnLengthAndTheNoticeBehindItIsServed()
    {
        Bench b;
        const QByteArray table = b.sim.tableReply();
        b.bed.instrument().sendBehindReply('G', "G"); // a notice glued behind the table, once
        b.button("btnReadOP")->click();
        QTRY_COMPARE_WITH_TIMEOUT(b.sim.tableRequests, 2, Patience);
        QTRY_VERIFY_WITH_TIMEOUT(!b.w.link().exchangeRunning(), Patience);
        TestBed::pump(200);
        QCOMPARE(b.sim.tableRequests, 2);
        QCOMPARE(b.reader.od().OpText, ' ' + table.mid(1));
        QVERIFY(!b.reader.od().grid().valuesEmpty());
    }

    void pageSwitchShowsTheHeldTableAndItSaves()
    {
        Bench b;
        b.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b.w));
        b.w.ActionReader->trigger();
        b.measure(7);
        auto *page = b.reader.odPage();
        QVERIFY(!b.reader.od().grid().valuesEmpty());

        const QString lastCell = b.cell(12, 8);
        QVERIFY(!lastCell.trimmed().isEmpty());
        b.w.pages()->setCurrentIndex(TFormMainKviroS_D7::PageAbout);
        b.w.pages()->setCurrentIndex(TFormMainKviroS_D7::PageReader);
        // Relabelled, and the table still held is shown again.
        QCOMPARE(b.cell(12, 8), lastCell);
        QCOMPARE(b.cell(12, 0), QStringLiteral("12"));
        QCOMPARE(b.cell(0, 8), QStringLiteral("H"));
        // The grid panel and its rows and columns follow the page.
        QCOMPARE(page->gridPanel->geometry(), QRect(0, 20, page->width(), page->height() - 100));
        QCOMPARE(page->grid->columnWidth(0), 15);
        QCOMPARE(page->grid->rowHeight(0), 17);
        QCOMPARE(page->grid->columnWidth(5), page->gridPanel->width() / 13);
        QCOMPARE(page->grid->rowHeight(8), (page->gridPanel->height() - 20) / 9);
        QCOMPARE(page->grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(page->grid->editTriggers() == QAbstractItemView::NoEditTriggers);

        // Still enabled, still the whole last table, whatever the extension.
        QVERIFY(b.button("btnSaveOP")->isEnabled());
        const QString xls = b.dir() + QStringLiteral("plate.xls");
        b.bed.dialogs.saveAnswers << xls;
        b.button("btnSaveOP")->click();
        QCOMPARE(fileBytes(xls), QByteArray(" ") + ReaderSim::plateTable(7).mid(1));
        // The status says which table was written, by the time it came.
        const QDateTime received = b.reader.od().tableReceivedAt();
        QVERIFY(received.isValid());
        QCOMPARE(b.w.status().text(), QStringLiteral("Данные записаны в файл. Записана таблица, принятая %1 в %2.")
                                          .arg(received.toString(QStringLiteral("dd.MM.yyyy")), received.toString(QStringLiteral("HH:mm:ss"))));
        const FileDialogRequest &asked = b.bed.dialogs.saveRequests.last();
        QCOMPARE(asked.fileName, QStringLiteral("SorDat_"));
        QCOMPARE(asked.defaultSuffix, QStringLiteral("xlsx"));
        QCOMPARE(QDir(asked.folder), QDir(b.dir()));
        // The workbook first; each text form named for what it is.
        QCOMPARE(asked.filter.split(QStringLiteral(";;")),
                 (QStringList{QStringLiteral("Книга Excel (*.xlsx)"),
                              QStringLiteral("CSV для русских настроек: «;», десятичная запятая (*.csv)"),
                              QStringLiteral("CSV для английских настроек: «,», десятичная точка (*.csv)"),
                              QStringLiteral("Текст прибора, открывается в Excel (*.xls)"),
                              QStringLiteral("Текст прибора (*.txt)")}));
        // The object is made from the saved file and not shown.
        QCOMPARE(b.reader.sheet().state(), SheetObject::State::FromFile);
        QVERIFY(!b.reader.sheetWindow() || !b.reader.sheetWindow()->isVisible());

        // A workbook and CSV by the chosen name's extension; ".txt" the plain text as ".xls"; the
        // CSV for English settings when its filter is chosen.
        const QString book = b.dir() + QStringLiteral("plate.xlsx"), csv = b.dir() + QStringLiteral("plate.csv"),
                      txt = b.dir() + QStringLiteral("plate.txt"), csvEn = b.dir() + QStringLiteral("plate-en.csv");
        b.bed.dialogs.saveAnswers << book << csv << txt << csvEn;
        b.bed.dialogs.saveFilterAnswers << QString() << QString() << QString()
                                        << QStringLiteral("CSV для английских настроек: «,», десятичная точка (*.csv)");
        for (int i = 0; i < 4; ++i)
            b.button("btnSaveOP")->click();
        QVERIFY(b.bed.dialogs.errors.isEmpty());
        QCOMPARE(fileBytes(txt), fileBytes(xls));
        QVERIFY(fileBytes(book).startsWith("PK\x03\x04"));
        const XlsxReadBack readBack(book);
        QVERIFY2(readBack.error.isEmpty(), qPrintable(readBack.error));
        QCOMPARE(readBack.cell(0, QStringLiteral("M12")).value.toDouble(),
                 ReaderSim::plateTable(7).mid(1 + 97 * 7 + 8 * 11, 6).trimmed().toDouble());
        QCOMPARE(readBack.cell(0, QStringLiteral("B2")).value, QStringLiteral("COM3, 115200,n,8,1"));
        const QByteArray csvBytes = fileBytes(csv);
        QVERIFY(csvBytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(csvBytes.contains("\r\nA;" + ReaderSim::plateTable(7).mid(1, 6).trimmed().replace('.', ',') + ';'));

        // English settings: "," between fields, a decimal point; the port text quoted.
        const QByteArray csvEnBytes = fileBytes(csvEn);
        QVERIFY(csvEnBytes.contains("\r\nA," + ReaderSim::plateTable(7).mid(1, 6).trimmed().replace(',', '.') + ','));
        QVERIFY(csvEnBytes.contains("\"COM3, 115200,n,8,1\""));

        // The action repeats the labelling even on the current page, and shows the held table.
        b.reader.od().grid().label();
        b.w.ActionReader->trigger();
        QCOMPARE(b.cell(12, 8), lastCell);
    }

    void aTableAndItsTimeBelongTogether()
    {
        Bench b;
        // No table yet: saving and the spreadsheet view refuse, nothing is written.
        const QStringList before = QDir(b.dir()).entryList(QDir::Files);
        b.reader.od().btnSaveOPClick();
        b.reader.od().btnCreateExcelClick();
        QCOMPARE(QDir(b.dir()).entryList(QDir::Files), before);
        QCOMPARE(b.w.status().text(), QStringLiteral("Таблица оптических плотностей не принята: записывать нечего."));

        b.measure(3);
        const QByteArray table = b.reader.od().OpText;
        const QString words = b.reader.od().tableWords();
        // The next table stops short: the fetch fails, the last complete table stays with its time.
        b.sim.setTableReply(b.sim.tableReply().left(400));
        b.button("btnReadOP")->click();
        QVERIFY(b.w.link().exchangeRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!b.w.link().exchangeRunning(), Patience); // given up: the instrument fell silent
        QCOMPARE(b.reader.od().OpText, table);
        QCOMPARE(b.reader.od().tableWords(), words);
        const QString path = b.dir() + QStringLiteral("after.txt");
        b.bed.dialogs.saveAnswers << path;
        b.button("btnSaveOP")->click();
        QCOMPARE(fileBytes(path), table);
        QCOMPARE(b.w.status().text(), QStringLiteral("Данные записаны в файл. Записана ") + words + QLatin1Char('.'));
    }

    void failedWritesAreReportedAndChangeNothing()
    {
        Bench b;
        b.measure(4);
        const QByteArray table = b.reader.od().OpText;
        b.w.status().setText(QStringLiteral("-"));

        // The chosen file's folder does not exist.
        b.bed.dialogs.saveAnswers << b.dir() + QStringLiteral("missing/plate.txt");
        b.button("btnSaveOP")->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 1);
        QCOMPARE(b.w.status().text(), QStringLiteral("-"));
        QCOMPARE(b.reader.od().OpText, table);
        QVERIFY(b.button("btnSaveOP")->isEnabled());

        // The instrument's name is taken by a folder.
        QVERIFY(QDir(b.dir()).mkdir(QStringLiteral("20110403_153000.txt")));
        b.sim.sendSaveRequest();
        QTRY_COMPARE_WITH_TIMEOUT(b.bed.dialogs.errors.size(), 2, Patience);
        QCOMPARE(b.w.status().text(), QStringLiteral("-"));
        QVERIFY(b.w.link().rxBuffer().isEmpty());

        // The spreadsheet's working file is taken by a folder: no object made or shown.
        QVERIFY(QDir(b.dir()).mkdir(QStringLiteral("TempBDTS.xls")));
        b.button("btnCreateExcel")->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 3);
        QVERIFY(!b.reader.sheetWindow());

        // An unreadable file for "Из файла в Excel": reported, the container left empty.
        b.bed.dialogs.openAnswers << b.dir() + QStringLiteral("none.xls");
        b.button("btnFileToExcel")->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 4);
        QCOMPARE(b.reader.sheet().state(), SheetObject::State::Empty);
        QVERIFY(!b.reader.sheetWindow());
    }

    void hostileNamesAreRefused()
    {
        Bench b;
        b.measure(2);
        const QString outside = QDir(b.dir()).absoluteFilePath(QStringLiteral("../../../evil.txt"));
        const QStringList before = QDir(b.dir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (int n = 0; n < ReaderSim::hostileSaveNames().size(); ++n) {
            b.w.status().setText(QString());
            QVERIFY(b.bed.instrument().control(QStringLiteral("save-hostile %1").arg(n)).startsWith(QStringLiteral("ok")));
            QTRY_VERIFY_WITH_TIMEOUT(b.w.status().text().startsWith(QStringLiteral("Имя файла от прибора отклонено")),
                                     Patience);
            QVERIFY(b.w.link().rxBuffer().isEmpty());
        }
        QCOMPARE(QDir(b.dir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(!QFile::exists(outside));
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/kviro_evl.txt")));
        // The next request is recognised by its own tag.
        b.sim.sendSaveRequest();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(b.dir() + QStringLiteral("20110403_153000.txt")), Patience);
    }

    void sheetWindowShowsTheTableAndIsReplacedAndClosed()
    {
        Bench b;
        b.measure(6);
        b.button("btnCreateExcel")->click();
        SheetWindow *sheet = b.reader.sheetWindow();
        QVERIFY(sheet);
        QVERIFY(sheet->isVisible());
        QVERIFY(sheet->isWindow());
        QCOMPARE(fileBytes(b.dir() + QStringLiteral("TempBDTS.xls")), b.reader.od().OpText);
        QCOMPARE(b.w.status().text(), QStringLiteral("В Excel передана ") + b.reader.od().tableWords() + QLatin1Char('.'));
        QVERIFY(b.reader.od().tableWords().startsWith(QStringLiteral("таблица, принятая ")));
        QAbstractItemModel *model = sheet->table->model();
        QCOMPARE(model->rowCount(), 8);
        QCOMPARE(model->columnCount(), 12);
        QCOMPARE(model->index(1, 0).data().toString(), QString::fromLatin1(ReaderSim::plateTable(6).mid(98, 6).trimmed()));
        // Named by the plate's time of reading, not by the working file.
        const QDateTime readAt = b.reader.od().tableReceivedAt();
        QCOMPARE(sheet->windowTitle(), QStringLiteral("Таблица Excel - ОП, принятые ") + readAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));

        // The desktop's application gets a workbook of the object's own copy, even after the file
        // changed, under a new name at each open.
        QList<QUrl> opened;
        sheet->setOpener([&](const QUrl &u) {
            opened << u;
            return true;
        });
        QVERIFY(files::writeWhole(b.dir() + QStringLiteral("TempBDTS.xls"), "changed"));
        sheet->btnOpenInSpreadsheetApp->click();
        sheet->btnOpenInSpreadsheetApp->click();
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened.at(0) != opened.at(1));
        for (const QUrl &url : opened) {
            QVERIFY(url.toLocalFile().endsWith(QStringLiteral(".xlsx")));
            const XlsxReadBack copy(url.toLocalFile());
            QVERIFY2(copy.error.isEmpty(), qPrintable(copy.error));
            QCOMPARE(copy.cell(0, QStringLiteral("B6")).value.toDouble(), ReaderSim::plateTable(6).mid(98, 6).trimmed().toDouble());
        }
        // No program for workbooks: the operator is told why and what to do.
        sheet->setOpener([](const QUrl &) { return false; });
        sheet->btnOpenInSpreadsheetApp->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 1);
        QVERIFY2(b.bed.dialogs.errors.last().contains(QStringLiteral("не задана программа электронных таблиц. Установите")),
                 qPrintable(b.bed.dialogs.errors.last()));
        b.bed.dialogs.errors.clear();

        // "Из файла в Excel" replaces the object: the same window shows the other file.
        const QString other = b.dir() + QStringLiteral("other.xls");
        QVERIFY(files::writeWhole(other, "x\ty\rz\r"));
        b.bed.dialogs.openAnswers << other;
        const int generation = b.reader.sheet().generation();
        b.button("btnFileToExcel")->click();
        QCOMPARE(b.reader.sheet().generation(), generation + 1);
        QCOMPARE(b.reader.sheetWindow(), sheet);
        QVERIFY(sheet->isVisible());
        QCOMPARE(model->rowCount(), 2);
        // Every form the view reads is offered, the operator's own .txt and .csv saves among them.
        QVERIFY(b.bed.dialogs.openRequests.last().filter.startsWith(QStringLiteral("Таблицы (*.xls *.txt *.csv *.xlsx);;")));
        QCOMPARE(b.bed.dialogs.openRequests.last().fileName, QStringLiteral("SorDat_"));

        // A new request closes the view without saving and empties the object.
        b.button("btnReadOP")->click();
        QVERIFY(!sheet->isVisible());
        QCOMPARE(b.reader.sheet().state(), SheetObject::State::Empty);
        QTRY_COMPARE_WITH_TIMEOUT(b.reader.od().OpText.size(), 777, Patience);

        // A notice does the same.
        b.hold();
        b.button("btnCreateExcel")->click();
        QVERIFY(sheet->isVisible());
        b.sim.measurePlate(8);
        QTRY_VERIFY_WITH_TIMEOUT(!sheet->isVisible(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(b.reader.od().OpText.size(), 777, Patience);
    }

    void portClosedRequestsSendNothing()
    {
        TestBed bed(false);
        auto &w = bed.window();
        w.reader().od().btnReadOPClick();
        QCOMPARE(w.status().text(), QStringLiteral("Порт отключен."));
        w.status().setText(QString());
        w.reader().protocol().btnReadProtokolClick();
        QCOMPARE(w.status().text(), QStringLiteral("Порт отключен."));
        QVERIFY(!w.link().nullDiscard());
    }

    void protocolLengthAndBodyExchange()
    {
        Bench b;
        b.w.ActionFile->trigger();
        auto *page = b.reader.resultPage();
        QVERIFY(!page->btnSaveProtokol->isEnabled());
        QVERIFY(page->protocolView->isReadOnly());
        QCOMPARE(page->protocolView->lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(page->protocolView->font().fixedPitch());

        // A 250-character reply: the working file holds the 248 bytes between tag and final one.
        QByteArray body = ReaderSim::protocolText(QStringLiteral("12"), QStringLiteral("03.04.11")).left(246);
        body += "\r\n";
        b.sim.setProtocolBody(body);
        QCOMPARE(b.sim.announcement(), QByteArray("N00250"));
        QList<int> progress;
        connect(&b.w.status(), &StatusModel::progressChanged, this, [&](int p) { progress << p; });
        b.bed.instrument().port().setChunking(40, 3);
        b.w.link().setNullDiscard(false);
        page->btnReadProtokol->click();
        QVERIFY(b.w.link().nullDiscard());
        const QString working = b.dir() + QStringLiteral("MSTempProtokol.txt");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(working), Patience);
        QCOMPARE(b.bed.instrument().core().received(), QByteArray("gd"));
        QCOMPARE(b.reader.protocol().ProtokolLen, 250);
        QCOMPARE(fileBytes(working), body);
        QCOMPARE(fileBytes(working).size(), 248);
        QVERIFY(page->protocolView->toPlainText().startsWith(QStringLiteral("СОРВИНТ зав.№ 3070")));
        QVERIFY(page->protocolView->toPlainText().contains(QRegularExpression(QStringLiteral("ИЗМЕРЕНИЙ +№ 12 от 03.04.11\n"))));
        QVERIFY(page->btnSaveProtokol->isEnabled());
        QVERIFY(progress.size() > 3);
        QCOMPARE(progress.last(), 0);
        QVERIFY(b.w.link().portSearchRunning());
        b.hold();

        // Cleared view, then "Данные в файл": the last complete protocol is still saved.
        page->btnClearProtocol->click();
        QVERIFY(page->protocolView->toPlainText().isEmpty());
        const QString chosen = b.dir() + QStringLiteral("prot.xls");
        b.bed.dialogs.saveAnswers << chosen;
        page->btnSaveProtokol->click();
        QCOMPARE(fileBytes(chosen), body);
        QCOMPARE(b.w.status().text(), QStringLiteral("Данные записаны в файл."));
        QCOMPARE(b.bed.dialogs.saveRequests.last().fileName, QStringLiteral("SorDat_"));
    }

    void noticeFetchesAndSavesUnderTheHeadersName()
    {
        Bench b;
        b.w.ActionFile->trigger();
        auto *page = b.reader.resultPage();
        page->chckAutoSaveRes->click();
        QVERIFY(b.reader.protocol().autoSave());
        b.w.reader().od().setReadEnabled(false);
        b.w.link().setNullDiscard(false);
        QStringList texts;
        connect(&b.w.status(), &StatusModel::textChanged, this, [&](const QString &t) { texts << t; });

        b.sim.announceResults();
        const QString automatic = b.dir() + QStringLiteral("2011_04_03 Pr №12");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(automatic), Patience);
        QCOMPARE(fileBytes(automatic), b.sim.protocolBody());
        QCOMPARE(fileBytes(b.dir() + QStringLiteral("MSTempProtokol.txt")), b.sim.protocolBody());
        QVERIFY(texts.contains(QStringLiteral("Результаты измерений готовы")));
        QCOMPARE(texts.last(), QStringLiteral("Протокол записан в файл: 2011_04_03 Pr №12"));
        QCOMPARE(b.reader.protocol().ProtokolFileName, QStringLiteral("2011_04_03 Pr №12"));
        QVERIFY(b.reader.od().readEnabled()); // the notice enables the OD page's request
        QVERIFY(!b.w.link().nullDiscard()); // left as the last exchange set it
        QVERIFY(!page->chckAutoReadRes->isChecked());
        b.hold();

        // A designation that would leave the folder is refused and reported.
        b.bed.instrument().control(QStringLiteral("protocol ../../x 05.06.12"));
        texts.clear();
        page->btnReadProtokol->click();
        QTRY_VERIFY_WITH_TIMEOUT(!texts.isEmpty() && texts.last().startsWith(QStringLiteral("Имя протокола отклонено")),
                                 Patience);
        QVERIFY(!QFile::exists(b.dir() + QStringLiteral("../../x")));
        QVERIFY(page->protocolView->toPlainText().contains(QStringLiteral("../../x от 05.06.12")));
    }

    void brokenProtocolRepliesDoNotStickOrCrash()
    {
        Bench b;
        // A body while no length was announced belongs to no exchange: held, measured by nothing,
        // until the next tick empties the buffer.
        b.w.status().setText(QStringLiteral("-"));
        b.bed.instrument().sendRaw("dstray body\x1A");
        QTRY_COMPARE_WITH_TIMEOUT(b.w.link().rxBuffer(), QByteArray("dstray body\x1A"), Patience);
        QCOMPARE(b.w.status().text(), QStringLiteral("-"));
        b.bed.tick();
        QVERIFY(b.w.link().rxBuffer().isEmpty());
        b.hold();

        // A length that is not a number: reported, nothing requested, buffer emptied.
        QCOMPARE(b.bed.instrument().control(QStringLiteral("announce 00a50")), QStringLiteral("ok"));
        b.reader.resultPage()->btnReadProtokol->click();
        QTRY_COMPARE_WITH_TIMEOUT(b.w.status().text(), QStringLiteral("Неверная длина протокола: 00a50"), Patience);
        QVERIFY(b.w.link().rxBuffer().isEmpty());
        QCOMPARE(b.sim.bodyRequests, 0);
        QVERIFY(b.w.link().portSearchRunning());
        b.hold();

        // Zero: the exchange ends at once, as for a length that is no number.
        b.sim.setAnnouncementOverride(QByteArray("00000"));
        b.reader.resultPage()->btnReadProtokol->click();
        QTRY_COMPARE_WITH_TIMEOUT(b.w.status().text(), QStringLiteral("Неверная длина протокола: 00000"), Patience);
        QCOMPARE(b.sim.lengthRequests, 2);
        QCOMPARE(b.sim.bodyRequests, 0);
        QVERIFY(b.w.link().rxBuffer().isEmpty());
        QVERIFY(b.w.link().portSearchRunning());
        b.hold();

        // A body shorter than the header window still gets a name, and later replies work.
        b.bed.instrument().control(QStringLiteral("announce auto"));
        b.sim.setProtocolBody("short");
        b.reader.protocol().setAutoSave(true);
        b.reader.resultPage()->btnReadProtokol->click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(b.dir() + QStringLiteral("20__ Pr №")), Patience);
        QCOMPARE(fileBytes(b.dir() + QStringLiteral("20__ Pr №")), QByteArray("short"));
        b.hold();

        // The working file cannot be written: reported, the view and the files stay as they were.
        QVERIFY(QFile::remove(b.dir() + QStringLiteral("MSTempProtokol.txt")));
        QVERIFY(QDir(b.dir()).mkdir(QStringLiteral("MSTempProtokol.txt")));
        const QString shown = b.reader.resultPage()->protocolView->toPlainText();
        b.sim.setProtocol(QStringLiteral("13"), QStringLiteral("04.04.11"));
        b.reader.resultPage()->btnReadProtokol->click();
        QTRY_COMPARE_WITH_TIMEOUT(b.bed.dialogs.errors.size(), 1, Patience);
        QCOMPARE(b.reader.resultPage()->protocolView->toPlainText(), shown);
        QVERIFY(!QFile::exists(b.dir() + QStringLiteral("2011_04_04 Pr №13")));
        QVERIFY(b.w.link().rxBuffer().isEmpty());
        QVERIFY(b.w.link().portSearchRunning());
    }

    void tableWithOtherSeparatorsLandsInThePlateEverywhere()
    {
        Bench b;
        b.sim.setTableStyle(ReaderSim::TableStyle::Semicolons);
        b.measure(11);
        const QByteArray reply = b.sim.tableReply();
        QCOMPARE(reply.at(7), ';');
        auto field = [&](int r, int c) { return reply.mid(1 + 97 * r + 8 * c, 6).trimmed(); }; // both from 0

        b.button("btnCreateExcel")->click();
        SheetWindow *sheet = b.reader.sheetWindow();
        QVERIFY(sheet && sheet->isVisible());
        QAbstractItemModel *model = sheet->table->model();
        QCOMPARE(model->rowCount(), 8);
        QCOMPARE(model->columnCount(), 12);
        QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QStringLiteral("A"));
        QCOMPARE(model->headerData(11, Qt::Horizontal).toString(), QStringLiteral("12"));
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 12; ++c)
                QCOMPARE(model->index(r, c).data().toString(), QString::fromLatin1(field(r, c)));

        // The colour scale is on for a plate and can be switched off.
        QVERIFY(sheet->chckColourScale->isVisible());
        QVERIFY(sheet->chckColourScale->isChecked());
        QVERIFY(model->index(0, 0).data(SheetModel::ScaleColourRole).isValid());
        // The legend gives the values of the colours: the lowest, the median, the highest.
        QVERIFY(sheet->lbScaleLegend->isVisible());
        QVector<double> values;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 12; ++c)
                values << QString::fromLatin1(field(r, c)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
        std::sort(values.begin(), values.end());
        const QLocale russian(QLocale::Russian, QLocale::Russia);
        const QString legend = sheet->lbScaleLegend->accessibleName();
        QCOMPARE(legend, QStringLiteral("Шкала: наименьшее %1, медиана %2, наибольшее %3")
                             .arg(russian.toString(values.first(), 'f', 3), russian.toString((values.at(47) + values.at(48)) / 2, 'f', 3),
                                  russian.toString(values.last(), 'f', 3)));
        // The plate names its time of reading and port.
        QVERIFY(sheet->lbPlateInfo->isVisible());
        QVERIFY2(sheet->lbPlateInfo->text().endsWith(QStringLiteral("; порт: COM3, 115200,n,8,1")), qPrintable(sheet->lbPlateInfo->text()));
        sheet->chckColourScale->click();
        QVERIFY(!model->index(0, 0).data(SheetModel::ScaleColourRole).isValid());
        QVERIFY(!sheet->lbScaleLegend->isVisible());
        sheet->chckColourScale->click();

        // The grid is one Tab stop: the arrows move inside, Tab goes on to the next control.
        sheet->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(sheet));
        sheet->table->setFocus();
        QTRY_VERIFY(sheet->table->hasFocus());
        QTest::keyClick(sheet->table, Qt::Key_Tab);
        QVERIFY(!sheet->table->hasFocus());

        // "Сохранить как…": a workbook and CSV with the 96 values in place.
        const QString book = b.dir() + QStringLiteral("semicolons.xlsx"), csv = b.dir() + QStringLiteral("semicolons.csv");
        b.bed.dialogs.saveAnswers << book << csv;
        sheet->btnSaveAs->click();
        sheet->btnSaveAs->click();
        QVERIFY(b.bed.dialogs.errors.isEmpty());
        const FileDialogRequest &asked = b.bed.dialogs.saveRequests.last();
        QCOMPARE(asked.filter, readerfiles::workbookFilters());
        QCOMPARE(asked.fileName, b.reader.od().tableReceivedAt().toString(QStringLiteral("yyyy_MM_dd_HH-mm-ss")) + QStringLiteral(" ОП.xlsx"));
        const XlsxReadBack readBack(book);
        QVERIFY2(readBack.error.isEmpty(), qPrintable(readBack.error));
        const QList<QByteArray> csvLines = fileBytes(csv).split('\n');
        for (int r = 0; r < 8; ++r) {
            QByteArray line = QByteArray(1, char('A' + r));
            for (int c = 0; c < 12; ++c) {
                const XlsxCell cell = readBack.cell(0, QString(QChar(u'B' + c)) + QString::number(5 + r));
                QVERIFY(cell.number);
                QCOMPARE(cell.format, QStringLiteral("0.000"));
                QCOMPARE(cell.value.toDouble(), QByteArray(field(r, c)).replace(',', '.').toDouble());
                line += ';' + field(r, c);
            }
            QCOMPARE(csvLines.at(4 + r), line + '\r');
        }
    }

    void autoSaveWritesTextAndWorkbookAndNeverOverwrites()
    {
        Bench b;
        b.reader.odPage()->chckAutoSaveOP->click();
        QVERIFY(b.reader.od().autoSave());
        b.measure(12);
        const QRegularExpression stemPattern(QStringLiteral("^20\\d\\d_\\d\\d_\\d\\d_\\d\\d-\\d\\d-\\d\\d ОП$"));
        const QStringList texts = QDir(b.dir()).entryList({QStringLiteral("*ОП.txt")}, QDir::Files);
        QCOMPARE(texts.size(), 1);
        const QString stem = texts.first().chopped(4);
        QVERIFY2(stemPattern.match(stem).hasMatch(), qPrintable(stem));
        QCOMPARE(b.w.status().text(), QStringLiteral("Таблица записана в файлы: %1 (.txt, .xlsx)").arg(stem));
        QCOMPARE(fileBytes(b.dir() + stem + QStringLiteral(".txt")), b.reader.od().OpText);
        const XlsxReadBack book(b.dir() + stem + QStringLiteral(".xlsx"));
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.cell(0, QStringLiteral("B5")).value.toDouble(), b.sim.tableReply().mid(1, 6).trimmed().toDouble());

        // The same time of reading again: a suffix, the first pair untouched.
        const QByteArray first = fileBytes(b.dir() + stem + QStringLiteral(".xlsx"));
        QVERIFY(files::writeWhole(b.dir() + stem + QStringLiteral(" (2).xlsx"), "someone else's"));
        QCOMPARE(b.reader.od().autoSaveTable(), stem + QStringLiteral(" (3)"));
        QCOMPARE(fileBytes(b.dir() + stem + QStringLiteral(".xlsx")), first);
        QCOMPARE(fileBytes(b.dir() + stem + QStringLiteral(" (2).xlsx")), QByteArray("someone else's"));
        QVERIFY(!QFile::exists(b.dir() + stem + QStringLiteral(" (2).txt")));
        QCOMPARE(fileBytes(b.dir() + stem + QStringLiteral(" (3).txt")), b.reader.od().OpText);
        QVERIFY(b.bed.dialogs.errors.isEmpty());

        // Unticked: nothing more is saved.
        b.reader.odPage()->chckAutoSaveOP->click();
        b.measure(13);
        QCOMPARE(QDir(b.dir()).entryList({QStringLiteral("*ОП*.txt")}, QDir::Files).size(), 2);
    }

    void failuresTheOperatorMustSeeGetAMessageBox()
    {
        Bench b;
        b.measure(3);
        // A name the instrument sends that is refused.
        b.sim.sendSaveRequest("plate_0000000.txt.");
        QTRY_COMPARE_WITH_TIMEOUT(b.bed.dialogs.errors.size(), 1, Patience);
        QVERIFY(b.bed.dialogs.errors.first().contains(QStringLiteral("Имя файла от прибора отклонено")));
        QVERIFY(!QFile::exists(b.dir() + QStringLiteral("plate_0000000.txt.")));
        QVERIFY(!QFile::exists(b.dir() + QStringLiteral("plate_0000000.txt")));
        // Two dots inside a name are no longer refused.
        b.sim.sendSaveRequest("a..b_plate_01.txt");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(b.dir() + QStringLiteral("2a..b_plate_01.txt_")), Patience);
        QCOMPARE(b.bed.dialogs.errors.size(), 1);

        // An automatic protocol save that cannot be written: the name is taken, and the next
        // free one leads into a folder that is not there.
        QVERIFY(QDir(b.dir()).mkdir(QStringLiteral("2011_04_03 Pr №12")));
        QVERIFY(QFile::link(QStringLiteral("/nonexistent-folder/x"), b.dir() + QStringLiteral("2011_04_03 Pr №12 (2)")));
        b.reader.protocol().setAutoSave(true);
        b.reader.resultPage()->btnReadProtokol->click();
        QTRY_COMPARE_WITH_TIMEOUT(b.bed.dialogs.errors.size(), 2, Patience);
        QVERIFY(b.bed.dialogs.errors.last().contains(QStringLiteral("2011_04_03 Pr №12")));
        QVERIFY(!b.w.status().text().startsWith(QStringLiteral("Протокол записан")));
        b.hold();

        // A file over 16 MiB for "Из файла в Excel": refused at once, nothing shown.
        const QString huge = b.dir() + QStringLiteral("huge.xls");
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(SheetObject::MaxFileBytes + 1));
        file.close();
        b.bed.dialogs.openAnswers << huge;
        b.button("btnFileToExcel")->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 3);
        QVERIFY(b.bed.dialogs.errors.last().contains(QStringLiteral("слишком велик")));
        QCOMPARE(b.reader.sheet().state(), SheetObject::State::Empty);
        QVERIFY(!b.reader.sheetWindow() || !b.reader.sheetWindow()->isVisible());
        // Exactly 16 MiB is still read.
        QVERIFY(QFile::resize(huge, SheetObject::MaxFileBytes));
        b.bed.dialogs.openAnswers << huge;
        b.button("btnFileToExcel")->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 3);
        QCOMPARE(b.reader.sheet().state(), SheetObject::State::FromFile);
    }

    void protocolPrintedAndSavedAsPdf()
    {
        Bench b;
        ResultPage *page = b.reader.resultPage();
        QVERIFY(!page->btnSaveProtokolPdf->isEnabled());
        page->btnReadProtokol->click();
        QTRY_VERIFY_WITH_TIMEOUT(page->btnSaveProtokolPdf->isEnabled(), Patience);
        QVERIFY(page->btnPrintProtokol->isEnabled());
        page->btnClearProtocol->click(); // the last protocol is still printed
        auto pageCount = [](const QByteArray &pdf) {
            return int(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![s\\w])"))));
        };

        const QString pdf = b.dir() + QStringLiteral("protocol.pdf");
        b.bed.dialogs.saveAnswers << pdf;
        page->btnSaveProtokolPdf->click();
        const FileDialogRequest &asked = b.bed.dialogs.saveRequests.last();
        QCOMPARE(asked.fileName, QStringLiteral("2011_04_03 Pr №12.pdf"));
        QCOMPARE(asked.filter, QStringLiteral("Документ PDF (*.pdf)"));
        const QByteArray bytes = fileBytes(pdf);
        QVERIFY(bytes.startsWith("%PDF-"));
        QCOMPARE(pageCount(bytes), 1);
        QCOMPARE(b.w.status().text(), QStringLiteral("Протокол записан в файл: protocol.pdf"));

        // A PDF that cannot be written is reported.
        b.bed.dialogs.saveAnswers << b.dir() + QStringLiteral("missing/protocol.pdf");
        page->btnSaveProtokolPdf->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 1);

        // Printing: the printer the operator picks (here one that prints into a PDF file).
        const QString printed = b.dir() + QStringLiteral("printed.pdf");
        QString docName, proposedFile;
        page->setPrinterChooser([&](QPrinter &printer) {
            docName = printer.docName();
            proposedFile = printer.outputFileName();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printed);
            return true;
        });
        page->btnPrintProtokol->click();
        QCOMPARE(docName, QStringLiteral("2011_04_03 Pr №12"));
        QCOMPARE(pageCount(fileBytes(printed)), 1);
        // Without a printer on the system printing goes to a file: proposed where the PDF goes.
        if (QPrinterInfo::availablePrinterNames().isEmpty())
            QCOMPARE(proposedFile, b.bed.programDir() + QStringLiteral("2011_04_03 Pr №12.pdf"));
        // The preview shows the pages as printed, and goes with its window.
        page->btnPreviewProtokol->click();
        auto *preview = page->findChild<QPrintPreviewDialog *>(QStringLiteral("protocolPreview"));
        QVERIFY(preview && preview->isVisible());
        QVERIFY(preview->windowTitle().endsWith(QStringLiteral("2011_04_03 Pr №12")));
        auto *pages = preview->findChild<QPrintPreviewWidget *>();
        QVERIFY(pages);
        QTRY_COMPARE(pages->pageCount(), 1);
        preview->close();
        QTRY_VERIFY(!page->findChild<QPrintPreviewDialog *>());
        // Cancelled: nothing printed.
        QVERIFY(QFile::remove(printed));
        page->setPrinterChooser([](QPrinter &) { return false; });
        page->btnPrintProtokol->click();
        QVERIFY(!QFile::exists(printed));
        QCOMPARE(b.bed.dialogs.errors.size(), 1);
    }

    // At start only the copies the program handed out are removed: not the operator's files
    // saved beside them, not what a link points to, nothing in a folder the link leads to.
    void oldHandOffCopiesAreRemovedAtStart_data()
    {
        QTest::addColumn<bool>("folderIsALink");
        QTest::newRow("own folder") << false;
        QTest::newRow("folder is a link") << true;
    }
    void oldHandOffCopiesAreRemovedAtStart()
    {
        QFETCH(bool, folderIsALink);
        TestBed bed(false);
        QTemporaryDir elsewhere;
        const QString folder = bed.programDir() + QStringLiteral("SheetCopies");
        const QString outside = elsewhere.filePath(QStringLiteral("thesis.odt"));
        QVERIFY(files::writeWhole(outside, "the thesis"));
        if (folderIsALink)
            QVERIFY(QFile::link(elsewhere.path(), folder));
        else
            QVERIFY(QDir().mkpath(folder));
        const QString copy = QStringLiteral("TempBDTS 2011-04-03 15-30-00.xlsx");
        QVERIFY(files::writeWhole(folder + QLatin1Char('/') + copy, "old"));
        QVERIFY(readerfiles::rememberSheetCopy(bed.programDir(), copy));
        QVERIFY(files::writeWhole(folder + QStringLiteral("/plate edited.ods"), "the operator's"));
        if (!folderIsALink) {
            // A copy's name that someone turned into a link to a file elsewhere.
            QVERIFY(QFile::link(outside, folder + QStringLiteral("/TempBDTS linked.xlsx")));
            QVERIFY(readerfiles::rememberSheetCopy(bed.programDir(), QStringLiteral("TempBDTS linked.xlsx")));
        }
        bed.window();
        QCOMPARE(QFile::exists(folder + QLatin1Char('/') + copy), folderIsALink);
        QCOMPARE(fileBytes(folder + QStringLiteral("/plate edited.ods")), QByteArray("the operator's"));
        QCOMPARE(fileBytes(outside), QByteArray("the thesis"));
        QVERIFY(QFileInfo(folder).exists());
    }

    // What a screen reader does to a check box (its toggle action, no click) acts as a click does.
    void checkBoxesActOnTheirState_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("automatic fetch of the table") << "chckAutoReadOP";
        QTest::newRow("automatic save of the table") << "chckAutoSaveOP";
        QTest::newRow("automatic fetch of the protocol") << "chckAutoReadRes";
        QTest::newRow("automatic save of the protocol") << "chckAutoSaveRes";
    }
    void checkBoxesActOnTheirState()
    {
        QFETCH(QString, box);
        Bench b;
        b.w.ActionReader->trigger();
        b.w.ActionFile->trigger();
        auto *check = b.w.findChild<QCheckBox *>(box);
        QVERIFY(check);
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(check);
        QVERIFY(face && face->actionInterface());
        const auto state = [&] {
            if (box == QLatin1String("chckAutoReadOP"))
                return b.reader.od().autoRead();
            if (box == QLatin1String("chckAutoSaveOP"))
                return b.reader.od().autoSave();
            if (box == QLatin1String("chckAutoReadRes"))
                return b.reader.protocol().autoRead();
            return b.reader.protocol().autoSave();
        };
        const bool before = state();
        face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(check->isChecked(), !before);
        QCOMPARE(state(), !before);
        face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(state(), before);
    }

    // "Из файла в Excel" on a FIFO or a device: refused at once, naming the file.
    void fileToExcelRefusesSpecialFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("endless device") << "/dev/zero";
    }
    void fileToExcelRefusesSpecialFiles()
    {
        QFETCH(QString, file);
        Bench b;
        QString path = file;
        if (file == QLatin1String("fifo")) {
            path = b.dir() + QStringLiteral("pipe.xls");
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        b.bed.dialogs.openAnswers << path;
        b.button("btnFileToExcel")->click();
        QCOMPARE(b.bed.dialogs.errors.size(), 1);
        QVERIFY2(b.bed.dialogs.errors.first().contains(QStringLiteral("не обычный файл")), qPrintable(b.bed.dialogs.errors.first()));
        QVERIFY(b.bed.dialogs.errors.first().contains(QDir::toNativeSeparators(path)));
        QCOMPARE(b.reader.sheet().state(), SheetObject::State::Empty);
    }

    // A second protocol with the same header keeps the first.
    void protocolAutoSaveKeepsAnEarlierOne()
    {
        Bench b;
        b.reader.protocol().setAutoSave(true);
        const QString first = b.dir() + QStringLiteral("2011_04_03 Pr №12");
        QVERIFY(files::writeWhole(first, "an earlier protocol"));
        b.sim.announceResults();
        QTRY_COMPARE_WITH_TIMEOUT(b.w.status().text(), QStringLiteral("Протокол записан в файл: 2011_04_03 Pr №12 (2)"), Patience);
        QCOMPARE(fileBytes(first), QByteArray("an earlier protocol"));
        QCOMPARE(fileBytes(first + QStringLiteral(" (2)")), b.sim.protocolBody());
        QCOMPARE(b.reader.protocol().ProtokolFileName, QStringLiteral("2011_04_03 Pr №12 (2)"));
    }

    // On a full disk the automatic save claims nothing and leaves no empty files.
    void fullDiskAutoSaveSaysWhy()
    {
        TestBed bed;
        SmallDisk disk(bed.programDir()); // the program folder itself is the small disk
        if (!disk.ok())
            QSKIP(disk.why().constData());
        TFormMainKviroS_D7 &w = bed.window();
        bed.tick();
        bed.tick();
        w.link().stopPortSearch();
        w.reader().od().setAutoSave(true);
        disk.fill();
        bed.instrument().reader().measurePlate(7);
        QTRY_COMPARE_WITH_TIMEOUT(w.reader().od().OpText.size(), 777, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(bed.dialogs.errors.size(), 1, Patience);
        QVERIFY2(bed.dialogs.errors.first().contains(QStringLiteral("На диске нет свободного места")), qPrintable(bed.dialogs.errors.first()));
        QVERIFY(!w.status().text().startsWith(QStringLiteral("Таблица записана")));
        QCOMPARE(QDir(bed.programDir()).entryList({QStringLiteral("*ОП*")}, QDir::Files), QStringList());
    }

    void sampleDataFillsBothPages()
    {
        TestBed bed(false);
        auto &w = bed.window();
        w.reader().showSampleData(true);
        QCOMPARE(w.reader().od().OpText.size(), 777);
        QVERIFY(!w.reader().od().grid().valuesEmpty());
        QVERIFY(w.reader().resultPage()->protocolView->toPlainText().contains(QStringLiteral("12 от 03.04.11")));
        QVERIFY(w.reader().sheetWindow() && w.reader().sheetWindow()->isVisible());
        QCOMPARE(w.reader().sheetWindow()->table->model()->rowCount(), 8);
    }
};

QTEST_MAIN(TstReader)
#include "tst_reader.moc"
