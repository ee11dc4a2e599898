#pragma once
// The line monitor: the raw bytes on the serial line, both ways, with the time each piece was
// written or read, for the last MaxBytes bytes (bounded memory: the oldest pieces are dropped).
// Off by default. The serial control hands every piece to record(); while the monitor is off
// that costs two additions (the byte counters that the journal's exchange entries use).
#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>

struct LinePiece {
    qint64 msecsSinceEpoch = 0;
    bool outgoing = false; // true: from the program to the instrument
    QByteArray bytes;      // as they went over the line, byte for byte
};

class LineMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The bound: the last 256 KiB of traffic, and at most 32768 pieces (a piece is one write
    // or one read, however short).
    static constexpr qint64 MaxBytes = 256 * 1024;
    static constexpr int MaxPieces = 32768;

    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);

    void record(bool outgoing, const QByteArray &bytes)
    {
        (outgoing ? m_sent : m_received) += bytes.size();
        if (m_enabled)
            keep(outgoing, bytes);
    }

    // Bytes that went each way since the program started (counted also while off).
    qint64 bytesSent() const { return m_sent; }
    qint64 bytesReceived() const { return m_received; }

    const std::deque<LinePiece> &pieces() const { return m_pieces; }
    qint64 bytesHeld() const { return m_held; }
    // Pieces dropped at the old end since the monitor was switched on or cleared.
    qint64 droppedPieces() const { return m_dropped; }
    // Pieces kept since switched on or cleared, dropped ones included: views append the
    // pieces past the count they have shown.
    qint64 piecesKept() const { return m_kept; }
    void clear();

    // One piece as text: "HH:mm:ss.zzz  →  6C 0D  |l.|" — time, direction ("→" to the
    // instrument, "←" from it), hex, then the Windows-1251 text with control bytes as ".".
    // Long pieces are split into lines of bytesPerLine; follow lines are indented.
    static QString formatPiece(const LinePiece &piece, int bytesPerLine = 16);
    static QString hexOf(const QByteArray &bytes);
    static QString textOf(const QByteArray &bytes);
    // Everything held, formatted, for "Сохранить…".
    QString dump() const;

signals:
    // A piece was kept (only while on). Views should gather these, not redraw at each.
    void recorded();
    void enabledChanged(bool on);
    void cleared();

private:
    void keep(bool outgoing, const QByteArray &bytes);

    std::deque<LinePiece> m_pieces;
    qint64 m_held = 0;
    qint64 m_sent = 0, m_received = 0;
    qint64 m_dropped = 0;
    qint64 m_kept = 0;
    bool m_enabled = false;
};
