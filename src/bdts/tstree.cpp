#include "bdts/tstree.h"

#include "core/cp1251.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace bdts {

namespace {
// Weights of one byte of a name at the three levels of the lists' order.
struct Weights {
    unsigned char primary = 0, secondary = 1, tertiary = 1;
};

// The table for all 256 Windows-1251 bytes, built once from fixed character lists, so the order
// never depends on the machine's locale or collation library.
const std::array<Weights, 256> &weights()
{
    static const std::array<Weights, 256> table = [] {
        std::array<Weights, 256> t{};
        std::array<char16_t, 256> unicode{};
        for (int b = 0; b < 256; ++b)
            unicode[size_t(b)] = cp1251::decode(QByteArray(1, char(b))).at(0).unicode();
        unsigned char next = 1;
        std::array<bool, 256> placed{};
        const auto place = [&](char16_t lower, char16_t upper, unsigned char secondary) {
            for (int b = 0; b < 256; ++b) {
                if (placed[size_t(b)] || (unicode[size_t(b)] != lower && unicode[size_t(b)] != upper))
                    continue;
                t[size_t(b)] = Weights{next, secondary, unicode[size_t(b)] == lower ? (unsigned char)1 : (unsigned char)2};
                placed[size_t(b)] = true;
            }
        };
        // Control characters, each on its own, lowest.
        for (int b = 1; b < 256; ++b)
            if (b < 0x20 || b == 0x7F || unicode[size_t(b)] == 0xFFFD) {
                t[size_t(b)] = Weights{next++, 1, 1};
                placed[size_t(b)] = true;
            }
        // Blanks: the space, and the no-break space as its variant.
        place(u' ', 0x00A0, 1);
        ++next;
        // Punctuation and symbols: ASCII in the usual dictionary order, then the code page's others.
        for (char16_t c : std::u16string_view(u"_-,;:!?.'\"()[]{}@*/\\&#%`^+<=>|~$")) {
            place(c, c, 1);
            ++next;
        }
        for (int b = 0x80; b < 0xC0; ++b) {
            const char16_t c = unicode[size_t(b)];
            if (!placed[size_t(b)] && !QChar(c).isLetter()) {
                place(c, c, 1);
                ++next;
            }
        }
        for (char16_t c = u'0'; c <= u'9'; ++c) {
            place(c, c, 1);
            ++next;
        }
        // Latin a-z before Cyrillic, as the Russian Windows order of the lists' home platform has it.
        for (char16_t c = u'a'; c <= u'z'; ++c) {
            place(c, QChar(c).toUpper().unicode(), 1);
            ++next;
        }
        // The Russian alphabet; ё is е with a second-level difference.
        for (char16_t c : std::u16string_view(u"абвгдежзийклмнопрстуфхцчшщъыьэюя")) {
            place(c, QChar(c).toUpper().unicode(), 1);
            if (c == u'е')
                place(u'ё', u'Ё', 2);
            ++next;
        }
        // The other Cyrillic letters of the code page.
        for (char16_t c : std::u16string_view(u"ђѓєѕіїјљњћќўџґ")) {
            place(c, QChar(c).toUpper().unicode(), 1);
            ++next;
        }
        // Anything left (none in Windows-1251 today) after everything else, by byte.
        for (int b = 1; b < 256; ++b)
            if (!placed[size_t(b)])
                t[size_t(b)] = Weights{next++, 1, 1};
        return t;
    }();
    return table;
}

void renumber(TsNode &node)
{
    for (size_t i = 0; i < node.children.size(); ++i)
        node.children[i]->row = int(i);
}

void sortNode(TsNode &node)
{
    std::stable_sort(node.children.begin(), node.children.end(),
                     [](const std::unique_ptr<TsNode> &a, const std::unique_ptr<TsNode> &b) { return nameLess(*a, *b); });
    renumber(node);
    for (auto &child : node.children)
        sortNode(*child);
}

void visit(const TsNode &node, const std::function<void(const TsNode &)> &fn)
{
    for (const auto &child : node.children) {
        fn(*child);
        visit(*child, fn);
    }
}

bool isUnder(const TsNode *node, const std::unordered_set<const TsNode *> &set)
{
    for (const TsNode *p = node->parent; p; p = p->parent)
        if (set.count(p))
            return true;
    return false;
}
} // namespace

int TsNode::level() const
{
    int depth = -1;
    for (const TsNode *p = parent; p; p = p->parent)
        ++depth;
    return depth;
}

