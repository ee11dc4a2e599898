// The database image and legacy formats, list building, compaction, the additional list and the
// list text, worked directly on bytes.
#include "bdts/bdtsbackup.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtsreply.h"
#include "bdts/tstree.h"
#include "core/cp1251.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace bdts;

namespace {
QByteArray w(const char *utf8) { return cp1251::encode(QString::fromUtf8(utf8)); }

QByteArray ts(const char *g, const char *s, const char *n, int pages = 1, quint32 seed = 7)
{
    return makeTestSystem(w(g), w(s), w(n), pages, seed);
}

QByteArray dated() { return descriptorPage(QDate(2009, 3, 5), QDate(2010, 11, 17)); }

QStringList names(const TsTree &tree)
{
    QStringList out;
    tree.forEach([&](const TsNode &n) { out << QString(n.level(), QLatin1Char('>')) + n.text; });
    return out;
}

QStringList testSystems(const TsTree &tree)
{
    QStringList out;
    tree.forEachTestSystem([&](const TsNode &n) { out << n.text; });
    return out;
}

// The first-page names of every page of an image, in image order.
QStringList pageNames(const QByteArray &image)
{
    QStringList out;
    for (int k = 0; k < wholePages(image); ++k)
        out << cp1251::decode(nameField(image, pageOffset(k) + NameOffset, NameSize));
    return out;
}
} // namespace

class TestBdtsFormats : public QObject {
    Q_OBJECT
private slots:
    void countFieldAndHeader();
    void legacyConversionIsByteExact();
    void legacyRefusesShortOrBadFiles();
    void imageCheckRejectsMalformedImages();
    void dateLine();
    void treeSortedAndRepeatsListedOnce();
    void oddPageCountsAndNames();
    void compactionPutsListOrderAndDropsStrays();
    void compactionRefusesMoreThan999Pages();
    void additionalListByteEquality();
    void additionalListAllPresent();
    void listTextFile();
    void everyTruncationIsHandled();
    void countReply();
    void pageReplyAndWriteMessages();
    void backupNamesAndPruning();
};

void TestBdtsFormats::countFieldAndHeader()
{
    QCOMPARE(formatCount(7), QByteArray("  7"));
    QCOMPARE(formatCount(999), QByteArray("999"));
    QCOMPARE(imageHeader(3), QByteArray("Sor512BDTS  3"));
    QVERIFY(imageHeader(1000).isEmpty());
    QVERIFY(imageHeader(-1).isEmpty());
    QCOMPARE(parseCount("  3"), std::optional<int>(3));
    QCOMPARE(parseCount(" 42"), std::optional<int>(42));
    QCOMPARE(parseCount(" -1"), std::optional<int>(-1));
    QVERIFY(!parseCount("   "));
    QVERIFY(!parseCount(""));
    QVERIFY(!parseCount("1 2"));
    QVERIFY(!parseCount("12 "));
    QVERIFY(!parseCount("$1F"));
    QVERIFY(!parseCount("99999999999"));
}

void TestBdtsFormats::legacyConversionIsByteExact()
{
    // Three records: two test-system records and the descriptor record.
    QByteArray legacy = "SorBDTS  3";
    for (int r = 0; r < 3; ++r) {
        QByteArray record(LegacyRecordSize, '\0');
        for (int i = 0; i < LegacyRecordSize; ++i)
            record[i] = char((i * 7 + r * 31) & 0xFF);
        writeU32(record, 516, 0xA0B0C0D0u + quint32(r));
        writeU32(record, 520, r == 2 ? KindDescriptor : KindTestSystem);
        legacy += record;
    }
    QCOMPARE(recognise(legacy), FileKind::Legacy);
    const auto image = convertLegacy(legacy);
    QVERIFY(image);
    QCOMPARE(image->size(), 1549);
    QCOMPARE(image->left(13), QByteArray("Sor512BDTS  3"));
    for (int r = 0; r < 3; ++r) {
        const qint64 rec = LegacyHeaderSize + qint64(LegacyRecordSize) * r;
        const qint64 page = pageOffset(r);
        QCOMPARE(image->mid(page, DataSize), legacy.mid(rec, DataSize));
        quint32 sum = 0;
        for (int i = 0; i < DataSize; ++i)
            sum += static_cast<unsigned char>(legacy.at(rec + i));
        QCOMPARE(readU32(*image, page + 500), sum);
        QCOMPARE(readU32(*image, page + 504), 0xA0B0C0D0u + quint32(r));
        QCOMPARE(readU32(*image, page + 508), r == 2 ? KindDescriptor : KindTestSystem);
    }
    int pages = 0;
    QCOMPARE(checkImage(*image, &pages), ImageCheck::Ok);
    QCOMPARE(pages, 3);

    // Through the legacy form and back, a generated database is unchanged.
    GenOptions o;
    o.testSystems = 12;
    o.repeats = 1;
    o.strayPages = 2;
    const QByteArray generated = generateImage(o);
    QCOMPARE(convertLegacy(toLegacy(generated)).value_or(QByteArray()), generated);
}

