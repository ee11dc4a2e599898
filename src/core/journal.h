#pragma once
// The journal: what the program reported, kept on disk, one UTF-8 text file per day
// ("logs/YYYY-MM-DD.log" in the working-files folder), one entry a line:
//     HH:MM:SS.mmm<TAB>kind<TAB>text
// Entries are handed to a writer thread and written as they come (each written batch is flushed
// to the system at once), so the window thread never waits for the disk and a crash of the
// program loses nothing already shown. Files older than the kept days are removed when the
// journal opens. A folder that cannot be written gives one warning entry, then silence.
//
// Widget-free: a command-line program may keep a journal of its own the same way.
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class LineMonitor;

enum class JournalKind { Info, Warning, Error, Exchange, File, Port };

struct JournalEntry {
    QDateTime when; // local time, to the millisecond
    JournalKind kind = JournalKind::Info;
    QString text;   // one line: line breaks are shown as "⏎"
};

class Journal : public QObject {
    Q_OBJECT
public:
    explicit Journal(QObject *parent = nullptr);
    ~Journal() override; // writes what is still queued, then stops the writer

    // Starts writing into the folder (created when missing; usually workingFolder + "logs").
    // The writer first removes journal files older than keepDays, then reads the entries the
    // day's file already holds (earlier runs) and puts them before this run's (earlierLoaded).
    // Until open() entries are only kept in memory; they are written once it is called.
    void open(const QString &folder, int keepDays = 90);
    QString folder() const { return m_folder; }
    // The folder of the journal below a working-files folder.
    static QString folderIn(const QString &workingFolder);

    // One entry, stamped now. Safe from any thread (entries from other threads are passed to
    // the journal's own thread first).
    void add(JournalKind kind, const QString &text);
    // The same with the time the event happened, when it is journalled later.
    void addAt(const QDateTime &when, JournalKind kind, const QString &text);
    void info(const QString &text) { add(JournalKind::Info, text); }
    void warning(const QString &text) { add(JournalKind::Warning, text); }
    void error(const QString &text) { add(JournalKind::Error, text); }

    // An exchange with the instrument: its start, and its end with the outcome; the end entry
    // adds the time taken and the bytes the line carried both ways meanwhile (when a line
    // monitor is attached). One exchange runs at a time; an end without a start is ignored.
    void exchangeStarted(const QString &what);
    void exchangeEnded(const QString &outcome);
    bool exchangeRunning() const { return m_exchange.has_value(); }
    void setLineMonitor(const LineMonitor *monitor) { m_monitor = monitor; }

    // The entries of the day held in memory, oldest first (at most MaxEntriesInMemory; the
    // file keeps them all). At the bound the oldest DropStep go at once, so that a view follows
    // one removal per DropStep entries rather than one per entry.
    static constexpr int MaxEntriesInMemory = 20000;
    static constexpr int DropStep = 1000;
    const QList<JournalEntry> &entries() const { return m_entries; }
    // The last warning or error, if any.
    std::optional<JournalEntry> lastAlert() const { return m_lastAlert; }

    // Blocks until every entry added so far has reached the file (tests; a command-line
    // program before it exits). False when maxMs passed first.
    bool waitWritten(int maxMs = 5000);

    // The clock (tests put a day change on it).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // The program's journal, if one is set: files, dialogs and other helpers report to it.
    static Journal *current();
    static void setCurrent(Journal *journal);

    // ---- format
    static QString kindName(JournalKind kind);       // "info", "warning", … as in the file
    static QString kindCaption(JournalKind kind);    // Russian, for the window
    static std::optional<JournalKind> kindFromName(const QString &name);
    static QString fileNameFor(const QDate &day);    // "2026-12-08.log"
    static QString oneLine(const QString &text);     // line breaks as "⏎", tabs as blanks
    static QString lineOf(const JournalEntry &entry); // without the line end
    static std::optional<JournalEntry> parseLine(const QDate &day, const QString &line);

signals:
    void added(const JournalEntry &entry);
    // A warning or an error was added.
    void alert(const JournalEntry &entry);
    // The day's earlier entries were read from its file and now stand before this run's.
    void earlierLoaded();
    // The oldest `count` entries are about to leave the memory, and have left it.
    void oldestAboutToBeDropped(int count);
    void oldestDropped(int count);

private:
    struct Writer;
    struct Exchange {
        QString what;
        QDateTime started;
        qint64 sent = 0, received = 0;
    };
    void addStamped(const JournalEntry &entry);
    void takeEarlier(const QList<JournalEntry> &earlier);
    void writerFailed(const QString &text);

    std::unique_ptr<Writer> m_writer;
    QString m_folder;
    QList<JournalEntry> m_entries;
    std::optional<JournalEntry> m_lastAlert;
    std::optional<Exchange> m_exchange;
    const LineMonitor *m_monitor = nullptr;
    std::function<QDateTime()> m_clock;
    bool m_failureReported = false;
};

// Reports to the program's journal when there is one; does nothing otherwise.
namespace journal {
void note(JournalKind kind, const QString &text);
void exchangeStarted(const QString &what);
void exchangeEnded(const QString &outcome);
} // namespace journal
