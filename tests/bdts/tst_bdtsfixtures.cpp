// Databases written out byte by byte in the test (hex at literal offsets), read the way the page
// reads them, and compared with list texts, date lines and compacted images written out just as
// literally: the image and page layout, the legacy record and the list order are pinned here
// independently of the constants the reader uses. Runs under LC_ALL=C as well (see CMakeLists):
// the order of the lists, and so the bytes compaction sends to the instrument, must not depend on
// the machine's locale.
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "bdts/tstree.h"
#include "core/files.h"
#include "core/status.h"
#include "support/scripteddialogs.h"

#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <initializer_list>
#include <utility>

using namespace bdts;

namespace {
// A page (or legacy record) of zero bytes with each hex fragment written at its offset.
QByteArray packed(std::initializer_list<std::pair<int, const char *>> parts, int size = 512)
{
    QByteArray p(size, '\0');
    for (const auto &[at, hex] : parts) {
        const QByteArray bytes = QByteArray::fromHex(hex);
        p.replace(at, bytes.size(), bytes);
    }
    return p;
}

// Гормоны / Репродукция / ФСГ, one page, with a checksum and a carried value in its trailer.
const QByteArray kFsg = packed({{0, "01000000"},
                                {4, "c3eef0eceeedfb00"},
                                {25, "d0e5eff0eee4f3eaf6e8ff00"},
                                {46, "d4d1c300"},
                                {500, "01020304"},
                                {504, "a1a2a3a4"},
                                {508, "15cd5b07"}});
// Гепатиты / Гепатит B / HBsAg, two pages: this one and the next.
const QByteArray kHbs = packed({{0, "02000000"}, {4, "c3e5efe0f2e8f2fb00"}, {25, "c3e5efe0f2e8f2204200"}, {46, "484273416700"}, {508, "15cd5b07"}});
// HBsAg's second page; it looks like a first page ("Лишнее") but is not one.
const QByteArray kHbsMore = packed({{0, "05000000"}, {4, "c3eef0eceeedfb00"}, {25, "d0e5eff0eee4f3eaf6e8ff00"}, {46, "cbe8f8ede5e500"}, {508, "15cd5b07"}});
// Гормоны / Репродукция / ЛГ, one page.
const QByteArray kLg = packed({{0, "01000000"}, {4, "c3eef0eceeedfb00"}, {25, "d0e5eff0eee4f3eaf6e8ff00"}, {46, "cbc300"}, {508, "15cd5b07"}});
// Names of a first page, but kind 123456788: a page that belongs to nothing ("Чужая").
const QByteArray kStray = packed({{0, "01000000"}, {4, "c3eef0eceeedfb00"}, {25, "d0e5eff0eee4f3eaf6e8ff00"}, {46, "d7f3e6e0ff00"}, {508, "14cd5b07"}});
// Descriptor page: "dbVersion", created 05.03.09, changed 17.11.10.
const QByteArray kDescriptor = packed({{0, "646256657273696f6e00"}, {10, "050003000900"}, {26, "11000b000a00"}, {508, "b168de3a"}});

const QByteArray kImage = QByteArray::fromHex("536f7235313242445453202036") // "Sor512BDTS  6"
                          + kFsg + kHbs + kHbsMore + kLg + kStray + kDescriptor;
// Гепатиты, TAB Гепатит B, TAB TAB HBsAg, Гормоны, TAB Репродукция, TAB TAB ЛГ, TAB TAB ФСГ; CR LF each.
const QByteArray kListText = QByteArray::fromHex("c3e5efe0f2e8f2fb0d0a09c3e5efe0f2e8f220420d0a090948427341670d0a"
                                                 "c3eef0eceeedfb0d0a09d0e5eff0eee4f3eaf6e8ff0d0a0909cbc30d0a0909d4d1c30d0a");
const QByteArray kCompacted = QByteArray::fromHex("536f7235313242445453202035") // "Sor512BDTS  5"
                              + kHbs + kHbsMore + kLg + kFsg + kDescriptor;

struct Program {
    QTemporaryDir dir;
    StatusModel status;
    ScriptedDialogs dialogs;
    BdtsDatabase db{status, dialogs, dir.path() + QLatin1Char('/')};
    Program() { db.frameExists = true; }
    QString put(const QString &name, const QByteArray &bytes)
    {
        const QString p = dir.filePath(name);
        files::writeWhole(p, bytes);
        return p;
    }
    QByteArray read(const QString &name) const
    {
        QByteArray b;
        files::readWhole(dir.filePath(name), &b);
        return b;
    }
};

QStringList testSystemNames(const TsTree &tree)
{
    QStringList out;
    tree.forEachTestSystem([&](const TsNode &n) { out << n.text; });
    return out;
}
} // namespace

