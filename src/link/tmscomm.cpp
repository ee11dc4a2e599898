#include "link/tmscomm.h"

#include "link/networkports.h"

TMSComm::TMSComm(const PortCatalog &catalog, SerialDeviceFactory factory, QObject *parent)
    : QObject(parent), m_catalog(catalog), m_factory(factory ? std::move(factory) : SerialDeviceFactory([] { return makePortDevice(); }))
{
    attachDevice();
}

TMSComm::~TMSComm()
{
    if (m_device)
        m_device->close();
}

void TMSComm::attachDevice()
{
    m_device = m_factory();
    m_device->setLineSettings(LineSettings::fromText(m_settings));
    connect(m_device.get(), &SerialDevice::readyRead, this, [this] {
        pullInput();
        if (!m_in.isEmpty())
            emit OnComm();
    });
    connect(m_device.get(), &SerialDevice::bytesWritten, this, [this] {
        if (m_device->bytesToWrite() == 0)
            emit outputDrained();
    });
    connect(m_device.get(), &SerialDevice::lost, this, [this](const QString &reason) {
        m_in.clear();
        emit portLost(reason);
    });
}

bool TMSComm::PortOpen() const { return m_device->isOpen(); }

bool TMSComm::setPortOpen(bool open)
{
    if (!open) {
        const bool wasOpen = m_device->isOpen();
        m_device->close();
        m_in.clear();
        if (wasOpen)
            emit portClosed();
        return true;
    }
    if (m_device->isOpen())
        return true;
    m_failure = {};
    const QString path = m_catalog.devicePath(m_commPort);
    if (path.isEmpty()) {
        m_failure = {OpenErrorKind::NotFound, QStringLiteral("COM%1").arg(m_commPort),
                     QStringLiteral("порт COM%1 не найден").arg(m_commPort)};
        return false;
    }
    m_device->setLineSettings(LineSettings::fromText(m_settings));
    if (!m_device->open(path, &m_failure))
        return false;
    m_in.clear();
    m_device->discardInput();
    m_openPath = path;
    emit portOpened();
    return true;
}

bool TMSComm::setCommPort(int port)
{
    if ((port < 1 || port > 16) && !isNetworkPortNumber(port))
        return false;
    m_commPort = port;
    return true;
}

qint32 TMSComm::baudOf(const QString &settings)
{
    bool ok = false;
    const qint32 baud = settings.section(QLatin1Char(','), 0, 0).trimmed().toInt(&ok);
    return ok && baud > 0 ? baud : 9600;
}

LineSettings LineSettings::fromText(const QString &settings)
{
    LineSettings line;
    line.baud = TMSComm::baudOf(settings);
    const QStringList parts = settings.split(QLatin1Char(','));
    const QString parity = parts.value(1).trimmed().toLower();
    if (parity.size() == 1 && QStringLiteral("noems").contains(parity))
        line.parity = parity.at(0).toLatin1();
    bool ok = false;
    const int data = parts.value(2).trimmed().toInt(&ok);
    if (ok && data >= 5 && data <= 8)
        line.dataBits = data;
    const QString stop = parts.value(3).trimmed();
    if (stop == QLatin1String("2"))
        line.stopBits = 2;
    else if (stop == QLatin1String("1.5"))
        line.stopBits = 15;
    return line;
}

bool TMSComm::setSettings(const QString &settings)
{
    m_settings = settings;
    return m_device->setLineSettings(LineSettings::fromText(settings));
}

bool TMSComm::setOutput(const QByteArray &bytes)
{
    if (!m_device->isOpen())
        return false;
    if (!m_device->write(bytes))
        return false;
    if (m_monitor)
        m_monitor->record(true, bytes);
    return true;
}

void TMSComm::pullInput()
{
    if (!m_device->isOpen() || m_device->bytesAvailable() <= 0)
        return;
    QByteArray fresh = m_device->readAll();
    if (m_monitor)
        m_monitor->record(false, fresh);
    if (m_nullDiscard)
        fresh.replace(QByteArray(1, '\0'), QByteArray());
    m_in.append(fresh);
}

QByteArray TMSComm::Input()
{
    pullInput();
    QByteArray out;
    out.swap(m_in);
    return out;
}

int TMSComm::InBufferCount() const
{
    const qint64 pending = m_in.size() + (m_device->isOpen() ? m_device->bytesAvailable() : 0);
    return int(std::min<qint64>(pending, 0x7FFF));
}

void TMSComm::setInBufferCount(int count)
{
    if (count != 0)
        return;
    m_in.clear();
    m_device->discardInput();
}

qint64 TMSComm::OutBufferCount() const { return m_device->bytesToWrite(); }
