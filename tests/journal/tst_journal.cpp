// The journal without widgets: its file format, the day change, old files, a folder that cannot
// be written, the status-line and dialog feeds, and the line monitor's bound.
#include "core/journal.h"
#include "core/journalfeeds.h"
#include "core/linemonitor.h"
#include "core/status.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
QStringList linesOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A clock the test sets.
struct TestClock {
    QDateTime now = QDateTime(QDate(2026, 3, 14), QTime(10, 20, 30, 45));
    std::function<QDateTime()> fn() { return [this] { return now; }; }
};

class NullDialogs final : public UserDialogs {
public:
    QString askSaveFile(const FileDialogRequest &) override { return {}; }
    QString askOpenFile(const FileDialogRequest &) override { return {}; }
    bool warnYesNo(const QString &, const QString &) override { return false; }
    void showError(const QString &, const QString &) override {}
};
} // namespace

class TstJournal : public QObject {
    Q_OBJECT
private slots:
    void entriesAreWrittenOneALineAsTheyCome()
    {
        QTemporaryDir dir;
        TestClock clock;
        Journal j;
        j.setClock(clock.fn());
        j.info(QStringLiteral("до открытия")); // kept and written once the folder is known
        j.open(QDir(dir.path()).filePath(QStringLiteral("logs")));
        clock.now = clock.now.addMSecs(7);
        j.error(QStringLiteral("Ошибка\r\nвторая строка\tи табуляция\nтретья"));
        j.add(JournalKind::Port, QStringLiteral("Порт COM3 открыт."));
        QVERIFY(j.waitWritten());
        const QString file = QDir(dir.path()).filePath(QStringLiteral("logs/2026-03-14.log"));
        QCOMPARE(linesOf(file), (QStringList{
                                    QStringLiteral("10:20:30.045\tinfo\tдо открытия"),
                                    QStringLiteral("10:20:30.052\terror\tОшибка⏎вторая строка и табуляция⏎третья"),
                                    QStringLiteral("10:20:30.052\tport\tПорт COM3 открыт."),
                                }));
        // Written already, before the journal closes: nothing waits for the end of the run.
        QCOMPARE(j.entries().size(), 3);
        QVERIFY(j.lastAlert());
        QCOMPARE(j.lastAlert()->text, QStringLiteral("Ошибка⏎вторая строка и табуляция⏎третья"));

        // A line read back gives the entry again; foreign lines are skipped.
        const auto back = Journal::parseLine(QDate(2026, 3, 14), linesOf(file).at(2));
        QVERIFY(back);
        QCOMPARE(back->kind, JournalKind::Port);
        QCOMPARE(back->when, QDateTime(QDate(2026, 3, 14), QTime(10, 20, 30, 52)));
        QVERIFY(!Journal::parseLine(QDate(2026, 3, 14), QStringLiteral("10:20:30.052\tnonsense\tx")));
        QVERIFY(!Journal::parseLine(QDate(2026, 3, 14), QStringLiteral("garbage")));
    }

