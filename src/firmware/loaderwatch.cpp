#include "firmware/loaderwatch.h"

#include "link/instrumentlink.h"

namespace firmware {

LoaderWatch::LoaderWatch(InstrumentLink &link, QObject *parent) : QObject(parent), m_link(link)
{
    connect(&m_link, &InstrumentLink::tickFinished, this, &LoaderWatch::onTick);
    connect(&m_link, &InstrumentLink::probeAnswered, this, &LoaderWatch::onAnswer);
    m_restartLimit.setSingleShot(true);
    m_restartLimit.setInterval(RestartLimitMs);
    connect(&m_restartLimit, &QTimer::timeout, this, &LoaderWatch::restartOverdue);
    connect(&m_link.line(), &TMSComm::portLost, this, [this] {
        m_silent = true;
        if (streaming())
            m_lostWhileStreaming = true;
        restartSeen();
    });
}

void LoaderWatch::setState(LoaderState state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (state != LoaderState::Programming)
        m_restartLimit.stop();
    emit stateChanged(state);
}

void LoaderWatch::freshInterval()
{
    m_probeOut = false;
    m_answered = false;
    m_silent = false;
}

void LoaderWatch::streamStarted()
{
    m_refused = false;
    m_lostWhileStreaming = false;
    setState(LoaderState::Streaming);
}

void LoaderWatch::streamSent()
{
    // Answers to probes from before the stream say nothing about what the instrument does now.
    freshInterval();
    setState(LoaderState::Programming);
    m_restartLimit.start();
}

void LoaderWatch::restartOverdue()
{
    if (m_state != LoaderState::Programming)
        return;
    // Answering all along or silent on a port that stays, it never showed a restart: whatever
    // it holds, a new stream needs the instrument restarted into its boot loader first.
    m_refused = true;
    setState(LoaderState::HoldsPartial);
}

void LoaderWatch::streamCut()
{
    freshInterval();
    // A port lost under the stream is already the sign of the restart.
    m_silent = m_lostWhileStreaming;
    setState(m_lostWhileStreaming ? LoaderState::PartialRestarting : LoaderState::HoldsPartial);
}

void LoaderWatch::onTick()
{
    if (streaming())
        return;
    // The tick has just sent its probe (when the port is open); the one before it had the
    // whole interval to be answered.
    const bool gone = !m_link.linkOn() || !m_link.portOpen();
    const bool unanswered = m_probeOut && !m_answered;
    m_silent = gone || unanswered;
    if (m_silent)
        restartSeen();
    m_probeOut = m_link.portOpen();
    m_answered = false;
}

void LoaderWatch::restartSeen()
{
    if (m_state == LoaderState::Programming)
        setState(LoaderState::Restarting);
    else if (m_state == LoaderState::HoldsPartial)
        setState(LoaderState::PartialRestarting);
}

void LoaderWatch::onAnswer()
{
    m_answered = true;
    m_silent = false;
    const bool working = m_link.instrumentWorking();
    switch (m_state) {
    case LoaderState::Ready:
    case LoaderState::Streaming:
        return;
    case LoaderState::Programming:
        if (working) {
            // Only the working program answers "L": the instrument has restarted.
            setState(LoaderState::Ready);
            emit restartCompleted();
        }
        // An answer "l" is the boot loader still at work on the stream (some answer the probe
        // while they write the flash); its restart, or the restart limit, decides.
        return;
    case LoaderState::Restarting:
        setState(LoaderState::Ready);
        emit restartCompleted();
        return;
    case LoaderState::HoldsPartial:
        if (working)
            setState(LoaderState::PartialRestarting);
        return;
    case LoaderState::PartialRestarting:
        if (m_link.instrumentInLoader()) {
            m_refused = false;
            setState(LoaderState::Ready);
        }
        return;
    }
}

} // namespace firmware
