// A serial port behind a serial device server, reached over TCP: raw (the bytes as they are) or
// through Telnet with the COM port control option. To the layers above it is a serial port like
// any other: a dropped connection is a lost port.
#include "link/networkaddress.h"
#include "link/serialdevice.h"
#include "link/telnetcodec.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>

namespace {
class NetworkDevice final : public SerialDevice {
public:
    explicit NetworkDevice(int openWaitMs) : m_openWaitMs(openWaitMs)
    {
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { takeIncoming(); });
        connect(&m_socket, &QTcpSocket::bytesWritten, this, [this](qint64 n) {
            if (m_open)
                emit bytesWritten(n);
        });
        connect(&m_socket, &QTcpSocket::disconnected, this, [this] { dropped(QStringLiteral("соединение закрыто сервером")); });
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
            dropped(m_socket.errorString());
        });
    }

    ~NetworkDevice() override
    {
        // The socket outlives the other members: it must not call back while it closes.
        disconnect(&m_socket, nullptr, this, nullptr);
        m_socket.abort();
    }

    bool open(const QString &path, OpenFailure *why) override
    {
        if (m_open)
            return true;
        QString invalid;
        const auto address = NetworkAddress::parse(path, &invalid);
        if (!address) {
            fail(why, {OpenErrorKind::NotFound, path, invalid});
            return false;
        }
        if (m_attempting && !(*address == m_address)) {
            m_socket.abort();
            m_attempting = false;
        }
        if (!m_attempting) {
            m_address = *address;
            m_socket.abort();
            m_socket.connectToHost(m_address.host, m_address.port);
            m_attemptAge.start();
            m_attempting = true;
        }
        const int left = int(NetworkConnectTimeoutMs - m_attemptAge.elapsed());
        if (m_socket.state() != QAbstractSocket::ConnectedState && m_socket.state() != QAbstractSocket::UnconnectedState)
            m_socket.waitForConnected(std::clamp(std::min(m_openWaitMs, left), 0, NetworkConnectTimeoutMs));
        if (m_socket.state() == QAbstractSocket::ConnectedState) {
            m_attempting = false;
            m_open = true;
            m_in.clear();
            m_telnet = TelnetCodec();
            if (m_address.protocol == NetworkAddress::Protocol::Rfc2217) {
                m_telnet.setLineSettings(m_line);
                sendRaw(m_telnet.start());
            }
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            return true;
        }
        if (m_socket.state() == QAbstractSocket::UnconnectedState) {
            m_attempting = false;
            fail(why, {kindOf(m_socket.error()), path, m_socket.errorString()});
            return false;
        }
        if (m_attemptAge.elapsed() >= NetworkConnectTimeoutMs) {
            m_socket.abort();
            m_attempting = false;
            fail(why, {OpenErrorKind::TimedOut, path, QStringLiteral("нет ответа")});
            return false;
        }
        fail(why, {OpenErrorKind::Connecting, path, QStringLiteral("соединение устанавливается")});
        return false;
    }

    void close() override
    {
        m_open = false;
        m_attempting = false;
        m_in.clear();
        m_socket.abort();
    }

    bool isOpen() const override { return m_open; }

    bool setBaudRate(qint32 baud) override
    {
        LineSettings line = m_line;
        line.baud = baud;
        return setLineSettings(line);
    }

    bool setLineSettings(const LineSettings &line) override
    {
        // A raw connection has no way to set the far port: the server's own setting applies.
        m_line = line;
        if (m_open && m_address.protocol == NetworkAddress::Protocol::Rfc2217) {
            m_telnet.setLineSettings(line);
            sendRaw(m_telnet.takePendingOutput());
        }
        return true;
    }

    bool write(const QByteArray &bytes) override
    {
        if (!m_open)
            return false;
        const QByteArray wire = m_address.protocol == NetworkAddress::Protocol::Rfc2217 ? TelnetCodec::escape(bytes) : bytes;
        return m_socket.write(wire) == wire.size();
    }

    QByteArray readAll() override
    {
        takeIncoming(false);
        QByteArray out;
        out.swap(m_in);
        return out;
    }

    qint64 bytesAvailable() const override { return m_in.size() + (m_open && isRaw() ? m_socket.bytesAvailable() : 0); }
    qint64 bytesToWrite() const override { return m_open ? m_socket.bytesToWrite() : 0; }

    void discardInput() override
    {
        takeIncoming(false);
        m_in.clear();
    }

