#pragma once
// The last job's outcome as the window shows it: what the operator's last job (an exchange, a
// file written, a list changed) ended with, kept until the next job ends. The status line is
// rewritten by the link check every 500 ms; the outcome stays where the operator can read it.
//
// An instrument job reports its JobOutcome with one call at its end (report(outcome)); jobs that
// only speak through the status line are covered too: a status text set outside the link check is
// the running job's latest word, and the link check resuming means the job is over, so that text
// becomes the outcome (watchStatus()).
#include "core/joboutcome.h"
#include "core/status.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QString>

// One entry of the outcome area: when, what, and how it reads (info, warning, error).
struct ShownOutcome {
    QDateTime time;
    QString text;
    JobOutcome::Severity severity = JobOutcome::Severity::Info;
};

class JobOutcomes : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void report(const ShownOutcome &outcome);
    void report(const QString &text, JobOutcome::Severity severity);
    // The severity from the text's wording.
    void report(const QString &text) { report(text, severityOf(text)); }
    // An instrument job's end: its text with the next step, its severity and time.
    void report(const JobOutcome &outcome);
    const ShownOutcome &last() const { return m_last; }

    // A failure told by its wording: "Ошибка…" is an error; "не отвечает", "прервана", "нельзя" … warnings.
    static JobOutcome::Severity severityOf(const QString &text);

    // The program's one place for outcomes (the main window's), or none (tests, kviro-cli).
    static JobOutcomes *current();
    static void setCurrent(JobOutcomes *outcomes);

    // Status texts become outcomes when the link check takes the line back.
    void watchStatus(StatusModel &status);
    // Around every link check: its own texts are no outcome; starting one ends the job before.
    void linkCheckStarted();
    void linkCheckEnded() { m_inLinkCheck = false; }
    // Texts that guide the operator to the next step (a wizard's "Шаг 1."): shown on the status
    // line, never taken for the outcome of a job.
    void setGuidanceTexts(const QStringList &texts) { m_guidance = texts; }

signals:
    void reported(const ShownOutcome &outcome);

private:
    void onStatusText(const QString &text);

    ShownOutcome m_last;
    ShownOutcome m_pending; // the running job's latest status text, not yet an outcome
    bool m_inLinkCheck = false;
    QStringList m_guidance;
};

// A job's one call at its end: to the program's outcomes when there are any, else nothing.
void reportJobOutcome(const QString &text, JobOutcome::Severity severity);
void reportJobOutcome(const JobOutcome &outcome);
