#pragma once
// The instrument link: the port search and 500 ms link check, the command sender, the receive
// buffer and the one receive dispatcher through which every reply passes, and the exchange that
// owns the line. Features plug their reply branches in with registerBranch(); nothing here knows
// what 'D' or 'r' mean. The receive buffer, the reply length, the link indicator and the mode
// flags change only in here; features read them through the accessors.
#include "core/status.h"
#include "link/portcatalog.h"
#include "link/tmscomm.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QStringListModel>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

// What the port strip shows; the widgets bind to it.
struct PortStrip {
    QStringListModel items;                  // mirrors portNumbers()
    QStringList itemHints;                   // device and any open problem, per item
    int portIndex = -1;                      // selected item of cbxNumPort, -1 = none ("нет")
    int baudIndex = -1;                      // selected item of cbBaudRate, -1 = none ("нет")
    QString paramText = QStringLiteral("параметры не определены");
    QString problem;                         // why the chosen port cannot be opened, if it cannot
    QString unusedNote;                      // ports the system has but the program does not use, and why
};

// The longest the instrument may stay silent within an exchange before the exchange is given up.
// The longest reply (the optical density table, 777 bytes) needs 1.6 s on the line at the slowest
// speed offered (4800 baud, 8N1: 480 bytes/s), and a serial driver may hand it over only at its
// end; about three times that leaves the instrument time to prepare a reply or store a page.
inline constexpr int ExchangeIdleTimeoutMs = 5000;
// The rest of an answer cut short ends when the line has been quiet this long; a stream that
// never pauses is dropped for at most the limit, then dispatched again.
inline constexpr int RestOfAnswerQuietMs = 300;
inline constexpr int RestOfAnswerLimitMs = 5000;

class InstrumentLink : public QObject {
    Q_OBJECT
public:
    InstrumentLink(StatusModel &status, std::unique_ptr<PortCatalog> catalog, SerialDeviceFactory factory = {},
                   QObject *parent = nullptr);
private:
    std::unique_ptr<PortCatalog> m_catalog; // first: serial below is built on it
    // The line device. Only the link selects its port, opens and closes it and sets its modes.
    TMSComm serial;
    QTimer linkCheckTimer;
    StatusModel &status;
public:
    ~InstrumentLink() override;

    static const QStringList BaudRates;

    // ---- receive side and commands

    // One write of the 8-bit text, nothing added. False when the port is closed or refuses it.
    bool SendCommand(const QByteArray &text);
    // The receive handler, bound to serial's OnComm.
    void onSerialReceive();

    // A branch is handed the bytes that wait in the receive buffer, its tag first, once no further
    // byte is waiting. It answers how many bytes its message took (they leave the buffer; what
    // follows them is dispatched anew), NeedMore to leave the buffer as it is until more bytes
    // have arrived, or NotMine when the bytes are no message of its tag (they are dropped up to
    // the next message, and journalled).
    static constexpr qsizetype NeedMore = 0;
    static constexpr qsizetype NotMine = -1;
    using Branch = std::function<qsizetype(const QByteArray &waiting)>;
    enum class BranchKind {
        // A reply to a request: served only while the running exchange awaits its tag. Outside
        // any exchange it is held, with whatever follows, until the next tick empties the buffer.
        Reply,
        // A notice the instrument sends on its own: its tag alone (repeated, it is one notice).
        // Served only while no exchange runs, and it may begin one; one that arrives during an
        // exchange is set aside and served when the exchange ends.
        Notice,
        // A message the instrument sends on its own with a text behind its tag (the save request):
        // served only while no exchange runs and only when it heads the waiting bytes, never when
        // found behind noise, so that a reply's text cannot pose as one. During an exchange it
        // is dropped and journalled.
        Request,
    };
    void registerBranch(char tag, BranchKind kind, Branch branch);
    void unregisterBranch(char tag);

    // RxBuffer: the bytes received since it was last emptied.
    const QByteArray &rxBuffer() const { return RxBuffer; }
    // ReplyLen: the length of the reply last examined by a branch; 0 after the buffer is emptied
    // from outside (a request, the start or end of an exchange, a flush, a port open).
    int replyLen() const { return ReplyLen; }
    // The last answer to the probe: "L" working mode, "l" boot-loader mode.
    bool instrumentWorking() const { return InstrumentWorking; }
    bool instrumentInLoader() const { return InstrumentInLoader; }
    // The link indicator sbtnCommON: enabled = the instrument has answered.
    bool linkOn() const { return m_linkOn; }
    // Changes whenever the line to the instrument may have broken: the port opened, closed or was
    // lost, or a probe of the link check went unanswered. What was read from the instrument under
    // one value may not be what the instrument on the line holds under another.
    quint64 connectionId() const { return m_connection; }

