#pragma once
// The virtual СОРВИНТ's logic, without any I/O: bytes from the PC go in through feed(), replies
// come out through the reply() signal. Features add the commands they answer.
#include <QByteArray>
#include <QObject>

#include <array>
#include <functional>

class InstrumentCore : public QObject {
    Q_OBJECT
public:
    enum class Mode { Working, Loader };

    explicit InstrumentCore(QObject *parent = nullptr);

    // A command handler sees the bytes waiting, its letter first, and returns how many it
    // consumed; 0 means "wait for more bytes".
    using Command = std::function<qsizetype(const QByteArray &pending)>;
    // Commands of the working mode, by their first byte.
    void addCommand(char letter, Command command);
    // In boot-loader mode every byte goes to this handler (the default answers the probe "l").
    void setLoaderHandler(Command handler);

    void feed(const QByteArray &fromPc);
    void send(const QByteArray &toPc) { emit reply(toPc); }

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    // A silent instrument takes every byte and answers nothing.
    bool silent() const { return m_silent; }
    void setSilent(bool silent) { m_silent = silent; }

    // Everything the PC has sent since the last clear, for tests and the control interface.
    const QByteArray &received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // Drops half-received commands (used when the port goes away).
    void resetInput() { m_pending.clear(); }

signals:
    void reply(const QByteArray &bytes);
    void modeChanged(InstrumentCore::Mode mode);
    void commandSeen(char letter);

private:
    void process();

    std::array<Command, 256> m_commands{};
    Command m_loader;
    QByteArray m_pending;
    QByteArray m_received;
    Mode m_mode = Mode::Working;
    bool m_silent = false;
};
