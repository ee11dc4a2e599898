// The database jobs as operations, through the window's page and the virtual instrument on a
// pseudo-terminal: each outcome of a write and a read, the journal's one start and one end for
// it, what the instrument holds afterwards; the backup taken from the instrument on the line when
// another was swapped in; closing the window or changing the page during a write.
#include "app/mainwindow.h"
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "bdts/dbreadoperation.h"
#include "bdts/dbwriteoperation.h"
#include "core/files.h"
#include "core/journal.h"
#include "sim/bdts_sim.h"
#include "sim/ptyport.h"
#include "support/testbed.h"

#include <QAction>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <functional>

namespace {
QByteArray database(int pages, quint32 seed)
{
    bdts::GenOptions o;
    o.seed = seed;
    o.targetPages = pages;
    o.maxPages = 4;
    return bdts::generateImage(o);
}

struct Rig {
    TestBed tb;
    TFormMainKviroS_D7 &w = tb.window();
    BdtsFeature *feature = nullptr;
    qsizetype journalFrom = 0;
    Rig()
    {
        tb.tick();
        w.ActionBDTSExecute();
        feature = &w.bdts();
    }
    BdtsSim &sim() { return tb.instrument().bdts(); }
    DbWriteOperation &write() { return feature->writeOperation(); }
    // Opens the file as "из файла..." does; returns the image the write sends (in list order).
    QByteArray loadFile(const QByteArray &image)
    {
        const QString p = files::inFolder(tb.programDir(), QStringLiteral("file.bdts"));
        files::writeWhole(p, image);
        feature->database().loadFile(p);
        return feature->database().BdtsFileStream.value_or(QByteArray());
    }
    // The exchange entries of the journal since markJournal().
    void markJournal() { journalFrom = w.journal().entries().size(); }
    QStringList exchanges() const
    {
        QStringList out;
        const auto &all = w.journal().entries();
        for (qsizetype i = journalFrom; i < all.size(); ++i)
            if (all.at(i).kind == JournalKind::Exchange)
                out << all.at(i).text;
        return out;
    }
};

// One start and one end of the named job, the end carrying the outcome's text and the port.
void verifyJournalled(const QStringList &lines, const QString &job, const QString &endPart)
{
    QVERIFY2(lines.size() == 2, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.at(0), job + QStringLiteral(": начало."));
    QVERIFY2(lines.at(1).startsWith(job + QStringLiteral(": конец — ")) && lines.at(1).contains(endPart) &&
                 lines.at(1).contains(QStringLiteral("Порт COM3.")),
             qPrintable(lines.join(QLatin1Char('\n'))));
}
} // namespace

class TestDbOperations : public QObject {
    Q_OBJECT
private slots:
    void writeOutcomes_data();
    void writeOutcomes();
    void readOutcomes_data();
    void readOutcomes();
    void backupIsOfTheInstrumentOnTheLine();
    void leavingDuringAWrite_data();
    void leavingDuringAWrite();
};

using Kind = JobOutcome::Kind;
Q_DECLARE_METATYPE(JobOutcome::Kind)

// What happens during the write: nothing; the instrument stores a page wrongly; it falls silent
// or its port vanishes half-way; the operator asks to stop in the backup read or in the writing
// phase, or forces the stop; the operator says no.
enum class Act { None, Corrupt, Stall, Vanish, StopInBackupRead, StopWhileWriting, ForceWhileWriting, Decline };
Q_DECLARE_METATYPE(Act)

void TestDbOperations::writeOutcomes_data()
{
    QTest::addColumn<Act>("act");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("fileInInstrument"); // the instrument holds the file afterwards
    QTest::addColumn<bool>("incomplete");
    QTest::addColumn<QString>("endPart");
    QTest::newRow("completed") << Act::None << Kind::Completed << true << false << "проверена чтением: 30 страниц";
    QTest::newRow("read-back differs at page 6") << Act::Corrupt << Kind::ReadBackDiffers << false << false << "страница 6 из 30";
    QTest::newRow("silent while writing") << Act::Stall << Kind::InstrumentSilent << false << true << "может быть неполной";
    QTest::newRow("port lost while writing") << Act::Vanish << Kind::PortLost << false << true << "может быть неполной";
    QTest::newRow("stop in the backup read") << Act::StopInBackupRead << Kind::Cancelled << false << false << "запись не начата";
    QTest::newRow("stop held while writing") << Act::StopWhileWriting << Kind::WrittenNotVerified << true << false << "проверка чтением прервана";
    QTest::newRow("forced stop while writing") << Act::ForceWhileWriting << Kind::Cancelled << false << true << "может быть неполной";
    QTest::newRow("declined") << Act::Decline << Kind::Cancelled << false << false << "";
}

