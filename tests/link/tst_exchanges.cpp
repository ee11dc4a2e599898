// One exchange at a time owns the line, every exchange ends, and the link check comes back: the
// reader, database and firmware exchanges through the real main window and the virtual
// instrument on a pseudo-terminal, with the instrument vanishing, falling silent, sending short
// replies and speaking out of turn.
#include "app/mainwindow.h"
#include "core/journal.h"
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtstransfer.h"
#include "firmware/firmwarecontroller.h"
#include "firmware/firmwarefeature.h"
#include "firmware/framesoftsor.h"
#include "reader/readerfeature.h"
#include "sim/bdts_sim.h"
#include "sim/boot_sim.h"
#include "sim/reader_sim.h"
#include "support/testbed.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {
constexpr int Patience = 10000;

enum class Exchange { Table, Protocol, DatabaseRead, DatabaseWrite };

QString nameOf(Exchange e)
{
    switch (e) {
    case Exchange::Table: return QStringLiteral("приём таблицы оптических плотностей");
    case Exchange::Protocol: return QStringLiteral("приём протокола результатов");
    case Exchange::DatabaseRead: return QStringLiteral("чтение БД ТС");
    case Exchange::DatabaseWrite: return QStringLiteral("запись БД ТС");
    }
    return {};
}

// The journal's exchange entries: every start has its one end, and the last one ends with the
// job's outcome on its port (an exchange the link gave up, too).
void verifyExchangesJournalled(TFormMainKviroS_D7 &w)
{
    QMap<QString, int> open;
    QString lastEnd;
    for (const JournalEntry &e : w.journal().entries()) {
        if (e.kind != JournalKind::Exchange)
            continue;
        const QString what = e.text.section(QStringLiteral(": "), 0, 0);
        if (e.text.endsWith(QStringLiteral(": начало.")))
            QVERIFY2(++open[what] == 1, qPrintable(e.text));
        else if (e.text.contains(QStringLiteral(": конец — "))) {
            QVERIFY2(--open[what] == 0, qPrintable(e.text));
            lastEnd = e.text;
        }
    }
    for (auto it = open.cbegin(); it != open.cend(); ++it)
        QVERIFY2(it.value() == 0, qPrintable(it.key()));
    QVERIFY2(lastEnd.contains(QStringLiteral("Порт COM3.")), qPrintable(lastEnd));
}

// The window on the virtual instrument with the link up. The link check is held still until an
// exchange ends and starts it again, so the tests see who starts it.
struct Bench {
    TestBed bed;
    TFormMainKviroS_D7 &w = bed.window();
    InstrumentLink &link = w.link();
    VirtualInstrument &vi = bed.instrument();
    QStringList statuses;
    QList<QByteArray> ignored;

    Bench()
    {
        QObject::connect(&w.status(), &StatusModel::textChanged, [this](const QString &t) { statuses << t; });
        QObject::connect(&link, &InstrumentLink::bytesIgnored, [this](const QByteArray &b, const QString &) { ignored << b; });
        bed.tick();
        bed.tick();
        hold();
    }
    void hold()
    {
        link.stopPortSearch();
        TestBed::pump(30);
        link.FlushInput();
        vi.core().clearReceived();
        statuses.clear();
    }
    ReaderFeature &reader() { return w.reader(); }
    BdtsTransfer &transfer() { return w.bdts().transfer(); }

    // A database read completed, so that the instrument image can be written back.
    void readDatabase()
    {
        w.ActionBDTSExecute();
        w.bdts().RequestBdtsRead();
        QTRY_VERIFY_WITH_TIMEOUT(!transfer().busy(), Patience);
        QVERIFY(w.bdts().database().BdtsSorStream.has_value());
        hold();
    }
    // Starts the exchange by the operator's button.
    void start(Exchange e)
    {
        switch (e) {
        case Exchange::Table: reader().od().btnReadOPClick(); break;
        case Exchange::Protocol: reader().protocol().btnReadProtokolClick(); break;
        case Exchange::DatabaseRead: w.bdts().btnReadBDTSFromSorClick(); break;
        case Exchange::DatabaseWrite: w.bdts().btnSaveAddTsClick(); break;
        }
    }
};
} // namespace