void TestBdtsFormats::legacyRefusesShortOrBadFiles()
{
    QVERIFY(!convertLegacy("SorBDTS"));
    QVERIFY(!convertLegacy("SorBDTSabc"));
    QVERIFY(!convertLegacy("SorBDTS -1"));
    QVERIFY(!convertLegacy("SorBDTS  2" + QByteArray(528 + 100, 'x'))); // one and a bit records
    QCOMPARE(convertLegacy("SorBDTS  0").value_or("?"), QByteArray("Sor512BDTS  0"));
    // A "528" file name does not decide the format: an image saved as *.bdt is an image.
    QCOMPARE(recognise(makeImage({}, dated())), FileKind::Image);
    QCOMPARE(recognise("Sor512"), FileKind::Other);
}

void TestBdtsFormats::imageCheckRejectsMalformedImages()
{
    const QByteArray good = makeImage(ts("Гормоны", "Репродукция", "ЛГ-ИФА", 2), dated());
    int pages = 0;
    QCOMPARE(checkImage(good, &pages), ImageCheck::Ok);
    QCOMPARE(pages, 3);
    QCOMPARE(checkImage("Sor", nullptr), ImageCheck::NotDatabase);
    QCOMPARE(checkImage("Sor512BDTS", nullptr), ImageCheck::BadCount);
    QCOMPARE(checkImage("Sor512BDTS 1", nullptr), ImageCheck::BadCount);
    QByteArray bad = good;
    bad.replace(10, 3, "x 3");
    QCOMPARE(checkImage(bad, nullptr), ImageCheck::BadCount);
    bad = good;
    bad.replace(10, 3, "  0");
    QCOMPARE(checkImage(bad, nullptr), ImageCheck::BadFormat);
    bad = good;
    bad.replace(10, 3, "  4"); // past the image
    QCOMPARE(checkImage(bad, nullptr), ImageCheck::BadFormat);
    bad = good;
    bad.replace(10, 3, "  2"); // page 1 is no descriptor
    QCOMPARE(checkImage(bad, nullptr), ImageCheck::BadFormat);
    QCOMPARE(checkImage(good.left(good.size() - 1), nullptr), ImageCheck::BadFormat);
}

