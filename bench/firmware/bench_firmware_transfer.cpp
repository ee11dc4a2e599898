// A firmware image streamed into the virtual instrument's boot loader on a line that carries
// 11520 bytes per second (115200 baud, 8N1).
//   bench_firmware_transfer [--size BYTES] [--rate BYTES_PER_S]
// The instrument runs as its own process, so the memory figure is the program's alone. Wall time
// runs from the click to the instrument's receipt of the checksum, as seen through its status
// poll; the line's own time is the stream's length divided by the rate. The stream's own time is
// the instrument's, from its first read of the stream to the checksum; the time its port lost
// by coming back late to the line (a busy machine) is the virtual instrument's, not the
// program's, and is told apart. The line's time includes the one send tick (100 ms) the protocol
// waits before the first image write. Targets: the program's stream under 1.02 of the line's time,
// peak memory under the image plus 60 MiB.
#include "bench/benchwait.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "core/status.h"
#include "firmware/firmwarecontroller.h"
#include "firmware/firmwaretransfer.h"
#include "link/instrumentlink.h"
#include "link/portcatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {
class SilentDialogs final : public UserDialogs {
public:
    QString askSaveFile(const FileDialogRequest &) override { return {}; }
    QString askOpenFile(const FileDialogRequest &) override { return {}; }
    bool warnYesNo(const QString &caption, const QString &text) override
    {
        std::fprintf(stderr, "warning: %s: %s\n", qPrintable(caption), qPrintable(text));
        return false;
    }
    void showError(const QString &caption, const QString &text) override
    {
        std::fprintf(stderr, "error: %s: %s\n", qPrintable(caption), qPrintable(text));
    }
};

double peakMiB()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return double(use.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qint64 size = 1 << 20;
    int rate = 11520;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--size"))
            size = args.at(++i).toLongLong();
        else if (args.at(i) == QLatin1String("--rate"))
            rate = args.at(++i).toInt();
    }

    QTemporaryDir ports, program;
    QProcess sim;
    sim.setProcessChannelMode(QProcess::SeparateChannels);
    sim.start(QStringLiteral(KVIRO_SIM_PATH),
              {QStringLiteral("--folder"), ports.path(), QStringLiteral("--com"), QStringLiteral("3"), QStringLiteral("--loader"),
               QStringLiteral("--rate"), QString::number(rate), QStringLiteral("--do"), QStringLiteral("boot program 600000")});
    QByteArray simOut;
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] { simOut += sim.readAllStandardOutput(); });
    if (!waitFor([&] { return simOut.contains("kviro-sim: COM3"); }, 10000)) {
        std::fprintf(stderr, "the virtual instrument did not start\n");
        return 1;
    }

    // The image: bytes of every value.
    QByteArray image(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        image[i] = char((i * 31 + (i >> 11)) & 0xFF);
    const QString folder = firmware::imageFolder(program.path() + QLatin1Char('/'));
    QDir().mkpath(folder);
    if (!files::writeWhole(QDir(folder).filePath(QStringLiteral("Sorvint_3070.tsk")), image)) {
        std::fprintf(stderr, "cannot write the image\n");
        return 1;
    }
    image = QByteArray(); // the program reads it from the file like the operator's

    StatusModel status;
    SilentDialogs dialogs;
    InstrumentLink link(status, std::make_unique<FolderPortCatalog>(ports.path()));
    firmware::FirmwareController ctl(FeatureContext{link, status, dialogs, program.path() + QLatin1Char('/')}, [] { return true; });
    ctl.setFrameExists(true);
    ctl.setCurrentDirForSearch(program.path());
    link.setBaudIndex(5);
    link.PortSearchTick();
    if (!waitFor([&] { return link.instrumentInLoader(); }, 5000)) {
        std::fprintf(stderr, "the instrument is not in its boot loader\n");
        return 1;
    }
    ctl.ResetProgWizard();
    ctl.defaultSearch();
    const double baseMiB = peakMiB();

    qint64 maxQueued = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { maxQueued = std::max(maxQueued, link.line().OutBufferCount()); });
    watch.start(10);

    // Ask the instrument how far it is, often enough that the answer's delay is negligible.
    bool complete = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (simOut.contains("; ok") || simOut.contains("; bad")) {
            complete = true;
            return;
        }
        simOut.clear();
        sim.write("boot status\n");
    });

    QElapsedTimer clock;
    clock.start();
    ctl.btnLoadPOClick();
    poll.start(10);
    const qint64 stream = size + 8;
    const double lineSeconds = double(stream) / rate;
    const bool ok = waitFor([&] { return complete; }, int(lineSeconds * 1000 * 1.5) + 10000);
    const double wall = clock.nsecsElapsed() / 1e9;
    poll.stop();
    watch.stop();

    const bool good = simOut.contains("; ok");
    std::printf("image %lld bytes, line %d bytes/s\n", static_cast<long long>(size), rate);
    std::printf("wall %.3f s, line's own time %.3f s, ratio %.4f (with the start and the status poll)%s\n", wall, lineSeconds,
                wall / lineSeconds, ok ? (good ? "" : " CHECKSUM REFUSED") : " UNFINISHED");
    const QRegularExpression streamFigures(QStringLiteral("stream ([0-9.]+) ms for ([0-9]+) bytes after the first read, port lost ([0-9.]+) ms"));
    const QRegularExpressionMatch m = streamFigures.match(QString::fromUtf8(simOut));
    if (m.hasMatch()) {
        const double streamS = m.captured(1).toDouble() / 1000.0;
        const double bytesLineS = m.captured(2).toDouble() / rate;
        const double lostS = m.captured(3).toDouble() / 1000.0;
        // The first image write waits one send tick after the header: the protocol's own pause,
        // part of the stream's line time, which only a short image makes count.
        const double pauseS = firmware::TickMs / 1000.0;
        const double ratio = (streamS - lostS) / (bytesLineS + pauseS);
        std::printf("stream on the line %.3f s for %.3f s of line time (%.3f s of bytes, %.3f s to the first send tick); "
                    "the virtual port lost %.3f s of it; the program's ratio %.4f  %s\n",
                    streamS, bytesLineS + pauseS, bytesLineS, pauseS, lostS, ratio, ratio < 1.02 ? "ok (< 1.02)" : "OVER 1.02");
        std::printf("against the bytes alone: ratio %.4f\n", (streamS - lostS) / bytesLineS);
        std::printf("outside the stream (image check, the status poll) %.3f s\n", wall - streamS);
    }
    const double imageMiB = double(size) / (1 << 20);
    const double peak = peakMiB();
    std::printf("peak memory %.1f MiB (before the click %.1f MiB), image %.1f MiB, peak minus image %.1f MiB (target < 60)\n", peak,
                baseMiB, imageMiB, peak - imageMiB);
    std::printf("program's output queue: at most %lld bytes seen, %lld at a send tick\n", static_cast<long long>(maxQueued),
                static_cast<long long>(ctl.transfer().peakQueued()));
    sim.write("boot status\n");
    sim.closeWriteChannel();
    sim.terminate();
    sim.waitForFinished(3000);
    return ok && good ? 0 : 1;
}
