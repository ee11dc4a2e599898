// Benchmark of the database transfer (not a test): a 999-page read and a 999-page write against
// the virtual instrument on a pseudo-terminal, in one process.
//   bench_bdts_transfer [PAGES] [--skip-line]
// (a) unthrottled: the program's own time per page, that is the time spent in the receive
//     handler (dispatch, the database branches, the next request written, and the list building
//     and working files at the end of a read), divided by the pages;
// (b) at 11520 bytes/s both ways (115200 baud 8N1): the wall time divided by the time the line
//     itself needs for the same bytes, in both directions, one after the other.
// Every run keeps the journal (status texts, exchanges, files written) as the program does; the
// read is repeated with the line monitor switched on.
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtstransfer.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "core/journal.h"
#include "core/journalfeeds.h"
#include "core/linemonitor.h"
#include "core/status.h"
#include "link/instrumentlink.h"
#include "sim/bdts_sim.h"
#include "sim/virtualinstrument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <ctime>

namespace {
double cpuMsNow() { return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC; }
} // namespace

namespace {
struct ConfirmingDialogs final : UserDialogs {
    QString askSaveFile(const FileDialogRequest &) override { return {}; }
    QString askOpenFile(const FileDialogRequest &) override { return {}; }
    // The operator confirms the write into the instrument.
    bool warnYesNo(const QString &, const QString &) override { return true; }
    void showError(const QString &, const QString &text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
};

constexpr double kLineBytesPerSecond = 11520.0;

struct Rig {
    QTemporaryDir ports, program;
    StatusModel status;
    ConfirmingDialogs dialogs;
    Journal journal;
    StatusJournal statusFeed{status, journal};
    LineMonitor monitor;
    std::unique_ptr<VirtualInstrument> vi;
    std::unique_ptr<InstrumentLink> link;
    std::unique_ptr<BdtsFeature> feature;
    qint64 handlerNs = 0;
    bool writeAcknowledged = false;

