#pragma once
// The serial port behind a small interface, so the control layer above it can run on a real
// port (QSerialPort) or on a scripted device in tests.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

enum class OpenErrorKind { None, NotFound, Permission, Busy, Other };

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