private:
    bool isRaw() const { return m_address.protocol == NetworkAddress::Protocol::RawTcp; }

    static void fail(OpenFailure *why, OpenFailure failure)
    {
        if (why)
            *why = std::move(failure);
    }

    static OpenErrorKind kindOf(QAbstractSocket::SocketError error)
    {
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError: return OpenErrorKind::Refused;
        case QAbstractSocket::HostNotFoundError:
        case QAbstractSocket::NetworkError: return OpenErrorKind::NoRoute;
        case QAbstractSocket::SocketTimeoutError: return OpenErrorKind::TimedOut;
        case QAbstractSocket::SocketAccessError: return OpenErrorKind::Permission;
        default: return OpenErrorKind::Other;
        }
    }

    void sendRaw(const QByteArray &wire)
    {
        if (!wire.isEmpty() && m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.write(wire);
    }

    // Moves what the socket holds into the input, Telnet taken out; tells the layer above.
    void takeIncoming(bool notify = true)
    {
        if (!m_open || m_socket.bytesAvailable() <= 0)
            return;
        const QByteArray wire = m_socket.readAll();
        if (isRaw()) {
            m_in += wire;
        } else {
            m_in += m_telnet.decode(wire);
            sendRaw(m_telnet.takePendingOutput());
        }
        if (notify && !m_in.isEmpty())
            emit readyRead();
    }

    void dropped(const QString &reason)
    {
        if (!m_open)
            return; // a failed connection attempt is reported by open()
        m_open = false;
        m_in.clear();
        m_socket.abort();
        emit lost(QStringLiteral("%1: %2").arg(m_address.text(), reason));
    }

    QTcpSocket m_socket;
    NetworkAddress m_address;
    TelnetCodec m_telnet;
    LineSettings m_line{115200, 8, 'n', 1};
    QByteArray m_in;
    QElapsedTimer m_attemptAge;
    int m_openWaitMs;
    bool m_attempting = false;
    bool m_open = false;
};

// Picks the device by the path it is opened on, and passes everything through to it.
class PortDevice final : public SerialDevice {
public:
    explicit PortDevice(int openWaitMs) : m_openWaitMs(openWaitMs) {}

    bool open(const QString &path, OpenFailure *why) override
    {
        const bool network = NetworkAddress::looksLikeOne(path);
        if (!m_inner || network != m_network) {
            if (m_inner)
                m_inner->close();
            m_network = network;
            m_inner = network ? makeNetworkDevice(m_openWaitMs) : makeQtSerialDevice();
            m_inner->setLineSettings(m_line);
            connect(m_inner.get(), &SerialDevice::readyRead, this, &SerialDevice::readyRead);
            connect(m_inner.get(), &SerialDevice::bytesWritten, this, &SerialDevice::bytesWritten);
            connect(m_inner.get(), &SerialDevice::lost, this, &SerialDevice::lost);
        }
        return m_inner->open(path, why);
    }
    void close() override
    {
        if (m_inner)
            m_inner->close();
    }
    bool isOpen() const override { return m_inner && m_inner->isOpen(); }
    bool setBaudRate(qint32 baud) override
    {
        m_line.baud = baud;
        return m_inner ? m_inner->setBaudRate(baud) : true;
    }
    bool setLineSettings(const LineSettings &line) override
    {
        m_line = line;
        return m_inner ? m_inner->setLineSettings(line) : true;
    }
    bool write(const QByteArray &bytes) override { return m_inner && m_inner->write(bytes); }
    QByteArray readAll() override { return m_inner ? m_inner->readAll() : QByteArray(); }
    qint64 bytesAvailable() const override { return m_inner ? m_inner->bytesAvailable() : 0; }
    qint64 bytesToWrite() const override { return m_inner ? m_inner->bytesToWrite() : 0; }
    void discardInput() override
    {
        if (m_inner)
            m_inner->discardInput();
    }

private:
    std::unique_ptr<SerialDevice> m_inner;
    LineSettings m_line{115200, 8, 'n', 1};
    int m_openWaitMs;
    bool m_network = false;
};
} // namespace

std::unique_ptr<SerialDevice> makeNetworkDevice(int openWaitMs) { return std::make_unique<NetworkDevice>(openWaitMs); }
std::unique_ptr<SerialDevice> makePortDevice(int openWaitMs) { return std::make_unique<PortDevice>(openWaitMs); }
