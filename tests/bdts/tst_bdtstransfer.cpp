// The database exchange through the main window with the virtual instrument on a pseudo-terminal:
// reads, writes with their read-back, the backup, and an instrument that stalls or misbehaves.
#include "app/mainwindow.h"
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtstransfer.h"
#include "bdts/tframebdts.h"
#include "bdts/tstreeview.h"
#include "core/cp1251.h"
#include "core/files.h"
#include "sim/bdts_sim.h"
#include "support/testbed.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <clocale>

using namespace bdts;

namespace {
QByteArray w(const char *utf8) { return cp1251::encode(QString::fromUtf8(utf8)); }
QByteArray ts(const char *g, const char *s, const char *n, int pages = 1, quint32 seed = 7)
{
    return makeTestSystem(w(g), w(s), w(n), pages, seed);
}
QByteArray dated() { return descriptorPage(QDate(2009, 3, 5), QDate(2010, 11, 17)); }

QByteArray manyPages(int pages, quint32 seed)
{
    GenOptions o;
    o.seed = seed;
    o.targetPages = pages;
    o.maxPages = 4;
    return generateImage(o);
}

struct Bench {
    TestBed tb;
    QStringList statuses;
    BdtsFeature *feature = nullptr;
    TFrameBDTS *frame = nullptr;

    Bench()
    {
        TFormMainKviroS_D7 &win = tb.window();
        QObject::connect(&win.status(), &StatusModel::textChanged, [this](const QString &t) { statuses << t; });
        tb.tick();
        win.ActionBDTSExecute();
        feature = &win.bdts();
        frame = feature->frame();
    }
    BdtsDatabase &db() { return feature->database(); }
    BdtsTransfer &transfer() { return feature->transfer(); }
    BdtsSim &sim() { return tb.instrument().bdts(); }
    QByteArray sent() const { return const_cast<TestBed &>(tb).instrument().core().received(); }
    void clearSent() { tb.instrument().core().clearReceived(); }
    bool waitIdle(int ms = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (!transfer().busy())
                return true;
            QTest::qWait(5);
        }
        return false;
    }
    void read()
    {
        frame->btnReadBDTSFromSor->click();
        QVERIFY(waitIdle());
    }
    void loadFile(const QByteArray &image)
    {
        const QString p = files::inFolder(tb.programDir(), QStringLiteral("file.bdts"));
        files::writeWhole(p, image);
        tb.dialogs.openAnswers << p;
        frame->btnReadBDTSFromFile->click();
    }
    QByteArray workingFile(const QString &name)
    {
        QByteArray b;
        files::readWhole(files::inFolder(tb.programDir(), name), &b);
        return b;
    }
};
} // namespace

class TestBdtsTransfer : public QObject {
    Q_OBJECT
private slots:
    void threePageRead();
    void writeBeforeAnyReadAsksAfterReading();
    void pagesTakenAndLeftOut();
    void legacyFileAsksBeforeReplacingAnother();
    void statusAtPageThreeOfFive();
    void pageSplitAcrossNotifications();
    void write300PagesWithReadBack();
    void firstWriteReadsTheBackupFirst();
    void countMismatchSendsNothing();
    void addThenWriteRoundTrip();
    void deleteThenWriteRoundTrip();
    void stallEndsInTimeoutAndLateRepliesAreIgnored();
    void droppedByteAndWrongCountEndInTimeout();
    void noSecondExchangeOverAWrite();
    void countTextOfAnyWidth();
    void countThatIsNoNumberOrZero();
    void writeAsksFirst();
    void readCancelledKeepsTheOldList();
    void backupsSortByTimeAndTwentyAreKept();
    void writeRefusedWithoutABackup();
    void writeWithThePortClosed();
    void russianOrderThroughTheInstrument();
    void cancelledBackupReadWritesNothing();
};

