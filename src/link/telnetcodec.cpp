#include "link/telnetcodec.h"

namespace {
QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (quint8 b : list)
        out.append(char(b));
    return out;
}
} // namespace

bool TelnetCodec::wanted(quint8 option, bool local)
{
    // Binary both ways keeps every byte value as it is (no CR/NUL rules); without go-ahead the
    // line is full duplex; only this side sends COM port commands.
    return option == OptBinary || option == OptSuppressGoAhead || (local && option == OptComPort);
}

QByteArray TelnetCodec::start()
{
    QByteArray out;
    for (quint8 option : {OptComPort, OptBinary, OptSuppressGoAhead}) {
        m_local[option] = State::Asked;
        out += bytes({Iac, Will, option});
    }
    for (quint8 option : {OptBinary, OptSuppressGoAhead}) {
        m_remote[option] = State::Asked;
        out += bytes({Iac, Do, option});
    }
    return out;
}

QByteArray TelnetCodec::escape(const QByteArray &data)
{
    if (!data.contains(char(Iac)))
        return data;
    QByteArray out;
    out.reserve(data.size() + 8);
    for (char c : data) {
        out.append(c);
        if (quint8(c) == Iac)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::comPortCommand(quint8 command, const QByteArray &value)
{
    return bytes({Iac, Sb, OptComPort, command}) + escape(value) + bytes({Iac, Se});
}

QByteArray TelnetCodec::settingsCommands(const LineSettings &line)
{
    const quint32 baud = quint32(line.baud);
    const QByteArray baudValue = bytes({quint8(baud >> 24), quint8(baud >> 16), quint8(baud >> 8), quint8(baud)});
    quint8 parity = 1;
    switch (line.parity) {
    case 'o': parity = 2; break;
    case 'e': parity = 3; break;
    case 'm': parity = 4; break;
    case 's': parity = 5; break;
    default: break;
    }
    const quint8 stop = line.stopBits == 2 ? 2 : line.stopBits == 15 ? 3 : 1;
    return comPortCommand(SetBaudRate, baudValue) + comPortCommand(SetDataSize, bytes({quint8(line.dataBits)}))
           + comPortCommand(SetParity, bytes({parity})) + comPortCommand(SetStopSize, bytes({stop}));
}

void TelnetCodec::setLineSettings(const LineSettings &line)
{
    if (m_line == line && m_lineSent)
        return;
    m_line = line;
    m_lineSent = false;
    sendSettingsIfAccepted();
}

void TelnetCodec::sendSettingsIfAccepted()
{
    if (!comPortAccepted() || !m_line || m_lineSent)
        return;
    m_out += settingsCommands(*m_line);
    m_lineSent = true;
}

QByteArray TelnetCodec::takePendingOutput()
{
    QByteArray out;
    out.swap(m_out);
    return out;
}

void TelnetCodec::negotiate(quint8 verb, quint8 option)
{
    const bool local = verb == Do || verb == Dont;
    State &state = local ? m_local[option] : m_remote[option];
    const bool enable = verb == Do || verb == Will;
    const quint8 yes = local ? Will : Do;
    const quint8 no = local ? Wont : Dont;
    if (enable) {
        if (state == State::On)
            return; // already so: no answer, or the two sides would loop
        if (state == State::Asked || wanted(option, local)) {
            if (state != State::Asked)
                m_out += bytes({Iac, yes, option});
            state = State::On;
            if (local && option == OptComPort)
                sendSettingsIfAccepted();
        } else {
            m_out += bytes({Iac, no, option});
        }
    } else {
        // A refusal of our request, or the server turning an option off: agree once.
        if (state == State::On)
            m_out += bytes({Iac, no, option});
        state = State::Off;
        if (local && option == OptComPort)
            m_lineSent = false;
    }
}

void TelnetCodec::subnegotiation(const QByteArray &body)
{
    if (body.size() < 2 || quint8(body.at(0)) != OptComPort)
        return;
    const quint8 command = quint8(body.at(1));
    if (command == ServerOffset + SetBaudRate && body.size() == 6) {
        qint32 baud = 0;
        for (int i = 2; i < 6; ++i)
            baud = (baud << 8) | quint8(body.at(i));
        m_serverBaud = baud;
    }
    // Line and modem state notices, the other acknowledgements and anything unknown: nothing to do.
}

QByteArray TelnetCodec::decode(const QByteArray &fromServer)
{
    QByteArray data;
    data.reserve(fromServer.size());
    for (char ch : fromServer) {
        const quint8 b = quint8(ch);
        switch (m_phase) {
        case Phase::Data:
            if (b == Iac)
                m_phase = Phase::Command;
            else
                data.append(ch);
            break;
        case Phase::Command:
            if (b == Iac) {
                data.append(ch);
                m_phase = Phase::Data;
            } else if (b >= Will && b <= Dont) {
                m_verb = b;
                m_phase = Phase::Option;
            } else if (b == Sb) {
                m_sub.clear();
                m_subTooLong = false;
                m_phase = Phase::Sub;
            } else {
                m_phase = Phase::Data; // NOP, data mark, break, go-ahead and the like
            }
            break;
        case Phase::Option:
            negotiate(m_verb, b);
            m_phase = Phase::Data;
            break;
        case Phase::Sub:
            if (b == Iac) {
                m_phase = Phase::SubCommand;
            } else if (m_sub.size() < MaxSubnegotiation) {
                m_sub.append(ch);
            } else {
                m_subTooLong = true;
            }
            break;
        case Phase::SubCommand:
            if (b == Iac) {
                if (m_sub.size() < MaxSubnegotiation)
                    m_sub.append(ch);
                else
                    m_subTooLong = true;
                m_phase = Phase::Sub;
            } else if (b == Se) {
                if (!m_subTooLong)
                    subnegotiation(m_sub);
                m_sub.clear();
                m_phase = Phase::Data;
            } else {
                // A command inside a subnegotiation that was never closed: the subnegotiation
                // is dropped and the command read as one.
                m_sub.clear();
                m_phase = Phase::Command;
                const QByteArray rest = decode(QByteArray(1, ch));
                data.append(rest);
            }
            break;
        }
    }
    return data;
}
