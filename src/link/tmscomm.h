#pragma once
// TMSComm: the serial control the whole program talks through (held by the main window as
// serial). It offers the communications control's properties with the same effects:
// PortOpen, CommPort (1..16), Settings ("115200,n,8,1"), Output, Input, InBufferCount,
// NullDiscard and the receive notification OnComm, delivered on the window thread.
#include "core/linemonitor.h"
#include "link/portcatalog.h"
#include "link/serialdevice.h"

#include <QByteArray>
#include <QObject>

#include <memory>

class TMSComm : public QObject {
    Q_OBJECT
public:
    TMSComm(const PortCatalog &catalog, SerialDeviceFactory factory = {}, QObject *parent = nullptr);
    ~TMSComm() override;

    bool PortOpen() const;
    // Opening a port that cannot be opened returns false and keeps the reason in
    // lastOpenFailure(); closing always succeeds. Stale input is cleared after every open.
    [[nodiscard]] bool setPortOpen(bool open);
    const OpenFailure &lastOpenFailure() const { return m_failure; }

    int CommPort() const { return m_commPort; }
    // Selects the port for the next open (1..16; other numbers are refused).
    bool setCommPort(int port);

    QString Settings() const { return m_settings; }
    // "baud,n,8,1": applied at once, also while open; read back as last set.
    bool setSettings(const QString &settings);
    static qint32 baudOf(const QString &settings);

    // One write of 8-bit bytes, sent unchanged and in order; queued when the line is slower.
    bool setOutput(const QByteArray &bytes);
    // All waiting bytes, removed from the receive queue.
    QByteArray Input();
    int InBufferCount() const;
    // Only 0 is meaningful: it discards what is waiting.
    void setInBufferCount(int count);

    bool NullDiscard() const { return m_nullDiscard; }
    void setNullDiscard(bool discard) { m_nullDiscard = discard; }

    // Bytes written that have not yet left the program's output queue.
    qint64 OutBufferCount() const;

    // Every piece written and read is shown to the monitor, if one is set (raw, before
    // NullDiscard drops anything).
    void setMonitor(LineMonitor *monitor) { m_monitor = monitor; }
    // The system path of the open port (empty when closed).
    QString openDevice() const { return m_device->isOpen() ? m_openPath : QString(); }

signals:
    void OnComm();
    // The output queue has emptied.
    void outputDrained();
    // An open port failed for good and is closed now.
    void portLost(const QString &reason);
    // The port was opened, or an open one closed by the program.
    void portOpened();
    void portClosed();

private:
    void pullInput();
    void attachDevice();

    const PortCatalog &m_catalog;
    SerialDeviceFactory m_factory;
    std::unique_ptr<SerialDevice> m_device;
    LineMonitor *m_monitor = nullptr;
    QString m_openPath;
    OpenFailure m_failure;
    QByteArray m_in;
    QString m_settings = QStringLiteral("115200,n,8,1");
    int m_commPort = 1;
    bool m_nullDiscard = false;
};
