#include "link/instrumentoperation.h"

#include "core/joboutcomes.h"
#include "core/journal.h"
#include "core/status.h"
#include "link/instrumentlink.h"
#include "link/networkports.h"

InstrumentOperation::InstrumentOperation(InstrumentLink &link, StatusModel &status, QString jobName, QObject *parent)
    : QObject(parent), m_link(link), m_status(status), m_jobName(std::move(jobName))
{
    m_outcome.job = m_jobName;
}

InstrumentOperation::~InstrumentOperation()
{
    // A job destroyed while it runs still closes its exchange in the journal.
    if (m_journalled) {
        m_journalled = false;
        journal::exchangeEnded(QStringLiteral("работа прервана: программа завершается."));
    }
}

QString InstrumentOperation::port() const
{
    if (!m_portName.isEmpty())
        return m_portName;
    if (m_running || m_commPort > 0)
        return m_portText;
    return portText(m_link.line().CommPort());
}

// A port on the network goes by its address (its number is the program's own), as in the
// journal's port lines.
QString InstrumentOperation::portText(int n) const
{
    const QString address = isNetworkPortNumber(n) ? m_link.line().openDevice() : QString();
    return address.isEmpty() ? QStringLiteral("COM%1").arg(n) : address;
}

bool InstrumentOperation::begin()
{
    if (m_running)
        return false;
    m_running = true;
    m_stopHeld = false;
    m_progress = 0;
    m_commPort = m_link.line().CommPort();
    m_portText = portText(m_commPort);
    m_journalled = true;
    journal::exchangeStarted(m_jobName);
    m_progressFeed = connect(&m_status, &StatusModel::progressChanged, this, &InstrumentOperation::setProgress);
    emit started();
    return true;
}

void InstrumentOperation::finish(JobOutcome outcome)
{
    outcome.job = m_jobName;
    if (outcome.port.isEmpty() && (m_running || m_commPort > 0 || !m_portName.isEmpty()))
        outcome.port = port();
    else if (outcome.port.isEmpty() && m_link.portOpen())
        outcome.port = portText(m_link.line().CommPort()); // refused on this port
    outcome.when = QDateTime::currentDateTime();
    const bool wasRunning = m_running;
    m_running = false;
    disconnect(m_progressFeed);
    m_stopHeld = false;
    setProtectedPhase(false);
    QString line = outcome.message();
    if (!outcome.backup.isEmpty() && !line.contains(outcome.backup))
        line += QStringLiteral(" Резервная копия: ") + outcome.backup + QLatin1Char('.');
    if (!outcome.port.isEmpty())
        line += QStringLiteral(" Порт %1.").arg(outcome.port);
    if (m_journalled) {
        m_journalled = false;
        journal::exchangeEnded(line);
    } else if (!wasRunning) {
        journal::note(JournalKind::Warning, m_jobName + QStringLiteral(": не начато — ") + line);
    }
    m_outcome = outcome;
    // The window keeps it beside the status line until the next job ends.
    reportJobOutcome(m_outcome);
    emit finished(m_outcome);
}

void InstrumentOperation::setProtectedPhase(bool on)
{
    if (m_protected == on)
        return;
    m_protected = on;
    emit protectedPhaseChanged(on);
    if (!on && m_stopHeld && m_running) {
        // The phase that held the stop is over: the stop takes effect now.
        m_stopHeld = false;
        stopNow(false);
    }
}

void InstrumentOperation::setProgress(int percent)
{
    if (m_progress == percent)
        return;
    m_progress = percent;
    emit progressChanged(percent);
}

InstrumentOperation::StopAnswer InstrumentOperation::requestStop()
{
    if (!m_running)
        return StopAnswer::NotRunning;
    if (m_protected) {
        if (!m_stopHeld) {
            m_stopHeld = true;
            emit stopWasHeld();
        }
        return StopAnswer::Held;
    }
    stopNow(false);
    return StopAnswer::Stopping;
}

void InstrumentOperation::forceStop()
{
    if (m_running)
        stopNow(true);
}