void TestDbOperations::writeOutcomes()
{
    QFETCH(Act, act);
    QFETCH(Kind, kind);
    QFETCH(bool, fileInInstrument);
    QFETCH(bool, incomplete);
    QFETCH(QString, endPart);
    Rig r;
    const QByteArray before = database(8, 3);
    r.sim().setImage(before);
    r.feature->transfer().setReplyTimeout(act == Act::Stall ? 800 : 20000);
    r.tb.instrument().port().setLineRate(act == Act::None || act == Act::Corrupt ? 0 : 20000);
    const QByteArray file = r.loadFile(database(30, 4));
    QCOMPARE(r.feature->database().BdtsFilePages, 30);
    if (act == Act::Corrupt)
        r.sim().corruptNextWrite(5);
    if (act == Act::Stall)
        r.sim().stallAfter(8 + 1 + 1 + 10); // count, backup pages, write start, ten pages
    if (act == Act::StopInBackupRead)
        r.sim().stallAfter(3);
    if (act == Act::Vanish)
        r.tb.instrument().vanishDuringReply('m', 0);
    r.tb.dialogs.yesNoAnswer = act != Act::Decline;
    QSignalSpy ended(&r.write(), &InstrumentOperation::finished);
    r.markJournal();
    r.write().start(BdtsTransfer::Source::File);
    if (act == Act::StopInBackupRead) {
        QTRY_VERIFY_WITH_TIMEOUT(r.sim().pagesServed() == 2, 10000);
        QCOMPARE(r.write().requestStop(), InstrumentOperation::StopAnswer::Stopping);
        r.sim().stallAfter(-1);
    }
    if (act == Act::StopWhileWriting || act == Act::ForceWhileWriting) {
        QTRY_VERIFY_WITH_TIMEOUT(r.write().inProtectedPhase(), 10000);
        QTest::qWait(100);
        QCOMPARE(r.write().requestStop(), InstrumentOperation::StopAnswer::Held);
        QVERIFY(r.write().running());
        if (act == Act::ForceWhileWriting)
            r.write().forceStop();
    }
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
    const JobOutcome o = ended.at(0).at(0).value<JobOutcome>();
    QCOMPARE(o.kind, kind);
    QCOMPARE(o.mayBeIncomplete, incomplete);
    QCOMPARE(o.port, QStringLiteral("COM3"));
    QTest::qWait(100);
    QCOMPARE(ended.size(), 1); // one outcome, never a second
    if (act != Act::Vanish)
        QCOMPARE(r.sim().image() == file, fileInInstrument);
    else
        QVERIFY(!r.sim().writing() || r.sim().image() != file);
    if (kind == Kind::ReadBackDiffers) {
        QCOMPARE(o.page(), 6);
        QCOMPARE(r.tb.dialogs.errors.size(), 1); // the window says which page
        QVERIFY2(r.tb.dialogs.errors.first().contains(QStringLiteral("страница 6")), qPrintable(r.tb.dialogs.errors.first()));
    }
    if (incomplete) {
        // The backup is named, holds what the instrument held, and the steps say how to write it back.
        QVERIFY(!o.backup.isEmpty());
        QByteArray kept;
        QVERIFY(files::readWhole(o.backup, &kept));
        QCOMPARE(kept, before);
        QVERIFY(o.nextStep.contains(o.backup) && o.nextStep.contains(QStringLiteral("из файла")));
    }
    // Declined: the question follows the read that names what the instrument would lose, so that
    // read is the job's one exchange, and it ends cancelled with nothing written.
    verifyJournalled(r.exchanges(), QStringLiteral("Запись БД ТС в прибор"),
                     act == Act::Decline ? QStringLiteral("отменена") : endPart);
}

void TestDbOperations::readOutcomes_data()
{
    QTest::addColumn<QString>("knob");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("endPart");
    QTest::newRow("completed") << QString() << false << Kind::Completed << "страниц 12";
    QTest::newRow("silent") << "db-stall 4" << false << Kind::InstrumentSilent << "не отвечает";
    QTest::newRow("count is no number") << "db-count-text 1x2" << false << Kind::Refused << "не является числом";
    QTest::newRow("stopped") << "db-stall 4" << true << Kind::Cancelled << "прервано";
}

void TestDbOperations::readOutcomes()
{
    QFETCH(QString, knob);
    QFETCH(bool, stop);
    QFETCH(Kind, kind);
    QFETCH(QString, endPart);
    Rig r;
    r.sim().setImage(database(12, 9));
    r.feature->transfer().setReplyTimeout(stop ? 60000 : 800);
    if (!knob.isEmpty())
        QVERIFY(r.tb.instrument().control(knob).startsWith(QStringLiteral("ok")));
    DbReadOperation &read = r.feature->readOperation();
    QSignalSpy ended(&read, &InstrumentOperation::finished);
    r.markJournal();
    read.start();
    if (stop) {
        QTRY_VERIFY_WITH_TIMEOUT(r.sim().pagesServed() >= 2, 10000);
        read.requestStop();
    }
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QCOMPARE(ended.at(0).at(0).value<JobOutcome>().kind, kind);
    QTest::qWait(50);
    QCOMPARE(ended.size(), 1);
    verifyJournalled(r.exchanges(), QStringLiteral("Чтение БД ТС из прибора"), endPart);
}

