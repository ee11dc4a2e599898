#include "core/joboutcomes.h"

#include "core/journalfeeds.h"

#include <utility>

JobOutcome::Severity JobOutcomes::severityOf(const QString &text)
{
    switch (StatusJournal::kindOf(text)) {
    case JournalKind::Error:
        return JobOutcome::Severity::Error;
    case JournalKind::Warning:
        return JobOutcome::Severity::Warning;
    default:
        return JobOutcome::Severity::Info;
    }
}

void JobOutcomes::report(const ShownOutcome &outcome)
{
    // A job that reports itself supersedes the status text it left on the way.
    m_pending = {};
    if (outcome.text.isEmpty())
        return;
    m_last = outcome;
    if (!m_last.time.isValid())
        m_last.time = QDateTime::currentDateTime();
    emit reported(m_last);
}

void JobOutcomes::report(const QString &text, JobOutcome::Severity severity)
{
    report(ShownOutcome{QDateTime::currentDateTime(), text, severity});
}

void JobOutcomes::report(const JobOutcome &outcome)
{
    report(ShownOutcome{outcome.when, outcome.message(), outcome.severity()});
}

void JobOutcomes::watchStatus(StatusModel &status)
{
    connect(&status, &StatusModel::textChanged, this, &JobOutcomes::onStatusText);
}

void JobOutcomes::onStatusText(const QString &text)
{
    if (m_inLinkCheck || m_guidance.contains(text))
        return;
    m_pending = ShownOutcome{QDateTime::currentDateTime(), text, severityOf(text)};
}

void JobOutcomes::linkCheckStarted()
{
    const ShownOutcome pending = std::exchange(m_pending, {});
    if (!pending.text.isEmpty())
        report(pending);
    m_inLinkCheck = true;
}

namespace {
JobOutcomes *g_current = nullptr;
}

JobOutcomes *JobOutcomes::current() { return g_current; }
void JobOutcomes::setCurrent(JobOutcomes *outcomes) { g_current = outcomes; }

void reportJobOutcome(const QString &text, JobOutcome::Severity severity)
{
    if (JobOutcomes *outcomes = JobOutcomes::current())
        outcomes->report(text, severity);
}

void reportJobOutcome(const JobOutcome &outcome)
{
    if (JobOutcomes *outcomes = JobOutcomes::current())
        outcomes->report(outcome);
}