void TestBdtsTransfer::threePageRead()
{
    Bench b;
    const QByteArray image = makeImage(ts("Гормоны", "Репродукция", "ФСГ") + ts("Гормоны", "Репродукция", "ЛГ"), dated());
    b.sim().setImage(image);
    b.clearSent();
    b.read();
    QVERIFY(b.sent().startsWith("Rrrr"));
    QCOMPARE(b.sent().count('r'), 3);
    QCOMPARE(b.workingFile(QStringLiteral("ProbaMSBDTSInSor.txt")), image);
    QVERIFY(b.statuses.contains(QStringLiteral("Принято из прибора страниц: 1 из 3")));
    QVERIFY(b.statuses.contains(QStringLiteral("Принято из прибора страниц: 3")));
    QCOMPARE(b.tb.window().status().progress(), 0);
    QCOMPARE(b.frame->instrumentListGroup->title(), QStringLiteral("Список ТС в приборе (2):"));
    QVERIFY(!b.frame->TreeViewSor->isHidden());
    QVERIFY(b.frame->btnSaveBDTSinFile->isEnabled());
    QCOMPARE(b.frame->lbDateBDTSinSorvint->text(), QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10"));
    // Compacted into list order: ЛГ before ФСГ.
    QCOMPARE(*b.db().BdtsSorStream, makeImage(ts("Гормоны", "Репродукция", "ЛГ") + ts("Гормоны", "Репродукция", "ФСГ"), dated()));
    QVERIFY(b.tb.window().link().portSearchRunning());
    QVERIFY(!b.tb.window().link().nullDiscard());
}

void TestBdtsTransfer::statusAtPageThreeOfFive()
{
    Bench b;
    b.sim().setImage(makeImage(ts("А", "Б", "В", 2) + ts("А", "Б", "Г", 2), dated()));
    b.read();
    const int third = int(b.statuses.indexOf(QStringLiteral("Принято из прибора страниц: 3 из 5")));
    const int last = int(b.statuses.lastIndexOf(QStringLiteral("Принято из прибора страниц: 5")));
    QVERIFY(third >= 0);
    QVERIFY(last > third);
}

void TestBdtsTransfer::pagesTakenAndLeftOut()
{
    // A repeated test system and a stray page: the count is of the pages taken, and the text says
    // which the list left out.
    Bench more;
    more.sim().setImage(makeImage(ts("А", "Б", "В", 2) + makeStrayPage() + ts("А", "Б", "В", 1) + ts("А", "Б", "Г", 1), dated()));
    more.read();
    QVERIFY(more.statuses.contains(QStringLiteral("Принято из прибора страниц: 4 из 6")));
    QCOMPARE(more.tb.window().status().text(), QStringLiteral("Принято из прибора страниц: 6; в список ТС вошло 4, не вошло 2 "
                                                              "(страницы, не относящиеся ни к одной ТС списка)"));
    QCOMPARE(more.db().BdtsPagesTaken, 6);
    QCOMPARE(more.db().BdtsPagesToRead, 4);
}

void TestBdtsTransfer::pageSplitAcrossNotifications()
{
    Bench b;
    const QByteArray image = manyPages(6, 3);
    b.sim().setImage(image);
    b.tb.instrument().port().setChunking(300, 40); // every page reply comes in two pieces
    b.read();
    QCOMPARE(b.workingFile(QStringLiteral("ProbaMSBDTSInSor.txt")), image);
    QCOMPARE(b.sent().count('r'), 6);
}

void TestBdtsTransfer::write300PagesWithReadBack()
{
    Bench b;
    const QByteArray old = b.sim().image();
    b.read();
    const QByteArray file = manyPages(300, 5);
    b.loadFile(file);
    QCOMPARE(b.db().BdtsFilePages, 300);
    const QByteArray toSend = *b.db().BdtsFileStream;
    b.clearSent();
    b.statuses.clear();
    b.frame->btnWriteBDTSInSor->click();
    QVERIFY(b.transfer().busy());
    QVERIFY(!b.frame->btnWriteBDTSInSor->isEnabled());
    QVERIFY(b.waitIdle(60000));
    QVERIFY(b.sent().startsWith(QByteArray::fromHex("4d012c")));
    // 300 pages of "m" + 512 bytes, then the read-back.
    QCOMPARE(b.sent().mid(3, 513), QByteArray("m") + toSend.mid(13, 512));
    QCOMPARE(b.sent().mid(3 + 300 * 513, 1), QByteArray("R"));
    QCOMPARE(b.sim().image(), toSend);
    QCOMPARE(b.sim().writesCompleted(), 1);
    QVERIFY(b.statuses.contains(QStringLiteral("Отправлено в прибор страниц: 300")));
    QVERIFY(b.statuses.contains(QStringLiteral("Принято из прибора страниц: 300")));
    QCOMPARE(b.statuses.last(), QStringLiteral("БД ТС записана в прибор и проверена чтением: 300 страниц."));
    // The list shows what the instrument now holds; the backup holds what it held before.
    QCOMPARE(b.db().BdtsTsCount, b.db().BdtsFileTsCount);
    QVERIFY(!b.transfer().lastBackup().isEmpty());
    QByteArray backup;
    QVERIFY(files::readWhole(b.transfer().lastBackup(), &backup));
    QCOMPARE(backup, old);
    QVERIFY(b.frame->btnWriteBDTSInSor->isEnabled());
}

void TestBdtsTransfer::firstWriteReadsTheBackupFirst()
{
    Bench b;
    const QByteArray old = b.sim().image();
    const QByteArray file = makeImage(ts("Новые", "Набор", "Один", 2), dated());
    b.loadFile(file);
    b.clearSent();
    b.frame->btnWriteBDTSInSor->click();
    QVERIFY(b.waitIdle());
    QVERIFY(b.sent().startsWith("Rr"));
    const qsizetype m = b.sent().indexOf("M\x00\x03", 0);
    QVERIFY(m > 0);
    QCOMPARE(b.sent().left(m).count('r'), bdts::wholePages(old));
    QByteArray backup;
    QVERIFY(files::readWhole(b.transfer().lastBackup(), &backup));
    QCOMPARE(backup, old);
    QCOMPARE(b.sim().image(), file);
}

void TestBdtsTransfer::countMismatchSendsNothing()
{
    Bench b;
    b.read();
    b.loadFile(manyPages(20, 8));
    b.db().BdtsFilePages = 19; // the list and the image disagree
    b.clearSent();
    b.frame->btnWriteBDTSInSor->click();
    QCOMPARE(b.tb.window().status().text(), QStringLiteral("Ошибка в создании списка."));
    QVERIFY(!b.transfer().busy());
    QVERIFY(b.tb.window().link().portSearchRunning());
    b.tb.pump(50);
    QVERIFY(!b.sent().contains('M'));
    QCOMPARE(b.sim().writesCompleted(), 0);
}

void TestBdtsTransfer::addThenWriteRoundTrip()
{
    Bench b;
    b.sim().setImage(makeImage(ts("Гепатиты", "Гепатит C", "анти-HCV", 2) + ts("Гормоны", "Репродукция", "ЛГ"), dated()));
    b.read();
    b.loadFile(makeImage(ts("Гормоны", "Репродукция", "ЛГ") + ts("Гормоны", "Репродукция", "ФСГ", 3, 9) +
                             ts("Онкомаркеры", "Общие", "ПСА", 1, 10),
                         dated()));
    QVERIFY(b.frame->btnAddTSInSor->isEnabled());
    b.frame->btnAddTSInSor->click();
    const QByteArray edited = *b.db().BdtsSorStream;
    QCOMPARE(wholePages(edited), 3 + 4 + 1);
    b.frame->btnSaveAddTs->click();
    QVERIFY(b.waitIdle());
    QCOMPARE(b.sim().image(), edited);
    QCOMPARE(b.db().BdtsTsCount, 4);
    QCOMPARE(b.db().BdtsAddTsCount, 0);
}

void TestBdtsTransfer::deleteThenWriteRoundTrip()
{
    Bench b;
    b.tb.window().show();
    b.sim().setImage(makeImage(ts("Гепатиты", "Гепатит C", "анти-HCV", 2) + ts("Гормоны", "Репродукция", "ЛГ") +
                                   ts("Гормоны", "Репродукция", "ФСГ", 2),
                               dated()));
    b.read();
    TsTreeView *view = b.frame->TreeViewSor;
    const QModelIndex lh = b.db().sorList.find({QStringLiteral("Гормоны"), QStringLiteral("Репродукция"), QStringLiteral("ЛГ")});
    view->scrollTo(lh);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(lh).center());
    b.frame->btnDeleteTS->click();
    QCOMPARE(b.tb.window().status().text(), QStringLiteral("Из списка прибора удалено 1 ТС"));
    const QByteArray edited = *b.db().BdtsSorStream;
    b.frame->btnSaveAddTs->click();
    QVERIFY(b.waitIdle());
    QCOMPARE(b.sim().image(), edited);
    QCOMPARE(b.sim().image(), makeImage(ts("Гепатиты", "Гепатит C", "анти-HCV", 2) + ts("Гормоны", "Репродукция", "ФСГ", 2), dated()));
}