void TestDbOperations::backupIsOfTheInstrumentOnTheLine()
{
    // A's database is read; A is replaced by B on the same port; the write's backup is B's.
    Rig r;
    const QByteArray a = database(6, 21), b = database(9, 22);
    r.sim().setImage(a);
    DbReadOperation &read = r.feature->readOperation();
    QSignalSpy readEnded(&read, &InstrumentOperation::finished);
    read.start();
    QTRY_COMPARE_WITH_TIMEOUT(readEnded.size(), 1, 20000);
    QVERIFY(r.feature->transfer().imageIsCurrent());
    r.tb.instrument().powerOff();
    QTRY_VERIFY_WITH_TIMEOUT(!r.w.link().portOpen(), 5000);
    VirtualInstrument second(r.tb.portFolder(), 3);
    QVERIFY(second.powerOn());
    second.bdts().setImage(b);
    QTRY_VERIFY_WITH_TIMEOUT(r.w.link().portOpen() && r.w.link().linkOn(), 10000);
    QVERIFY(!r.feature->transfer().imageIsCurrent());
    const QByteArray file = r.loadFile(database(5, 23));
    QSignalSpy ended(&r.write(), &InstrumentOperation::finished);
    r.write().start(BdtsTransfer::Source::File);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 30000);
    const JobOutcome o = ended.at(0).at(0).value<JobOutcome>();
    QCOMPARE(o.kind, Kind::Completed);
    QByteArray kept;
    QVERIFY(files::readWhole(o.backup, &kept));
    QCOMPARE(kept, b);
    QCOMPARE(second.bdts().image(), file);
    // Right after, the image held is B's as the read-back left it: no second backup read.
    QVERIFY(r.feature->transfer().imageIsCurrent());
}

// How the operator leaves a write: the window's close box (Alt+F4), "Выход", a click on a page
// tab, the group bar's "Ридер ОП". Each asks first in the writing phase.
enum class Leave { Close, Exit, PageTab, GroupBar };
Q_DECLARE_METATYPE(Leave)

void TestDbOperations::leavingDuringAWrite_data()
{
    QTest::addColumn<Leave>("how");
    QTest::newRow("closing the window") << Leave::Close;
    QTest::newRow("Выход") << Leave::Exit;
    QTest::newRow("page tab") << Leave::PageTab;
    QTest::newRow("group bar") << Leave::GroupBar;
}

void TestDbOperations::leavingDuringAWrite()
{
    QFETCH(Leave, how);
    Rig r;
    r.w.show();
    r.sim().setImage(database(4, 31));
    r.tb.instrument().port().setLineRate(20000);
    const QByteArray file = r.loadFile(database(40, 32));
    const auto leave = [&] {
        switch (how) {
        case Leave::Close: (void)r.w.close(); break;
        case Leave::Exit: r.w.ActionExit->trigger(); break;
        case Leave::PageTab: r.w.pages()->setCurrentIndex(TFormMainKviroS_D7::PageAbout); break;
        case Leave::GroupBar: r.w.ActionReader->trigger(); break;
        }
    };
    const auto stayed = [&] {
        return how == Leave::Close || how == Leave::Exit ? r.w.isVisible()
                                                         : r.w.currentPage() == TFormMainKviroS_D7::PageBDTS;
    };
    r.tb.tick(); // the link check's update enables the group bar's pages
    QVERIFY(r.w.ActionReader->isEnabled());
    QSignalSpy ended(&r.write(), &InstrumentOperation::finished);
    r.write().start(BdtsTransfer::Source::File);
    QTRY_VERIFY_WITH_TIMEOUT(r.write().inProtectedPhase(), 10000);
    // "Нет": the window and its page stay and the write goes on to its end.
    r.tb.dialogs.yesNoAnswer = false;
    qsizetype asked = r.tb.dialogs.warnings.size();
    leave();
    QCOMPARE(r.tb.dialogs.warnings.size(), asked + 1);
    QVERIFY(r.tb.dialogs.warnings.last().contains(QStringLiteral("неполной")));
    QVERIFY(stayed());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
    QCOMPARE(ended.at(0).at(0).value<JobOutcome>().kind, Kind::Completed);
    QCOMPARE(r.sim().image(), file);
    // Again, and "Да": the write is cut, the window closes or the page changes, and the outcome
    // names the backup.
    r.tb.dialogs.yesNoAnswer = true;
    r.write().start(BdtsTransfer::Source::File);
    QTRY_VERIFY_WITH_TIMEOUT(r.write().inProtectedPhase(), 10000);
    asked = r.tb.dialogs.warnings.size();
    leave();
    QCOMPARE(r.tb.dialogs.warnings.size(), asked + 1); // asked once, not again by the page change
    QVERIFY(!stayed());
    QCOMPARE(ended.size(), 2);
    const JobOutcome cut = ended.at(1).at(0).value<JobOutcome>();
    QCOMPARE(cut.kind, Kind::Cancelled);
    QVERIFY(cut.mayBeIncomplete && !cut.backup.isEmpty());
    TestBed::pump(200);
    QCOMPARE(r.sim().writesCompleted(), 1); // the cut write never completed
}

QTEST_MAIN(TestDbOperations)
#include "tst_dboperations.moc"
