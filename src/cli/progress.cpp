#include "cli/progress.h"

#include "cli/consoletext.h"

#include <cstdio>

ProgressBar::ProgressBar(bool enabled) : m_enabled(enabled) { m_clock.start(); }

ProgressBar::~ProgressBar() { finish(); }

bool ProgressBar::terminalAttached() { return console::isTerminal(stderr); }

QString ProgressBar::bytesText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MiB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 2);
}

QString ProgressBar::durationText(double seconds)
{
    const qint64 s = qint64(seconds + 0.5);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg((s / 60) % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString ProgressBar::render(qint64 bytes, double fraction, double elapsedSeconds, const QString &label, int width)
{
    const double rate = elapsedSeconds > 0.05 ? double(bytes) / elapsedSeconds : 0.0;
    QString tail = QStringLiteral(" %1  %2/с").arg(bytesText(bytes), bytesText(qint64(rate)));
    if (fraction > 0.0 && fraction < 1.0 && elapsedSeconds > 0.5)
        tail += QStringLiteral("  осталось %1").arg(durationText(elapsedSeconds * (1.0 - fraction) / fraction));
    QString head = label.isEmpty() ? QString() : label + QLatin1Char(' ');
    const QString percent = fraction >= 0.0 ? QStringLiteral("%1%").arg(int(std::min(fraction, 1.0) * 100.0), 3) : QStringLiteral("  ?");
    const int barWidth = std::max(10, width - 1 - int(head.size() + percent.size() + tail.size()) - 3);
    const int filled = fraction >= 0.0 ? int(std::min(fraction, 1.0) * barWidth) : 0;
    const QString line = head + QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
                         QString(barWidth - filled, QLatin1Char('.')) + QStringLiteral("] ") + percent + tail;
    // A line that reached the last column would wrap and scroll the terminal at every redraw.
    return line.left(std::max(width - 1, 1));
}

void ProgressBar::update(qint64 bytes, double fraction, const QString &label)
{
    if (!m_enabled)
        return;
    const qint64 now = m_clock.elapsed();
    if (now - m_lastDrawMs < 100 && fraction < 1.0)
        return;
    m_lastDrawMs = now;
    const int width = console::width(stderr);
    const QString line = render(bytes, fraction, double(now) / 1000.0, label, width);
    console::write(stderr, redrawText(line, width, console::takesEscapes(stderr)));
    m_drawn = true;
}

void ProgressBar::finish()
{
    if (!m_drawn)
        return;
    // The outcome starts at the beginning of the emptied line.
    const bool escapes = console::takesEscapes(stderr);
    QString text = redrawText(QString(), console::width(stderr), escapes);
    if (!escapes)
        text += QLatin1Char('\r');
    console::write(stderr, text);
    m_drawn = false;
}

QString ProgressBar::redrawText(const QString &line, int width, bool escapes)
{
    if (escapes)
        return QLatin1Char('\r') + line + QStringLiteral("\033[K");
    // Without escape sequences what the previous line left is overwritten with spaces; the last
    // column stays free, or the console would wrap to a new line.
    return QLatin1Char('\r') + line.left(width - 1).leftJustified(width - 1, QLatin1Char(' '));
}
