#pragma once
// One job with the instrument (a table, a protocol, a database read or write, a firmware load),
// as the window and kviro-cli both run it: it is started with its parameters, reports progress,
// can be asked to stop by the job's own rule, and ends with exactly one JobOutcome. Its exchange
// is journalled here and nowhere else: the start when the job begins, the end with the job's
// outcome (never the status text of the moment), one end for every start.
//
// A job is bound to the port it began on: port() names it, and every text result carries it.
//
// Stopping: outside a protected phase (one that must not be cut: the writing of a database, the
// firmware stream) requestStop() stops the job at once. Inside one the stop is held until the
// phase ends, stopHeld() says so and stopWasHeld() is emitted; the job then ends as the held stop
// asks. forceStop() cuts even a protected phase; the outcome then says what may be incomplete.
#include "core/joboutcome.h"

#include <QObject>
#include <QString>

class InstrumentLink;
class StatusModel;

class InstrumentOperation : public QObject {
    Q_OBJECT
public:
    enum class StopAnswer { NotRunning, Stopping, Held };

    InstrumentOperation(InstrumentLink &link, StatusModel &status, QString jobName, QObject *parent = nullptr);
    ~InstrumentOperation() override;

    const QString &jobName() const { return m_jobName; }
    bool running() const { return m_running; }
    bool inProtectedPhase() const { return m_protected; }
    bool stopHeld() const { return m_stopHeld; }
    // The port the job runs (or ran) on: "COM3", a network port's address, or the name given by
    // setPortName().
    QString port() const;
    // A name for the port other than "COM<n>" (a device named on the command line).
    void setPortName(const QString &name) { m_portName = name; }
    // The outcome of the last run (kind Completed with an empty text before the first).
    const JobOutcome &outcome() const { return m_outcome; }
    int progress() const { return m_progress; }

    StopAnswer requestStop();
    void forceStop();

signals:
    void started();
    void progressChanged(int percent);
    void protectedPhaseChanged(bool protectedPhase);
    // A stop was asked for during a protected phase: it takes effect when the phase ends.
    void stopWasHeld();
    void finished(const JobOutcome &outcome);

protected:
    InstrumentLink &link() const { return m_link; }
    StatusModel &status() const { return m_status; }
    // The job has found its instrument and begins: its port is noted and the exchange's start
    // journalled. False (nothing journalled) while it already runs.
    bool begin();
    // The job ends: outcome completed with the job's name, port and time, journalled as the end
    // of its exchange (a job refused before it began is journalled as one warning), emitted once.
    void finish(JobOutcome outcome);
    void setProtectedPhase(bool on);
    void setProgress(int percent);
    // Cuts the job now (forced: even a protected phase). The job then calls finish().
    virtual void stopNow(bool forced) = 0;

private:
    QString portText(int n) const;

    InstrumentLink &m_link;
    StatusModel &m_status;
    QString m_jobName;
    QString m_portName;
    int m_commPort = 0;
    QString m_portText; // m_commPort as the operator knows it, noted when the job begins
    bool m_running = false;
    bool m_journalled = false; // the start is in the journal: the end must follow
    bool m_protected = false;
    bool m_stopHeld = false;
    int m_progress = 0;
    JobOutcome m_outcome;
    QMetaObject::Connection m_progressFeed;
};
