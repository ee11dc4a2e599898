#pragma once
// Runs the event loop until the condition holds or the time is up; shared by the benchmarks that
// drive the program (or a program of their own) against the virtual instrument.
#include <QCoreApplication>
#include <QElapsedTimer>

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