    void dayChangeStartsTheNextFile()
    {
        QTemporaryDir dir;
        TestClock clock;
        clock.now = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 900));
        Journal j;
        j.setClock(clock.fn());
        j.open(dir.path());
        j.info(QStringLiteral("последнее в году"));
        clock.now = QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 100));
        j.info(QStringLiteral("первое в году"));
        QVERIFY(j.waitWritten());
        QCOMPARE(linesOf(QDir(dir.path()).filePath(QStringLiteral("2026-12-31.log"))),
                 QStringList{QStringLiteral("23:59:59.900\tinfo\tпоследнее в году")});
        QCOMPARE(linesOf(QDir(dir.path()).filePath(QStringLiteral("2027-01-01.log"))),
                 QStringList{QStringLiteral("00:00:00.100\tinfo\tпервое в году")});
    }

    void openingRemovesOldFilesAndReadsTheDaysEarlierEntries()
    {
        QTemporaryDir dir;
        auto make = [&](const QString &name, const QByteArray &text) {
            QFile f(QDir(dir.path()).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        make(QStringLiteral("2025-12-13.log"), "09:00:00.000\tinfo\tслишком старое\n"); // 91 days before
        make(QStringLiteral("2025-12-14.log"), "09:00:00.000\tinfo\tровно 90 дней\n");
        make(QStringLiteral("notes.log"), "не журнал\n");
        make(QStringLiteral("2026-03-14.log"), "08:00:00.001\twarning\tутром\nобрывок\n08:00:00.002\tfile\tЗаписан файл\n");
        TestClock clock;
        Journal j;
        j.setClock(clock.fn());
        QSignalSpy loaded(&j, &Journal::earlierLoaded);
        j.info(QStringLiteral("этот запуск"));
        j.open(dir.path());
        QVERIFY(loaded.wait(5000));
        QVERIFY(j.waitWritten());
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath(QStringLiteral("2025-12-13.log"))));
        QVERIFY(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("2025-12-14.log"))));
        QVERIFY(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("notes.log"))));
        QStringList texts;
        for (const JournalEntry &e : j.entries())
            texts << e.text;
        QCOMPARE(texts, (QStringList{QStringLiteral("утром"), QStringLiteral("Записан файл"), QStringLiteral("этот запуск")}));
        QCOMPARE(linesOf(QDir(dir.path()).filePath(QStringLiteral("2026-03-14.log"))).last(),
                 QStringLiteral("10:20:30.045\tinfo\tэтот запуск"));
    }

    void folderThatCannotBeWrittenWarnsOnceThenIsSilent()
    {
        QTemporaryDir dir;
        // A file stands where the folder should be: no permission bits needed (root ignores them).
        const QString blocker = QDir(dir.path()).filePath(QStringLiteral("logs"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        Journal j;
        QSignalSpy alerts(&j, &Journal::alert);
        j.open(blocker);
        for (int i = 0; i < 20; ++i)
            j.info(QStringLiteral("событие %1").arg(i));
        QVERIFY(j.waitWritten());
        QTRY_COMPARE_WITH_TIMEOUT(alerts.count(), 1, 5000);
        for (int i = 0; i < 20; ++i)
            j.info(QStringLiteral("ещё %1").arg(i));
        QVERIFY(j.waitWritten());
        QTest::qWait(100);
        QCOMPARE(alerts.count(), 1);
        const JournalEntry warning = alerts.first().first().value<JournalEntry>();
        QCOMPARE(warning.kind, JournalKind::Warning);
        QVERIFY(warning.text.startsWith(QStringLiteral("Журнал не записывается")));
        QCOMPARE(j.entries().size(), 41); // every entry is still kept in memory
    }

    void exchangeEntriesCarryTimeAndBytes()
    {
        TestClock clock;
        LineMonitor monitor;
        Journal j;
        j.setClock(clock.fn());
        j.setLineMonitor(&monitor);
        j.exchangeEnded(QStringLiteral("без начала")); // ignored
        QCOMPARE(j.entries().size(), 0);
        monitor.record(true, "earlier");
        j.exchangeStarted(QStringLiteral("Чтение БД ТС из прибора"));
        monitor.record(true, "R");
        monitor.record(false, QByteArray(518, 'r'));
        clock.now = clock.now.addMSecs(1250);
        j.exchangeEnded(QStringLiteral("Принято из прибора страниц: 1"));
        QCOMPARE(j.entries().size(), 2);
        QCOMPARE(j.entries().at(0).text, QStringLiteral("Чтение БД ТС из прибора: начало."));
        QCOMPARE(j.entries().at(1).kind, JournalKind::Exchange);
        QCOMPARE(j.entries().at(1).text, QStringLiteral("Чтение БД ТС из прибора: конец — Принято из прибора страниц: 1. "
                                                        "Время: 1,250 с; отправлено байт: 1, принято байт: 518."));
        QVERIFY(!j.exchangeRunning());
    }

    void statusTextsOfTheLinkCheckOnlyWhenTheyChange()
    {
        StatusModel status;
        Journal j;
        StatusJournal feed(status, j);
        auto tick = [&](const QString &text, bool known = true) {
            feed.beginTick();
            status.setText(QStringLiteral("Связь с прибором есть."));
            status.setText(text); // the wizard may overwrite the base text
            feed.endTick(known);
        };
        // The first tick's guess, before the instrument could answer the probe: not journalled.
        tick(QStringLiteral("Прибор выключен или не подключен к ПК."), false);
        for (int i = 0; i < 5; ++i)
            tick(QStringLiteral("Связь с прибором есть."));
        // The count of a reply's characters is progress, not a message of its own.
        status.setText(QStringLiteral("777"));
        status.setText(QStringLiteral("Чтение БД ТС из прибора."));
        for (int page = 1; page <= 999; ++page)
            status.setText(QStringLiteral("Принято из прибора страниц: %1").arg(page));
        tick(QStringLiteral("Связь с прибором есть."));
        status.setText(QStringLiteral("Неверный формат файла."));
        status.setText(QStringLiteral("Неверный формат файла.")); // a repeat of the same text
        tick(QStringLiteral("Прибор выключен или не подключен к ПК."));
        tick(QStringLiteral("Прибор выключен или не подключен к ПК."));
        status.setText(QStringLiteral("Ошибка добавления в список прибора."));
        status.setText(QString());
        // A step outside the tick says what the tick will say: one entry.
        status.setText(QStringLiteral("Выключите прибор. Шаг 2."));
        tick(QStringLiteral("Выключите прибор. Шаг 2."));

        QStringList got;
        for (const JournalEntry &e : j.entries())
            got << Journal::kindName(e.kind) + QLatin1Char(' ') + e.text;
        QCOMPARE(got, (QStringList{
                          QStringLiteral("info Связь с прибором есть."),
                          QStringLiteral("info Чтение БД ТС из прибора."),
                          QStringLiteral("info Принято из прибора страниц: 1"),
                          QStringLiteral("info Принято из прибора страниц: 999"),
                          QStringLiteral("warning Неверный формат файла."),
                          QStringLiteral("warning Прибор выключен или не подключен к ПК."),
                          QStringLiteral("error Ошибка добавления в список прибора."),
                          QStringLiteral("info Выключите прибор. Шаг 2."),
                      }));
        QCOMPARE(StatusJournal::kindOf(QStringLiteral("Прибор не отвечает: чтение БД ТС прервано.")), JournalKind::Warning);
        QCOMPARE(StatusJournal::kindOf(QStringLiteral("Оптические плотности приняты")), JournalKind::Info);
    }

    void messageBoxesAreJournalled()
    {
        Journal j;
        NullDialogs inner;
        JournalingDialogs dialogs(inner, j);
        dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось записать файл \"x\".\nДиск полон"));
        QVERIFY(!dialogs.warnYesNo(QStringLiteral("Вернитесь к шагу 2."), QStringLiteral("Прибор не в режиме программирования!")));
        QCOMPARE(j.entries().size(), 3);
        QCOMPARE(j.entries().at(0).kind, JournalKind::Error);
        QCOMPARE(j.entries().at(0).text, QStringLiteral("Ошибка: Не удалось записать файл \"x\".⏎Диск полон"));
        QCOMPARE(j.entries().at(1).kind, JournalKind::Warning);
        QCOMPARE(j.entries().at(2).text, QStringLiteral("Вернитесь к шагу 2.: ответ «Нет»."));
    }

    void monitorKeepsTheNewestBytesWithinItsBound()
    {
        LineMonitor m;
        m.record(true, "l"); // off: counted, not kept
        QCOMPARE(m.pieces().size(), size_t(0));
        QCOMPARE(m.bytesSent(), 1);
        m.setEnabled(true);
        const QByteArray page(514, 'p');
        for (int i = 0; i < 1000; ++i) {
            m.record(true, "r");
            m.record(false, page);
        }
        QVERIFY(m.bytesHeld() <= LineMonitor::MaxBytes);
        QVERIFY(m.bytesHeld() > LineMonitor::MaxBytes - 600);
        QCOMPARE(m.pieces().back().bytes, page);
        QVERIFY(m.droppedPieces() > 0);
        QCOMPARE(m.bytesReceived(), 514 * 1000);
        // A piece larger than the bound keeps its newest bytes.
        QByteArray huge(LineMonitor::MaxBytes + 10, 'a');
        huge.append("END");
        m.record(false, huge);
        QCOMPARE(m.pieces().size(), size_t(1));
        QCOMPARE(m.bytesHeld(), LineMonitor::MaxBytes);
        QVERIFY(m.pieces().front().bytes.endsWith("aEND"));
        // Many tiny pieces: the piece count is bounded too.
        m.clear();
        for (int i = 0; i < LineMonitor::MaxPieces + 100; ++i)
            m.record(true, "B");
        QCOMPARE(m.pieces().size(), size_t(LineMonitor::MaxPieces));
        QCOMPARE(m.piecesKept(), LineMonitor::MaxPieces + 100);
        // A one-byte answer in a read buffer of 64 KiB: the piece holds its byte, not the buffer,
        // or the pieces the count allows would hold gigabytes the byte bound never sees.
        QByteArray readBuffer;
        readBuffer.reserve(64 * 1024);
        readBuffer.append('L');
        m.record(false, readBuffer);
        QCOMPARE(m.pieces().back().bytes, QByteArray("L"));
        QVERIFY(m.pieces().back().bytes.capacity() < 1024);
    }

    void monitorTextShowsHexAndWindows1251()
    {
        LinePiece piece{QDateTime(QDate(2026, 3, 14), QTime(9, 8, 7, 6)).toMSecsSinceEpoch(), false,
                        QByteArray("L\r\n\xC0\xE1\x00", 6)};
        QCOMPARE(LineMonitor::formatPiece(piece), QStringLiteral("09:08:07.006  ←  4C 0D 0A C0 E1 00") +
                                                      QString(16 * 3 - 1 - 17, QLatin1Char(' ')) +
                                                      QStringLiteral("  |L..Аб.|"));
        piece.outgoing = true;
        piece.bytes = QByteArray(20, 'r');
        const QStringList lines = LineMonitor::formatPiece(piece).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(QStringLiteral("09:08:07.006  →  72 72")));
        QCOMPARE(lines.at(1), QString(17, QLatin1Char(' ')) + QStringLiteral("72 72 72 72") +
                                  QString(16 * 3 - 1 - 11, QLatin1Char(' ')) + QStringLiteral("  |rrrr|"));
    }
};

QTEST_GUILESS_MAIN(TstJournal)
#include "tst_journal.moc"
