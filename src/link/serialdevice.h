#pragma once
// The serial port behind a small interface, so the control layer above it can run on a real
// port (QSerialPort) or on a scripted device in tests.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

enum class OpenErrorKind {
    None, NotFound, Permission, Busy, Other,
    // A port behind a serial device server on the network.
    Refused,    // nothing accepts connections at that address
    NoRoute,    // the host cannot be reached, or its name is unknown
    TimedOut,   // no answer to the connection attempt in time
    Connecting, // the attempt is still under way; the next open may succeed
};

// The line as a settings text such as "115200,n,8,1" gives it.
struct LineSettings {
    qint32 baud = 9600;
    int dataBits = 8;    // 5..8
    char parity = 'n';   // n, o, e, m, s
    int stopBits = 1;    // 1, 2, or 15 for one and a half
    // Parts that are missing or make no sense keep the values above.
    static LineSettings fromText(const QString &settings);
    bool operator==(const LineSettings &) const = default;
};

struct OpenFailure {
    OpenErrorKind kind = OpenErrorKind::None;
    QString device; // system path that was tried
    QString text;   // the system's reason
};

class SerialDevice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialDevice() override = default;

    virtual bool open(const QString &systemPath, OpenFailure *why) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool setBaudRate(qint32 baud) = 0;
    // The whole line setting; a local port takes the speed (its framing is always 8N1), a
    // network port passes it on to the far serial port where its protocol allows.
    virtual bool setLineSettings(const LineSettings &line) { return setBaudRate(line.baud); }
    // Queues the bytes for the line; returns false when the port cannot take them.
    virtual bool write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    virtual qint64 bytesAvailable() const = 0;
    // Bytes handed to the device that have not yet left the program's output queue.
    virtual qint64 bytesToWrite() const = 0;
    // Drops what the driver holds on the receive side.
    virtual void discardInput() = 0;

signals:
    void readyRead();
    void bytesWritten(qint64 count);
    // The port failed for good while open (unplugged, peer gone); it is closed already.
    void lost(const QString &reason);
};

// One line for the operator: why the port cannot be opened and what to do about it (the
// "dialout" group for a permission refusal, another program for a busy port).
QString describeOpenFailure(const OpenFailure &failure);
// The same in the words of either system: Windows has no "dialout" group; a port it refuses is
// held by another program or closed by policy.
enum class PortWording { Posix, Windows };
QString describeOpenFailure(const OpenFailure &failure, PortWording wording);

using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

// The real device: QSerialPort.
std::unique_ptr<SerialDevice> makeQtSerialDevice();

// How long one open of a network port waits for its connection before it answers "still
// connecting" (the attempt goes on in the background for the next open to find).
inline constexpr int NetworkOpenWaitMs = 250;
// How long a connection attempt may take before it is given up as timed out.
inline constexpr int NetworkConnectTimeoutMs = 5000;

// A port named "tcp://HOST:PORT" or "rfc2217://HOST:PORT" reached over the network.
std::unique_ptr<SerialDevice> makeNetworkDevice(int openWaitMs = NetworkOpenWaitMs);
// The device for whatever path it is opened on: a network address or a serial device. Each
// open picks the kind anew.
std::unique_ptr<SerialDevice> makePortDevice(int openWaitMs = NetworkOpenWaitMs);
