#include "sim/bdts_sim.h"

#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "sim/virtualinstrument.h"

#include <QFile>

BdtsSim::BdtsSim(VirtualInstrument &instrument) : m_vi(instrument)
{
    bdts::GenOptions o;
    o.seed = 2011;
    o.testSystems = 24;
    o.maxPages = 4;
    o.repeats = 1;
    o.strayPages = 1;
    m_image = bdts::generateImage(o);

    InstrumentCore &core = m_vi.core();
    core.addCommand('R', [this](const QByteArray &p) { return onRead(p); });
    core.addCommand('r', [this](const QByteArray &p) { return onNextPage(p); });
    core.addCommand('M', [this](const QByteArray &p) { return onWriteStart(p); });
    core.addCommand('m', [this](const QByteArray &p) { return onWritePage(p); });

    m_vi.addVerb(QStringLiteral("db-load"), QStringLiteral("db-load FILE: the database from a *.bdts or legacy *.bdt file"),
                 [this](const QStringList &a) {
                     QString error;
                     return loadFile(a.value(0), &error) ? QStringLiteral("ok %1 pages").arg(pages()) : QStringLiteral("error: ") + error;
                 });
    m_vi.addVerb(QStringLiteral("db-gen"), QStringLiteral("db-gen SEED [TEST_SYSTEMS] [PAGES]: a generated database (PAGES: exactly that many)"),
                 [this](const QStringList &a) {
                     generate(a.value(0, QStringLiteral("1")).toUInt(), a.value(1, QStringLiteral("24")).toInt(), a.value(2).toInt());
                     return QStringLiteral("ok %1 pages").arg(pages());
                 });
    m_vi.addVerb(QStringLiteral("db-save"), QStringLiteral("db-save FILE: write the database the instrument holds"), [this](const QStringList &a) {
        QFile f(a.value(0));
        if (!f.open(QIODevice::WriteOnly) || f.write(m_image) != m_image.size())
            return QStringLiteral("error: ") + f.errorString();
        return QStringLiteral("ok");
    });
    m_vi.addVerb(QStringLiteral("db-info"), QStringLiteral("pages of the database and writes completed"), [this](const QStringList &) {
        return QStringLiteral("%1 pages, %2 writes completed").arg(pages()).arg(m_writesCompleted);
    });
    m_vi.addVerb(QStringLiteral("db-stall"), QStringLiteral("db-stall N|off: answer N more database requests, then nothing"),
                 [this](const QStringList &a) {
                     stallAfter(a.value(0) == QLatin1String("off") ? -1 : std::max(0, a.value(0).toInt()));
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("db-drop"), QStringLiteral("the next page reply lacks one byte"), [this](const QStringList &) {
        dropByteInNextPage();
        return QStringLiteral("ok");
    });
    m_vi.addVerb(QStringLiteral("db-count-text"),
                 QStringLiteral("db-count-text TEXT: the next \"R\" is answered with this count text (\\r and \\n as written)"),
                 [this](const QStringList &a) {
                     QString text = a.join(QLatin1Char(' '));
                     text.replace(QStringLiteral("\\r"), QStringLiteral("\r")).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
                     announceCountText(text.toLatin1());
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("db-corrupt"), QStringLiteral("db-corrupt PAGE|off: the next database written keeps that page (from 0) with one byte changed"),
                 [this](const QStringList &a) {
                     corruptNextWrite(a.value(0) == QLatin1String("off") ? -1 : std::max(0, a.value(0).toInt()));
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(QStringLiteral("db-count"), QStringLiteral("db-count N|off: announce N pages on the next \"R\""), [this](const QStringList &a) {
        announceWrongCount(a.value(0) == QLatin1String("off") ? -1 : a.value(0).toInt());
        return QStringLiteral("ok");
    });
}

BdtsSim::~BdtsSim() = default;

int BdtsSim::pages() const { return bdts::wholePages(m_image); }

void BdtsSim::setImage(const QByteArray &image)
{
    m_image = image;
    m_readPage = 0;
}

bool BdtsSim::loadFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    QByteArray bytes = f.read(bdts::MaxFileBytes + 1);
    if (bdts::recognise(bytes) == bdts::FileKind::Legacy) {
        const auto converted = bdts::convertLegacy(bytes);
        bytes = converted.value_or(QByteArray());
    }
    int n = 0;
    if (bdts::checkImage(bytes, &n) != bdts::ImageCheck::Ok) {
        if (error)
            *error = QStringLiteral("not a test-system database");
        return false;
    }
    setImage(bytes.left(bdts::pageOffset(n)));
    return true;
}

void BdtsSim::generate(quint32 seed, int testSystems, int targetPages)
{
    bdts::GenOptions o;
    o.seed = seed;
    o.testSystems = testSystems;
    o.targetPages = targetPages;
    o.maxPages = 4;
    setImage(bdts::generateImage(o));
}

bool BdtsSim::answering()
{
    if (m_answersLeft < 0)
        return true;
    if (m_answersLeft == 0)
        return false;
    --m_answersLeft;
    return true;
}

qsizetype BdtsSim::onRead(const QByteArray &)
{
    m_readPage = 0;
    if (!answering())
        return 1;
    const int count = m_wrongCount >= 0 ? m_wrongCount : pages();
    m_wrongCount = -1;
    const QByteArray text = m_countText.isEmpty() ? bdts::formatCount(count) : m_countText;
    m_countText.clear();
    m_vi.core().send(QByteArrayLiteral("R") + char(0x01) + text);
    return 1;
}

qsizetype BdtsSim::onNextPage(const QByteArray &)
{
    if (m_readPage >= pages() || !answering())
        return 1;
    QByteArray reply = QByteArrayLiteral("r") + m_image.mid(bdts::pageOffset(m_readPage), bdts::PageSize) + char(0x00);
    if (m_dropByte) {
        reply.remove(100, 1);
        m_dropByte = false;
    }
    ++m_readPage;
    m_vi.core().send(reply);
    return 1;
}

qsizetype BdtsSim::onWriteStart(const QByteArray &pending)
{
    if (pending.size() < 3)
        return 0;
    m_writePages = static_cast<unsigned char>(pending.at(1)) * 256 + static_cast<unsigned char>(pending.at(2));
    m_incoming.clear();
    if (answering())
        m_vi.core().send(QByteArrayLiteral("m"));
    return 3;
}

qsizetype BdtsSim::onWritePage(const QByteArray &pending)
{
    if (m_writePages < 0)
        return 1; // no write open: a stray byte
    if (pending.size() < 1 + bdts::PageSize)
        return 0;
    m_incoming.append(pending.constData() + 1, bdts::PageSize);
    if (m_incoming.size() / bdts::PageSize >= m_writePages) {
        // The whole database has arrived: it replaces the old one.
        if (m_corruptPage >= 0 && m_corruptPage < m_writePages) {
            const qsizetype at = qsizetype(m_corruptPage) * bdts::PageSize + 100;
            m_incoming[at] = char(m_incoming.at(at) ^ 0x5A);
            m_corruptPage = -1;
        }
        setImage(bdts::imageMagic() + bdts::formatCount(m_writePages) + m_incoming);
        m_incoming.clear();
        m_writePages = -1;
        ++m_writesCompleted;
    }
    if (answering())
        m_vi.core().send(QByteArrayLiteral("m"));
    return 1 + bdts::PageSize;
}