    // ---- exchanges
    // One exchange at a time owns the line. From its beginning to its end the link check is
    // stopped (its tick would empty the buffer under the reply and put a probe into the stream),
    // only the replies it awaits are dispatched besides the link's own 'B', 'L', 'l', and notices
    // and unprompted replies are ignored. The link ends it by itself when the instrument stays
    // silent for the exchange's idle time-out or the port is lost; either way the link check
    // starts again.
    enum class ExchangeEnd { TimedOut, PortLost };
    static constexpr int LinkIdleTimeout = -1;
    struct Exchange {
        QString name;                         // what it does, in the operator's words: "чтение БД ТС"
        int idleTimeoutMs = LinkIdleTimeout;  // longest silence of the instrument; 0: none (a one-way stream)
        std::function<void(ExchangeEnd)> aborted;   // the link has given the exchange up
        bool reportsOwnFailures = false;            // true: no status text and no exchangeAborted() from the link
    };
    // Stops the link check, empties the buffer and makes owner the exchange's owner. The owner of
    // the running exchange may begin anew (its old exchange simply ends); another owner is refused
    // with a status text and false.
    bool beginExchange(QObject *owner, Exchange exchange);
    // Whether owner may begin an exchange now; if not, the status line says which one holds the line.
    bool mayBegin(const QObject *owner);
    // Within the running exchange: sends the command and awaits a reply beginning with one of
    // replyTags (none: nothing is awaited). The instrument gets its whole idle time again. A
    // command that cannot be sent ends the exchange as a lost port; false then.
    bool request(const QByteArray &command, const QByteArray &replyTags);
    // The owner's exchange is complete (or given up by the owner): the buffer is emptied, the
    // progress goes back to 0 and the link check starts again. Does nothing for another owner.
    void endExchange(const QObject *owner);
    // The same for an exchange given up while the instrument may still be sending its answer (a
    // stop in the middle of a read): what arrives until the line falls quiet is the rest of that
    // answer and is dropped, so that no byte of it is taken for a message of its own.
    void cutExchange(const QObject *owner);
    // Whether the rest of a cut answer is being dropped.
    bool droppingRestOfAnswer() const { return m_restOfAnswer.isActive(); }
    bool exchangeRunning() const { return m_owner != nullptr; }
    bool ownsExchange(const QObject *owner) const { return owner && m_owner == owner; }
    QString exchangeName() const { return exchangeRunning() ? m_exchange.name : QString(); }
    // The replies the running exchange awaits.
    QByteArray awaitedTags() const { return m_awaited; }
    // The owner's running exchange gets a new idle time-out, counted from now.
    void setExchangeIdleTimeout(const QObject *owner, int ms);
    // The idle time-out of exchanges that do not name their own (ExchangeIdleTimeoutMs unless set).
    void setIdleTimeout(int ms) { m_defaultIdleMs = ms > 0 ? ms : ExchangeIdleTimeoutMs; }
    int idleTimeout() const { return m_defaultIdleMs; }

    // ---- port selection and link check
    // The port, speed and port list change only through the methods below (the port search, the
    // operator's choices on the port strip, setBaudIndex(), bindPort()); callers read them here.
    // currentPort(): the COM number the link has chosen, 0 while none is.
    int currentPort() const { return CurrentPort; }
    // baudIndex(): the line speed as an index into BaudRates.
    int baudIndex() const { return BaudIndex; }
    // portNumbers(): the COM numbers the last port search listed, as the port drop-down shows them.
    const QStringList &portNumbers() const { return PortNumbers; }
    // What the port strip shows; stripChanged() says when it changed.
    const PortStrip &portStrip() const { return strip; }

    // Binds the port search to port n (0: unbound): while bound, only that port is listed, opened
    // and probed, so a job waiting for its instrument (a restart after a firmware load) hears no
    // other instrument. Any port list the operator sees shows the bound port alone meanwhile.
    void bindPort(int n) { m_boundPort = n; }
    int boundPort() const { return m_boundPort; }

    // The start values of the program: no port, no link, neither mode, 115200 baud.
    void resetToStartValues();

    int ScanPorts();
    int OpenChosenPort();
    void PortSearchTick();
    void linkCheckTick() { PortSearchTick(); }
    void FlushInput();

    void cbxNumPortChange(int index);
    void cbBaudRateChange(int index);
    void cbxNumPortDropDown();
    void cbxNumPortCloseUp();

    // The link check as the main window starts it at creation and stops it at closing; exchanges
    // stop and start it through beginExchange() and endExchange().
    // False after a tick that opened the port and probed it: whether the instrument is there is
    // known only once it had time to answer (the next tick).
    bool linkStateKnown() const { return m_stateKnown; }
    void stopPortSearch() { linkCheckTimer.stop(); }
    void startPortSearch() { linkCheckTimer.start(); }
    bool portSearchRunning() const { return linkCheckTimer.isActive(); }

    bool portOpen() const { return serial.PortOpen(); }
    void setBaudSettings(); // Settings := BaudRates[BaudIndex] + ",n,8,1"
    // The line speed by its index in BaudRates: the serial control's settings and the port strip
    // follow (the window's firmware page, the command line's --baud).
    void setBaudIndex(int index);
    // The port strip shows the speed and the line settings as they are now.
    void showLineSettings();
    QString settingsText() const { return BaudRates.value(BaudIndex) + QStringLiteral(",n,8,1"); }

