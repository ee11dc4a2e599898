#include "bdts/listchanges.h"

#include "bdts/bdtsimage.h"

#include <QSet>

namespace bdts {

namespace {
// A test system by the bytes of its three names (the instrument's identity of it).
QByteArray identity(const TsNode &t) { return t.parent->parent->name + '\0' + t.parent->name + '\0' + t.name; }

QString shown(const TsNode &t) { return t.parent->parent->text + QStringLiteral(" / ") + t.parent->text + QStringLiteral(" / ") + t.text; }

// Those of `from` that `other` lacks, in the order of `from`.
QStringList missingIn(const TsTree &from, const QSet<QByteArray> &other)
{
    QStringList out;
    from.forEachTestSystem([&](const TsNode &t) {
        if (!other.contains(identity(t)))
            out << shown(t);
    });
    return out;
}

QSet<QByteArray> identities(const TsTree &tree)
{
    QSet<QByteArray> out;
    tree.forEachTestSystem([&](const TsNode &t) { out.insert(identity(t)); });
    return out;
}
} // namespace

ListChanges listChanges(const QByteArray &held, const TsTree &written)
{
    ListChanges changes;
    int pages = 0;
    if (!held.startsWith(imageMagic()) || checkImage(held, &pages) != ImageCheck::Ok)
        return changes;
    TsTree heldTree;
    std::vector<TsEntry> entries;
    QByteArray descriptor;
    (void)BuildTsTree(held, pages, heldTree, entries, &descriptor);
    changes.heldKnown = true;
    changes.lost = missingIn(heldTree, identities(written));
    changes.gained = missingIn(written, identities(heldTree));
    return changes;
}

} // namespace bdts
