#include "cli/meteredserial.h"

class MeteredSerialDevice final : public SerialDevice {
public:
    MeteredSerialDevice(std::unique_ptr<SerialDevice> inner, LineMeter &meter) : m_inner(std::move(inner)), m_meter(meter)
    {
        connect(m_inner.get(), &SerialDevice::readyRead, this, &SerialDevice::readyRead);
        connect(m_inner.get(), &SerialDevice::bytesWritten, this, &SerialDevice::bytesWritten);
        connect(m_inner.get(), &SerialDevice::lost, this, [this](const QString &reason) {
            m_reported = true;
            m_meter.m_lostReason = reason.isEmpty() ? QStringLiteral("порт закрылся") : reason;
            emit m_meter.portLost(m_meter.m_lostReason);
            emit lost(reason);
        });
        // A loss seen from outside (the device file vanished) is the port's loss for the link too:
        // an exchange waiting for a reply then ends as a lost port, not as silence.
        connect(&m_meter, &LineMeter::portLost, this, [this](const QString &reason) {
            if (m_reported || !m_inner->isOpen())
                return;
            m_reported = true;
            m_inner->close();
            emit lost(reason);
        });
        SerialDevice *device = m_inner.get();
        m_meter.m_queued = [device] { return device->bytesToWrite(); };
    }
    ~MeteredSerialDevice() override { m_meter.m_queued = {}; }

    bool open(const QString &systemPath, OpenFailure *why) override
    {
        m_reported = false;
        return m_inner->open(systemPath, why);
    }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    bool setBaudRate(qint32 baud) override { return m_inner->setBaudRate(baud); }
    bool write(const QByteArray &bytes) override
    {
        const bool ok = m_inner->write(bytes);
        if (ok)
            m_meter.m_sent += bytes.size();
        return ok;
    }
    QByteArray readAll() override
    {
        QByteArray bytes = m_inner->readAll();
        if (!bytes.isEmpty()) {
            m_meter.m_received += bytes.size();
            m_meter.m_sinceReceived.restart();
        }
        return bytes;
    }
    qint64 bytesAvailable() const override { return m_inner->bytesAvailable(); }
    qint64 bytesToWrite() const override { return m_inner->bytesToWrite(); }
    void discardInput() override { m_inner->discardInput(); }

private:
    std::unique_ptr<SerialDevice> m_inner;
    LineMeter &m_meter;
    bool m_reported = false; // the loss of the open port has been told
};

SerialDeviceFactory meteredDeviceFactory(LineMeter &meter)
{
    return [&meter] { return std::make_unique<MeteredSerialDevice>(makePortDevice(NetworkConnectTimeoutMs), meter); };
}
