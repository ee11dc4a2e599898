#include "cli/reporter.h"

#include "cli/consoletext.h"
#include "core/version.h"

#include <QDir>
#include <QJsonDocument>

#include <cstdio>

namespace {
void printLine(FILE *to, const QString &line) { console::write(to, line + QLatin1Char('\n')); }

// The probe is one exchange in the journal by itself; the other jobs with the instrument run as
// operations, which journal their own exchange with its outcome, so the job around it is journalled
// as plain entries (a start inside a start would leave one without its end).
bool exchangeCommand(const QString &command) { return command == QLatin1String("probe"); }

QString jobText(const QString &command, const QStringList &arguments)
{
    QStringList words{QStringLiteral("kviro-cli"), command};
    for (const QString &a : arguments)
        words << QDir::toNativeSeparators(a);
    return words.join(QLatin1Char(' '));
}
} // namespace

void CliReporter::jobStarted(const QString &command, const QStringList &arguments)
{
    if (!m_journal)
        return;
    const QString what = jobText(command, arguments);
    if (exchangeCommand(command))
        m_journal->exchangeStarted(what);
    else
        m_journal->info(what + QStringLiteral(": начало."));
}

int CliReporter::finish(const QString &command, const Outcome &outcome)
{
    const bool ok = outcome.exitCode == exitcode::Ok;
    if (m_journal) {
        // The end names the port the job ran on; a failure adds an error entry with the advice,
        // so that it stands out among the exchanges.
        QString end = outcome.summary;
        const QString port = outcome.fields.value(QStringLiteral("port")).toString();
        const QString device = outcome.fields.value(QStringLiteral("device")).toString();
        if (!port.isEmpty() && !end.contains(port))
            end += device.isEmpty() || device == port ? QStringLiteral(" Порт %1.").arg(port)
                                                      : QStringLiteral(" Порт %1 (%2).").arg(port, QDir::toNativeSeparators(device));
        if (m_journal->exchangeRunning())
            m_journal->exchangeEnded(end);
        else if (ok)
            m_journal->info(QStringLiteral("kviro-cli %1: %2").arg(command, end));
        if (!ok)
            m_journal->error(QStringLiteral("kviro-cli %1: %2%3 (код %4)")
                                 .arg(command, outcome.summary,
                                      outcome.advice.isEmpty() ? QString() : QStringLiteral(" ") + outcome.advice)
                                 .arg(outcome.exitCode));
    }
    if (m_json) {
        QJsonObject o = outcome.fields;
        o.insert(QStringLiteral("command"), command);
        o.insert(QStringLiteral("ok"), ok);
        o.insert(QStringLiteral("exitCode"), outcome.exitCode);
        o.insert(QStringLiteral("version"), kviro::versionText());
        o.insert(QStringLiteral("message"), outcome.summary);
        if (!outcome.advice.isEmpty())
            o.insert(QStringLiteral("advice"), outcome.advice);
        printLine(stdout, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
        return outcome.exitCode;
    }
    for (const QString &line : outcome.lines)
        printLine(stdout, line);
    if (ok) {
        if (!outcome.summary.isEmpty())
            printLine(stdout, outcome.summary);
    } else {
        QString line = QStringLiteral("kviro-cli: ") + outcome.summary;
        if (!outcome.advice.isEmpty())
            line += QLatin1Char(' ') + outcome.advice;
        printLine(stderr, line);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return outcome.exitCode;
}