void TestBdtsTransfer::stallEndsInTimeoutAndLateRepliesAreIgnored()
{
    Bench b;
    b.read();
    const QByteArray before = *b.db().BdtsSorStream;
    b.transfer().setReplyTimeout(1500);
    b.sim().stallAfter(3); // the count and two pages, then silence
    b.frame->btnReadBDTSFromSor->click();
    QVERIFY(b.transfer().busy());
    QVERIFY(!b.tb.window().link().portSearchRunning());
    QVERIFY(b.waitIdle(10000));
    QVERIFY(b.statuses.contains(QStringLiteral("Прибор не отвечает: чтение БД ТС прервано.")));
    QCOMPARE(b.tb.window().status().progress(), 0);
    QVERIFY(b.tb.window().link().portSearchRunning());
    QCOMPARE(*b.db().BdtsSorStream, before); // the old image and its list survive
    QVERIFY(!b.frame->TreeViewSor->isHidden());
    // A late page is not acted on.
    b.sim().stallAfter(-1);
    b.clearSent();
    b.tb.instrument().sendRaw(QByteArray("r") + QByteArray(513, 'x'));
    b.tb.pump(100);
    QVERIFY(!b.sent().contains('r'));
    QCOMPARE(*b.db().BdtsSorStream, before);
}

