// Arbitrary bytes through everything the program does with a database file or an instrument
// image: recognition, legacy conversion, the checks, list building, compaction, the additional
// list, adding to and deleting from the instrument list, the list text and the date line.
// The first input byte splits the rest into an "instrument image" and a "file".
// The same bytes also go through the database replies of the serial link ('R' with its page
// count, 'r' with a page, 'm') as the receive branches examine them, and a read made of them
// ends the way a read from the instrument ends; the write messages built from the image read
// must carry it unchanged.
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtsreply.h"
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
// The replies, piece by piece: every prefix of a reply is what could be waiting when the
// branch runs.
void replyParsers(const QByteArray &bytes)
{
    for (const char tag : {'R', 'r', 'm'}) {
        const QByteArray reply = tag + bytes.left(600);
        for (qsizetype n = 1; n <= reply.size(); n += (n < 24 ? 1 : 97)) {
            const QByteArray waiting = reply.left(n);
            const bdts::CountReply c = bdts::parseCountReply(waiting);
            // A count takes its reply and leaves what follows it (a notice) to the dispatcher.
            if (c.consumed < 0 || c.consumed > waiting.size())
                std::abort();
            if (c.kind == bdts::CountReply::Kind::Incomplete && c.consumed != 0)
                std::abort();
            const bdts::PageReply p = bdts::parsePageReply(waiting);
            if (p.kind == bdts::PageReply::Kind::Page && (p.page != waiting.mid(1, 512) || p.consumed != 514))
                std::abort();
            if (p.kind == bdts::PageReply::Kind::Incomplete && (p.consumed != 0 || waiting.size() >= 514))
                std::abort();
            // An acknowledgement takes its tag and its repeats, nothing after them.
            const qsizetype ack = bdts::ackConsumed(waiting);
            if (ack < 1 || ack > waiting.size() || waiting.left(ack).count(waiting.at(0)) != ack)
                std::abort();
        }
    }
}

// A read: the count reply is the input up to its first line end (at most 8 bytes), the pages
// are the 512-byte runs after it. The image they make ends the read like one from the
// instrument; then the write messages of the image read must reproduce its pages.
void readSession(const QByteArray &bytes, BdtsDatabase &db)
{
    qsizetype end = bytes.indexOf('\n');
    if (end < 0 || end > 8)
        end = std::min<qsizetype>(bytes.size(), 5);
    const bdts::CountReply count = bdts::parseCountReply(QByteArrayLiteral("R\x01") + bytes.left(end + 1));
    if (count.kind != bdts::CountReply::Kind::Count || count.count < 1 || count.count > bdts::MaxPages)
        return;
    QByteArray image = bdts::imageHeader(count.count);
    const QByteArray pages = bytes.mid(end + 1);
    for (int k = 0; k < count.count; ++k) {
        const bdts::PageReply page = bdts::parsePageReply('r' + pages.mid(qsizetype(k) * 512, 512) + 'x');
        if (page.kind != bdts::PageReply::Kind::Page)
            return; // the instrument fell silent: the read never ends
        image += page.page;
    }
    db.BdtsSorStream = image;
    db.BdtsPagesToRead = count.count;
    db.finishRead();
    const QByteArray &held = *db.BdtsSorStream;
    const int toSend = bdts::parseCount(held.mid(10, 3)).value_or(0);
    const QByteArray start = bdts::writeStartCommand(toSend);
    if (toSend >= 1 && (start.size() != 3 || (uchar(start[1]) << 8 | uchar(start[2])) != toSend))
        std::abort();
    QByteArray sent = held.left(bdts::HeaderSize);
    for (int k = 0; k < toSend; ++k)
        sent += bdts::pageCommand(held, k).mid(1);
    if (toSend <= bdts::wholePages(held) && sent != held.left(bdts::pageOffset(toSend)))
        std::abort();
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
    replyParsers(all);
    {
        BdtsDatabase read(status, dialogs, dir.path() + QLatin1Char('/'));
        read.frameExists = true;
        readSession(all, read);
    }
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
