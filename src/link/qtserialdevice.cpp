#include "link/serialdevice.h"

#include "link/networkaddress.h"

#include <QFileInfo>
#include <QSerialPort>

namespace {
// Why an open port was lost, in Russian, the system's words after.
QString lostReason(QSerialPort::SerialPortError error, const QString &system)
{
    QString own;
    switch (error) {
    case QSerialPort::DeviceNotFoundError: own = QStringLiteral("Порт не найден"); break;
    case QSerialPort::ReadError: own = QStringLiteral("Ошибка чтения из порта"); break;
    case QSerialPort::WriteError: own = QStringLiteral("Ошибка записи в порт"); break;
    default: own = QStringLiteral("Устройство порта отключено или недоступно"); break;
    }
    return system.isEmpty() ? own + QLatin1Char('.') : own + QStringLiteral(" (") + system + QStringLiteral(").");
}

class QtSerialDevice final : public SerialDevice {
public:
    QtSerialDevice()
    {
        connect(&m_port, &QSerialPort::readyRead, this, &SerialDevice::readyRead);
        connect(&m_port, &QSerialPort::bytesWritten, this, &SerialDevice::bytesWritten);
        connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialDevice::onError);
    }

    bool open(const QString &systemPath, OpenFailure *why) override
    {
        if (m_port.isOpen())
            return true;
        // A link in the port folder stands for the device it points at.
        const QFileInfo info(systemPath);
        const QString target = info.isSymLink() ? info.canonicalFilePath() : systemPath;
        if (target.isEmpty()) {
            if (why)
                *why = {OpenErrorKind::NotFound, systemPath, QStringLiteral("устройство не найдено")};
            return false;
        }
        m_port.setPortName(target);
        m_port.setBaudRate(m_baud);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        if (!m_port.open(QIODevice::ReadWrite)) {
            if (why) {
                OpenErrorKind kind = OpenErrorKind::Other;
                switch (m_port.error()) {
                case QSerialPort::DeviceNotFoundError: kind = OpenErrorKind::NotFound; break;
                case QSerialPort::PermissionError:
#ifdef Q_OS_WIN
                    // Windows gives a COM port to one program at a time: "access denied" is a port
                    // held by another program (or one closed to this user by policy).
                    kind = OpenErrorKind::Busy;
#else
                    // Qt reports a port held by another program as a permission error too.
                    kind = QFileInfo(target).isWritable() ? OpenErrorKind::Busy : OpenErrorKind::Permission;
#endif
                    break;
                case QSerialPort::OpenError: kind = OpenErrorKind::Busy; break;
                default: break;
                }
                *why = {kind, target, m_port.errorString()};
            }
            m_port.clearError();
            return false;
        }
        m_port.clear(QSerialPort::Input);
        return true;
    }

    void close() override
    {
        if (m_port.isOpen())
            m_port.close();
        m_port.clearError();
    }

    bool isOpen() const override { return m_port.isOpen(); }

    bool setBaudRate(qint32 baud) override
    {
        m_baud = baud;
        if (!m_port.isOpen())
            return true;
        // A pseudo-terminal may refuse line settings; that is not an error of the link.
        m_port.setBaudRate(baud);
        if (m_port.error() == QSerialPort::UnsupportedOperationError || m_port.error() == QSerialPort::UnknownError)
            m_port.clearError();
        return true;
    }

    bool write(const QByteArray &bytes) override
    {
        if (!m_port.isOpen())
            return false;
        return m_port.write(bytes) == bytes.size();
    }

    QByteArray readAll() override { return m_port.isOpen() ? m_port.readAll() : QByteArray(); }
    qint64 bytesAvailable() const override { return m_port.isOpen() ? m_port.bytesAvailable() : 0; }
    qint64 bytesToWrite() const override { return m_port.isOpen() ? m_port.bytesToWrite() : 0; }

    void discardInput() override
    {
        if (m_port.isOpen()) {
            m_port.clear(QSerialPort::Input);
            m_port.readAll();
        }
    }

private:
    void onError(QSerialPort::SerialPortError error)
    {
        switch (error) {
        case QSerialPort::NoError:
            return;
        case QSerialPort::UnsupportedOperationError: // DTR/RTS on a pseudo-terminal
        case QSerialPort::TimeoutError:
            m_port.clearError();
            return;
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
        case QSerialPort::DeviceNotFoundError:
            if (m_port.isOpen()) {
                const QString reason = lostReason(error, m_port.errorString());
                m_port.close();
                m_port.clearError();
                emit lost(reason);
            }
            return;
        default:
            return; // open errors are reported by open()
        }
    }

    QSerialPort m_port;
    qint32 m_baud = 115200;
};
} // namespace

QString describeOpenFailure(const OpenFailure &f, PortWording wording)
{
    if (wording == PortWording::Windows) {
        switch (f.kind) {
        case OpenErrorKind::Permission:
        case OpenErrorKind::Busy:
            return QStringLiteral("%1 занят другой программой или закрыт для этой учётной записи (Windows отказала в "
                                  "доступе). Закройте программу, которая работает с портом, или выберите другой порт.")
                .arg(f.device);
        case OpenErrorKind::NotFound:
            return QStringLiteral("%1 не найден. Проверьте кабель и драйвер адаптера в диспетчере устройств.").arg(f.device);
        default:
            return QStringLiteral("%1 не открывается: %2").arg(f.device, f.text);
        }
    }
    switch (f.kind) {
    case OpenErrorKind::Permission:
        return QStringLiteral("Нет доступа к %1. Войдите в группу \"dialout\" (sudo usermod -aG dialout $USER) "
                              "и войдите в систему заново.")
            .arg(f.device);
    case OpenErrorKind::Busy:
        return QStringLiteral("%1 занят другой программой.").arg(f.device);
    case OpenErrorKind::NotFound:
        return NetworkAddress::looksLikeOne(f.device) ? QStringLiteral("%1 не открывается: %2").arg(f.device, f.text)
                                                      : QStringLiteral("%1 не найден.").arg(f.device);
    case OpenErrorKind::Refused:
        return QStringLiteral("%1: соединение отвергнуто (сервер портов не слушает этот порт TCP).").arg(f.device);
    case OpenErrorKind::NoRoute:
        return QStringLiteral("%1: узел недоступен (%2).").arg(f.device, f.text);
    case OpenErrorKind::TimedOut:
        return QStringLiteral("%1: нет ответа, время ожидания истекло.").arg(f.device);
    case OpenErrorKind::Connecting:
        return QStringLiteral("%1: соединение устанавливается.").arg(f.device);
    default:
        return QStringLiteral("%1 не открывается: %2").arg(f.device, f.text);
    }
}

QString describeOpenFailure(const OpenFailure &f)
{
#ifdef Q_OS_WIN
    return describeOpenFailure(f, PortWording::Windows);
#else
    return describeOpenFailure(f, PortWording::Posix);
#endif
}

std::unique_ptr<SerialDevice> makeQtSerialDevice() { return std::make_unique<QtSerialDevice>(); }
