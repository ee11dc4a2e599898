#include "firmware/firmwaretransfer.h"

#include "core/status.h"
#include "link/tmscomm.h"

#include <algorithm>
#include <cstring>

namespace firmware {

namespace {
// While the previous chunk is still queued, look again this often in case the queue empties
// without a notification (a port that fails quietly).
constexpr int DrainRecheckMs = 50;
} // namespace

QByteArray startMarker() { return QByteArray("\x55\xAA", 2); }

QByteArray lengthHeader(qint32 firmwareSize)
{
    const quint32 value = quint32(firmwareSize) + 6u;
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char((value >> (8 * i)) & 0xFF);
    return out;
}

QByteArray checksumBytes(qint32 firmwareChecksum)
{
    const quint32 sum = quint32(firmwareChecksum);
    QByteArray out(2, '\0');
    out[0] = char(sum & 0xFF);
    out[1] = char((sum >> 8) & 0xFF);
    return out;
}

FirmwareTransfer::FirmwareTransfer(TMSComm &comm, QObject *parent) : QObject(parent), m_comm(comm)
{
    Timer.setObjectName(QStringLiteral("Timer"));
    Timer.setSingleShot(true);
    Timer.setInterval(TickMs);
    FirmwareChunk.reserve(ChunkSize);
    connect(&Timer, &QTimer::timeout, this, &FirmwareTransfer::onTimer);
    connect(&m_comm, &TMSComm::outputDrained, this, &FirmwareTransfer::onDrained);
    // A port that is gone never drains: let the tick find out and report it.
    connect(&m_comm, &TMSComm::portLost, this, [this](const QString &reason) {
        m_lostReason = reason;
        onDrained();
    });
}

bool FirmwareTransfer::write(const QByteArray &bytes) { return m_comm.setOutput(bytes); }

bool FirmwareTransfer::start(ImageStream *stream)
{
    stop();
    m_lostReason.clear();
    if (!write(startMarker()) || !write(lengthHeader(stream->FirmwareSize))) {
        fail();
        return false;
    }
    begin(stream);
    return true;
}

void FirmwareTransfer::fail()
{
    m_stream = nullptr;
    Timer.stop();
    m_awaitDrain = false;
    QString reason;
    if (!m_lostReason.isEmpty())
        reason = QStringLiteral("Порт потерян: %1").arg(m_lostReason);
    else if (!m_comm.PortOpen())
        reason = QStringLiteral("Порт закрыт.");
    else
        reason = QStringLiteral("Порт не принял данные.");
    emit writeFailed(reason);
}

void FirmwareTransfer::begin(ImageStream *stream)
{
    m_stream = stream;
    m_awaitDrain = false;
    m_peakQueued = 0;
    Timer.start(TickMs);
}

void FirmwareTransfer::stop()
{
    Timer.stop();
    m_stream = nullptr;
    m_awaitDrain = false;
}

void FirmwareTransfer::onTimer()
{
    if (!m_stream)
        return;
    const qint64 queued = m_comm.PortOpen() ? m_comm.OutBufferCount() : 0;
    if (queued > 0) {
        // The line has not taken the previous chunk yet: the tick waits for it.
        m_awaitDrain = true;
        Timer.start(DrainRecheckMs);
        return;
    }
    TimerTimer();
}

void FirmwareTransfer::onDrained()
{
    if (!m_stream || !m_awaitDrain)
        return;
    TimerTimer();
}

void FirmwareTransfer::TimerTimer()
{
    Timer.stop();
    m_awaitDrain = false;
    if (!m_stream)
        return;
    ImageStream &s = *m_stream;
    m_peakQueued = std::max(m_peakQueued, m_comm.PortOpen() ? m_comm.OutBufferCount() : 0);
    if (s.position < s.FirmwareSize) {
        const qint64 n = std::min<qint64>(s.FirmwareSize - s.position, ChunkSize);
        FirmwareChunk.resize(n);
        std::memcpy(FirmwareChunk.data(), s.bytes.constData() + s.position, size_t(n));
        if (!write(FirmwareChunk)) {
            fail();
            return;
        }
        // The bar counts only what the port has taken.
        s.position += n;
        emit progress(StatusModel::percentOf(s.position, s.FirmwareSize));
    }
    if (s.position >= s.FirmwareSize) {
        // The checksum goes in the same tick as the last image bytes (right away for an image
        // with nothing in it, so no tick ever runs without end).
        if (!write(checksumBytes(s.FirmwareChecksum))) {
            fail();
            return;
        }
        m_stream = nullptr;
        emit imageSent();
        return;
    }
    Timer.start(TickMs);
}

} // namespace firmware