QByteArray collationKey(const QByteArray &name)
{
    const auto &table = weights();
    QByteArray key(name.size() * 3 + 2, '\0');
    char *primary = key.data();
    char *secondary = primary + name.size() + 1;
    char *tertiary = secondary + name.size() + 1;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const Weights &w = table[static_cast<unsigned char>(name.at(i))];
        primary[i] = char(w.primary);
        secondary[i] = char(w.secondary);
        tertiary[i] = char(w.tertiary);
    }
    return key; // the zero bytes between the levels put a name before any longer one it begins
}

bool nameLess(const TsNode &a, const TsNode &b)
{
    const int c = std::memcmp(a.sortKey.constData(), b.sortKey.constData(),
                              size_t(std::min(a.sortKey.size(), b.sortKey.size())));
    if (c != 0)
        return c < 0;
    if (a.sortKey.size() != b.sortKey.size())
        return a.sortKey.size() < b.sortKey.size();
    return a.name < b.name; // equal for the collation, different bytes: still a fixed order
}

TsTree::TsTree() : m_root(std::make_unique<TsNode>()) {}

void TsTree::clear() { m_root->children.clear(); }

TsNode *TsTree::findChild(const TsNode &parent, const QByteArray &name)
{
    for (const auto &child : parent.children)
        if (child->name == name)
            return child.get();
    return nullptr;
}

TsNode *TsTree::addChild(TsNode &parent, const QByteArray &name, int entry)
{
    auto node = std::make_unique<TsNode>();
    node->name = name;
    node->text = cp1251::decode(name);
    node->sortKey = collationKey(name);
    node->parent = &parent;
    node->entry = entry;
    node->row = int(parent.children.size());
    parent.children.push_back(std::move(node));
    return parent.children.back().get();
}

void TsTree::sort() { sortNode(*m_root); }

void TsTree::remove(const std::vector<const TsNode *> &nodes)
{
    const std::unordered_set<const TsNode *> set(nodes.begin(), nodes.end());
    std::vector<const TsNode *> top;
    for (const TsNode *n : nodes)
        if (n && n != m_root.get() && !isUnder(n, set))
            top.push_back(n);
    for (const TsNode *n : top) {
        TsNode *parent = n->parent;
        auto &kids = parent->children;
        kids.erase(std::remove_if(kids.begin(), kids.end(), [n](const std::unique_ptr<TsNode> &c) { return c.get() == n; }),
                   kids.end());
        renumber(*parent);
    }
}

void TsTree::forEach(const std::function<void(const TsNode &)> &fn) const { visit(*m_root, fn); }

void TsTree::forEachTestSystem(const std::function<void(const TsNode &)> &fn) const
{
    for (const auto &g : m_root->children)
        for (const auto &s : g->children)
            for (const auto &t : s->children)
                fn(*t);
}

int TsTree::testSystemCount() const
{
    int n = 0;
    forEachTestSystem([&](const TsNode &) { ++n; });
    return n;
}

const TsNode *TsTree::find(const QByteArray &group, const QByteArray &subgroup, const QByteArray &name) const
{
    const TsNode *g = findChild(*m_root, group);
    const TsNode *s = g ? findChild(*g, subgroup) : nullptr;
    return s ? findChild(*s, name) : nullptr;
}

BuildResult BuildTsTree(const QByteArray &image, int pages, TsTree &tree, std::vector<TsEntry> &entries,
                        QByteArray *descriptor)
{
    tree.clear();
    BuildResult result;
    result.pages = pages;
    entries.assign(size_t(std::max(pages, 0)), TsEntry{});
    const int available = std::min(pages, wholePages(image));
    int skip = 0;
    size_t index = 0;
    for (int k = 0; k < available; ++k) {
        const qint64 at = pageOffset(k);
        const quint32 kind = readU32(image, at + KindOffset);
        if (kind == KindTestSystem) {
            if (skip > 0) {
                --skip; // a continuation page
                continue;
            }
            const qint32 declared = readI32(image, at);
            const int own = declared < 1 ? 1 : declared;
            if (qint64(k) + own > available)
                continue; // runs past the pages: not listed, and it claims none of the pages after it
            skip = own - 1;
            const QByteArray group = nameField(image, at + GroupOffset, GroupSize);
            const QByteArray subgroup = nameField(image, at + SubgroupOffset, SubgroupSize);
            const QByteArray name = nameField(image, at + NameOffset, NameSize);
            TsNode *g = TsTree::findChild(tree.root(), group);
            if (!g)
                g = tree.addChild(tree.root(), group);
            TsNode *s = TsTree::findChild(*g, subgroup);
            if (!s)
                s = tree.addChild(*g, subgroup);
            if (TsTree::findChild(*s, name))
                continue; // repeats an earlier test system: not listed
            if (index >= entries.size())
                continue;
            entries[index] = TsEntry{qint32(at), qint32(own)};
            tree.addChild(*s, name, int(index));
            ++index;
            ++result.testSystems;
        } else if (kind == KindDescriptor) {
            if (descriptor)
                *descriptor = image.mid(at, PageSize);
            skip = 0;
        } else {
            skip = 0;
        }
    }
    tree.sort();
    return result;
}