class TstExchanges : public QObject {
    Q_OBJECT
private slots:
    // ---- the port vanishes in the middle of an exchange

    void lostPortEndsTheExchange_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<char>("command");
        QTest::addColumn<int>("replyBytes");
        QTest::newRow("table") << int(Exchange::Table) << 'G' << 300;
        QTest::newRow("protocol body") << int(Exchange::Protocol) << 'd' << 100;
        QTest::newRow("protocol length") << int(Exchange::Protocol) << 'g' << 0;
        QTest::newRow("database read") << int(Exchange::DatabaseRead) << 'r' << 200;
        QTest::newRow("database write") << int(Exchange::DatabaseWrite) << 'm' << 0;
    }
    void lostPortEndsTheExchange()
    {
        QFETCH(int, exchange);
        QFETCH(char, command);
        QFETCH(int, replyBytes);
        const Exchange e = Exchange(exchange);
        Bench b;
        b.link.setIdleTimeout(60000); // only the lost port can end it
        b.transfer().setReplyTimeout(60000);
        if (e == Exchange::DatabaseWrite)
            b.readDatabase();
        b.vi.vanishDuringReply(command, replyBytes);
        b.start(e);
        QVERIFY(b.link.exchangeRunning());
        QVERIFY(!b.link.portSearchRunning());

        QTRY_VERIFY_WITH_TIMEOUT(!b.link.exchangeRunning(), Patience);
        verifyExchangesJournalled(b.w);
        QVERIFY(!b.vi.isOn());
        QCOMPARE(b.w.status().progress(), 0);
        if (e == Exchange::DatabaseRead)
            QCOMPARE(b.w.status().text(), QStringLiteral("Порт отключен."));
        else if (e == Exchange::DatabaseWrite) // the box says what the instrument may hold now, and where the backup is
            QVERIFY2(b.w.status().text().startsWith(QStringLiteral("Порт отключен: запись БД ТС прервана")) &&
                         b.w.status().text().contains(QStringLiteral("может быть неполной")) &&
                         b.w.status().text().contains(b.transfer().lastBackup()),
                     qPrintable(b.w.status().text()));
        else
            QCOMPARE(b.w.status().text(), QStringLiteral("Порт связи потерян. Прервано: %1.").arg(nameOf(e)));
        QVERIFY(!b.transfer().busy());
        QVERIFY(b.link.rxBuffer().isEmpty());
        // The next tick cannot overwrite it unseen: the operator gets a message box.
        QTRY_COMPARE_WITH_TIMEOUT(b.bed.dialogs.errors.size(), 1, Patience);
        QVERIFY(b.bed.dialogs.errors.first().endsWith(b.w.status().text()));

        // The link check runs again by itself: the indicator goes off and the actions with it...
        QVERIFY(b.link.portSearchRunning());
        auto *indicator = b.w.findChild<QToolButton *>(QStringLiteral("sbtnCommON"));
        QTRY_VERIFY_WITH_TIMEOUT(!indicator->isEnabled(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(b.w.status().text(), QStringLiteral("Прибор выключен или не подключен к ПК."), Patience);
        QVERIFY(!b.w.ActionReader->isEnabled() && !b.w.ActionBDTS->isEnabled());
        // ...and the returning instrument is found again without the operator.
        QVERIFY(b.vi.powerOn());
        QTRY_VERIFY_WITH_TIMEOUT(indicator->isEnabled() && b.w.ActionReader->isEnabled(), Patience);
        QCOMPARE(b.w.status().text(), QStringLiteral("Связь с прибором есть."));
    }

    // ---- the instrument stops answering, or its reply never completes

    void silenceEndsTheExchange_data()
    {
        QTest::addColumn<QString>("knob");
        QTest::addColumn<int>("exchange");
        QTest::addColumn<bool>("byNotice");
        QTest::newRow("table shorter than 777") << "table-short 500" << int(Exchange::Table) << false;
        QTest::newRow("notice G and no table") << "silent on" << int(Exchange::Table) << true;
        QTest::newRow("body shorter than announced") << "body-short 120" << int(Exchange::Protocol) << false;
        QTest::newRow("notice g and no length") << "silent on" << int(Exchange::Protocol) << true;
        QTest::newRow("database read stalls") << "db-stall 2" << int(Exchange::DatabaseRead) << false;
        QTest::newRow("database write stalls") << "db-stall 3" << int(Exchange::DatabaseWrite) << false;
    }
    void silenceEndsTheExchange()
    {
        QFETCH(QString, knob);
        QFETCH(int, exchange);
        QFETCH(bool, byNotice);
        const Exchange e = Exchange(exchange);
        Bench b;
        b.link.setIdleTimeout(600);
        b.transfer().setReplyTimeout(600);
        if (e == Exchange::DatabaseWrite)
            b.readDatabase();
        QVERIFY(b.vi.control(knob).startsWith(QStringLiteral("ok")));
        if (!byNotice)
            b.start(e);
        else
            b.vi.sendRaw(e == Exchange::Table ? "G" : "g");
        QTRY_VERIFY_WITH_TIMEOUT(b.link.exchangeRunning(), Patience);

        QTRY_VERIFY_WITH_TIMEOUT(!b.link.exchangeRunning(), Patience);
        verifyExchangesJournalled(b.w);
        QCOMPARE(b.w.status().progress(), 0);
        QVERIFY(b.link.portSearchRunning());
        QVERIFY(b.link.rxBuffer().isEmpty());
        if (e == Exchange::DatabaseRead)
            QCOMPARE(b.w.status().text(), QStringLiteral("Прибор не отвечает: чтение БД ТС прервано."));
        else if (e == Exchange::DatabaseWrite)
            QVERIFY(b.w.status().text().startsWith(QStringLiteral("Прибор не отвечает: запись БД ТС прервана")));
        else
            QCOMPARE(b.w.status().text(), QStringLiteral("Прибор не отвечает. Прервано: %1.").arg(nameOf(e)));
        QTRY_COMPARE_WITH_TIMEOUT(b.bed.dialogs.errors.size(), 1, Patience);
        // A fetch that was given up is not under way any more.
        QVERIFY(!b.reader().od().autoRead());
        QVERIFY(!b.reader().protocol().autoRead());
        if (e == Exchange::Table)
            QVERIFY(b.reader().od().OpText.isEmpty());
        // The next tick shows the link as it is.
        QTRY_COMPARE_WITH_TIMEOUT(b.w.status().text(), QStringLiteral("Связь с прибором есть."), Patience);
    }

    void operatorsOwnTickOfAutoReceiveSurvivesAGiveUp()
    {
        Bench b;
        b.link.setIdleTimeout(400);
        b.reader().od().setAutoRead(true);
        b.vi.control(QStringLiteral("table-short 10"));
        b.start(Exchange::Table);
        QTRY_VERIFY_WITH_TIMEOUT(!b.link.exchangeRunning(), Patience);
        QVERIFY(b.reader().od().autoRead());
    }

    void announcedLengthOfZeroOrBelowEndsAtOnce_data()
    {
        QTest::addColumn<QByteArray>("five");
        QTest::addColumn<bool>("byNotice");
        QTest::newRow("zero") << QByteArray("00000") << false;
        QTest::newRow("negative") << QByteArray("-0001") << false;
        QTest::newRow("not a number") << QByteArray("00a50") << false;
        QTest::newRow("zero after a notice") << QByteArray("00000") << true;
    }
    void announcedLengthOfZeroOrBelowEndsAtOnce()
    {
        QFETCH(QByteArray, five);
        QFETCH(bool, byNotice);
        Bench b;
        b.link.setIdleTimeout(60000); // "at once": long before any time-out
        b.vi.reader().setAnnouncementOverride(five);
        if (byNotice)
            b.vi.reader().announceResults();
        else
            b.start(Exchange::Protocol);
        const QString text = QStringLiteral("Неверная длина протокола: ") + QString::fromLatin1(five);
        QTRY_COMPARE_WITH_TIMEOUT(b.w.status().text(), text, Patience);
        QVERIFY(!b.link.exchangeRunning());
        QVERIFY(b.link.portSearchRunning());
        QCOMPARE(b.w.status().progress(), 0);
        QCOMPARE(b.vi.reader().bodyRequests, 0);
        QVERIFY(!b.reader().protocol().autoRead());
    }

    // ---- bytes that belong to no exchange

    void bytesOutsideAnExchangeStartNothingAndNameNoFile()
    {
        Bench b;
        const QStringList before = QDir(b.bed.programDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        // A protocol body nobody asked for, then pieces that begin like a save request or a
        // database reply: held behind the body until the tick. A save request found behind them
        // is no save request.
        b.vi.sendRaw("dstray body without a length");
        QTRY_VERIFY_WITH_TIMEOUT(b.link.rxBuffer().startsWith("dstray"), Patience);
        for (const QByteArray &piece : {QByteArray("2") + QByteArray(18, 'x'), QByteArray("N00250"), QByteArray("R  3"),
                                         QByteArray("m")}) {
            b.vi.sendRaw(piece);
            QTRY_VERIFY_WITH_TIMEOUT(b.link.rxBuffer().endsWith(piece), Patience);
        }
        TestBed::pump(100);
        QVERIFY(b.vi.core().received().isEmpty());
        QVERIFY(!b.link.exchangeRunning());
        QCOMPARE(QDir(b.bed.programDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(!b.reader().od().autoRead() && !b.reader().protocol().autoRead());
        b.bed.tick();
        QVERIFY(b.link.rxBuffer().isEmpty());

        // A save request that never completes is emptied by the tick as well.
        b.vi.sendRaw("2short");
        QTRY_COMPARE_WITH_TIMEOUT(b.link.rxBuffer(), QByteArray("2short"), Patience);
        b.bed.tick();
        QVERIFY(b.link.rxBuffer().isEmpty());
        QCOMPARE(QDir(b.bed.programDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    // ---- one exchange owns the line

    void noticesDuringAnExchangeWaitForItsEnd()
    {
        Bench b;
        b.link.setIdleTimeout(60000);
        b.vi.core().setSilent(true); // the table request goes unanswered for now
        b.start(Exchange::Table);
        QTRY_COMPARE_WITH_TIMEOUT(b.vi.core().received(), QByteArray("G"), Patience);
        const QStringList before = QDir(b.bed.programDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        // Unprompted replies and a save request are dropped and reported; the two notices wait.
        const QList<QByteArray> stray{QByteArray("g"), QByteArray("N00250"), QByteArray("G"), QByteArray("R  3"),
                                      QByteArray("2") + QByteArray(18, 'y'), QByteArray("d12345"), QByteArray("m")};
        for (const QByteArray &piece : stray) {
            b.vi.sendRaw(piece);
            TestBed::pump(30);
            QTRY_VERIFY_WITH_TIMEOUT(b.link.rxBuffer().isEmpty(), Patience);
        }
        TestBed::pump(100);
        QCOMPARE(b.ignored.join('|'), QByteArray("N00250|R  3|2yyyyyyyyyyyyyyyyyy|d12345|m"));
        // Nothing was sent for them, the link check stayed stopped, no file was named.
        QCOMPARE(b.vi.core().received(), QByteArray("G"));
        QVERIFY(!b.link.portSearchRunning());
        QVERIFY(b.link.exchangeRunning());
        QCOMPARE(QDir(b.bed.programDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(!b.reader().protocol().autoRead());

        // The awaited reply is still taken; then the notices are served, each once.
        b.vi.core().setSilent(false);
        b.vi.sendRaw(ReaderSim::plateTable(4));
        QTRY_COMPARE_WITH_TIMEOUT(b.reader().od().OpText.size(), 777, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(b.vi.reader().bodyRequests, 1, Patience);
        // The request sent while the instrument was silent went unheard: the table it counts is
        // the one fetched for the notice.
        QTRY_COMPARE_WITH_TIMEOUT(b.vi.reader().tableRequests, 1, Patience);
        QTRY_VERIFY_WITH_TIMEOUT(!b.link.exchangeRunning(), Patience);
        TestBed::pump(200);
        QCOMPARE(b.vi.reader().lengthRequests, 1);
        QCOMPARE(b.vi.reader().tableRequests, 1);
        QVERIFY(b.link.portSearchRunning());
    }

    // A notice behind bytes that belong to no message is served, not held with them until the
    // tick; the bytes before it are reported.
    void noticeBehindStrayBytesIsServed_data()
    {
        QTest::addColumn<QByteArray>("stray");
        QTest::newRow("zero byte") << QByteArray(1, '\0');
        QTest::newRow("unknown byte") << QByteArray("X");
        QTest::newRow("table tag") << QByteArray("D");
        QTest::newRow("length tag") << QByteArray("N");
        QTest::newRow("page tag") << QByteArray("r");
        QTest::newRow("page") << QByteArray("r") + QByteArray(513, '\x01');
        QTest::newRow("noise") << QByteArray("\x01\x02\x03\xff\xfe");
    }
    void noticeBehindStrayBytesIsServed()
    {
        QFETCH(QByteArray, stray);
        Bench b;
        b.link.setIdleTimeout(60000);
        b.vi.sendRaw(stray + "G");
        QTRY_COMPARE_WITH_TIMEOUT(b.reader().od().OpText.size(), 777, Patience);
        QCOMPARE(b.vi.reader().tableRequests, 1);
        QCOMPARE(b.ignored.join(), stray);
    }

    // A stop in the middle of an answer: what is still on its way is the rest of that answer,
    // whatever its bytes look like, and starts nothing; a notice after the line fell quiet is served.
    void restOfACutAnswerIsDropped_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<bool>("timedOut"); // the instrument fell silent instead of a stop
        QTest::newRow("database read") << int(Exchange::DatabaseRead) << false;
        QTest::newRow("table") << int(Exchange::Table) << false;
        QTest::newRow("protocol") << int(Exchange::Protocol) << false;
        QTest::newRow("database read timed out") << int(Exchange::DatabaseRead) << true;
    }
    void restOfACutAnswerIsDropped()
    {
        QFETCH(int, exchange);
        QFETCH(bool, timedOut);
        const Exchange e = Exchange(exchange);
        Bench b;
        b.link.setIdleTimeout(timedOut ? 300 : 60000);
        b.transfer().setReplyTimeout(timedOut ? 300 : 60000);
        QVERIFY(b.vi.control(QStringLiteral("silent on")).startsWith(QStringLiteral("ok")));
        b.start(e);
        QTRY_VERIFY_WITH_TIMEOUT(b.link.exchangeRunning(), Patience);
        if (timedOut) {
            QTRY_VERIFY_WITH_TIMEOUT(!b.link.exchangeRunning(), Patience);
        } else {
            TestBed::pump(50);
            switch (e) {
            case Exchange::Table: b.reader().od().cancelFetch(); break;
            case Exchange::Protocol: b.reader().protocol().cancelFetch(); break;
            default: b.transfer().cancelRead(); break;
            }
        }
        QVERIFY(!b.link.exchangeRunning());
        QVERIFY(b.vi.control(QStringLiteral("silent off")).startsWith(QStringLiteral("ok")));
        b.vi.sendRaw(QByteArray("\x01\x7f", 2));
        TestBed::pump(100);
        b.vi.sendRaw("G");
        TestBed::pump(100);
        QVERIFY(b.link.droppingRestOfAnswer());
        QCOMPARE(b.vi.reader().tableRequests, 0); // a silent instrument counts nothing
        QTRY_VERIFY_WITH_TIMEOUT(!b.link.droppingRestOfAnswer(), Patience);
        b.vi.sendRaw("G");
        QTRY_COMPARE_WITH_TIMEOUT(b.vi.reader().tableRequests, 1, Patience);
    }

    // A notice sent right behind a reply, in the same write: the reply takes its own length,
    // the exchange completes, and the notice is served at its end.
    void noticeRightBehindAReply_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<char>("letter");
        QTest::addColumn<int>("nth");
        QTest::addColumn<QByteArray>("behind");
        QTest::addColumn<char>("fetchedAfter"); // 'G' a table, 'g' a protocol, 0 nothing
        QTest::newRow("G behind a database page") << int(Exchange::DatabaseRead) << 'r' << 2 << QByteArray("G") << 'G';
        QTest::newRow("noise behind a database page") << int(Exchange::DatabaseRead) << 'r' << 1 << QByteArray(2, '\0') << '\0';
        QTest::newRow("g behind the page count") << int(Exchange::DatabaseRead) << 'R' << 1 << QByteArray("g") << 'g';
        QTest::newRow("G behind a write acknowledgement") << int(Exchange::DatabaseWrite) << 'm' << 2 << QByteArray("G") << 'G';
        QTest::newRow("g behind the table") << int(Exchange::Table) << 'G' << 1 << QByteArray("g") << 'g';
        QTest::newRow("G behind the protocol body") << int(Exchange::Protocol) << 'd' << 1 << QByteArray("G") << 'G';
    }
    void noticeRightBehindAReply()
    {
        QFETCH(int, exchange);
        QFETCH(char, letter);
        QFETCH(int, nth);
        QFETCH(QByteArray, behind);
        QFETCH(char, fetchedAfter);
        const Exchange e = Exchange(exchange);
        Bench b;
        b.link.setIdleTimeout(60000);
        b.transfer().setReplyTimeout(60000);
        if (e == Exchange::DatabaseWrite)
            b.readDatabase();
        b.vi.sendBehindReply(letter, behind, nth);
        b.w.status().setText(QString());
        b.start(e);
        switch (e) {
        case Exchange::Table: QTRY_COMPARE_WITH_TIMEOUT(b.reader().od().OpText.size(), 777, Patience); break;
        case Exchange::Protocol: QTRY_VERIFY_WITH_TIMEOUT(!b.reader().protocol().ProtokolStream.isEmpty(), Patience); break;
        case Exchange::DatabaseRead:
            QTRY_VERIFY_WITH_TIMEOUT(!b.transfer().busy(), Patience);
            QVERIFY(b.w.bdts().database().BdtsSorStream.has_value());
            break;
        case Exchange::DatabaseWrite: QTRY_COMPARE_WITH_TIMEOUT(b.vi.bdts().writesCompleted(), 1, Patience); break;
        }
        QVERIFY2(!b.w.status().text().startsWith(QStringLiteral("Ошибка")), qPrintable(b.w.status().text()));
        QTRY_VERIFY_WITH_TIMEOUT(!b.link.exchangeRunning() && !b.transfer().busy(), Patience);
        TestBed::pump(300);
        QTRY_VERIFY_WITH_TIMEOUT(!b.link.exchangeRunning(), Patience);
        const int tables = e == Exchange::Table ? 1 : 0;
        const int protocols = e == Exchange::Protocol ? 1 : 0;
        QCOMPARE(b.vi.reader().tableRequests, tables + (fetchedAfter == 'G' ? 1 : 0));
        QCOMPARE(b.vi.reader().lengthRequests, protocols + (fetchedAfter == 'g' ? 1 : 0));
        if (fetchedAfter == '\0')
            QCOMPARE(b.ignored.join(), behind);
        else
            QVERIFY(b.ignored.isEmpty());
    }

    void secondExchangeIsRefusedWhileOneRuns()
    {
        Bench b;
        b.link.setIdleTimeout(60000);
        b.w.ActionBDTSExecute();
        b.vi.core().setSilent(true);
        b.start(Exchange::Table);
        QTRY_COMPARE_WITH_TIMEOUT(b.vi.core().received(), QByteArray("G"), Patience);
        const bool nullDiscard = b.link.nullDiscard();
        const QString refused =
            QStringLiteral("Идёт обмен с прибором (приём таблицы оптических плотностей), дождитесь окончания.");

        b.start(Exchange::Protocol);
        QCOMPARE(b.w.status().text(), refused);
        QCOMPARE(b.link.nullDiscard(), nullDiscard); // a database read may depend on it
        b.w.status().setText(QString());
        b.start(Exchange::DatabaseRead);
        QCOMPARE(b.w.status().text(), refused);
        QVERIFY(!b.transfer().busy());
        TestBed::pump(100);
        QCOMPARE(b.vi.core().received(), QByteArray("G"));
        // The table's own button asks again: the same owner may begin anew.
        b.vi.core().setSilent(false);
        b.start(Exchange::Table);
        QTRY_COMPARE_WITH_TIMEOUT(b.reader().od().OpText.size(), 777, Patience);
    }

    // ---- the firmware stream: only the link's answers are served

    void firmwareStreamIsNotInterruptedByTheInstrument()
    {
        // An odd size, so the stream ends with a short chunk; the bytes vary so any shift shows.
        QByteArray image(45677, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char((i * 31 + (i >> 7)) & 0xFF);
        TestBed bed;
        QTemporaryDir cwd;
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        const QString folder = QDir(bed.programDir()).filePath(QStringLiteral("FilesInSorvint"));
        QVERIFY(QDir().mkpath(folder));
        QFile file(QDir(folder).filePath(QStringLiteral("Sorvint_3070.tsk")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(image);
        file.close();

        TFormMainKviroS_D7 &w = bed.window();
        VirtualInstrument &vi = bed.instrument();
        vi.boot().setProgrammingMs(60000);
        bed.tick();
        w.ActionSoftSorvintExecute();
        vi.boot().switchOnWithStylus();
        bed.tick();
        bed.tick();
        QVERIFY(w.link().instrumentInLoader());
        QList<QByteArray> ignored;
        connect(&w.link(), &InstrumentLink::bytesIgnored, this, [&](const QByteArray &bytes, const QString &) { ignored << bytes; });
        vi.core().clearReceived();
        vi.port().setLineRate(40000); // 10000 bytes take 250 ms: the stream lasts over a second
        QSignalSpy chunks(&w.firmware().controller().transfer(), &firmware::FirmwareTransfer::progress);

        QTRY_VERIFY(w.firmware().frame()->btnLoadPO->isEnabled());
        w.firmware().frame()->btnLoadPO->click();
        QTRY_VERIFY_WITH_TIMEOUT(chunks.size() >= 1, Patience);
        // The instrument speaks meanwhile: two notices and a whole table reply.
        vi.sendRaw("G");
        TestBed::pump(20);
        vi.sendRaw("g");
        TestBed::pump(20);
        vi.sendRaw(QByteArray("D") + QByteArray(776, '7'));
        QTRY_COMPARE_WITH_TIMEOUT(w.status().text(), QStringLiteral("Программирование прибора"), 20000);
        w.link().stopPortSearch();
        QTRY_VERIFY_WITH_TIMEOUT(vi.boot().last().complete, Patience);

        // The stream, packed here: marker, length (image + 6, low byte first), image, 16-bit sum.
        QByteArray expected("\x55\xAA", 2);
        const quint32 length = quint32(image.size()) + 6;
        for (int i = 0; i < 4; ++i)
            expected.append(char((length >> (8 * i)) & 0xFF));
        expected += image;
        quint32 sum = 0;
        for (char c : image)
            sum += quint8(c);
        expected.append(char(sum & 0xFF));
        expected.append(char((sum >> 8) & 0xFF));
        const QByteArray received = vi.core().received();
        QCOMPARE(received.size() >= expected.size(), true);
        QCOMPARE(received.left(expected.size()), expected);
        // After the checksum the link check may have probed again; nothing else went out.
        QCOMPARE(received.mid(expected.size()), QByteArray(received.size() - expected.size(), 'l'));
        QVERIFY(vi.boot().last().checksumOk);
        QCOMPARE(vi.boot().last().image, image);
        QCOMPARE(vi.reader().tableRequests, 0);
        QCOMPARE(vi.reader().lengthRequests, 0);
        QVERIFY(w.reader().od().OpText.isEmpty());
        // Every byte the instrument sent during the stream was dropped: 'G', 'g' and the table.
        QCOMPARE(ignored.join(), QByteArray("Gg") + QByteArray("D") + QByteArray(776, '7'));
        QDir::setCurrent(oldCwd);
    }
};

QTEST_MAIN(TstExchanges)
#include "tst_exchanges.moc"