    // ---- the line device
    // Its read side: the port number it is set to, the open device's path, its settings, the
    // output still queued, and its signals (opened, closed, lost, output drained).
    const TMSComm &line() const { return serial; }
    // The line for a raw stream written by the owner of the running exchange: the firmware image
    // goes straight to it. The port, its choice and its opening stay the link's.
    TMSComm &streamLine() { return serial; }
    // Opens port n as the chosen port, closing the one open before (the command line probes the
    // ports it was given this way). False when n cannot be opened; lastOpenFailure() says why.
    bool openPort(int n);
    void closePort() { (void)serial.setPortOpen(false); }
    const OpenFailure &lastOpenFailure() const { return serial.lastOpenFailure(); }
    // Zero bytes dropped from what arrives (the protocol's text has none; a database page has).
    void setNullDiscard(bool discard) { serial.setNullDiscard(discard); }
    bool nullDiscard() const { return serial.NullDiscard(); }
    // Every piece written and read is shown to the monitor (the journal's traffic, a meter).
    void setLineMonitor(LineMonitor *monitor) { serial.setMonitor(monitor); }
    int linkCheckInterval() const { return linkCheckTimer.interval(); }

signals:
    // Start of every PortSearchTick: the texts it sets are the link check's, not a job's.
    void tickStarted();
    // End of every PortSearchTick: the main window runs UpdateLinkState.
    void tickFinished();
    // The link indicator or a mode flag may have changed.
    void linkChanged();
    void stripChanged();
    // The instrument answered the probe ("L" or "l"); the mode flags are already set.
    void probeAnswered();
    // The link gave an exchange up (time-out, lost port); the text says which and why. For a
    // message box or the journal: the status line is overwritten by the next tick.
    void exchangeAborted(const QString &text);
    // Bytes that were no message the link could serve (noise, a reply nobody awaits, a message
    // during an exchange); they were dropped and journalled. The exchange name is empty outside
    // an exchange.
    void bytesIgnored(const QByteArray &bytes, const QString &exchangeName);

private:
    void setLinkOn(bool on);
    void setMode(bool working, bool inLoader);
    void dispatch();
    void emptyBuffer();
    // Bytes at the head of the buffer that belong to no message: dropped, reported and journalled.
    void dropHead(qsizetype count);
    // Where the next message may begin behind bytes that belong to no message; -1: nowhere yet.
    qsizetype nextMessageStart() const;
    // A notice during an exchange waits for its end; the end of an exchange serves what waits.
    void setNoticeAside(const QByteArray &notice);
    void serveNoticesSetAside();
    void scheduleNoticesSetAside();
    void abortExchange(ExchangeEnd why);
    // Drops what arrives until the line has been quiet for a while (at most RestOfAnswerLimitMs).
    void dropRestOfAnswer();
    void endRestOfAnswer();
    void resumePortSearch();
    void onPortLost();
    void setPortItems(const QStringList &numbers);
    void selectPortItem(int index);
    void applyLineAfterOpen(); // Settings, baud text, parameters label
    void discardWaiting();     // Input read and dropped, RxBuffer emptied, InBufferCount 0
    bool tryOpen();
    void notePortProblem();
    void noteUnusedPorts(const QStringList &values);

    struct BranchEntry {
        enum class Kind { None, Link, Reply, Notice, Request } kind = Kind::None;
        Branch run;
    };
    void setBranch(char tag, BranchEntry::Kind kind, Branch branch);

    int CurrentPort = 0;
    int BaudIndex = 5;
    QStringList PortNumbers;
    int ProbeOnOpen = 1;
    PortStrip strip;

    QByteArray RxBuffer;
    int ReplyLen = 0;
    bool InstrumentWorking = false;
    bool InstrumentInLoader = false;

    std::array<BranchEntry, 256> m_branches{};
    quint64 m_bufferGeneration = 0; // counts emptyings, so a dispatch sees its buffer replaced
    bool m_linkOn = false;
    bool m_stateKnown = true;
    quint64 m_connection = 0;
    int m_boundPort = 0;
    bool m_probeOut = false;        // the link check's probe has not been answered yet
    bool m_listOpen = false;        // the port drop-down's list is open: no ticks meanwhile

    QPointer<QObject> m_owner;      // of the running exchange
    Exchange m_exchange;
    QByteArray m_awaited;
    QByteArray m_noticesAside;      // notices that arrived during the running exchange, one per tag
    bool m_noticesScheduled = false;
    QTimer m_idle;
    QTimer m_restOfAnswer;          // restarted by each arrival while the rest of a cut answer is dropped
    QElapsedTimer m_restOfAnswerSince;
    qsizetype m_restOfAnswerBytes = 0;
    int m_defaultIdleMs = ExchangeIdleTimeoutMs;
};