CompactResult CompactImage(QByteArray &image, const TsTree &tree, std::vector<TsEntry> &entries, QByteArray *descriptor)
{
    CompactResult result;
    const QByteArray last = lastPage(image);
    QByteArray out(HeaderSize, ' ');
    out.reserve(image.size());
    std::vector<std::pair<int, qint32>> moved;
    tree.forEachTestSystem([&](const TsNode &node) {
        if (node.entry < 0 || size_t(node.entry) >= entries.size())
            return;
        const TsEntry &e = entries[size_t(node.entry)];
        const qint64 bytes = qint64(e.PageCount) * PageSize;
        if (e.PageCount < 1 || e.Offset < HeaderSize || qint64(e.Offset) + bytes > image.size())
            return; // its pages are not wholly in the image: left out
        moved.emplace_back(node.entry, qint32(out.size()));
        out.append(image.constData() + e.Offset, bytes);
        result.pages += e.PageCount;
        ++result.testSystems;
    });
    out.append(last);
    result.pages += 1;
    const QByteArray header = imageHeader(result.pages);
    if (header.isEmpty()) {
        result.ok = false;
        return result;
    }
    out.replace(0, HeaderSize, header);
    for (const auto &[entry, offset] : moved)
        entries[size_t(entry)].Offset = offset;
    if (descriptor)
        *descriptor = last;
    image = std::move(out);
    result.ok = true;
    return result;
}

QByteArray listText(const TsTree &tree)
{
    QByteArray out;
    tree.forEach([&](const TsNode &node) {
        out.append(QByteArray(node.level(), '\t'));
        out.append(node.name);
        out.append("\r\n");
    });
    return out;
}

void AddToAdditionalList(const TsNode &fileNode, const std::vector<TsEntry> &fileEntries, const QByteArray &fileImage,
                         TsTree &add, QByteArray &addStream, AdditionalResult &counts)
{
    const TsNode *subgroup = fileNode.parent;
    const TsNode *group = subgroup ? subgroup->parent : nullptr;
    if (!group || fileNode.entry < 0 || size_t(fileNode.entry) >= fileEntries.size())
        return;
    TsNode *g = TsTree::findChild(add.root(), group->name);
    if (!g)
        g = add.addChild(add.root(), group->name);
    TsNode *s = TsTree::findChild(*g, subgroup->name);
    if (!s)
        s = add.addChild(*g, subgroup->name);
    add.addChild(*s, fileNode.name, fileNode.entry);
    counts.testSystems += 1;
    const TsEntry &e = fileEntries[size_t(fileNode.entry)];
    const qint64 bytes = qint64(e.PageCount) * PageSize;
    if (e.PageCount > 0 && e.Offset >= 0 && qint64(e.Offset) + bytes <= fileImage.size())
        addStream.append(fileImage.constData() + e.Offset, bytes);
    counts.pages += e.PageCount; // a mismatch with the stream shows as an error in the caller
}

AdditionalResult BuildAdditionalList(const TsTree &sor, const TsTree &file, const std::vector<TsEntry> &fileEntries,
                                     const QByteArray &fileImage, const QByteArray &descriptor, TsTree &add,
                                     QByteArray &addStream)
{
    AdditionalResult counts;
    addStream.clear();
    add.clear();
    QSet<QByteArray> present;
    const auto keyOf = [](const TsNode &t) {
        return t.parent->parent->name + '\0' + t.parent->name + '\0' + t.name;
    };
    sor.forEachTestSystem([&](const TsNode &t) { present.insert(keyOf(t)); });
    file.forEachTestSystem([&](const TsNode &t) {
        if (!present.contains(keyOf(t)))
            AddToAdditionalList(t, fileEntries, fileImage, add, addStream, counts);
    });
    add.sort();
    QByteArray page = descriptor.left(PageSize);
    if (page.size() < PageSize)
        page.append(QByteArray(PageSize - page.size(), '\0'));
    addStream.append(page);
    counts.pages += 1;
    counts.wholePages = addStream.size() / PageSize == counts.pages;
    return counts;
}

} // namespace bdts
