#pragma once
// Whether the instrument's boot loader can take a new firmware stream.
//
// A boot loader that holds part of a stream (cut by a cancel, a leave of the page or a write
// error) reads the next start marker and length as image bytes and never programs; one that has
// the whole stream programs itself and restarts. Either way it is ready for a new stream only
// after the instrument has been seen restarting: its port lost, a link probe left unanswered, or
// an answer from the working program ("L", which the boot loader never gives), and then the boot
// loader's answer "l" again. The probe test makes this work on a port that stays listed while the
// instrument is off (a built-in RS-232 port).
//
// After a whole stream the boot loader may go on answering "l" while it erases, writes and checks
// its flash: that is work in progress, not a refusal. Only when no restart has been seen for
// RestartLimitMs is the instrument taken as not having restarted (the operator is then asked to
// restart it into the boot loader and load again).
//
// The watch follows the link check on its own (it listens to the link), whatever page is current.
#include <QObject>
#include <QTimer>

class InstrumentLink;

namespace firmware {

enum class LoaderState {
    Ready,             // nothing of ours is pending in the boot loader: a load may start
    Streaming,         // a transfer holds the line
    Programming,       // the whole stream went out; the instrument is not yet seen restarting
    Restarting,        // ... and now it is; its next answer ends the procedure
    HoldsPartial,      // the boot loader holds part of a stream, or did not take the whole one
    PartialRestarting, // ... and the instrument was seen restarting; the boot loader's answer frees it
};

class LoaderWatch : public QObject {
    Q_OBJECT
public:
    // How long after the checksum the instrument may go without a visible restart. Erasing,
    // writing and verifying the flash that holds a program of a few megabytes takes the boot
    // loader up to a couple of minutes (flash sectors erase in about a second each, worst case
    // several); five minutes leaves a wide margin, so an instrument still at work is never told
    // to be switched off, and one that will never restart is still reported within one sitting.
    static constexpr int RestartLimitMs = 5 * 60 * 1000;

    explicit LoaderWatch(InstrumentLink &link, QObject *parent = nullptr);

    LoaderState state() const { return m_state; }
    bool ready() const { return m_state == LoaderState::Ready; }
    bool streaming() const { return m_state == LoaderState::Streaming; }
    // The instrument works on a whole stream (programs, verifies, restarts).
    bool programming() const { return m_state == LoaderState::Programming || m_state == LoaderState::Restarting; }
    // No restart was seen within the restart limit after the whole stream.
    bool refused() const { return m_refused; }
    void setRestartLimitMs(int ms) { m_restartLimit.setInterval(ms); }
    int restartLimitMs() const { return m_restartLimit.interval(); }
    // The last link check found the instrument silent or its port gone (cleared by an answer).
    bool silent() const { return m_silent; }

    // The start marker is about to go out.
    void streamStarted();
    // The checksum went out: the stream is whole.
    void streamSent();
    // The stream ended before its checksum (or a write of it failed).
    void streamCut();

signals:
    void stateChanged(firmware::LoaderState state);
    // After a whole stream, the instrument answered again once it had been seen restarting.
    void restartCompleted();

private:
    void onTick();
    void onAnswer();
    void restartSeen();
    void freshInterval();
    void setState(LoaderState state);
    void restartOverdue();

    InstrumentLink &m_link;
    LoaderState m_state = LoaderState::Ready;
    bool m_probeOut = false; // the last link check sent a probe
    bool m_answered = false; // an answer came since the last link check
    bool m_silent = false;
    bool m_refused = false;
    bool m_lostWhileStreaming = false;
    QTimer m_restartLimit; // runs from the checksum until a restart is seen
};

} // namespace firmware
