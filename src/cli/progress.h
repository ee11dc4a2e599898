#pragma once
// The progress bar of a job on a terminal: bar, percent, bytes moved, rate and time left, redrawn
// in place at most ten times a second on standard error (see redrawText). Off on a pipe or a file, and with --json.
#include <QElapsedTimer>
#include <QString>

class ProgressBar {
public:
    explicit ProgressBar(bool enabled);
    ~ProgressBar();

    // bytes: moved on the line so far; fraction: 0..1 of the job, negative when not yet known.
    void update(qint64 bytes, double fraction, const QString &label = {});
    // Clears the line so that the outcome starts at its beginning.
    void finish();

    // "1.5 KiB", "11.3 KiB/s", "1:05" — also for the final report.
    static QString bytesText(qint64 bytes);
    static QString durationText(double seconds);
    // The line itself, for a terminal of `width` columns.
    static QString render(qint64 bytes, double fraction, double elapsedSeconds, const QString &label, int width);

    // What redraws the line in place: a carriage return, the line and, on a terminal that takes
    // escape sequences, "erase to the end of the line"; on one that does not (a Windows console),
    // the line padded with spaces to one column short of the width.
    static QString redrawText(const QString &line, int width, bool escapes);

    // True when standard error is a terminal (a console on Windows; not the NUL device).
    static bool terminalAttached();

private:
    bool m_enabled;
    bool m_drawn = false;
    QElapsedTimer m_clock;
    qint64 m_lastDrawMs = -1000;
};
