#include "bdts/bdtsgen.h"

#include "bdts/bdtsimage.h"
#include "core/cp1251.h"

#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace bdts {
namespace {
struct Family {
    const char16_t *group;
    const char16_t *subgroup;
    std::vector<const char16_t *> names;
};

const std::vector<Family> &families()
{
    static const std::vector<Family> f = {
        {u"Гепатиты", u"Гепатит B", {u"HBsAg-ИФА-БЕСТ", u"анти-HBc-ИФА", u"Анти-HBc-ИФА", u"HBeAg-ИФА-БЕСТ"}},
        {u"Гепатиты", u"Гепатит C", {u"анти-HCV-ИФА-БЕСТ", u"Анти-HCV-спектр", u"HCV-IgM-ИФА"}},
        {u"Гепатиты", u"Гепатит A", {u"анти-HAV-IgM", u"ГепаБест анти-HAV"}},
        {u"ВИЧ-инфекция", u"Скрининг", {u"ДС-ИФА-ВИЧ-АГАТ", u"ВИЧ-1,2 АГ/АТ", u"Комби-Бест ВИЧ"}},
        {u"TORCH-инфекции", u"Токсоплазмоз", {u"Токсо-IgG-ИФА", u"Токсо-IgM-ИФА", u"Токсо-авидность"}},
        {u"TORCH-инфекции", u"Краснуха", {u"Краснуха-IgG", u"Краснуха-IgM"}},
        {u"TORCH-инфекции", u"Цитомегаловирус", {u"ЦМВ-IgG-ИФА", u"ЦМВ-IgM-ИФА", u"ЦМВ-авидность"}},
        {u"Гормоны", u"Щитовидная железа", {u"ТТГ-ИФА", u"Т4 свободный", u"Т3 общий", u"анти-ТПО"}},
        {u"Гормоны", u"Репродукция", {u"ЛГ-ИФА", u"ФСГ-ИФА", u"Пролактин", u"Эстрадиол", u"Прогестерон"}},
        {u"Онкомаркеры", u"Общие", {u"ПСА общий", u"ПСА свободный", u"РЭА-ИФА", u"АФП-ИФА", u"СА-125"}},
        {u"Аллергия", u"Иммуноглобулины", {u"IgE общий", u"IgG общий", u"IgA общий"}},
        {u"Паразитозы", u"Гельминты", {u"Описторхоз-IgG", u"Эхинококк-IgG", u"Токсокара-IgG", u"Трихинелла-IgG"}},
        {u"Инфекции", u"Сифилис", {u"Сифилис-АТ-ИФА", u"РекомбиБест антипаллидум"}},
        {u"Инфекции", u"Клещевые", {u"ВКЭ-IgG", u"ВКЭ-IgM", u"Боррелиоз-IgG"}},
    };
    return f;
}

QByteArray bytesOf(const char16_t *text) { return cp1251::encode(QString::fromUtf16(text)); }

void fillRandom(QByteArray &page, int from, int to, QRandomGenerator &rng)
{
    for (int i = from; i < to; ++i)
        page[i] = char(rng.bounded(256));
}

void finishPage(QByteArray &page, quint32 extra, quint32 kind)
{
    writeU32(page, DataSize, checksum(page.constData()));
    writeU32(page, 504, extra);
    writeU32(page, KindOffset, kind);
}

void putName(QByteArray &page, int at, int size, const QByteArray &name)
{
    const QByteArray cut = name.left(size - 1);
    std::memset(page.data() + at, 0, size_t(size));
    std::memcpy(page.data() + at, cut.constData(), size_t(cut.size()));
}
} // namespace

QByteArray makeTestSystem(const QByteArray &group, const QByteArray &subgroup, const QByteArray &name, int pages,
                          quint32 seed, qint32 declaredPages)
{
    QRandomGenerator rng(seed);
    QByteArray out;
    const int count = std::max(1, pages);
    for (int k = 0; k < count; ++k) {
        QByteArray page(PageSize, '\0');
        fillRandom(page, 0, DataSize, rng);
        if (k == 0) {
            writeU32(page, 0, quint32(declaredPages != 0 ? declaredPages : pages));
            putName(page, GroupOffset, GroupSize, group);
            putName(page, SubgroupOffset, SubgroupSize, subgroup);
            putName(page, NameOffset, NameSize, name);
        }
        finishPage(page, rng.generate(), KindTestSystem);
        out.append(page);
    }
    return out;
}

QByteArray makeStrayPage(quint32 seed, quint32 kind)
{
    QRandomGenerator rng(seed);
    QByteArray page(PageSize, '\0');
    fillRandom(page, 0, DataSize, rng);
    finishPage(page, rng.generate(), kind);
    return page;
}

QByteArray makeImage(const QByteArray &pages, const QByteArray &descriptor)
{
    const int count = int(pages.size() / PageSize) + 1;
    QByteArray header = imageMagic() + formatCount(count).left(3);
    return header + pages + descriptor;
}

QByteArray generateImage(const GenOptions &o)
{
    QRandomGenerator rng(o.seed);
    struct Ts {
        QByteArray group, subgroup, name;
        int pages;
    };
    std::vector<Ts> list;
    const auto &fams = families();
    const int minP = std::max(1, o.minPages), maxP = std::max(minP, o.maxPages);
    if (o.targetPages > 0) {
        // Numbered names so that every test system is distinct; the last one fills the rest.
        int left = std::min(o.targetPages, MaxPages) - 1 - o.strayPages;
        int n = 0;
        while (left > 0) {
            const Family &f = fams[size_t(n) % fams.size()];
            const QString name = QString::fromUtf16(f.names[size_t(n / int(fams.size())) % f.names.size()]) +
                                 QStringLiteral(" №%1").arg(n + 1);
            const int p = std::min(left, int(rng.bounded(minP, maxP + 1)));
            list.push_back({bytesOf(f.group), bytesOf(f.subgroup), cp1251::encode(name), p});
            left -= p;
            ++n;
        }
    } else {
        std::vector<Ts> all;
        for (const Family &f : fams)
            for (const char16_t *name : f.names)
                all.push_back({bytesOf(f.group), bytesOf(f.subgroup), bytesOf(name), 1});
        for (int i = 0; i < o.testSystems; ++i) {
            Ts t = all[size_t(i) % all.size()];
            if (i >= int(all.size()))
                t.name += " " + QByteArray::number(i / int(all.size()) + 1);
            t.pages = int(rng.bounded(minP, maxP + 1));
            list.push_back(t);
        }
    }
    if (o.shuffled)
        std::shuffle(list.begin(), list.end(), rng);
    QByteArray pages;
    quint32 seed = o.seed * 7919u;
    int strays = o.strayPages;
    int repeats = std::min<int>(o.repeats, int(list.size()));
    for (size_t i = 0; i < list.size(); ++i) {
        const Ts &t = list[i];
        pages.append(makeTestSystem(t.group, t.subgroup, t.name, t.pages, ++seed));
        if (strays > 0 && i % 3 == 1) {
            pages.append(makeStrayPage(++seed, strays % 2 ? 0x12345678u : 0u)); // belongs to nothing
            --strays;
        }
        if (repeats > 0 && i % 2 == 0 && o.targetPages == 0) {
            pages.append(makeTestSystem(t.group, t.subgroup, t.name, 1, ++seed));
            --repeats;
        }
    }
    while (strays-- > 0)
        pages.append(makeStrayPage(++seed));
    const QByteArray descriptor = o.dated ? descriptorPage(o.created, o.modified) : descriptorPage({}, {});
    return makeImage(pages, descriptor);
}

} // namespace bdts
