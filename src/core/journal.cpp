#include "core/journal.h"

#include "core/files.h"
#include "core/linemonitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {
Journal *&currentJournal()
{
    static Journal *journal = nullptr;
    return journal;
}

const QString kLineBreakMark = QStringLiteral("⏎");
} // namespace

// ---------------------------------------------------------------- writer thread

struct Journal::Writer {
    Journal *owner = nullptr;
    QString folder;
    QDate today;
    int keepDays = 90;

    std::mutex mutex;
    std::condition_variable wake, idle;
    std::deque<JournalEntry> queue;
    bool stopping = false;
    bool busy = true; // until the start-up work (old files, the day's earlier entries) is done
    std::thread thread;

    QFile file;
    QDate fileDay;
    bool reported = false; // one failure report for the whole run

    void start() { thread = std::thread([this] { run(); }); }
    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        if (thread.joinable())
            thread.join();
    }
    void push(const JournalEntry &entry)
    {
        {
            std::lock_guard lock(mutex);
            queue.push_back(entry);
        }
        wake.notify_one();
    }

    void run()
    {
        QDir().mkpath(folder);
        removeOldFiles();
        loadEarlier();
        for (;;) {
            std::deque<JournalEntry> batch;
            {
                std::unique_lock lock(mutex);
                busy = false;
                idle.notify_all();
                wake.wait(lock, [this] { return stopping || !queue.empty(); });
                if (queue.empty())
                    break; // stopping, and everything is written
                batch.swap(queue);
                busy = true;
            }
            for (const JournalEntry &entry : batch)
                write(entry);
            if (file.isOpen() && !file.flush())
                fail(QStringLiteral("Журнал не записывается в файл %1: %2")
                         .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
        }
        file.close();
        std::lock_guard lock(mutex);
        busy = false;
        idle.notify_all();
    }

    void write(const JournalEntry &entry)
    {
        const QDate day = entry.when.date();
        if (day != fileDay) {
            file.close();
            fileDay = day; // a file that cannot be opened is tried again on the next day only
            // A FIFO or a device in the file's place would hold the writer, and the exit with it.
            QString why;
            if (!files::openRegularFile(file, QDir(folder).filePath(Journal::fileNameFor(day)),
                                        QIODevice::WriteOnly | QIODevice::Append, &why)) {
                fail(QStringLiteral("Журнал не записывается в папку %1: %2").arg(QDir::toNativeSeparators(folder), why));
                return;
            }
        }
        if (!file.isOpen())
            return;
        const QByteArray line = Journal::lineOf(entry).toUtf8() + '\n';
        if (file.write(line) != line.size())
            fail(QStringLiteral("Журнал не записывается в файл %1: %2")
                     .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    }

    void fail(const QString &text)
    {
        if (reported)
            return;
        reported = true;
        qWarning("%s", qPrintable(text));
        QMetaObject::invokeMethod(owner, [o = owner, text] { o->writerFailed(text); }, Qt::QueuedConnection);
    }

    void removeOldFiles()
    {
        if (keepDays <= 0)
            return;
        static const QRegularExpression name(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})\\.log$"));
        const QDate oldestKept = today.addDays(-keepDays);
        QDir dir(folder);
        for (const QString &entry : dir.entryList({QStringLiteral("*.log")}, QDir::Files)) {
            const auto m = name.match(entry);
            if (!m.hasMatch())
                continue;
            const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
            if (day.isValid() && day < oldestKept)
                dir.remove(entry);
        }
    }

    void loadEarlier()
    {
        QFile earlierFile;
        const QString earlierPath = QDir(folder).filePath(Journal::fileNameFor(today));
        if (!QFileInfo::exists(earlierPath) || !files::openRegularFile(earlierFile, earlierPath, QIODevice::ReadOnly))
            return;
        // Only the newest part matters when the day's file is large.
        constexpr qint64 kTail = 4 * 1024 * 1024;
        if (earlierFile.size() > kTail) {
            earlierFile.seek(earlierFile.size() - kTail);
            earlierFile.readLine(); // a partial line
        }
        QList<JournalEntry> earlier;
        while (!earlierFile.atEnd()) {
            QString line = QString::fromUtf8(earlierFile.readLine());
            while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (auto entry = Journal::parseLine(today, line))
                earlier.append(*entry);
        }
        if (earlier.size() > Journal::MaxEntriesInMemory)
            earlier = earlier.mid(earlier.size() - Journal::MaxEntriesInMemory);
        if (!earlier.isEmpty())
            QMetaObject::invokeMethod(owner, [o = owner, earlier] { o->takeEarlier(earlier); }, Qt::QueuedConnection);
    }
};

// ---------------------------------------------------------------- journal

Journal::Journal(QObject *parent) : QObject(parent), m_clock([] { return QDateTime::currentDateTime(); }) {}

Journal::~Journal()
{
    if (m_writer)
        m_writer->stop();
    if (currentJournal() == this)
        currentJournal() = nullptr;
}

Journal *Journal::current() { return currentJournal(); }
void Journal::setCurrent(Journal *journal) { currentJournal() = journal; }

QString Journal::folderIn(const QString &workingFolder) { return QDir(workingFolder).filePath(QStringLiteral("logs")); }

void Journal::open(const QString &folder, int keepDays)
{
    if (m_writer)
        m_writer->stop();
    m_folder = folder;
    m_writer = std::make_unique<Writer>();
    m_writer->owner = this;
    m_writer->folder = folder;
    m_writer->today = m_clock().date();
    m_writer->keepDays = keepDays;
    // Entries made before the journal had its folder go first.
    for (const JournalEntry &entry : std::as_const(m_entries))
        m_writer->queue.push_back(entry);
    m_writer->start();
}