void TestBdtsTransfer::droppedByteAndWrongCountEndInTimeout()
{
    Bench b;
    b.transfer().setReplyTimeout(1500);
    b.sim().dropByteInNextPage();
    b.frame->btnReadBDTSFromSor->click();
    QVERIFY(b.waitIdle(10000));
    QCOMPARE(b.statuses.last(), QStringLiteral("Прибор не отвечает: чтение БД ТС прервано."));
    QVERIFY(!b.db().BdtsSorStream);
    // More pages announced than the instrument has: it falls silent after its last one.
    b.sim().announceWrongCount(b.sim().pages() + 2);
    b.frame->btnReadBDTSFromSor->click();
    QVERIFY(b.waitIdle(10000));
    QCOMPARE(b.statuses.last(), QStringLiteral("Прибор не отвечает: чтение БД ТС прервано."));
    // A count no image can hold is refused at once.
    b.sim().announceWrongCount(1500);
    b.frame->btnReadBDTSFromSor->click();
    QVERIFY(b.waitIdle(10000));
    QVERIFY(b.statuses.last().contains(QStringLiteral("1500")));
    // And a sound read afterwards works.
    b.transfer().setReplyTimeout(kBdtsReplyTimeoutMs);
    b.read();
    QCOMPARE(b.db().BdtsPagesToRead > 0, true);
}

void TestBdtsTransfer::noSecondExchangeOverAWrite()
{
    Bench b;
    b.read();
    b.loadFile(manyPages(40, 12));
    b.transfer().setReplyTimeout(1500);
    b.sim().stallAfter(10); // the write stops half-way
    b.clearSent();
    b.frame->btnWriteBDTSInSor->click();
    QTRY_VERIFY_WITH_TIMEOUT(b.sent().size() > 3 + 8 * 513, 10000);
    QVERIFY(b.transfer().busy());
    QVERIFY(!b.frame->btnReadBDTSFromSor->isEnabled());
    QVERIFY(!b.frame->btnSaveAddTs->isEnabled());
    b.feature->RequestBdtsRead(); // from code, too, it is refused
    b.feature->btnSaveAddTsClick();
    QCOMPARE(b.tb.window().status().text(), QStringLiteral("Идёт обмен БД ТС с прибором, дождитесь окончания."));
    QCOMPARE(b.transfer().state(), BdtsTransfer::State::Writing);
    QVERIFY(b.sim().writing());
    QVERIFY(b.waitIdle(10000));
    QVERIFY(b.statuses.last().startsWith(QStringLiteral("Прибор не отвечает: запись БД ТС прервана")));
    QVERIFY(b.statuses.last().contains(b.transfer().lastBackup()));
    QCOMPARE(b.sim().writesCompleted(), 0);
    QVERIFY(b.frame->btnWriteBDTSInSor->isEnabled());
}

void TestBdtsTransfer::countTextOfAnyWidth()
{
    Bench b;
    const QByteArray image = makeImage(ts("А", "Б", "В", 2) + ts("А", "Б", "Г", 2), dated()); // 5 pages
    b.sim().setImage(image);
    b.transfer().setReplyTimeout(60000); // a hang would show as a test time-out, not as a pass
    for (const QByteArray &text : {QByteArray("5"), QByteArray("  5\r\n"), QByteArray("05\n"), QByteArray("    5")}) {
        b.sim().announceCountText(text);
        b.clearSent();
        b.read();
        QVERIFY(b.sent().startsWith("Rrrrrr"));
        QCOMPARE(b.sent().count('r'), 5);
        QCOMPARE(b.workingFile(QStringLiteral("ProbaMSBDTSInSor.txt")), image);
        QCOMPARE(b.statuses.last(), QStringLiteral("Принято из прибора страниц: 5"));
    }
    QVERIFY(b.tb.dialogs.errors.isEmpty());
}

void TestBdtsTransfer::countThatIsNoNumberOrZero()
{
    Bench b;
    b.read();
    const QByteArray before = *b.db().BdtsSorStream;
    b.transfer().setReplyTimeout(60000);
    // Not a number: its own text at once, in the status line and a message box.
    b.sim().announceCountText("1x2\r\n");
    b.clearSent();
    b.frame->btnReadBDTSFromSor->click();
    QVERIFY(b.waitIdle());
    QVERIFY(b.sent().startsWith("R"));
    QVERIFY(!b.sent().contains('r'));
    const QString notNumber = QStringLiteral("Прибор сообщил число страниц БД ТС, которое не является числом: \"1x2\"; чтение не начато.");
    QVERIFY(b.statuses.contains(notNumber));
    QCOMPARE(b.tb.dialogs.errors.size(), 1);
    QVERIFY(b.tb.dialogs.errors.last().endsWith(notNumber));
    QCOMPARE(*b.db().BdtsSorStream, before);
    QVERIFY(!b.frame->TreeViewSor->isHidden());
    QVERIFY(b.tb.window().link().portSearchRunning());
    // A count of 0 after a good read: no page asked for, the old image and list stay.
    b.sim().announceWrongCount(0);
    b.clearSent();
    b.frame->btnReadBDTSFromSor->click();
    QVERIFY(b.waitIdle());
    QVERIFY(b.sent().startsWith("R"));
    QVERIFY(!b.sent().contains('r'));
    const QString zero = QStringLiteral("Прибор сообщил 0 страниц БД ТС; чтение не начато, прежний список прибора сохранён.");
    QVERIFY(b.statuses.contains(zero));
    QCOMPARE(b.tb.dialogs.errors.size(), 2);
    QCOMPARE(*b.db().BdtsSorStream, before);
    QVERIFY(!b.frame->TreeViewSor->isHidden());
    QCOMPARE(b.frame->instrumentListGroup->title(), QStringLiteral("Список ТС в приборе (%1):").arg(b.db().BdtsTsCount));
    QVERIFY(b.frame->btnSaveBDTSinFile->isEnabled());
}

