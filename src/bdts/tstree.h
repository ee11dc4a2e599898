#pragma once
// The three-level list of test systems (group, subgroup, test system) as a plain tree, and the
// list operations on database images: building a list from an image, rebuilding an image from a
// list (compaction), the list text file and the additional list.
#include "bdts/bdtsimage.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace bdts {

struct TsNode {
    QByteArray name;   // the instrument's bytes, compared byte by byte
    QString text;      // decoded for display
    QByteArray sortKey; // collationKey(name): the fixed Russian Windows, case-sensitive order
    TsNode *parent = nullptr;
    int row = 0;
    int entry = -1; // test systems: index into the entries of the image the list belongs to
    std::vector<std::unique_ptr<TsNode>> children;

    int level() const; // 0 group, 1 subgroup, 2 test system
};

class TsTree {
public:
    TsTree();
    TsNode &root() { return *m_root; }
    const TsNode &root() const { return *m_root; }

    void clear();
    bool isEmpty() const { return m_root->children.empty(); }
    // The child with exactly these bytes, or none.
    static TsNode *findChild(const TsNode &parent, const QByteArray &name);
    // Appends a child (the order is restored by sort()).
    TsNode *addChild(TsNode &parent, const QByteArray &name, int entry = -1);
    // Sorts every level by the fixed Russian, case-sensitive order of the names (collationKey).
    void sort();
    // Removes the nodes (and everything under them); a node under another removed one is skipped.
    void remove(const std::vector<const TsNode *> &nodes);

    // Every node in tree order: a group, then each of its subgroups followed by their test systems.
    void forEach(const std::function<void(const TsNode &)> &visit) const;
    // Test systems in tree order.
    void forEachTestSystem(const std::function<void(const TsNode &)> &visit) const;
    int testSystemCount() const;
    // The node with these three names, or none.
    const TsNode *find(const QByteArray &group, const QByteArray &subgroup, const QByteArray &name) const;

private:
    std::unique_ptr<TsNode> m_root;
};

// The sort key of a name (Windows-1251 bytes) in the lists' order, the same on every machine
// whatever its locale: compared byte by byte, keys order names first by their letters (blanks and
// punctuation, then digits, then Latin a-z, then the Russian alphabet with ё beside е, then the
// other Cyrillic letters of the code page; case is ignored here), then ё after е, then lower case
// before upper case. This is the order of a Russian Windows machine (Latin before Cyrillic).
QByteArray collationKey(const QByteArray &name);
// Orders two nodes as the lists show them: by collationKey, then byte by byte.
bool nameLess(const TsNode &a, const TsNode &b);

struct BuildResult {
    int pages = 0;
    int testSystems = 0;
};

// Fills the tree from the first `pages` pages of the image. Entries are sized to the page count;
// each listed test system gets one. A first page with a page count below 1 owns that one page;
// a first page whose count runs past the given pages is not listed (compaction could not keep it)
// and claims no page after it, so the test systems behind it are still listed.
// A repeated test system (same three names) is listed once. The last descriptor page met is
// copied into *descriptor.
BuildResult BuildTsTree(const QByteArray &image, int pages, TsTree &tree, std::vector<TsEntry> &entries,
                        QByteArray *descriptor);

struct CompactResult {
    bool ok = false; // false: the image would exceed 999 pages and is left unchanged
    int pages = 0;
    int testSystems = 0;
};

// Rebuilds the image from the listed test systems in tree order, then its last page (the
// descriptor, also copied into *descriptor). Entries are moved to the new offsets.
CompactResult CompactImage(QByteArray &image, const TsTree &tree, std::vector<TsEntry> &entries, QByteArray *descriptor);

// The list as text: per node as many TABs as its level, its bytes, CR LF.
QByteArray listText(const TsTree &tree);

struct AdditionalResult {
    int testSystems = 0;
    int pages = 0; // the descriptor page included
    bool wholePages = true;
};

// One test system of the file list into the additional list and its pages.
void AddToAdditionalList(const TsNode &fileNode, const std::vector<TsEntry> &fileEntries, const QByteArray &fileImage,
                         TsTree &add, QByteArray &addStream, AdditionalResult &counts);
// The test systems of the file list that the instrument list lacks (same three names, byte by
// byte), with their pages followed by the descriptor page.
AdditionalResult BuildAdditionalList(const TsTree &sor, const TsTree &file, const std::vector<TsEntry> &fileEntries,
                                     const QByteArray &fileImage, const QByteArray &descriptor, TsTree &add,
                                     QByteArray &addStream);

} // namespace bdts
