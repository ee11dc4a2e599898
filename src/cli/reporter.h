#pragma once
// What a command tells its caller, and where the command line's jobs reach the program's journal.
// Text mode: the results on standard output, a failure as one line on standard error ("why. what
// to do."). --json: one JSON object on standard output instead.
#include "core/journal.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace exitcode {
constexpr int Ok = 0;
constexpr int Failed = 1; // the job failed: the instrument, the port or a file
constexpr int Usage = 2;  // the command line is wrong
} // namespace exitcode

struct Outcome {
    int exitCode = exitcode::Ok;
    QString summary;     // one line: what was done, or why it failed
    QString advice;      // a failure: what to do about it
    QStringList lines;   // the command's text output (a table, a list)
    QJsonObject fields;  // the command's results for --json

    static Outcome failed(const QString &why, const QString &advice = {})
    {
        Outcome o;
        o.exitCode = exitcode::Failed;
        o.summary = why;
        o.advice = advice;
        return o;
    }
    static Outcome usage(const QString &why)
    {
        Outcome o;
        o.exitCode = exitcode::Usage;
        o.summary = why;
        o.advice = QStringLiteral("См. kviro-cli --help.");
        return o;
    }
};

class LineMonitor;

class CliReporter {
public:
    explicit CliReporter(bool json) : m_json(json) {}
    bool json() const { return m_json; }

    // The program's journal the job is recorded in (opened by main in the working folder), and
    // the line monitor its exchange entries count the bytes with. Without one nothing is recorded.
    void attachJournal(Journal &journal, LineMonitor &monitor)
    {
        m_journal = &journal;
        m_monitor = &monitor;
    }
    Journal *journal() const { return m_journal; }
    LineMonitor *lineMonitor() const { return m_monitor; }

    // A job that talks to the instrument is journalled as one exchange, from its start to its
    // outcome; ports and db-list as plain entries.
    void jobStarted(const QString &command, const QStringList &arguments);
    // Prints the outcome (text or JSON), journals it, and gives the exit code.
    int finish(const QString &command, const Outcome &outcome);

private:
    bool m_json;
    Journal *m_journal = nullptr;
    LineMonitor *m_monitor = nullptr;
};
