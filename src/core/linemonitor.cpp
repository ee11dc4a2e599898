#include "core/linemonitor.h"

#include "core/cp1251.h"

#include <QDateTime>

void LineMonitor::setEnabled(bool on)
{
    if (m_enabled == on)
        return;
    m_enabled = on;
    emit enabledChanged(on);
}

void LineMonitor::keep(bool outgoing, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    // A copy of exactly these bytes: sharing the caller's buffer would keep its whole allocation
    // (a read buffer holds kilobytes for a one-byte answer), which the byte bound does not count.
    m_pieces.push_back(LinePiece{QDateTime::currentMSecsSinceEpoch(), outgoing, QByteArray(bytes.constData(), bytes.size())});
    m_held += bytes.size();
    ++m_kept;
    while (!m_pieces.empty() && (m_held > MaxBytes || m_pieces.size() > size_t(MaxPieces))) {
        LinePiece &oldest = m_pieces.front();
        if (m_pieces.size() <= size_t(MaxPieces) && m_held - oldest.bytes.size() < MaxBytes) {
            // Dropping the whole piece would go below the bound: keep its newest part.
            const qint64 excess = m_held - MaxBytes;
            oldest.bytes = oldest.bytes.right(oldest.bytes.size() - excess);
            m_held -= excess;
            break;
        }
        m_held -= oldest.bytes.size();
        m_pieces.pop_front();
        ++m_dropped;
    }
    emit recorded();
}

void LineMonitor::clear()
{
    m_pieces.clear();
    m_held = 0;
    m_dropped = 0;
    m_kept = 0;
    emit cleared();
}

QString LineMonitor::hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString LineMonitor::textOf(const QByteArray &bytes)
{
    QString text = cp1251::decode(bytes);
    for (QChar &ch : text)
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char('.');
    return text;
}

QString LineMonitor::formatPiece(const LinePiece &piece, int bytesPerLine)
{
    const QString time = QDateTime::fromMSecsSinceEpoch(piece.msecsSinceEpoch).toString(QStringLiteral("HH:mm:ss.zzz"));
    const QString arrow = piece.outgoing ? QStringLiteral("→") : QStringLiteral("←");
    const QString indent(time.size() + 2 + arrow.size() + 2, QLatin1Char(' '));
    bytesPerLine = std::max(1, bytesPerLine);
    QString out;
    for (qsizetype at = 0; at < piece.bytes.size(); at += bytesPerLine) {
        const QByteArray part = piece.bytes.mid(at, bytesPerLine);
        if (at == 0)
            out += time + QStringLiteral("  ") + arrow + QStringLiteral("  ");
        else
            out += QLatin1Char('\n') + indent;
        QString hex = hexOf(part);
        hex = hex.leftJustified(bytesPerLine * 3 - 1, QLatin1Char(' '));
        out += hex + QStringLiteral("  |") + textOf(part) + QLatin1Char('|');
    }
    return out;
}

QString LineMonitor::dump() const
{
    QString out;
    for (const LinePiece &piece : m_pieces)
        out += formatPiece(piece) + QLatin1Char('\n');
    return out;
}
