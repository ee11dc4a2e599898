#pragma once
// The client side of a Telnet session that carries a serial line (the COM port control option):
// a pure codec, bytes in and bytes out, without a socket.
//
// - Data to the server has every 0xFF doubled (escape()); data from it comes back with the
//   doubling undone and every command, negotiation and subnegotiation taken out (decode()).
// - Negotiation: the client asks to send the COM port commands and to use binary transmission
//   both ways and no go-ahead; it agrees to nothing else. It answers only requests that change
//   an option's state, so two peers never loop.
// - The line settings go out as SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE once
//   the server has agreed to take COM port commands; until then they wait.
// - What the server reports about its line (line state, modem state, acknowledgements) is read
//   and otherwise ignored; the speed it acknowledged is kept.
// Replies the codec owes the server collect in pendingOutput(); the caller sends them.
#include "link/serialdevice.h"

#include <QByteArray>

#include <array>
#include <optional>

class TelnetCodec {
public:
    enum : quint8 {
        Se = 240, Nop = 241, DataMark = 242, Break = 243, Sb = 250,
        Will = 251, Wont = 252, Do = 253, Dont = 254, Iac = 255,
    };
    enum : quint8 { OptBinary = 0, OptEcho = 1, OptSuppressGoAhead = 3, OptComPort = 44 };
    enum : quint8 {
        SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
        NotifyLineState = 6, NotifyModemState = 7,
        ServerOffset = 100, // a server's answer to command c is c + 100
    };
    // The longest subnegotiation kept; the rest of a longer one is dropped.
    static constexpr qsizetype MaxSubnegotiation = 64;

    // The client's opening requests (to be sent once connected).
    QByteArray start();
    // Data from the server: returns the serial line's bytes; answers go to pendingOutput().
    QByteArray decode(const QByteArray &fromServer);
    // Serial line bytes to send: 0xFF doubled.
    static QByteArray escape(const QByteArray &data);
    // One COM port command, its value escaped.
    static QByteArray comPortCommand(quint8 command, const QByteArray &value);
    // The four settings commands for a line.
    static QByteArray settingsCommands(const LineSettings &line);

    // Sets the line: the commands join pendingOutput() now if the server takes them, else later.
    void setLineSettings(const LineSettings &line);
    // Bytes owed to the server (answers, settings), emptied by the call.
    QByteArray takePendingOutput();

    bool comPortAccepted() const { return m_local[OptComPort] == State::On; }
    // The speed the server last reported for its port.
    std::optional<qint32> serverBaud() const { return m_serverBaud; }

private:
    enum class State : quint8 { Off, Asked, On };
    enum class Phase : quint8 { Data, Command, Option, Sub, SubCommand };
    static bool wanted(quint8 option, bool local);
    void negotiate(quint8 verb, quint8 option);
    void subnegotiation(const QByteArray &body);
    void sendSettingsIfAccepted();

    std::array<State, 256> m_local{};  // options this side performs (WILL)
    std::array<State, 256> m_remote{}; // options the server performs (DO)
    Phase m_phase = Phase::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_subTooLong = false;
    QByteArray m_out;
    std::optional<LineSettings> m_line;
    bool m_lineSent = false;
    std::optional<qint32> m_serverBaud;
};