void TestBdtsTransfer::writeAsksFirst()
{
    Bench b;
    b.sim().setImage(makeImage(ts("Гормоны", "Репродукция", "ЛГ") + ts("Гепатиты", "Гепатит C", "анти-HCV", 2), dated()));
    b.read();
    const QByteArray held = b.sim().image();
    b.loadFile(makeImage(ts("Гормоны", "Репродукция", "ЛГ") + ts("Гормоны", "Репродукция", "ФСГ", 3), dated()));
    b.tb.dialogs.yesNoAnswer = false;
    b.clearSent();
    b.frame->btnWriteBDTSInSor->click();
    QCOMPARE(b.tb.dialogs.warnings.size(), 1);
    const QString question = b.tb.dialogs.warnings.last();
    QVERIFY(question.startsWith(QStringLiteral("Запись БД ТС в прибор|Записать в прибор БД ТС из файла file.bdts?")));
    QVERIFY(question.contains(QStringLiteral("тест-систем 2, страниц 5")));
    QVERIFY(question.contains(QStringLiteral("Гормоны / Репродукция / ЛГ")));
    QVERIFY(question.contains(QStringLiteral("Гормоны / Репродукция / ФСГ")));
    QVERIFY(question.contains(QDir::toNativeSeparators(files::inFolder(b.tb.programDir(), QStringLiteral("BDTSBackup")))));
    QVERIFY(question.contains(QStringLiteral("Начатую запись остановить нельзя")));
    // What the instrument holds now and would lose, and what it would gain.
    QVERIFY2(question.contains(QStringLiteral("Прибор ПОТЕРЯЕТ ТС (1):\n    Гепатиты / Гепатит C / анти-HCV\nПрибор получит ТС (1):\n"
                                              "    Гормоны / Репродукция / ФСГ\n")),
             qPrintable(question));
    // No: nothing is sent, the link check runs again.
    QCOMPARE(b.tb.window().status().text(), QStringLiteral("Запись БД ТС в прибор отменена."));
    QVERIFY(!b.transfer().busy());
    QVERIFY(b.tb.window().link().portSearchRunning());
    b.tb.pump(100);
    QVERIFY(!b.sent().contains('M'));
    QVERIFY(!b.sent().contains('R'));
    QCOMPARE(b.sim().image(), held);

    // The edited instrument list names itself as the source.
    TsTreeView *view = b.frame->TreeViewSor;
    b.tb.window().show();
    const QModelIndex first = b.db().sorList.index(0, 0);
    view->scrollTo(first);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(first).center());
    b.frame->btnDeleteTS->click();
    b.frame->btnSaveAddTs->click();
    QVERIFY(b.tb.dialogs.warnings.last().startsWith(
        QStringLiteral("Запись БД ТС в прибор|Записать в прибор список ТС прибора с внесёнными изменениями?")));
    QVERIFY(b.tb.dialogs.warnings.last().contains(QStringLiteral("тест-систем %1, страниц %2").arg(b.db().BdtsTsCount).arg(b.db().BdtsPagesToRead)));
    QVERIFY2(b.tb.dialogs.warnings.last().contains(QStringLiteral("Прибор ПОТЕРЯЕТ ТС (1):\n    Гепатиты / Гепатит C / анти-HCV\n"
                                                                  "Новых ТС прибор не получит.")),
             qPrintable(b.tb.dialogs.warnings.last()));
    b.tb.pump(100);
    QVERIFY(!b.sent().contains('M'));
    QVERIFY(!b.sent().contains('R'));

    // Yes: written.
    b.tb.dialogs.yesNoAnswer = true;
    b.frame->btnWriteBDTSInSor->click();
    QVERIFY(b.waitIdle());
    QCOMPARE(b.sim().image(), *b.db().BdtsFileStream);
}

