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
// The watch follows the link check on its own (it listens to the link), whatever page is current.
#include <QObject>

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
    explicit LoaderWatch(InstrumentLink &link, QObject *parent = nullptr);

    LoaderState state() const { return m_state; }
    bool ready() const { return m_state == LoaderState::Ready; }
    bool streaming() const { return m_state == LoaderState::Streaming; }
    // The instrument works on a whole stream (programs, verifies, restarts).
    bool programming() const { return m_state == LoaderState::Programming || m_state == LoaderState::Restarting; }
    // The boot loader kept answering "l" after the whole stream: it did not take it.
    bool refused() const { return m_refused; }
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

    InstrumentLink &m_link;
    LoaderState m_state = LoaderState::Ready;
    bool m_probeOut = false; // the last link check sent a probe
    bool m_answered = false; // an answer came since the last link check
    bool m_silent = false;
    bool m_refused = false;
    bool m_lostWhileStreaming = false;
};

} // namespace firmware
