// kviro-cli on a line that carries 11520 bytes per second (115200 baud, 8N1), against the virtual
// instrument in its own process:
//   bench_cli [--rate BYTES_PER_S] [--pages N] [--size BYTES]
// (a) db-read of a 999-page database: from the start of the command to its exit, against the
//     line's own time for the probe, "R", its reply, and "r" with a page reply per page;
// (b) flash --no-wait of a 1 MiB image: from the start of the command until the instrument has the
//     checksum, against the line's own time for the probe and the stream.
// Target: both under 1.02 of the line's time; the stream's line time includes the one send tick
// (100 ms) the protocol waits before the first image write. The program's start-up (what "kviro-cli --version"
// takes, the fastest of three) touches no line; it is told apart, and the ratio without it is the
// exchange's own. On a short pass the start-up outweighs the line time.
#include "bench/benchwait.h"
#include "bdts/bdtsgen.h"
#include "core/files.h"
#include "firmware/firmwaretransfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {
struct Sim {
    QProcess process;
    QByteArray out;
    bool start(const QString &folder, const QStringList &extra)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { out += process.readAllStandardOutput(); });
        process.start(QStringLiteral(KVIRO_SIM_PATH),
                      QStringList{QStringLiteral("--folder"), folder, QStringLiteral("--com"), QStringLiteral("3")} + extra);
        return waitFor([this] { return out.contains("kviro-sim: COM3"); }, 10000);
    }
    ~Sim()
    {
        process.closeWriteChannel();
        process.terminate();
        process.waitForFinished(3000);
    }
};