void TestBdtsTransfer::legacyFileAsksBeforeReplacingAnother()
{
    // "из файла..." with a legacy file converts it beside itself; a different database already
    // there is replaced only after a Yes. The same bytes there need no question.
    Bench b;
    const QString legacy = files::inFolder(b.tb.programDir(), QStringLiteral("old.bdt"));
    const QString beside = legacy + QLatin1Char('s');
    const QByteArray image = makeImage(ts("Гормоны", "Репродукция", "ЛГ"), dated());
    const QByteArray other = makeImage(ts("Гепатиты", "Гепатит C", "анти-HCV", 2), dated());
    QVERIFY(files::writeWhole(legacy, toLegacy(image)));
    QVERIFY(files::writeWhole(beside, other));
    struct Case {
        bool yes;
        int questions;
        bool loaded;
    };
    const Case cases[] = {{false, 1, false}, {true, 2, true}, {false, 2, true}};
    for (const Case &c : cases) {
        b.tb.dialogs.yesNoAnswer = c.yes;
        b.db().discardFileImage();
        b.tb.dialogs.openAnswers << legacy;
        b.frame->btnReadBDTSFromFile->click();
        QCOMPARE(b.tb.dialogs.warnings.size(), c.questions);
        QVERIFY(b.tb.dialogs.warnings.last().contains(QStringLiteral("уже есть и отличается")));
        QCOMPARE(b.db().BdtsFileStream.has_value(), c.loaded);
        QByteArray there;
        QVERIFY(files::readWhole(beside, &there));
        QCOMPARE(there == other, !c.loaded);
    }
    QCOMPARE(b.tb.dialogs.warnings.size(), 2); // the third time the conversion was already there
}

void TestBdtsTransfer::writeBeforeAnyReadAsksAfterReading()
{
    // Not read yet: the instrument's database is read first, so the question names its losses.
    Bench fresh;
    fresh.sim().setImage(makeImage(ts("Гепатиты", "Гепатит C", "анти-HCV", 2), dated()));
    const QByteArray freshHeld = fresh.sim().image();
    fresh.loadFile(makeImage(ts("Гормоны", "Репродукция", "ЛГ"), dated()));
    fresh.tb.dialogs.yesNoAnswer = false;
    fresh.frame->btnWriteBDTSInSor->click();
    QTRY_COMPARE_WITH_TIMEOUT(fresh.tb.dialogs.warnings.size(), 1, 10000);
    QVERIFY2(fresh.tb.dialogs.warnings.last().contains(QStringLiteral("Прибор ПОТЕРЯЕТ ТС (1):\n    Гепатиты / Гепатит C / анти-HCV\n")),
             qPrintable(fresh.tb.dialogs.warnings.last()));
    QVERIFY(fresh.waitIdle());
    QCOMPARE(fresh.tb.window().status().text(), QStringLiteral("Запись БД ТС в прибор отменена."));
    QVERIFY(!fresh.sent().contains('M'));
    QCOMPARE(fresh.sim().image(), freshHeld);
}

void TestBdtsTransfer::readCancelledKeepsTheOldList()
{
    Bench b;
    b.tb.window().show();
    b.sim().setImage(manyPages(30, 4));
    b.read();
    const QByteArray before = *b.db().BdtsSorStream;
    const int listed = b.db().BdtsTsCount;
    b.loadFile(makeImage(ts("Новые", "Набор", "Один"), dated()));
    QVERIFY(b.frame->btnAddTSInSor->isEnabled());
    auto *cancel = b.tb.window().findChild<QAbstractButton *>(QStringLiteral("btnCancelBDTSRead"));
    QVERIFY(cancel);
    QVERIFY(!cancel->isVisible());
    const QModelIndex first = b.db().sorList.index(0, 0);
    b.frame->TreeViewSor->scrollTo(first);
    QTest::mouseClick(b.frame->TreeViewSor->viewport(), Qt::LeftButton, {}, b.frame->TreeViewSor->visualRect(first).center());
    QVERIFY(b.frame->btnDeleteTS->isEnabled());

    b.transfer().setReplyTimeout(60000);
    b.sim().stallAfter(6); // the count and five pages, then silence
    b.frame->btnReadBDTSFromSor->click();
    QTRY_VERIFY_WITH_TIMEOUT(b.sim().pagesServed() == 5, 10000);
    QVERIFY(b.transfer().reading());
    // Nothing that could change or replace the images can be pressed while the read runs.
    for (QPushButton *button : {b.frame->btnReadBDTSFromFile, b.frame->btnSaveBDTSinFile, b.frame->btnAddTSInSor, b.frame->btnDeleteTS,
                                b.frame->btnReadBDTSFromSor, b.frame->btnWriteBDTSInSor, b.frame->btnSaveAddTs})
        QVERIFY2(!button->isEnabled(), qPrintable(button->objectName()));
    b.feature->btnDeleteTSClick(); // from code, too, refused
    b.feature->btnAddTSInSorClick();
    QCOMPARE(*b.db().BdtsSorStream, before);
    QVERIFY(cancel->isVisible());
    QVERIFY(cancel->isEnabled());

    cancel->click();
    QVERIFY(!b.transfer().busy());
    QVERIFY(!cancel->isVisible());
    QCOMPARE(b.statuses.last(), QStringLiteral("Чтение БД ТС из прибора прервано."));
    QCOMPARE(b.tb.window().status().progress(), 0);
    QVERIFY(b.tb.window().link().portSearchRunning());
    QCOMPARE(*b.db().BdtsSorStream, before);
    QCOMPARE(b.db().BdtsTsCount, listed);
    QVERIFY(!b.frame->TreeViewSor->isHidden());
    QVERIFY(b.frame->btnReadBDTSFromFile->isEnabled());
    QVERIFY(b.frame->btnAddTSInSor->isEnabled());
    // A late page after the cancel is dropped; a new read works.
    b.sim().stallAfter(-1);
    b.tb.instrument().sendRaw(QByteArray("r") + QByteArray(513, 'x'));
    b.tb.pump(100);
    QCOMPARE(*b.db().BdtsSorStream, before);
    b.read();
    QCOMPARE(b.workingFile(QStringLiteral("ProbaMSBDTSInSor.txt")), b.sim().image());

    // A write offers no cancel.
    b.loadFile(manyPages(40, 12));
    b.sim().stallAfter(10);
    b.frame->btnWriteBDTSInSor->click();
    QTRY_VERIFY_WITH_TIMEOUT(b.transfer().state() == BdtsTransfer::State::Writing, 10000);
    QVERIFY(!cancel->isVisible());
    for (QPushButton *button : {b.frame->btnReadBDTSFromFile, b.frame->btnSaveBDTSinFile, b.frame->btnAddTSInSor, b.frame->btnDeleteTS,
                                b.frame->btnReadBDTSFromSor, b.frame->btnWriteBDTSInSor, b.frame->btnSaveAddTs})
        QVERIFY2(!button->isEnabled(), qPrintable(button->objectName()));
    b.transfer().cancelRead();
    QCOMPARE(b.transfer().state(), BdtsTransfer::State::Writing);
    b.transfer().setReplyTimeout(500);
    b.sim().stallAfter(0);
    QVERIFY(b.waitIdle());
}

