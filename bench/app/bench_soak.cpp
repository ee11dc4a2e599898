// The soak: the main window with the journal window and the line monitor open, on the virtual
// instrument, for minutes of plate fetches (by the instrument's notice), database reads,
// unplugging and replugging, and bursts of noise on the line. Prints the resident memory and the
// processor share of one core over a window at the start (after the first minute, or the first
// third of a short run) and at the end; the memory should stay within 10 % of its start.
//   bench_soak [--seconds N] [--without journal|monitor]
//     --seconds: default 600; --without: the soak without the journal window, or with the
//     journal window but the line monitor off, to tell which part grows.
#include "app/mainwindow.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtstransfer.h"
#include "journal/journalwindow.h"
#include "app/programjournal.h"
#include "reader/odcontroller.h"
#include "reader/readerfeature.h"
#include "sim/bdts_sim.h"
#include "sim/reader_sim.h"
#include "support/testbed.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <cstdio>
#include <ctime>

namespace {
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double processorSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Sample {
    double memory = 0;
    double share = 0; // percent of one core over the window
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int seconds = 600;
    QByteArray without;
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--seconds") == 0)
            seconds = std::max(6, atoi(argv[i + 1]));
        if (qstrcmp(argv[i], "--without") == 0)
            without = argv[i + 1];
    }
    const int warmUp = seconds >= 180 ? 60 : seconds / 3;    // start-up is not the soak
    const int window = std::max(2, std::min(30, seconds / 6)); // processor share measured over it

    TestBed bed;
    TFormMainKviroS_D7 &w = bed.window();
    VirtualInstrument &vi = bed.instrument();
    w.show();
    JournalWindow *journal = nullptr;
    if (without != "journal") {
        w.ActionJournalExecute();
        journal = w.programJournal().window();
    }
    if (journal) {
        journal->monitorSwitch()->setChecked(without != "monitor");
        journal->show();
    }
    w.link().startPortSearch();
    w.ActionBDTSExecute();

    int plates = 0, reads = 0, replugs = 0, bursts = 0;
    QElapsedTimer clock;
    clock.start();
    // The processor share over a window: from a mark to the moment of the sample.
    double markCpu = 0;
    qint64 markWall = 0;
    auto mark = [&] {
        markCpu = processorSeconds();
        markWall = clock.elapsed();
    };
    auto sample = [&] {
        const double wall = double(clock.elapsed() - markWall) / 1000.0;
        return Sample{residentMiB(), wall > 0 ? (processorSeconds() - markCpu) / wall * 100.0 : 0.0};
    };
    enum class Phase { WarmUp, StartWindow, Soak, EndWindow } phase = Phase::WarmUp;
    Sample first;
    qint64 nextPlate = 2000, nextRead = 9000, nextReplug = 40000, nextNoise = 3500;
    bool unplugged = false;
    qint64 replugAt = 0;
    int shownTab = -1;
    while (clock.elapsed() < qint64(seconds) * 1000) {
        QTest::qWait(50);
        const qint64 now = clock.elapsed();
        const bool busy = w.link().exchangeRunning();
        if (unplugged && now >= replugAt) {
            vi.powerOn();
            unplugged = false;
            ++replugs;
        }
        if (!unplugged && !busy && now >= nextPlate) {
            vi.reader().measurePlate(); // the notice: the window fetches the table itself
            ++plates;
            nextPlate = now + 5000;
        } else if (!unplugged && !busy && now >= nextRead) {
            w.bdts().RequestBdtsRead();
            ++reads;
            nextRead = now + 27000;
        } else if (!unplugged && now >= nextNoise) {
            vi.control(QStringLiteral("garbage 40"));
            ++bursts;
            nextNoise = now + 7000;
        } else if (!unplugged && !busy && now >= nextReplug) {
            vi.powerOff();
            unplugged = true;
            replugAt = now + 2000;
            nextReplug = now + 85000;
        }
        // Both tabs of the journal window take their turn on the screen.
        const int tab = int(now / 10000 % 2);
        if (journal && tab != shownTab) {
            journal->showTab(tab ? JournalWindow::TabMonitor : JournalWindow::TabEvents);
            shownTab = tab;
        }
        if (phase == Phase::WarmUp && now >= qint64(warmUp) * 1000) {
            mark();
            phase = Phase::StartWindow;
        } else if (phase == Phase::StartWindow && now >= qint64(warmUp + window) * 1000) {
            first = sample();
            phase = Phase::Soak;
        } else if (phase == Phase::Soak && now >= qint64(seconds - window) * 1000) {
            mark();
            phase = Phase::EndWindow;
        }
    }
    const Sample end = sample();
    const double growth = first.memory > 0 ? (end.memory - first.memory) / first.memory * 100.0 : 0.0;
    std::printf("soak %d s%s (%d plates, %d database reads, %d replugs, %d noise bursts; journal entries %lld)\n", seconds,
                without.isEmpty() ? "" : qPrintable(QStringLiteral(" without the ") + QString::fromLatin1(without)), plates, reads,
                replugs, bursts, qlonglong(w.journal().entries().size()));
    std::printf("  start (after %d s): resident %.1f MiB, processor %.1f %% of one core\n", warmUp, first.memory,
                first.share);
    std::printf("  end:                resident %.1f MiB, processor %.1f %% of one core\n", end.memory, end.share);
    std::printf("  memory growth %+.1f %% (target within 10 %%)%s\n", growth,
                qgetenv("QT_ACCESSIBILITY") == "1" ? ", accessibility on" : "");
    return 0;
}