// lineS: the line's own time for the exchange's bytes, with any pause the protocol itself makes.
void report(const char *what, double wallS, double startS, double lineS, bool ok)
{
    const double ownS = wallS - startS;
    std::printf("%-28s wall %8.3f s  line %8.3f s  ratio %.4f; without the start-up %8.3f s  ratio %.4f  %s\n", what, wallS,
                lineS, wallS / lineS, ownS, ownS / lineS, !ok ? "FAILED" : ownS / lineS < 1.02 ? "ok (< 1.02)" : "OVER 1.02");
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rate = 11520, pages = 999;
    qint64 size = 1 << 20;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rate"))
            rate = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--pages"))
            pages = std::clamp(args.at(++i).toInt(), 2, 999);
        else if (args.at(i) == QLatin1String("--size"))
            size = args.at(++i).toLongLong();
    }
    QTemporaryDir ports, work;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KVIRO_SERIALCOMM"), ports.path());
    auto cli = [&](const QStringList &arguments, QElapsedTimer &clock, int *exitCode) {
        QProcess p;
        p.setProcessEnvironment(env);
        clock.start();
        p.start(QStringLiteral(KVIRO_CLI_PATH), arguments + QStringList{QStringLiteral("--work-dir"), work.path()});
        waitFor([&] { return p.state() == QProcess::NotRunning; }, 3600 * 1000);
        *exitCode = p.exitCode();
        if (p.exitCode() != 0)
            std::fprintf(stderr, "%s", p.readAllStandardError().constData());
    };
    std::printf("kviro-cli at %d bytes/s\n", rate);
    const double startS = startUpSeconds(QStringLiteral(KVIRO_CLI_PATH));
    std::printf("%-28s %.3f s\n", "start-up (--version)", startS);

    // (a) db-read
    {
        bdts::GenOptions o;
        o.seed = 99;
        o.targetPages = pages;
        const QString database = work.filePath(QStringLiteral("sim.bdts"));
        files::writeWhole(database, bdts::generateImage(o));
        Sim sim;
        if (!sim.start(ports.path(), {QStringLiteral("--rate"), QString::number(rate), QStringLiteral("--database"), database})) {
            std::fprintf(stderr, "the virtual instrument did not start\n");
            return 1;
        }
        QElapsedTimer clock;
        int rc = -1;
        cli({QStringLiteral("db-read"), work.filePath(QStringLiteral("read.bdts"))}, clock, &rc);
        const double wall = clock.nsecsElapsed() / 1e9;
        const qint64 line = 2 + 1 + 5 + qint64(pages) * (1 + 514); // probe, "R", its reply, then "r" and a page per page
        report(qPrintable(QStringLiteral("db-read, %1 pages").arg(pages)), wall, startS, double(line) / rate, rc == 0);
        // Line time the virtual instrument's port lost on a busy machine is its own, not the program's.
        sim.out.clear();
        sim.process.write("rate\n");
        const QRegularExpression lostFigures(QStringLiteral("lost in ([0-9.]+) ms, out ([0-9.]+) ms"));
        QRegularExpressionMatch lost;
        waitFor([&] { return (lost = lostFigures.match(QString::fromUtf8(sim.out))).hasMatch(); }, 3000);
        if (lost.hasMatch()) {
            const double lostS = (lost.captured(1).toDouble() + lost.captured(2).toDouble()) / 1000.0;
            std::printf("%-28s the virtual port lost %.3f s of it: without that and the start-up ratio %.4f\n", "", lostS,
                        (wall - startS - lostS) / (double(line) / rate));
        }
    }
    // (b) flash
    {
        QByteArray image(size, '\0');
        for (qint64 i = 0; i < size; ++i)
            image[i] = char((i * 31 + (i >> 11)) & 0xFF);
        const QString path = work.filePath(QStringLiteral("fw.tsk"));
        files::writeWhole(path, image);
        Sim sim;
        if (!sim.start(ports.path(), {QStringLiteral("--loader"), QStringLiteral("--rate"), QString::number(rate),
                                      QStringLiteral("--do"), QStringLiteral("boot program 600000")})) {
            std::fprintf(stderr, "the virtual instrument did not start\n");
            return 1;
        }
        QElapsedTimer clock;
        int rc = -1;
        cli({QStringLiteral("flash"), path, QStringLiteral("--no-wait")}, clock, &rc);
        const double exitS = clock.nsecsElapsed() / 1e9;
        // The command ends once its output has left the program; the last bytes may still be on
        // the line: the job is finished when the instrument has the checksum.
        bool complete = false;
        QElapsedTimer ask;
        ask.start();
        waitFor(
            [&] {
                if (sim.out.contains("; ok") || sim.out.contains("; bad"))
                    complete = true;
                else if (ask.elapsed() >= 10) {
                    sim.out.clear();
                    sim.process.write("boot status\n");
                    ask.restart();
                }
                return complete;
            },
            30000);
        const double wall = clock.nsecsElapsed() / 1e9;
        const qint64 line = 2 + size + 8; // probe and its answer, marker, length, image, checksum
        // The image goes out from the send timer's first tick on, one tick after the header.
        const double firstTickS = firmware::TickMs / 1000.0;
        report(qPrintable(QStringLiteral("flash --no-wait, %1 bytes").arg(size)), wall, startS, double(line) / rate + firstTickS,
               rc == 0 && complete && sim.out.contains("; ok"));
        std::printf("%-28s line time: %.3f s of bytes and %.3f s to the first send tick\n", "", double(line) / rate, firstTickS);
        std::printf("%-28s command exited after %.3f s\n", "", exitS);
        // The stream as the instrument timed it, from its first read to the checksum.
        const QRegularExpression figures(QStringLiteral("stream ([0-9.]+) ms for ([0-9]+) bytes after the first read, port lost ([0-9.]+) ms"));
        if (const QRegularExpressionMatch m = figures.match(QString::fromUtf8(sim.out)); m.hasMatch()) {
            const double streamS = m.captured(1).toDouble() / 1000.0;
            const double lostS = m.captured(3).toDouble() / 1000.0;
            std::printf("%-28s stream on the line %.3f s, the virtual port lost %.3f s of it: ratio %.4f\n", "", streamS, lostS,
                        (streamS - lostS) / (m.captured(2).toDouble() / rate + firstTickS));
        }
    }
    return 0;
}
