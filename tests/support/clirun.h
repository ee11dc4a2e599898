#pragma once
// Runs a command-line program to its end as the tests of kviro-cli do: its environment, a
// callback every few milliseconds while it runs (to act on the instrument or the process), and a
// time limit after which it is killed and the run counts as not finished.
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <functional>

struct CliRun {
    int exitCode = -1;
    QString out, err;
    bool finished = false;
    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

inline CliRun runProgram(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                         const std::function<void(QProcess &, qint64)> &during = {}, int maxMs = 120000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    CliRun r;
    if (!p.waitForStarted(10000))
        return r;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < maxMs) {
        QTest::qWait(5);
        if (during)
            during(p, t.elapsed());
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.finished = true;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
