#include "cli/progress.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define kviro_isatty _isatty
#define kviro_fileno _fileno
#else
#include <sys/ioctl.h>
#include <unistd.h>
#define kviro_isatty isatty
#define kviro_fileno fileno
#endif

namespace {
int terminalWidth()
{
#ifndef Q_OS_WIN
    winsize ws{};
    if (ioctl(kviro_fileno(stderr), TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 40)
        return ws.ws_col;
#endif
    return 80;
}
} // namespace

ProgressBar::ProgressBar(bool enabled) : m_enabled(enabled) { m_clock.start(); }

ProgressBar::~ProgressBar() { finish(); }

bool ProgressBar::terminalAttached() { return kviro_isatty(kviro_fileno(stderr)) != 0; }

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
    return head + QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(barWidth - filled, QLatin1Char('.')) +
           QStringLiteral("] ") + percent + tail;
}

void ProgressBar::update(qint64 bytes, double fraction, const QString &label)
{
    if (!m_enabled)
        return;
    const qint64 now = m_clock.elapsed();
    if (now - m_lastDrawMs < 100 && fraction < 1.0)
        return;
    m_lastDrawMs = now;
    const QString line = render(bytes, fraction, double(now) / 1000.0, label, terminalWidth());
    std::fprintf(stderr, "\r%s\033[K", line.toLocal8Bit().constData());
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressBar::finish()
{
    if (!m_drawn)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    m_drawn = false;
}
