// A serial port behind a serial device server, reached over TCP: raw (the bytes as they are) or
// through Telnet with the COM port control option. To the layers above it is a serial port like
// any other: a dropped connection is a lost port.
#include "link/networkaddress.h"
#include "link/serialdevice.h"
#include "link/telnetcodec.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {
// A connection the server closes within this time of accepting it was not really open; the
// port then counts as one that cannot be opened for SentAwayHoldMs (two link-check ticks).
constexpr int QuickDropMs = 500;
constexpr int SentAwayHoldMs = 1000;
// How long a connection after such a one must stay up to count as open.
constexpr int VerifyMs = 200;
// How often an open connection with nothing to read is looked at for a close.
constexpr int CloseWatchMs = 250;

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
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::SocketTimeoutError) // a look that found nothing (watchClose)
                dropped(m_socket.errorString());
        });
        m_closeWatch.setInterval(CloseWatchMs);
        connect(&m_closeWatch, &QTimer::timeout, this, [this] { watchClose(); });
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
        if (!(*address == m_address))
            m_sentAway = m_verifyNext = false;
        if (m_sentAway && m_sentAwayAge.elapsed() >= SentAwayHoldMs)
            m_sentAway = false;
        if (m_sentAway) {
            // The server let the last connection in and closed it at once (ser2net does so when
            // it cannot open its serial device): for a while the port is there but cannot be
            // used, as a COM port whose device has gone.
            fail(why, {OpenErrorKind::NotFound, path, m_sentAwayText});
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
            if (m_verifyNext && m_socket.waitForDisconnected(VerifyMs)) {
                // Sent away again: still no usable port, and no open and loss to report.
                m_firstBytes = m_socket.readAll().left(120);
                sendAway();
                fail(why, {OpenErrorKind::NotFound, path, m_sentAwayText});
                return false;
            }
            m_verifyNext = false;
            m_open = true;
            m_openedAt.start();
            m_firstBytes.clear();
            m_in.clear();
            m_telnet = TelnetCodec();
            if (m_address.protocol == NetworkAddress::Protocol::Rfc2217) {
                m_telnet.setLineSettings(m_line);
                sendRaw(m_telnet.start());
            }
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_closeWatch.start();
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
        m_closeWatch.stop();
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
        if (m_firstBytes.size() < 120)
            m_firstBytes += wire.left(120 - m_firstBytes.size());
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
        m_closeWatch.stop();
        m_open = false;
        m_in.clear();
        m_socket.abort();
        if (m_openedAt.elapsed() < QuickDropMs)
            sendAway();
        emit lost(QStringLiteral("%1: %2").arg(m_address.text(), reason));
    }

    // Under Wine the socket's notice of the server's close can go missing (seen when the close
    // follows data at once), and the port would look open for ever, answering nothing. While
    // nothing waits to be read, the socket is asked directly, without waiting: a close found so
    // comes as the socket's own error or disconnection, and data as its readyRead.
    void watchClose()
    {
        if (m_open && m_socket.state() == QAbstractSocket::ConnectedState && m_socket.bytesAvailable() == 0)
            m_socket.waitForReadyRead(0);
    }

    // The server took the connection and closed it at once: the port counts as one that cannot
    // be opened for a while, and the next connection must stay up a moment to count as open.
    void sendAway()
    {
        m_sentAway = true;
        m_verifyNext = true;
        m_sentAwayAge.start();
        // What the server said, where it said something readable.
        const QString said = QString::fromLatin1(m_firstBytes).simplified().remove(QRegularExpression(QStringLiteral("[^ -~]")));
        m_sentAwayText = said.isEmpty() ? QStringLiteral("сервер принял соединение и сразу закрыл его")
                                        : QStringLiteral("сервер принял соединение и сразу закрыл его (\"%1\")").arg(said);
    }

    QTcpSocket m_socket;
    QTimer m_closeWatch;
    NetworkAddress m_address;
    TelnetCodec m_telnet;
    LineSettings m_line{115200, 8, 'n', 1};
    QByteArray m_in;
    QElapsedTimer m_attemptAge;
    QElapsedTimer m_openedAt;
    QByteArray m_firstBytes; // the first bytes of the connection, for a server that sends us away
    QString m_sentAwayText;
    QElapsedTimer m_sentAwayAge;
    bool m_sentAway = false;
    bool m_verifyNext = false;
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