void TestBdtsTransfer::backupsSortByTimeAndTwentyAreKept()
{
    Bench b;
    const QString folder = files::inFolder(b.tb.programDir(), QStringLiteral("BDTSBackup"));
    QVERIFY(QDir().mkpath(folder));
    // 25 older backups and a file of the operator's own.
    for (int i = 0; i < 25; ++i)
        files::writeWhole(QDir(folder).filePath(QStringLiteral("BDTS_2020-01-%1_10-00-00-000.bdts").arg(i + 1, 2, 10, QLatin1Char('0'))), "old");
    files::writeWhole(QDir(folder).filePath(QStringLiteral("мой.bdts")), "mine");
    b.db().now = [] { return QDateTime(QDate(2026, 12, 8), QTime(11, 28, 15, 123)); };
    const QByteArray held = b.sim().image();
    b.loadFile(makeImage(ts("Новые", "Набор", "Один"), dated()));
    b.frame->btnWriteBDTSInSor->click();
    QVERIFY(b.waitIdle());
    QCOMPARE(b.transfer().lastBackup(), QDir(folder).filePath(QStringLiteral("BDTS_2026-12-08_11-28-15-123.bdts")));
    QByteArray backup;
    QVERIFY(files::readWhole(b.transfer().lastBackup(), &backup));
    QCOMPARE(backup, held);
    QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(names.size(), 21);
    QVERIFY(names.contains(QStringLiteral("мой.bdts")));
    names.removeAll(QStringLiteral("мой.bdts"));
    QCOMPARE(names.first(), QStringLiteral("BDTS_2020-01-07_10-00-00-000.bdts"));
    QCOMPARE(names.last(), QStringLiteral("BDTS_2026-12-08_11-28-15-123.bdts"));
    // A second write in the same millisecond gets its own name, after the first.
    b.frame->btnWriteBDTSInSor->click();
    QVERIFY(b.waitIdle());
    QCOMPARE(b.transfer().lastBackup(), QDir(folder).filePath(QStringLiteral("BDTS_2026-12-08_11-28-15-123_2.bdts")));
    QVERIFY(files::readWhole(b.transfer().lastBackup(), &backup));
    QCOMPARE(backup, b.sim().image());
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 21);
    // A backup is an ordinary database file: opened, it lists what the instrument held.
    b.tb.dialogs.openAnswers << b.transfer().lastBackup();
    b.frame->btnReadBDTSFromFile->click();
    QCOMPARE(*b.db().BdtsFileStream, b.sim().image());
}

