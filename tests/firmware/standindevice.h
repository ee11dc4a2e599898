#pragma once
// A serial device standing in for the port under the real serial control and link: it records
// every write with what was still queued at that moment, lets the line take the bytes at a chosen
// pace (so the output queue really holds them), answers the link probe like a boot loader, and
// can refuse a chosen write the way a port that has just gone does.
#include "link/serialdevice.h"

#include <QList>
#include <QTimer>

#include <functional>

class StandInDevice final : public SerialDevice {
public:
    struct Write {
        QByteArray bytes;
        qint64 queuedBefore = 0; // bytes of earlier writes not yet on the line
    };
    QList<Write> writes;
    std::function<void(const QByteArray &)> onWrite;

    qint64 bytesPerStep = 0; // the line takes this many bytes per step; 0 = all at once
    int stepMs = 20;
    int failWrite = -1;  // the write with this index in `writes` is refused and the port lost
    QString lostReason = QStringLiteral("Устройство отключено");
    char probeAnswer = 'l'; // 0 = the probe goes unanswered

    StandInDevice()
    {
        m_line.setInterval(stepMs);
        QObject::connect(&m_line, &QTimer::timeout, this, [this] {
            const qint64 n = std::min(m_queued, bytesPerStep);
            m_queued -= n;
            if (m_queued == 0)
                m_line.stop();
            emit bytesWritten(n);
        });
    }

    bool open(const QString &, OpenFailure *) override
    {
        m_open = true;
        return true;
    }
    void close() override
    {
        m_open = false;
        m_queued = 0;
        m_line.stop();
    }
    bool isOpen() const override { return m_open; }
    bool setBaudRate(qint32) override { return true; }
    bool write(const QByteArray &bytes) override
    {
        if (!m_open)
            return false;
        const qsizetype index = writes.size();
        writes << Write{bytes, m_queued};
        if (onWrite)
            onWrite(bytes);
        if (index == failWrite) {
            close();
            emit lost(lostReason);
            return false;
        }
        if (bytes == "l" && probeAnswer)
            QTimer::singleShot(0, this, [this] {
                m_in.append(probeAnswer);
                emit readyRead();
            });
        if (bytesPerStep <= 0) {
            QTimer::singleShot(0, this, [this, n = bytes.size()] { emit bytesWritten(n); });
        } else {
            m_queued += bytes.size();
            m_line.setInterval(stepMs);
            if (!m_line.isActive())
                m_line.start();
        }
        return true;
    }
    QByteArray readAll() override
    {
        QByteArray out;
        out.swap(m_in);
        return out;
    }
    qint64 bytesAvailable() const override { return m_in.size(); }
    qint64 bytesToWrite() const override { return m_queued; }
    void discardInput() override { m_in.clear(); }

    // Everything written from the write with this index on, joined.
    QByteArray writtenFrom(qsizetype first) const
    {
        QByteArray all;
        for (qsizetype i = first; i < writes.size(); ++i)
            all += writes.at(i).bytes;
        return all;
    }

private:
    QTimer m_line;
    QByteArray m_in;
    qint64 m_queued = 0;
    bool m_open = false;
};
