#pragma once
// What a command tells its caller, and the one place where the command line's events reach the
// program's journal. Text mode: the results on standard output, a failure as one line on standard
// error ("why. what to do."). --json: one JSON object on standard output instead.
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

class CliReporter {
public:
    explicit CliReporter(bool json) : m_json(json) {}
    bool json() const { return m_json; }

    void jobStarted(const QString &command, const QStringList &arguments);
    // The program's status line as the exchanges write it, and its error reports.
    void statusText(const QString &text);
    void errorShown(const QString &caption, const QString &text);
    // Prints the outcome (text or JSON), records it, and gives the exit code.
    int finish(const QString &command, const Outcome &outcome);

private:
    // JOURNAL: every event of the command line passes here. The program's journal (logs/
    // YYYY-MM-DD.log in the program folder) is appended to at this one place once it exists;
    // until then the events go nowhere.
    void journal(const QString &line);

    bool m_json;
    QString m_lastStatus;
};