void TestBdtsTransfer::writeRefusedWithoutABackup()
{
    Bench b;
    b.read();
    // A file where the backup folder would go: the backup cannot be made.
    files::writeWhole(files::inFolder(b.tb.programDir(), QStringLiteral("BDTSBackup")), "in the way");
    const QByteArray held = b.sim().image();
    b.loadFile(makeImage(ts("Новые", "Набор", "Один"), dated()));
    b.clearSent();
    b.frame->btnWriteBDTSInSor->click();
    QVERIFY(b.waitIdle());
    QCOMPARE(b.tb.dialogs.errors.size(), 1);
    QVERIFY(b.tb.dialogs.errors.last().contains(QStringLiteral("Не удалось сохранить резервную копию БД ТС прибора")));
    QVERIFY(b.tb.dialogs.errors.last().contains(QStringLiteral("Запись в прибор не начата.")));
    QVERIFY(b.statuses.last().startsWith(QStringLiteral("Не удалось сохранить резервную копию БД ТС прибора в папку ")));
    QVERIFY(b.statuses.last().endsWith(QStringLiteral(" Запись в прибор не начата.")));
    b.tb.pump(100);
    QVERIFY(!b.sent().contains('M'));
    QCOMPARE(b.sim().image(), held);
    QVERIFY(b.transfer().lastBackup().isEmpty());
}

void TestBdtsTransfer::writeWithThePortClosed()
{
    Bench b;
    b.read();
    b.loadFile(makeImage(ts("Новые", "Набор", "Один"), dated()));
    const QModelIndex first = b.db().sorList.index(0, 0);
    b.tb.window().show();
    b.frame->TreeViewSor->scrollTo(first);
    QTest::mouseClick(b.frame->TreeViewSor->viewport(), Qt::LeftButton, {}, b.frame->TreeViewSor->visualRect(first).center());
    b.frame->btnDeleteTS->click();
    b.tb.instrument().powerOff();
    b.tb.tick(200);
    QVERIFY(!b.tb.window().link().portOpen());
    b.frame->btnWriteBDTSInSor->click();
    QCOMPARE(b.tb.window().status().text(), QStringLiteral("Нет связи с прибором."));
    b.frame->btnSaveAddTs->click();
    QCOMPARE(b.tb.window().status().text(), QStringLiteral("Порт отключен."));
    QVERIFY(!b.transfer().busy());
    QVERIFY(b.tb.dialogs.warnings.isEmpty()); // nothing to confirm without a port
    // A read with the port closed, too.
    b.feature->RequestBdtsRead();
    QCOMPARE(b.tb.window().status().text(), QStringLiteral("Порт отключен."));
    QVERIFY(!b.frame->TreeViewSor->isHidden());
}

void TestBdtsTransfer::russianOrderThroughTheInstrument()
{
    // Under the C locale the instrument's test systems are still listed, and compacted for the
    // write-back, in the Russian Windows order: Latin before Cyrillic, lower case first.
    std::setlocale(LC_ALL, "C");
    Bench b;
    b.sim().setImage(makeImage(ts("Группа", "Набор", "Alpha", 1, 1) + ts("Группа", "Набор", "Альфа", 1, 2) +
                                   ts("Группа", "Набор", "alpha", 1, 3) + ts("Группа", "Набор", "альфа", 1, 4),
                               dated()));
    b.read();
    QByteArray names;
    for (int k = 0; k < 4; ++k)
        names += b.db().BdtsSorStream->mid(13 + k * 512 + 46, 6) + '|';
    // alpha, Alpha, альфа, Альфа as Windows-1251 bytes (with the zero byte after the short ones).
    QCOMPARE(names, QByteArray::fromHex("616c70686100" "7c" "416c70686100" "7c" "e0ebfcf4e000" "7c" "c0ebfcf4e000" "7c"));
}

void TestBdtsTransfer::cancelledBackupReadWritesNothing()
{
    // The first write reads the instrument's database for the backup; cancelling that read
    // cancels the write before anything is sent.
    Bench b;
    const QByteArray held = b.sim().image();
    b.loadFile(makeImage(ts("Новые", "Набор", "Один"), dated()));
    b.transfer().setReplyTimeout(60000);
    b.sim().stallAfter(3);
    b.clearSent();
    b.frame->btnWriteBDTSInSor->click();
    QTRY_VERIFY_WITH_TIMEOUT(b.sim().pagesServed() == 2, 10000);
    QVERIFY(b.transfer().reading());
    auto *cancel = b.tb.window().findChild<QAbstractButton *>(QStringLiteral("btnCancelBDTSRead"));
    QVERIFY(cancel && cancel->isEnabled());
    cancel->click();
    QVERIFY(!b.transfer().busy());
    QCOMPARE(b.statuses.last(), QStringLiteral("Чтение БД ТС для резервной копии прервано; запись не начата."));
    b.sim().stallAfter(-1);
    b.tb.pump(200);
    QVERIFY(!b.sent().contains('M'));
    QCOMPARE(b.sim().image(), held);
    QVERIFY(b.transfer().lastBackup().isEmpty());
    QVERIFY(!b.db().BdtsSorStream); // no read ever completed
}

QTEST_MAIN(TestBdtsTransfer)
#include "tst_bdtstransfer.moc"
