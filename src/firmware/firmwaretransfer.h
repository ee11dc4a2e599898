#pragma once
// The firmware stream into the instrument's boot loader: start marker 0x55 0xAA, the length
// (image size + 6, 4 bytes, low first), the image in writes of at most 10000 bytes, one per send
// tick, and right after the last image write the low 16 bits of the byte sum, low first. Nothing
// is read back; the stream is one-way.
//
// Pacing: a send tick comes at least 100 ms after the previous one, and only once the previous
// chunk has left the program's output queue. A line slower than 10000 bytes per 100 ms thus
// makes the ticks wait instead of piling the image up in memory; the window thread never blocks,
// and a stop takes effect before the next chunk.
#include "firmware/firmwareimage.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class TMSComm;

namespace firmware {

inline constexpr int ChunkSize = 10000;
inline constexpr int TickMs = 100;

QByteArray startMarker();
QByteArray lengthHeader(qint32 firmwareSize);
QByteArray checksumBytes(qint32 firmwareChecksum);

class FirmwareTransfer : public QObject {
    Q_OBJECT
public:
    explicit FirmwareTransfer(TMSComm &comm, QObject *parent = nullptr);

    // One write through the serial control; false when the port is closed or refuses it.
    bool write(const QByteArray &bytes);

    // The whole stream from its start: the marker and the length at once, then the send ticks.
    // The image must have been read and summed (readImageForTransfer). False, with writeFailed
    // emitted, when the marker or the length could not be written.
    bool start(ImageStream *stream);
    // Starts the send ticks over an image whose header has gone out already.
    void begin(ImageStream *stream);
    // Stops the ticks; nothing more is written. Safe in every state.
    void stop();
    // Between begin() and the checksum (or stop() or a failed write).
    bool sending() const { return m_stream != nullptr; }

    // The send tick: one chunk; after the last one, the checksum.
    void TimerTimer();

    // The frame's 100 ms send timer (single shot, restarted by each tick).
    QTimer Timer;
    QByteArray FirmwareChunk;

    // Longest the output queue was seen holding at a tick (bytes), for measurements.
    qint64 peakQueued() const { return m_peakQueued; }

signals:
    // Percent of the image whose writes have succeeded, after each tick's write.
    void progress(int percent);
    // The image and its checksum have been written.
    void imageSent();
    // A write was refused; the ticks have stopped. The reason is the serial layer's own (the
    // port gone, a device error) as far as it told one.
    void writeFailed(const QString &reason);

private:
    void onTimer();
    void onDrained();
    void fail();

    TMSComm &m_comm;
    ImageStream *m_stream = nullptr;
    bool m_awaitDrain = false;
    qint64 m_peakQueued = 0;
    QString m_lostReason; // the serial layer's word on a port lost since the stream started
};

} // namespace firmware
