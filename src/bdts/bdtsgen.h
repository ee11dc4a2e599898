#pragma once
// Databases of the project's own making, for samples, the virtual instrument, tests and
// benchmarks: Russian group, subgroup and test-system names, test systems of several pages,
// repeated names, stray pages and a dated descriptor page.
#include <QByteArray>
#include <QDate>
#include <QString>

#include <vector>

namespace bdts {

struct GenOptions {
    quint32 seed = 1;
    int testSystems = 20;  // distinct test systems
    int minPages = 1;      // pages per test system
    int maxPages = 3;
    int repeats = 0;       // test systems repeated under the same three names
    int strayPages = 0;    // pages of another kind and orphaned continuation pages
    bool shuffled = true;  // test systems out of alphabetical order
    bool dated = true;
    QDate created = QDate(2009, 3, 5);
    QDate modified = QDate(2010, 11, 17);
    int targetPages = 0;   // > 0: exactly this many pages (descriptor included), names numbered
};

// The pages of one test system: its first page with the names, then K-1 continuation pages.
// Names are the instrument's bytes (Windows-1251).
QByteArray makeTestSystem(const QByteArray &group, const QByteArray &subgroup, const QByteArray &name, int pages,
                          quint32 seed = 7, qint32 declaredPages = 0 /* 0: the page count itself */);
// A page of a kind that belongs to nothing.
QByteArray makeStrayPage(quint32 seed = 11, quint32 kind = 0x12345678u);
// Header + pages + descriptor page.
QByteArray makeImage(const QByteArray &pages, const QByteArray &descriptor);

QByteArray generateImage(const GenOptions &options);

} // namespace bdts
