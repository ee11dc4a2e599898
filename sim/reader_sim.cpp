#include "sim/reader_sim.h"

#include "sim/virtualinstrument.h"

#include <QStringList>

#include <algorithm>

namespace {
constexpr int HeaderOffset = 92; // where the protocol's designation starts in its body
constexpr char FinalCharacter = '\x1A';

// The protocol's Russian text in Windows-1251, the instrument's code page.
QByteArray win1251(const QString &text)
{
    QByteArray out;
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80)
            out.append(char(u));
        else if (u >= 0x0410 && u <= 0x044F)
            out.append(char(0xC0 + (u - 0x0410)));
        else if (u == 0x0401)
            out.append(char(0xA8)); // Ё
        else if (u == 0x0451)
            out.append(char(0xB8)); // ё
        else if (u == 0x2116)
            out.append(char(0xB9)); // №
        else
            out.append('?');
    }
    return out;
}

// A small deterministic generator, so a seed always gives the same plate.
struct Lcg {
    unsigned state;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24);
    }
};
} // namespace

ReaderSim::ReaderSim(VirtualInstrument &instrument) : m_vi(instrument)
{
    m_table = plateTable(1);
    setProtocol(QStringLiteral("12"), QStringLiteral("03.04.11"));

    InstrumentCore &core = m_vi.core();
    core.addCommand('G', [this](const QByteArray &) -> qsizetype {
        ++tableRequests;
        m_vi.core().send(m_table);
        return 1;
    });
    core.addCommand('g', [this](const QByteArray &) -> qsizetype {
        ++lengthRequests;
        m_vi.core().send(announcement());
        return 1;
    });
    core.addCommand('d', [this](const QByteArray &) -> qsizetype {
        ++bodyRequests;
        m_vi.core().send(m_bodyCut < 0 ? bodyReply() : bodyReply().left(m_bodyCut));
        return 1;
    });
    addVerbs();
}

ReaderSim::~ReaderSim() = default;

QByteArray ReaderSim::plateTable(unsigned seed, TableStyle style)
{
    const QByteArray separators = style == TableStyle::Tabs ? " \t" : style == TableStyle::Blanks ? "  " : "; ";
    const char rowEnd = style == TableStyle::Blanks ? '\n' : '\r';
    // Column 1 holds the controls (two blanks, two negatives, two positives, two calibrators);
    // most samples are negative, some strongly positive.
    static const double controls[] = {0.047, 0.051, 0.109, 0.117, 2.204, 2.151, 0.912, 0.887};
    Lcg rng{seed * 2654435761u + 1};
    QByteArray reply("D");
    for (int r = 1; r <= 8; ++r) {
        for (int c = 1; c <= 12; ++c) {
            double od = controls[r - 1];
            if (c > 1)
                od = rng.next() < 0.18 ? 1.0 + 2.9 * rng.next() : 0.04 + 0.25 * rng.next();
            QByteArray field = QByteArray::number(od, 'f', 3).rightJustified(6, ' ');
            if (style == TableStyle::Semicolons)
                field.replace('.', ',');
            reply += field + separators;
        }
        reply += rowEnd;
    }
    return reply;
}

void ReaderSim::measurePlate(unsigned seed)
{
    m_table = plateTable(seed, m_style);
    m_vi.core().send(QByteArrayLiteral("G"));
}

QByteArray ReaderSim::defaultSaveName() { return QByteArrayLiteral("20110403_153000.txt"); }

QList<QByteArray> ReaderSim::hostileSaveNames()
{
    return {
        QByteArrayLiteral("2/../../../evil.txt"),   // climbs out of the folder
        QByteArrayLiteral("2\\..\\..\\evil___.txt"), // the same with backslashes
        QByteArrayLiteral("2/tmp/kviro_evl.txt"),   // an absolute path behind the tag
        QByteArrayLiteral("2OD\x01\x02\x03_evil_nam.txt"), // control bytes
        QByteArrayLiteral("2C:evil?name*<>.txt"),   // characters file systems reject
        QByteArray("2") + QByteArray(18, '.')      // nothing but dots
    };
}

void ReaderSim::sendSaveRequest(const QByteArray &nameAfterTag)
{
    QByteArray message = QByteArray("2") + nameAfterTag.left(18);
    m_vi.core().send(message.leftJustified(19, '_'));
}

void ReaderSim::announceResults() { m_vi.core().send(QByteArrayLiteral("g")); }

