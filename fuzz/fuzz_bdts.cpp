// Arbitrary bytes through everything the program does with a database file or an instrument
// image: recognition, legacy conversion, the checks, list building, compaction, the additional
// list, adding to and deleting from the instrument list, the list text and the date line.
// The first input byte splits the rest into an "instrument image" and a "file".
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsimage.h"
#include "bdts/tstree.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "core/status.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {
struct QuietDialogs final : UserDialogs {
    QString askSaveFile(const FileDialogRequest &) override { return {}; }
    QString askOpenFile(const FileDialogRequest &) override { return {}; }
    bool warnYesNo(const QString &, const QString &) override { return false; }
    void showError(const QString &, const QString &) override {}
};

void pureChain(const QByteArray &bytes)
{
    QByteArray image = bytes;
    if (bdts::recognise(bytes) == bdts::FileKind::Legacy) {
        const auto converted = bdts::convertLegacy(bytes);
        if (!converted)
            return;
        if (converted->size() != bdts::HeaderSize + qint64(bdts::PageSize) * bdts::wholePages(*converted))
            std::abort();
        image = *converted;
    }
    int pages = 0;
    bdts::checkImage(image, &pages);
    const int claimed = bdts::parseCount(image.mid(10, 3)).value_or(bdts::wholePages(image));
    bdts::TsTree tree, add;
    std::vector<bdts::TsEntry> entries;
    QByteArray descriptor;
    bdts::BuildTsTree(image, claimed, tree, entries, &descriptor);
    (void)bdts::listText(tree);
    const QByteArray before = image;
    const bdts::CompactResult r = bdts::CompactImage(image, tree, entries, &descriptor);
    if (r.ok && image.size() != bdts::HeaderSize + qint64(bdts::PageSize) * r.pages)
        std::abort();
    QByteArray stream;
    const bdts::AdditionalResult a = bdts::BuildAdditionalList(add, tree, entries, image, descriptor, add, stream);
    if (a.wholePages && stream.size() != qint64(bdts::PageSize) * a.pages)
        std::abort();
    (void)bdts::dateLine(bdts::lastPage(image).left(32));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_bdts";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // Working files on a memory file system when there is one: each run writes several.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/fuzz_bdts-XXXXXX")
                                                                                : QDir::tempPath() + QStringLiteral("/fuzz_bdts-XXXXXX"));
    static StatusModel status;
    static QuietDialogs dialogs;

    const QByteArray all(reinterpret_cast<const char *>(data), qsizetype(size));
    pureChain(all);
    if (size < 1)
        return 0;

    const qsizetype split = std::min<qsizetype>(all.size() - 1, qsizetype(data[0]) * 64);
    const QByteArray sor = all.mid(1, split);
    const QByteArray file = all.mid(1 + split);
    BdtsDatabase db(status, dialogs, dir.path() + QLatin1Char('/'));
    db.frameExists = true;
    db.BdtsSorStream = sor;
    db.BdtsPagesToRead = bdts::parseCount(sor.mid(10, 3)).value_or(bdts::wholePages(sor));
    db.finishRead();
    const QString path = dir.filePath(QStringLiteral("input.bdt"));
    files::writeWhole(path, file);
    db.loadFile(path);
    db.addToInstrument();
    std::vector<const bdts::TsNode *> some;
    db.sorList.tree().forEach([&](const bdts::TsNode &n) {
        if (some.size() < 2)
            some.push_back(&n);
    });
    db.deleteFromInstrument(some);
    return 0;
}
