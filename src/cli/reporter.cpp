#include "cli/reporter.h"

#include <QJsonDocument>

#include <cstdio>

namespace {
void printLine(FILE *to, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}
} // namespace

void CliReporter::journal(const QString &line) { (void)line; }

void CliReporter::jobStarted(const QString &command, const QStringList &arguments)
{
    journal(QStringLiteral("kviro-cli %1 %2").arg(command, arguments.join(QLatin1Char(' '))).trimmed());
}

void CliReporter::statusText(const QString &text)
{
    // The progress texts repeat a count per reply; only real messages are kept.
    if (text.isEmpty() || text == m_lastStatus)
        return;
    bool number = false;
    text.toInt(&number);
    if (number)
        return;
    m_lastStatus = text;
    journal(text);
}

void CliReporter::errorShown(const QString &caption, const QString &text)
{
    journal(caption + QStringLiteral(": ") + QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

int CliReporter::finish(const QString &command, const Outcome &outcome)
{
    const bool ok = outcome.exitCode == exitcode::Ok;
    journal(QStringLiteral("kviro-cli %1: %2 (код %3)%4")
                .arg(command, outcome.summary)
                .arg(outcome.exitCode)
                .arg(outcome.advice.isEmpty() ? QString() : QStringLiteral(" ") + outcome.advice));
    if (m_json) {
        QJsonObject o = outcome.fields;
        o.insert(QStringLiteral("command"), command);
        o.insert(QStringLiteral("ok"), ok);
        o.insert(QStringLiteral("exitCode"), outcome.exitCode);
        o.insert(QStringLiteral("message"), outcome.summary);
        if (!outcome.advice.isEmpty())
            o.insert(QStringLiteral("advice"), outcome.advice);
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
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