QByteArray ReaderSim::protocolText(const QString &designation, const QString &date)
{
    QByteArray body = win1251(QStringLiteral("СОРВИНТ зав.№ 3070          ИФА-анализатор\r\n"));
    // The title line ends in "№ " right where the designation has to start.
    body += win1251(QStringLiteral("ПРОТОКОЛ РЕЗУЛЬТАТОВ ИЗМЕРЕНИЙ"));
    body = body.leftJustified(HeaderOffset - 2, ' ', true) + win1251(QStringLiteral("№ "));
    QString text = designation + QStringLiteral(" от ") + date + QStringLiteral("\r\n\r\n");
    text += QStringLiteral("Тест-система: ДС-ИФА-АНТИ-ВГС\r\n");
    text += QStringLiteral("Длина волны: 450 нм, референс 620 нм\r\n");
    text += QStringLiteral("ОП K- = 0.113   ОП K+ = 2.178   Cut-off = 0.313\r\n\r\n");
    text += QStringLiteral("Лунка   ОП      Результат\r\n");
    text += QStringLiteral("-------------------------\r\n");
    Lcg rng{7};
    for (int i = 0; i < 24; ++i) {
        const double od = rng.next() < 0.2 ? 0.9 + 2.0 * rng.next() : 0.05 + 0.2 * rng.next();
        const QString well = QStringLiteral("%1%2").arg(QChar(u'A' + i % 8)).arg(2 + i / 8);
        text += QStringLiteral("%1    %2   %3\r\n")
                    .arg(well, -4)
                    .arg(od, 5, 'f', 3)
                    .arg(od >= 0.313 ? QStringLiteral("ПОЛОЖИТ.") : QStringLiteral("отрицат."));
    }
    text += QStringLiteral("\r\nОператор: ____________   Подпись: ________\r\n");
    return body + win1251(text);
}

void ReaderSim::setProtocol(const QString &designation, const QString &date) { m_body = protocolText(designation, date); }

QByteArray ReaderSim::bodyReply() const { return QByteArray("d") + m_body + FinalCharacter; }

QByteArray ReaderSim::announcement() const
{
    if (m_announceOverride)
        return QByteArray("N") + *m_announceOverride;
    return QByteArray("N") + QByteArray::number(bodyReply().size()).rightJustified(5, '0');
}

void ReaderSim::addVerbs()
{
    m_vi.addVerb(QStringLiteral("measure"), QStringLiteral("measure [SEED]: measure a plate, send the notice G; the table is served on G"),
                 [this](const QStringList &a) {
                     if (a.isEmpty())
                         measurePlate();
                     else
                         measurePlate(a.value(0).toUInt());
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("table-style"),
                 QStringLiteral("table-style tabs|blanks|semicolons: separators of the next measured tables"),
                 [this](const QStringList &a) {
                     const QString v = a.value(0);
                     if (v == QLatin1String("tabs"))
                         m_style = TableStyle::Tabs;
                     else if (v == QLatin1String("blanks"))
                         m_style = TableStyle::Blanks;
                     else if (v == QLatin1String("semicolons"))
                         m_style = TableStyle::Semicolons;
                     else
                         return QStringLiteral("error: table-style tabs|blanks|semicolons");
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("results"), QStringLiteral("results: send the notice g; the protocol is served on g and d"),
                 [this](const QStringList &) {
                     announceResults();
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("protocol"),
                 QStringLiteral("protocol DESIGNATION DD.MM.YY: the header of the next protocol (default 12 03.04.11)"),
                 [this](const QStringList &a) {
                     if (a.size() < 2)
                         return QStringLiteral("error: protocol DESIGNATION DD.MM.YY");
                     setProtocol(a.at(0), a.at(1));
                     return QStringLiteral("ok: %1 characters in the body reply").arg(bodyReply().size());
                 });
    m_vi.addVerb(QStringLiteral("announce"),
                 QStringLiteral("announce FIVE|auto: the 5 characters of the next length reply N (auto = the real length)"),
                 [this](const QStringList &a) {
                     const QString v = a.value(0);
                     if (v == QLatin1String("auto") || v.isEmpty())
                         setAnnouncementOverride(std::nullopt);
                     else
                         setAnnouncementOverride(v.toLatin1().leftJustified(5, ' ', true));
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("table-short"),
                 QStringLiteral("table-short N: serve only the first N characters of the table on G (the rest never comes)"),
                 [this](const QStringList &a) {
                     setTableReply(m_table.left(std::clamp(a.value(0).toInt(), 0, int(m_table.size()))));
                     return QStringLiteral("ok: %1 characters").arg(m_table.size());
                 });
    m_vi.addVerb(QStringLiteral("body-short"),
                 QStringLiteral("body-short N|off: serve only the first N characters of the body reply on d; the length announced stays whole"),
                 [this](const QStringList &a) {
                     setBodyCut(a.value(0) == QLatin1String("off") ? -1 : std::max(0, a.value(0).toInt()));
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("save"),
                 QStringLiteral("save [NAME]: ask the PC to save the table, 2 + 18 characters (default 20110403_153000.txt)"),
                 [this](const QStringList &a) {
                     if (a.isEmpty())
                         sendSaveRequest();
                     else
                         sendSaveRequest(a.join(QLatin1Char(' ')).toLatin1());
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("save-hostile"),
                 QStringLiteral("save-hostile N: a save request with a hostile name (0..%1)").arg(hostileSaveNames().size() - 1),
                 [this](const QStringList &a) {
                     const QList<QByteArray> names = hostileSaveNames();
                     const int n = a.value(0).toInt();
                     if (n < 0 || n >= names.size())
                         return QStringLiteral("error: save-hostile 0..%1").arg(names.size() - 1);
                     m_vi.core().send(names.at(n));
                     return QStringLiteral("ok: ") + QString::fromLatin1(names.at(n).toHex(' '));
                 });
}
