#pragma once
// The serial device of the command line: the program's own device with a meter around it, so the
// command line can show bytes and rate, notice a silent instrument and a port that is lost, without
// looking inside the link.
#include "link/serialdevice.h"

#include <QElapsedTimer>

#include <functional>
#include <QObject>

class LineMeter : public QObject {
    Q_OBJECT
public:
    LineMeter() { m_sinceReceived.start(); }

    qint64 sent() const { return m_sent; }         // handed to the port
    qint64 received() const { return m_received; } // taken from the port
    qint64 queued() const { return m_queued ? m_queued() : 0; }
    // Bytes that have left the program for the line.
    qint64 sentOnLine() const { return m_sent - queued(); }
    qint64 msSinceReceived() const { return m_sinceReceived.elapsed(); }
    void restartSilence() { m_sinceReceived.restart(); }

    bool lost() const { return !m_lostReason.isEmpty(); }
    const QString &lostReason() const { return m_lostReason; }
    // Forget an earlier loss (the instrument restarts and its port comes back).
    void clearLost() { m_lostReason.clear(); }
    // A loss noticed outside the device (its file vanished before any read or write failed).
    void markLost(const QString &reason)
    {
        if (lost())
            return;
        m_lostReason = reason;
        emit portLost(reason);
    }

signals:
    void portLost(const QString &reason);

private:
    friend class MeteredSerialDevice;
    qint64 m_sent = 0;
    qint64 m_received = 0;
    QElapsedTimer m_sinceReceived;
    QString m_lostReason;
    std::function<qint64()> m_queued;
};

// A factory for InstrumentLink: every device it makes reports to the meter.
SerialDeviceFactory meteredDeviceFactory(LineMeter &meter);