void TestBdtsFormats::dateLine()
{
    QCOMPARE(bdts::dateLine(dated().left(32)), QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10"));
    QCOMPARE(bdts::dateLine(descriptorPage({}, {}).left(32)), QStringLiteral("Дата создания БДТС не установлена"));
    QByteArray noZero = dated();
    noZero[9] = 'x'; // "dbVersion" must be followed by a zero byte
    QCOMPARE(bdts::dateLine(noZero.left(32)), QStringLiteral("Дата создания БДТС не установлена"));
    QCOMPARE(bdts::dateLine(dated().left(20)), QStringLiteral("Дата создания БДТС не установлена"));
}

void TestBdtsFormats::treeSortedAndRepeatsListedOnce()
{
    const QByteArray pages = ts("Гормоны", "Щитовидная железа", "ТТГ-ИФА", 2) + ts("Гепатиты", "Гепатит C", "анти-HCV") +
                             ts("Гормоны", "Щитовидная железа", "Анти-ТПО") + ts("Гепатиты", "Гепатит B", "HBsAg", 3) +
                             ts("Гормоны", "Щитовидная железа", "ТТГ-ИФА", 1, 99) + // repeated
                             ts("Гепатиты", "Гепатит C", "Анти-HCV");                   // differs in case only
    const QByteArray image = makeImage(pages, dated());
    TsTree tree;
    std::vector<TsEntry> entries;
    QByteArray descriptor;
    const BuildResult r = BuildTsTree(image, wholePages(image), tree, entries, &descriptor);
    QCOMPARE(r.pages, 10);
    QCOMPARE(r.testSystems, 5);
    QCOMPARE(descriptor, dated());
    QCOMPARE(entries.size(), size_t(10));
    const QStringList got = names(tree);
    QCOMPARE(got.first(), QStringLiteral("Гепатиты"));
    QVERIFY(got.indexOf(QStringLiteral(">Гепатит B")) < got.indexOf(QStringLiteral(">Гепатит C")));
    QVERIFY(got.contains(QStringLiteral(">>анти-HCV")));
    QVERIFY(got.contains(QStringLiteral(">>Анти-HCV")));
    QVERIFY(got.indexOf(QStringLiteral(">>Анти-ТПО")) < got.indexOf(QStringLiteral(">>ТТГ-ИФА")));
    QCOMPARE(got.count(QStringLiteral(">>ТТГ-ИФА")), 1);
    // The listed ТТГ is the first one (2 pages at page 0).
    const TsNode *ttg = tree.find(w("Гормоны"), w("Щитовидная железа"), w("ТТГ-ИФА"));
    QVERIFY(ttg);
    QCOMPARE(entries[size_t(ttg->entry)].Offset, 13);
    QCOMPARE(entries[size_t(ttg->entry)].PageCount, 2);
}

void TestBdtsFormats::oddPageCountsAndNames()
{
    // K = 0 and K = -5 own one page each; a K running past the image is not listed; a name field
    // without a zero byte gives an empty name.
    QByteArray zero = makeTestSystem(w("Г"), w("П"), w("Ноль"), 1, 1, 0);
    writeU32(zero, 0, 0);
    QByteArray negative = makeTestSystem(w("Г"), w("П"), w("Минус"), 1, 2, -5);
    QByteArray full = makeTestSystem(w("Г"), w("П"), w("x"), 1, 3);
    std::memset(full.data() + NameOffset, 'A', NameSize);
    QByteArray runaway = makeTestSystem(w("Г"), w("П"), w("Далеко"), 1, 4, 50);
    const QByteArray image = makeImage(zero + negative + full + runaway, dated());
    TsTree tree;
    std::vector<TsEntry> entries;
    const BuildResult r = BuildTsTree(image, wholePages(image), tree, entries, nullptr);
    QCOMPARE(testSystems(tree), QStringList({QString(), QStringLiteral("Минус"), QStringLiteral("Ноль")}));
    QCOMPARE(r.testSystems, 3);
    const TsNode *minus = tree.find(w("Г"), w("П"), w("Минус"));
    QCOMPARE(entries[size_t(minus->entry)].PageCount, 1);
    // A page count larger than the pages given is never read past.
    TsTree small;
    BuildTsTree(image.left(500), 5, small, entries, nullptr);
    QVERIFY(small.isEmpty());
}

void TestBdtsFormats::compactionPutsListOrderAndDropsStrays()
{
    const QByteArray c = ts("Б", "Б", "Ц", 3, 1), a = ts("А", "А", "А", 1, 2), b = ts("Б", "Б", "Б", 2, 3);
    const QByteArray repeatedA = ts("А", "А", "А", 2, 4);
    const QByteArray image0 = makeImage(c + makeStrayPage() + a + repeatedA + b + makeStrayPage(5, 0), dated());
    QByteArray image = image0;
    TsTree tree;
    std::vector<TsEntry> entries;
    BuildTsTree(image, wholePages(image), tree, entries, nullptr);
    QByteArray descriptor;
    const CompactResult r = CompactImage(image, tree, entries, &descriptor);
    QVERIFY(r.ok);
    QCOMPARE(r.testSystems, 3);
    QCOMPARE(r.pages, 1 + 2 + 3 + 1);
    QCOMPARE(image.size(), 13 + 7 * 512);
    QCOMPARE(image.left(13), QByteArray("Sor512BDTS  7"));
    QCOMPARE(image.mid(13, 512), a);
    QCOMPARE(image.mid(13 + 512, 1024), b);
    QCOMPARE(image.mid(13 + 3 * 512, 3 * 512), c);
    QCOMPARE(lastPage(image), dated());
    QCOMPARE(descriptor, dated());
    // Every entry addresses its test system in the new image.
    tree.forEachTestSystem([&](const TsNode &n) {
        const TsEntry &e = entries[size_t(n.entry)];
        QCOMPARE(nameField(image, e.Offset + NameOffset, NameSize), n.name);
    });
    // A second compaction changes nothing.
    const QByteArray once = image;
    CompactImage(image, tree, entries, nullptr);
    QCOMPARE(image, once);
    QCOMPARE(pageNames(image).mid(0, 1), QStringList{QStringLiteral("А")});
}

void TestBdtsFormats::compactionRefusesMoreThan999Pages()
{
    // Two lists of 600 pages over one image: compaction would need 1201 pages.
    GenOptions o;
    o.targetPages = 600;
    o.minPages = o.maxPages = 5;
    QByteArray image = generateImage(o);
    TsTree tree;
    std::vector<TsEntry> entries;
    BuildTsTree(image, wholePages(image), tree, entries, nullptr);
    // Make every entry twice as long, as if each test system owned ten pages.
    for (TsEntry &e : entries)
        if (e.PageCount > 0)
            e.PageCount = 9;
    image.append(QByteArray(10 * 512, '\0'));
    const QByteArray before = image;
    const auto entriesBefore = entries;
    const CompactResult r = CompactImage(image, tree, entries, nullptr);
    QVERIFY(!r.ok);
    QCOMPARE(image, before);
    QCOMPARE(entries.size(), entriesBefore.size());
    QCOMPARE(entries.front().Offset, entriesBefore.front().Offset);
}

void TestBdtsFormats::additionalListByteEquality()
{
    const QByteArray sorImage = makeImage(ts("Гепатиты", "Гепатит C", "анти-HCV") + ts("Гормоны", "Репродукция", "ЛГ"), dated());
    const QByteArray fileImage = makeImage(ts("Гепатиты", "Гепатит C", "Анти-HCV", 1, 5) +  // case differs
                                               ts("Гепатиты", "Гепатит C", "анти-HCV", 1, 6) +  // present
                                               ts("Гормоны", "Щитовидная", "ЛГ", 3, 7) +        // other subgroup
                                               ts("Онкомаркеры", "Репродукция", "ЛГ", 1, 8),    // other group
                                           descriptorPage({}, {}));
    TsTree sor, file, add;
    std::vector<TsEntry> sorEntries, fileEntries;
    BuildTsTree(sorImage, wholePages(sorImage), sor, sorEntries, nullptr);
    QByteArray fileCopy = fileImage;
    BuildTsTree(fileCopy, wholePages(fileCopy), file, fileEntries, nullptr);
    CompactImage(fileCopy, file, fileEntries, nullptr);
    QByteArray addStream;
    const AdditionalResult r = BuildAdditionalList(sor, file, fileEntries, fileCopy, dated(), add, addStream);
    QCOMPARE(r.testSystems, 3);
    QCOMPARE(r.pages, 1 + 3 + 1 + 1);
    QVERIFY(r.wholePages);
    QCOMPARE(addStream.size(), 6 * 512);
    QCOMPARE(names(add), QStringList({QStringLiteral("Гепатиты"), QStringLiteral(">Гепатит C"), QStringLiteral(">>Анти-HCV"),
                                      QStringLiteral("Гормоны"), QStringLiteral(">Щитовидная"), QStringLiteral(">>ЛГ"),
                                      QStringLiteral("Онкомаркеры"), QStringLiteral(">Репродукция"), QStringLiteral(">>ЛГ")}));
    // The pages follow the file list's order, then the descriptor page.
    QCOMPARE(addStream.left(512), ts("Гепатиты", "Гепатит C", "Анти-HCV", 1, 5));
    QCOMPARE(addStream.mid(512, 3 * 512), ts("Гормоны", "Щитовидная", "ЛГ", 3, 7));
    QCOMPARE(addStream.right(512), dated());
}

void TestBdtsFormats::additionalListAllPresent()
{
    const QByteArray pages = ts("Г", "П", "Один") + ts("Г", "П", "Два", 2);
    const QByteArray image = makeImage(pages, dated());
    TsTree sor, file, add;
    std::vector<TsEntry> e1, e2;
    BuildTsTree(image, wholePages(image), sor, e1, nullptr);
    BuildTsTree(image, wholePages(image), file, e2, nullptr);
    QByteArray addStream = "old";
    const AdditionalResult r = BuildAdditionalList(sor, file, e2, image, dated(), add, addStream);
    QCOMPARE(r.testSystems, 0);
    QCOMPARE(r.pages, 1);
    QCOMPARE(addStream, dated());
    QVERIFY(add.isEmpty());
}

void TestBdtsFormats::listTextFile()
{
    const QByteArray image = makeImage(ts("Гормоны", "Репродукция", "ЛГ") + ts("Гормоны", "Репродукция", "ФСГ") +
                                           ts("Аллергия", "Ig", "IgE общий"),
                                       dated());
    TsTree tree;
    std::vector<TsEntry> entries;
    BuildTsTree(image, wholePages(image), tree, entries, nullptr);
    const QByteArray expected = w("Аллергия\r\n\tIg\r\n\t\tIgE общий\r\nГормоны\r\n\tРепродукция\r\n\t\tЛГ\r\n\t\tФСГ\r\n");
    QCOMPARE(listText(tree), expected);
}

void TestBdtsFormats::everyTruncationIsHandled()
{
    // Every prefix of a database, with its header count kept, goes through the whole chain.
    GenOptions o;
    o.testSystems = 6;
    o.repeats = 1;
    o.strayPages = 1;
    const QByteArray image = generateImage(o);
    for (qsizetype cut = 0; cut <= image.size(); cut += 37) {
        QByteArray part = image.left(cut);
        int pages = 0;
        const ImageCheck check = checkImage(part, &pages);
        if (cut < image.size())
            QVERIFY(check != ImageCheck::Ok);
        TsTree tree, add;
        std::vector<TsEntry> entries;
        BuildTsTree(part, 40, tree, entries, nullptr);
        CompactImage(part, tree, entries, nullptr);
        QByteArray stream;
        BuildAdditionalList(tree, tree, entries, part, {}, add, stream);
        QCOMPARE(stream.size() % 512, 0);
    }
}

void TestBdtsFormats::countReply()
{
    using K = CountReply::Kind;
    struct Case {
        QByteArray waiting;
        K kind;
        int count;
    };
    const Case cases[] = {
        {"R", K::Incomplete, 0},
        {"R\x01", K::Incomplete, 0},
        {"R\x01 ", K::Incomplete, 0},   // blanks only: the digits may follow
        {"R\x01  ", K::Incomplete, 0},
        {"R\x01  3", K::Count, 3},
        {"R?5", K::Count, 5},
        {"R?  5\r\n", K::Count, 5},
        {"R?999\n", K::Count, 999},
        {"R?1000", K::Count, 1000},     // the caller refuses it
        {"R? -1", K::Count, -1},
        {"R?  0", K::Count, 0},
        {"R?\r\n", K::NotNumber, 0},   // the line ended without a count
        {"R?   \r", K::NotNumber, 0},
        {"R?abc", K::NotNumber, 0},
        {"R?1 2", K::NotNumber, 0},
        {"R?12 ", K::NotNumber, 0},
        {"R?\r\n5", K::NotNumber, 0},
        {"R?99999999999", K::NotNumber, 0},
        {QByteArray("R\0\0\0", 5), K::NotNumber, 0},
        // A notice right behind the count is not the count's.
        {"R?  5G", K::Count, 5},
        {"R? 12\r\ng", K::Count, 12},
        {"R?Gg", K::NotNumber, 0},
        {"R?1x2", K::NotNumber, 0},
    };
    for (const Case &c : cases) {
        const CountReply r = parseCountReply(c.waiting);
        QVERIFY2(r.kind == c.kind, c.waiting.toPercentEncoding().constData());
        const qsizetype notice = c.waiting.back() == 'G' || c.waiting.back() == 'g' ? (c.kind == K::Count ? 1 : 0) : 0;
        QCOMPARE(r.consumed, c.kind == K::Incomplete ? 0 : c.waiting.size() - notice);
        if (c.kind == K::Count)
            QCOMPARE(r.count, c.count);
    }
    QCOMPARE(parseCountReply("R?  5\r\n").text, QByteArray("  5"));
}

void TestBdtsFormats::pageReplyAndWriteMessages()
{
    QByteArray reply = "r" + QByteArray(512, 'p') + "z";
    reply[1] = 'A';
    reply[512] = 'Z';
    PageReply r = parsePageReply(reply.left(513));
    QCOMPARE(r.kind, PageReply::Kind::Incomplete);
    QCOMPARE(r.consumed, 0);
    r = parsePageReply(reply);
    QCOMPARE(r.kind, PageReply::Kind::Page);
    QCOMPARE(r.consumed, 514);
    QCOMPARE(r.page.size(), 512);
    QCOMPARE(r.page.front(), 'A');
    QCOMPARE(r.page.back(), 'Z');
    // A notice right behind the page is not the page's.
    r = parsePageReply(reply + "G");
    QCOMPARE(r.kind, PageReply::Kind::Page);
    QCOMPARE(r.consumed, 514);
    QCOMPARE(r.page.back(), 'Z');

    QCOMPARE(writeStartCommand(300), QByteArray::fromHex("4d012c"));
    QCOMPARE(writeStartCommand(1), QByteArray::fromHex("4d0001"));
    QVERIFY(writeStartCommand(0).isEmpty());
    QVERIFY(writeStartCommand(65536).isEmpty());
    const QByteArray image = makeImage(ts("А", "Б", "В"), dated());
    QCOMPARE(pageCommand(image, 0), "m" + image.mid(13, 512));
    QCOMPARE(pageCommand(image, 1), "m" + dated());
    QVERIFY(pageCommand(image, 2).isEmpty());
    QVERIFY(pageCommand(image.left(600), 1).isEmpty());
    QCOMPARE(ackConsumed("mmm"), 3);
    QCOMPARE(ackConsumed("mmG"), 2);
}

void TestBdtsFormats::backupNamesAndPruning()
{
    QTemporaryDir dir;
    const QString program = dir.path() + QLatin1Char('/');
    QCOMPARE(backupFileName(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6))), QStringLiteral("BDTS_2026-01-02_03-04-05-006.bdts"));
    const QDateTime start(QDate(2026, 12, 8), QTime(9, 0));
    for (int i = 0; i < 23; ++i)
        QVERIFY(!writeBackup(program, QByteArray::number(i), start.addSecs(i * 61), 5).path.isEmpty());
    QStringList kept = backupFiles(program);
    QCOMPARE(kept.size(), 5);
    QCOMPARE(kept.first(), backupFileName(start.addSecs(18 * 61)));
    QCOMPARE(kept.last(), backupFileName(start.addSecs(22 * 61)));
    // A clock set back: the new backup sorts first but is the one kept, with the four newest others.
    const BackupResult back = writeBackup(program, "back", start.addDays(-1), 5);
    kept = backupFiles(program);
    QCOMPARE(kept.size(), 5);
    QCOMPARE(kept.first(), QFileInfo(back.path).fileName());
    QCOMPARE(kept.at(1), backupFileName(start.addSecs(19 * 61)));
}

QTEST_GUILESS_MAIN(TestBdtsFormats)
#include "tst_bdtsformats.moc"