class TestBdtsFixtures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fileImageListDateAndCompaction();
    void instrumentImageListDateAndCompaction();
    void legacyRecordConverted();
    void countPastTheImageSkipsNothing();
    void generatorWritesTheSameLayout();
    void russianOrderWhateverTheLocale();
};

void TestBdtsFixtures::initTestCase()
{
    // The C locale for this process too, whatever the environment says.
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
}

void TestBdtsFixtures::fileImageListDateAndCompaction()
{
    Program p;
    p.db.loadFile(p.put(QStringLiteral("fixture.bdts"), kImage));
    QCOMPARE(p.status.text(), QStringLiteral("Считано из файла fixture.bdts 3 ТС"));
    QCOMPARE(p.read(QStringLiteral("SpisokTSinFile.txt")), kListText);
    QCOMPARE(p.db.view.fileDate, QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10"));
    QCOMPARE(*p.db.BdtsFileStream, kCompacted);
    QCOMPARE(p.db.BdtsFilePages, 5);
    QCOMPARE(p.db.view.fileCaption, QStringLiteral("Список ТС в файле (3):"));
    // The entries address the compacted pages: HBsAg at page 0 with two pages, ФСГ at page 3.
    const TsNode *hbs = p.db.fileList.tree().find(QByteArray::fromHex("c3e5efe0f2e8f2fb"), QByteArray::fromHex("c3e5efe0f2e8f22042"),
                                                  QByteArray::fromHex("4842734167"));
    QVERIFY(hbs);
    QCOMPARE(p.db.BdtsFileEntries[size_t(hbs->entry)].Offset, 13);
    QCOMPARE(p.db.BdtsFileEntries[size_t(hbs->entry)].PageCount, 2);
    const TsNode *fsg = p.db.fileList.tree().find(QByteArray::fromHex("c3eef0eceeedfb"), QByteArray::fromHex("d0e5eff0eee4f3eaf6e8ff"),
                                                  QByteArray::fromHex("d4d1c3"));
    QVERIFY(fsg);
    QCOMPARE(p.db.BdtsFileEntries[size_t(fsg->entry)].Offset, 13 + 3 * 512);
    // The additional list against an empty instrument list: every test system, then the descriptor.
    p.db.BdtsSorStream = QByteArray::fromHex("536f7235313242445453202031") + kDescriptor;
    p.db.BdtsPagesToRead = 1;
    p.db.finishRead();
    QCOMPARE(p.read(QStringLiteral("TempBDTSAdd.bdt")), kHbs + kHbsMore + kLg + kFsg + kDescriptor);
}

void TestBdtsFixtures::instrumentImageListDateAndCompaction()
{
    Program p;
    p.db.BdtsSorStream = kImage;
    p.db.BdtsPagesToRead = 6;
    p.db.finishRead();
    QCOMPARE(p.read(QStringLiteral("ProbaMSBDTSInSor.txt")), kImage);
    QCOMPARE(p.read(QStringLiteral("SpisokTSinSor.txt")), kListText);
    QCOMPARE(p.db.view.sorDate, QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10"));
    QCOMPARE(*p.db.BdtsSorStream, kCompacted);
    // Six pages taken; the list leaves out one that belongs to none of its test systems.
    QCOMPARE(p.status.text(), QStringLiteral("Принято из прибора страниц: 6; в список ТС вошло 5, не вошло 1 "
                                             "(страницы, не относящиеся ни к одной ТС списка)"));
    QCOMPARE(p.db.BdtsCreatedTag, QByteArray::fromHex("646256657273696f6e00050003000900"));
    QCOMPARE(p.db.BdtsModifiedTag, QByteArray::fromHex("0000000000000000000011000b000a00"));
}

void TestBdtsFixtures::legacyRecordConverted()
{
    // Record 0: a one-page test system Г / П / Б with five data bytes at 100; bytes 500-515 and
    // 524-527 of the record are not used; 516 is carried, 520 is the kind.
    const QByteArray record0 = packed({{0, "01000000"},
                                       {4, "c300"},
                                       {25, "cf00"},
                                       {46, "c100"},
                                       {100, "0102030405"},
                                       {500, "eeeeeeeeeeeeeeeeeeeeeeee"},
                                       {512, "11111111"},
                                       {516, "aabbccdd"},
                                       {520, "15cd5b07"},
                                       {524, "99999999"}},
                                      528);
    const QByteArray record1 = packed({{0, "646256657273696f6e00"}, {10, "050003000900"}, {26, "11000b000a00"}, {520, "b168de3a"}}, 528);
    Program p;
    const QString chosen = p.put(QStringLiteral("old.bdt"), QByteArray::fromHex("536f7242445453202032") + record0 + record1);
    p.db.loadFile(chosen);
    // The checksum is the sum of the 500 data bytes: 1 + C3 + CF + C1 + 1+2+3+4+5 = 611 = 0x263.
    const QByteArray page0 = packed({{0, "01000000"},
                                     {4, "c300"},
                                     {25, "cf00"},
                                     {46, "c100"},
                                     {100, "0102030405"},
                                     {500, "63020000"},
                                     {504, "aabbccdd"},
                                     {508, "15cd5b07"}});
    // "dbVersion" = 940, the six dates 55: 995 = 0x3E3.
    const QByteArray page1 = packed({{0, "646256657273696f6e00"}, {10, "050003000900"}, {26, "11000b000a00"}, {500, "e3030000"}, {508, "b168de3a"}});
    const QByteArray converted = QByteArray::fromHex("536f7235313242445453202032") + page0 + page1;
    QCOMPARE(p.read(QStringLiteral("old.bdts")), converted);
    QCOMPARE(*p.db.BdtsFileStream, converted);
    QCOMPARE(p.read(QStringLiteral("SpisokTSinFile.txt")), QByteArray::fromHex("c30d0a09cf0d0a0909c10d0a"));
    QCOMPARE(p.db.view.fileDate, QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10"));
}

void TestBdtsFixtures::countPastTheImageSkipsNothing()
{
    // А claims 1000 pages (then 0x7FFFFFFF) in an image of three; Б behind it stays listed and
    // keeps its page through compaction, so a write-back would not erase it from the instrument.
    const QByteArray b = packed({{0, "01000000"}, {4, "c300"}, {25, "cf00"}, {46, "c100"}, {508, "15cd5b07"}});
    for (const char *count : {"e8030000", "ffffff7f"}) {
        const QByteArray runaway = packed({{0, count}, {4, "c300"}, {25, "cf00"}, {46, "c000"}, {508, "15cd5b07"}});
        Program p;
        p.db.BdtsSorStream = QByteArray::fromHex("536f7235313242445453202033") + runaway + b + kDescriptor;
        p.db.BdtsPagesToRead = 3;
        p.db.finishRead();
        QCOMPARE(testSystemNames(p.db.sorList.tree()), QStringList{QStringLiteral("Б")});
        QCOMPARE(*p.db.BdtsSorStream, QByteArray::fromHex("536f7235313242445453202032") + b + kDescriptor);
        QCOMPARE(p.db.view.sorCaption, QStringLiteral("Список ТС в приборе (1):"));
    }
}

void TestBdtsFixtures::generatorWritesTheSameLayout()
{
    // The virtual instrument, the samples and the other tests build their databases with the
    // generator: it must write the layout pinned above.
    const QByteArray first = makeTestSystem(QByteArray::fromHex("c3"), QByteArray::fromHex("cf"), QByteArray::fromHex("c1"), 2, 5);
    QCOMPARE(first.size(), 1024);
    QCOMPARE(first.mid(0, 4), QByteArray::fromHex("02000000"));
    QCOMPARE(first.mid(4, 2), QByteArray::fromHex("c300"));
    QCOMPARE(first.mid(25, 2), QByteArray::fromHex("cf00"));
    QCOMPARE(first.mid(46, 2), QByteArray::fromHex("c100"));
    QCOMPARE(first.mid(508, 4), QByteArray::fromHex("15cd5b07"));
    QCOMPARE(first.mid(512 + 508, 4), QByteArray::fromHex("15cd5b07"));
    const QByteArray descriptor = descriptorPage(QDate(2009, 3, 5), QDate(2010, 11, 17));
    QCOMPARE(descriptor.left(32), kDescriptor.left(32));
    QCOMPARE(descriptor.mid(508, 4), QByteArray::fromHex("b168de3a"));
    QCOMPARE(makeImage(first, descriptor).left(13), QByteArray::fromHex("536f7235313242445453202033"));
}

void TestBdtsFixtures::russianOrderWhateverTheLocale()
{
    // Latin and Cyrillic in both cases, ё, digits, a blank and a hyphen; shuffled.
    const QStringList shuffled = {QStringLiteral("zeta"),  QStringLiteral("Ёлка"),   QStringLiteral("ИФА-1"), QStringLiteral("Alpha"),
                                  QStringLiteral("Бета"),  QStringLiteral("2 мкл"),  QStringLiteral("ель"),   QStringLiteral("альфа"),
                                  QStringLiteral("beta"),  QStringLiteral("ИФА 1"),  QStringLiteral("Яд"),    QStringLiteral("елка"),
                                  QStringLiteral("alpha"), QStringLiteral("10 мкл"), QStringLiteral("Альфа"), QStringLiteral("яд")};
    // Blanks and punctuation before digits before Latin before the Russian alphabet; ё beside е
    // (after it when the rest is equal); lower case before upper case when the letters are equal.
    const QStringList russian = {QStringLiteral("10 мкл"), QStringLiteral("2 мкл"), QStringLiteral("alpha"), QStringLiteral("Alpha"),
                                 QStringLiteral("beta"),   QStringLiteral("zeta"),  QStringLiteral("альфа"), QStringLiteral("Альфа"),
                                 QStringLiteral("Бета"),   QStringLiteral("елка"),  QStringLiteral("Ёлка"),  QStringLiteral("ель"),
                                 QStringLiteral("ИФА 1"),  QStringLiteral("ИФА-1"), QStringLiteral("яд"),    QStringLiteral("Яд")};
    const QByteArray cp1251Of[] = {
        // The same names as Windows-1251 bytes, written out so the encoder is not relied on.
        QByteArray::fromHex("7a657461"), QByteArray::fromHex("a8ebeae0"), QByteArray::fromHex("c8d4c02d31"),
        QByteArray::fromHex("416c706861"), QByteArray::fromHex("c1e5f2e0"), QByteArray::fromHex("3220eceaeb"),
        QByteArray::fromHex("e5ebfc"), QByteArray::fromHex("e0ebfcf4e0"), QByteArray::fromHex("62657461"),
        QByteArray::fromHex("c8d4c02031"), QByteArray::fromHex("dfe4"), QByteArray::fromHex("e5ebeae0"),
        QByteArray::fromHex("616c706861"), QByteArray::fromHex("313020eceaeb"), QByteArray::fromHex("c0ebfcf4e0"),
        QByteArray::fromHex("ffe4")};
    TsTree tree;
    TsNode *group = tree.addChild(tree.root(), QByteArray::fromHex("c3"));
    TsNode *subgroup = tree.addChild(*group, QByteArray::fromHex("cf"));
    int i = 0;
    for (const QByteArray &name : cp1251Of) {
        TsNode *n = tree.addChild(*subgroup, name, i);
        QCOMPARE(n->text, shuffled.at(i));
        ++i;
    }
    tree.sort();
    QCOMPARE(testSystemNames(tree), russian);
    // Groups and subgroups follow the same order: Анти-HCV, anti-HBs, анти-HCV, HBsAg, Alpha, альфа.
    TsTree groups;
    for (const char *hex : {"c0edf2e82d484356", "616e74692d484273", "e0edf2e82d484356", "4842734167", "416c706861", "e0ebfcf4e0"})
        groups.addChild(groups.root(), QByteArray::fromHex(hex));
    groups.sort();
    QStringList top;
    for (const auto &g : groups.root().children)
        top << g->text;
    QCOMPARE(top, QStringList({QStringLiteral("Alpha"), QStringLiteral("anti-HBs"), QStringLiteral("HBsAg"), QStringLiteral("альфа"),
                               QStringLiteral("анти-HCV"), QStringLiteral("Анти-HCV")}));
}

QTEST_GUILESS_MAIN(TestBdtsFixtures)
#include "tst_bdtsfixtures.moc"