    bool start()
    {
        vi = std::make_unique<VirtualInstrument>(ports.path(), 3);
        if (!vi->powerOn())
            return false;
        link = std::make_unique<InstrumentLink>(status, std::make_unique<FolderPortCatalog>(ports.path()));
        journal.open(Journal::folderIn(program.path()));
        journal.setLineMonitor(&monitor);
        Journal::setCurrent(&journal);
        link->setLineMonitor(&monitor);
        feature = std::make_unique<BdtsFeature>(FeatureContext{*link, status, dialogs, program.path() + QLatin1Char('/')});
        // The receive handler, timed.
        QObject::disconnect(&link->line(), &TMSComm::OnComm, link.get(), &InstrumentLink::onSerialReceive);
        QObject::connect(&link->line(), &TMSComm::OnComm, link.get(), [this] {
            QElapsedTimer t;
            t.start();
            link->onSerialReceive();
            handlerNs += t.nsecsElapsed();
        });
        QObject::connect(&status, &StatusModel::textChanged, [this](const QString &t) {
            if (t.startsWith(QStringLiteral("Отправлено в прибор страниц")))
                writeAcknowledged = true;
        });
        link->PortSearchTick();
        for (int i = 0; i < 200 && !link->linkOn(); ++i)
            QTest::qWait(5);
        link->stopPortSearch();
        return link->linkOn();
    }
    bool waitIdle(int maxMs)
    {
        QElapsedTimer t;
        t.start();
        while (feature->transfer().busy() && t.elapsed() < maxMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        return !feature->transfer().busy();
    }
};

struct Result {
    double wallMs = 0, programMs = 0;
    double cpuMs = 0; // the process's processor time (the program and the in-process instrument)
    qint64 lineBytes = 0;
};

Result timedRead(Rig &rig, int pages)
{
    rig.handlerNs = 0;
    const double cpu0 = cpuMsNow();
    QElapsedTimer t;
    t.start();
    rig.link->stopPortSearch();
    rig.journal.exchangeStarted(QStringLiteral("Чтение БД ТС из прибора"));
    rig.feature->RequestBdtsRead();
    if (!rig.waitIdle(600000) || rig.feature->database().BdtsPagesToRead < 1)
        std::fprintf(stderr, "read did not complete: %s\n", qPrintable(rig.status.text()));
    rig.journal.exchangeEnded(rig.status.text());
    Result r;
    r.wallMs = double(t.nsecsElapsed()) / 1e6;
    r.cpuMs = cpuMsNow() - cpu0;
    r.programMs = double(rig.handlerNs) / 1e6;
    r.lineBytes = 1 + 5 + qint64(pages) * (1 + 514); // "R", its reply, then "r" and a page per page
    rig.link->stopPortSearch();
    return r;
}

Result timedWrite(Rig &rig, int pages)
{
    rig.handlerNs = 0;
    rig.writeAcknowledged = false;
    const double cpu0 = cpuMsNow();
    QElapsedTimer t;
    t.start();
    rig.feature->btnWriteBDTSInSorClick();
    while (!rig.writeAcknowledged && rig.feature->transfer().busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    Result r;
    r.wallMs = double(t.nsecsElapsed()) / 1e6;
    r.programMs = double(rig.handlerNs) / 1e6;
    r.cpuMs = cpuMsNow() - cpu0;
    r.lineBytes = 3 + 1 + qint64(pages) * (513 + 1); // "M", 'm', then a page and its 'm' per page
    rig.waitIdle(600000); // the read-back that follows every write
    rig.link->stopPortSearch();
    return r;
}

void report(const char *what, const Result &r, int pages, bool throttled)
{
    if (!throttled) {
        std::printf("%-34s wall %8.1f ms  program %7.2f ms = %.4f ms/page  cpu %7.1f ms  %s\n", what, r.wallMs,
                    r.programMs, r.programMs / pages, r.cpuMs,
                    r.programMs / pages < 0.2 ? "ok (< 0.2)" : "OVER 0.2 ms/page");
    } else {
        const double lineMs = double(r.lineBytes) / kLineBytesPerSecond * 1000.0;
        std::printf("%-34s wall %8.1f ms  line %8.1f ms  ratio %.4f  cpu %7.1f ms  %s\n", what, r.wallMs, lineMs,
                    r.wallMs / lineMs, r.cpuMs, r.wallMs / lineMs < 1.02 ? "ok (< 1.02)" : "OVER 1.02");
    }
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int pages = 999;
    bool skipLine = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--skip-line")
            skipLine = true;
        else
            pages = std::clamp(atoi(argv[i]), 2, 999);
    }
    Rig rig;
    if (!rig.start()) {
        std::fprintf(stderr, "no link to the virtual instrument\n");
        return 1;
    }
    bdts::GenOptions o;
    o.seed = 99;
    o.targetPages = pages;
    rig.vi->bdts().setImage(bdts::generateImage(o));
    bdts::GenOptions f;
    f.seed = 100;
    f.targetPages = pages;
    const QString file = rig.program.filePath(QStringLiteral("write.bdts"));
    files::writeWhole(file, bdts::generateImage(f));
    rig.feature->database().loadFile(file);

    std::printf("%d pages, unthrottled:\n", pages);
    report("  read", timedRead(rig, pages), pages, false);
    rig.monitor.setEnabled(true);
    report("  read, line monitor on", timedRead(rig, pages), pages, false);
    rig.monitor.setEnabled(false);
    report("  write (to the last 'm')", timedWrite(rig, pages), pages, false);
    if (rig.vi->bdts().writesCompleted() != 1)
        std::fprintf(stderr, "the instrument did not take the database\n");
    if (!skipLine) {
        rig.vi->port().setLineRate(int(kLineBytesPerSecond));
        std::printf("%d pages at %.0f bytes/s (115200 8N1):\n", pages, kLineBytesPerSecond);
        report("  read", timedRead(rig, pages), pages, true);
        rig.monitor.setEnabled(true);
        report("  read, line monitor on", timedRead(rig, pages), pages, true);
        std::printf("  line monitor holds %lld bytes in %zu pieces (bound %lld bytes)\n", rig.monitor.bytesHeld(),
                    rig.monitor.pieces().size(), LineMonitor::MaxBytes);
        rig.monitor.setEnabled(false);
        report("  write (to the last 'm')", timedWrite(rig, pages), pages, true);
    }
    rig.journal.waitWritten();
    std::printf("journal: %lld entries in memory\n", qint64(rig.journal.entries().size()));
    return 0;
}
