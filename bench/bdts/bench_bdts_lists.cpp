// Benchmark of the database lists (not a test): a 999-page database loaded from a file, listed
// and compacted, and the merge of two such databases (the additional list, and the addition to
// the instrument list of two databases that fit together). Prints the median and worst time of
// each step over several runs and the peak memory of the process.
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "bdts/tstree.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "core/status.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
struct NoDialogs final : UserDialogs {
    QString askSaveFile(const FileDialogRequest &) override { return {}; }
    QString askOpenFile(const FileDialogRequest &) override { return {}; }
    bool warnYesNo(const QString &, const QString &) override { return false; }
    void showError(const QString &, const QString &text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
};

constexpr double kTargetMs = 50.0;
bool allWithin = true;

void measure(const char *what, int runs, const std::function<void()> &setup, const std::function<void()> &step)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        setup();
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2], worst = ms.back();
    allWithin = allWithin && median < kTargetMs;
    std::printf("%-58s median %7.2f ms  worst %7.2f ms  %s\n", what, median, worst, median < kTargetMs ? "ok" : "OVER 50 ms");
}

QByteArray database(quint32 seed, int pages, const char *prefix)
{
    bdts::GenOptions o;
    o.seed = seed;
    o.targetPages = pages;
    o.maxPages = 3;
    QByteArray image = bdts::generateImage(o);
    // Give every test system of this database its own group so two databases do not overlap.
    for (int k = 0; k < bdts::wholePages(image); ++k) {
        const qint64 at = bdts::pageOffset(k);
        if (bdts::readU32(image, at + bdts::KindOffset) == bdts::KindTestSystem && bdts::readI32(image, at) >= 1)
            std::memcpy(image.data() + at + bdts::GroupOffset, prefix, 2);
    }
    return image;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 21;
    QTemporaryDir dir;
    StatusModel status;
    NoDialogs dialogs;
    const QString program = dir.path() + QLatin1Char('/');

    const QByteArray a = database(1, 999, "A_"), b = database(2, 999, "B_");
    const QString fileA = dir.filePath(QStringLiteral("a.bdts"));
    const QString fileALegacy = dir.filePath(QStringLiteral("a.bdt"));
    files::writeWhole(fileA, a);
    files::writeWhole(fileALegacy, bdts::toLegacy(a));
    std::printf("database: %d pages (%lld bytes)\n", bdts::wholePages(a), static_cast<long long>(a.size()));

    std::unique_ptr<BdtsDatabase> db;
    auto fresh = [&] {
        db = std::make_unique<BdtsDatabase>(status, dialogs, program);
        db->frameExists = true;
    };
    measure("load a 999-page *.bdts file (read, check, list, compact)", runs, fresh, [&] { db->loadFile(fileA); });
    measure("load a 999-record legacy *.bdt file (+ conversion)", runs, fresh, [&] { db->loadFile(fileALegacy); });

    bdts::TsTree tree;
    std::vector<bdts::TsEntry> entries;
    measure("list a 999-page image (BuildTsTree)", runs, [] {}, [&] { bdts::BuildTsTree(a, 999, tree, entries, nullptr); });
    QByteArray work;
    measure("compact a 999-page image (CompactImage)", runs,
            [&] {
                work = a;
                bdts::BuildTsTree(work, 999, tree, entries, nullptr);
            },
            [&] { bdts::CompactImage(work, tree, entries, nullptr); });

    // Merge: the instrument holds one 999-page database, the file another.
    auto bothLoaded = [&] {
        fresh();
        db->BdtsSorStream = b;
        db->BdtsPagesToRead = 999;
        db->finishRead();
        db->loadFile(fileA);
    };
    measure("merge two 999-page databases (additional list)", runs, bothLoaded, [&] { db->BuildAdditionalList(); });
    const QByteArray halfA = database(3, 500, "C_"), halfB = database(4, 500, "D_");
    const QString fileHalf = dir.filePath(QStringLiteral("half.bdts"));
    files::writeWhole(fileHalf, halfA);
    measure("add 499 pages to a 500-page instrument list (to 999)", runs,
            [&] {
                fresh();
                db->BdtsSorStream = halfB;
                db->BdtsPagesToRead = 500;
                db->finishRead();
                db->loadFile(fileHalf);
            },
            [&] { db->addToInstrument(); });
    if (db->BdtsPagesToRead != 999)
        std::printf("unexpected: %d pages after the addition\n", db->BdtsPagesToRead);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (max RSS): %.1f MiB\n", double(usage.ru_maxrss) / 1024.0);
    std::printf("target: every median under %.0f ms: %s\n", kTargetMs, allWithin ? "met" : "NOT met");
    return 0;
}
