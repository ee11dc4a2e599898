#pragma once
// Runs the event loop until the condition holds or the time is up; shared by the benchmarks that
// drive the program (or a program of their own) against the virtual instrument.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <functional>

inline bool waitFor(const std::function<bool()> &done, int maxMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > maxMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// What starting a program costs (kviro-cli --version, the fastest of three runs). It touches no
// line, so it is told apart from an exchange's own time; on a short pass it outweighs the line time.
inline double startUpSeconds(const QString &program)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        QProcess p;
        QElapsedTimer clock;
        clock.start();
        p.start(program, {QStringLiteral("--version")});
        waitFor([&] { return p.state() == QProcess::NotRunning; }, 30000);
        best = std::min(best, clock.nsecsElapsed() / 1e9);
    }
    return best;
}