void Journal::add(JournalKind kind, const QString &text) { addAt(m_clock(), kind, text); }

void Journal::addAt(const QDateTime &when, JournalKind kind, const QString &text)
{
    JournalEntry entry{when, kind, oneLine(text)};
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, entry] { addStamped(entry); }, Qt::QueuedConnection);
        return;
    }
    addStamped(entry);
}

void Journal::addStamped(const JournalEntry &entry)
{
    if (m_writer)
        m_writer->push(entry);
    if (m_entries.size() >= MaxEntriesInMemory) {
        const int count = int(m_entries.size()) - (MaxEntriesInMemory - DropStep);
        emit oldestAboutToBeDropped(count);
        m_entries.remove(0, count);
        emit oldestDropped(count);
    }
    m_entries.append(entry);
    emit added(entry);
    if (entry.kind == JournalKind::Warning || entry.kind == JournalKind::Error) {
        m_lastAlert = entry;
        emit alert(entry);
    }
}

void Journal::takeEarlier(const QList<JournalEntry> &earlier)
{
    // This run's entries that open() queued are on the day's file after the earlier ones, and
    // were not part of what was read.
    QList<JournalEntry> all = earlier;
    all.append(m_entries);
    if (all.size() > MaxEntriesInMemory)
        all = all.mid(all.size() - MaxEntriesInMemory);
    m_entries = all;
    emit earlierLoaded();
}

void Journal::writerFailed(const QString &text)
{
    if (m_failureReported)
        return;
    m_failureReported = true;
    warning(text);
}

bool Journal::waitWritten(int maxMs)
{
    if (!m_writer)
        return true;
    std::unique_lock lock(m_writer->mutex);
    return m_writer->idle.wait_for(lock, std::chrono::milliseconds(maxMs),
                                   [this] { return m_writer->queue.empty() && !m_writer->busy; });
}

void Journal::exchangeStarted(const QString &what)
{
    Exchange e{what, m_clock(), m_monitor ? m_monitor->bytesSent() : 0, m_monitor ? m_monitor->bytesReceived() : 0};
    m_exchange = e;
    add(JournalKind::Exchange, what + QStringLiteral(": начало."));
}

void Journal::exchangeEnded(const QString &outcome)
{
    if (!m_exchange)
        return;
    const Exchange e = *m_exchange;
    m_exchange.reset();
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    const double seconds = double(e.started.msecsTo(m_clock())) / 1000.0;
    QString text = e.what + QStringLiteral(": конец");
    if (!outcome.isEmpty())
        text += QStringLiteral(" — ") + outcome;
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    text += QStringLiteral(" Время: %1 с").arg(russian.toString(seconds, 'f', 3));
    if (m_monitor)
        text += QStringLiteral("; отправлено байт: %1, принято байт: %2")
                    .arg(m_monitor->bytesSent() - e.sent)
                    .arg(m_monitor->bytesReceived() - e.received);
    add(JournalKind::Exchange, text + QLatin1Char('.'));
}

// ---------------------------------------------------------------- format

QString Journal::kindName(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Info: return QStringLiteral("info");
    case JournalKind::Warning: return QStringLiteral("warning");
    case JournalKind::Error: return QStringLiteral("error");
    case JournalKind::Exchange: return QStringLiteral("exchange");
    case JournalKind::File: return QStringLiteral("file");
    case JournalKind::Port: return QStringLiteral("port");
    }
    return QStringLiteral("info");
}

QString Journal::kindCaption(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Info: return QStringLiteral("сообщение");
    case JournalKind::Warning: return QStringLiteral("предупреждение");
    case JournalKind::Error: return QStringLiteral("ошибка");
    case JournalKind::Exchange: return QStringLiteral("обмен");
    case JournalKind::File: return QStringLiteral("файл");
    case JournalKind::Port: return QStringLiteral("порт");
    }
    return QString();
}

std::optional<JournalKind> Journal::kindFromName(const QString &name)
{
    for (JournalKind k : {JournalKind::Info, JournalKind::Warning, JournalKind::Error, JournalKind::Exchange,
                          JournalKind::File, JournalKind::Port})
        if (kindName(k) == name)
            return k;
    return std::nullopt;
}

QString Journal::fileNameFor(const QDate &day) { return day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"); }

QString Journal::oneLine(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), kLineBreakMark);
    out.replace(QLatin1Char('\n'), kLineBreakMark);
    out.replace(QLatin1Char('\r'), kLineBreakMark);
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return out;
}

QString Journal::lineOf(const JournalEntry &entry)
{
    return entry.when.toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char('\t') + kindName(entry.kind) +
           QLatin1Char('\t') + oneLine(entry.text);
}

std::optional<JournalEntry> Journal::parseLine(const QDate &day, const QString &line)
{
    const qsizetype first = line.indexOf(QLatin1Char('\t'));
    const qsizetype second = first < 0 ? -1 : line.indexOf(QLatin1Char('\t'), first + 1);
    if (second < 0)
        return std::nullopt;
    const QTime time = QTime::fromString(line.left(first), QStringLiteral("HH:mm:ss.zzz"));
    const auto kind = kindFromName(line.mid(first + 1, second - first - 1));
    if (!time.isValid() || !kind)
        return std::nullopt;
    return JournalEntry{QDateTime(day, time), *kind, line.mid(second + 1)};
}

namespace journal {
void note(JournalKind kind, const QString &text)
{
    if (Journal *j = Journal::current())
        j->add(kind, text);
}

void exchangeStarted(const QString &what)
{
    if (Journal *j = Journal::current())
        j->exchangeStarted(what);
}

void exchangeEnded(const QString &outcome)
{
    if (Journal *j = Journal::current())
        j->exchangeEnded(outcome);
}
} // namespace journal
