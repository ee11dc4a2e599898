#include "sim/virtualinstrument.h"

#include "sim/bdts_sim.h"
#include "sim/boot_sim.h"
#include "sim/reader_sim.h"

#include <QTimer>

#include <utility>

VirtualInstrument::VirtualInstrument(const QString &portFolder, int comNumber, QObject *parent)
    : QObject(parent), m_port(portFolder, comNumber)
{
    // Switched off, the instrument neither takes nor sends anything, whether its port is there.
    connect(&m_port, &PtyPort::received, &m_core, [this](const QByteArray &bytes) {
        if (m_on)
            m_core.feed(bytes);
    });
    connect(&m_core, &InstrumentCore::reply, this, &VirtualInstrument::forward);
    connect(&m_core, &InstrumentCore::commandSeen, this, [this](char letter) {
        if (m_vanishLetter != 0 && letter == m_vanishLetter)
            m_vanishArmed = true;
        m_lastCommand = letter;
    });

    addVerb(QStringLiteral("help"), QStringLiteral("list the commands"), [this](const QStringList &) {
        QStringList lines;
        for (const auto &[name, entry] : m_verbs)
            lines << name + QStringLiteral(" — ") + entry.help;
        return lines.join(QLatin1Char('\n'));
    });
    addVerb(QStringLiteral("mode"), QStringLiteral("mode working|loader: the answer to the probe, L or l"),
            [this](const QStringList &a) {
                if (a.value(0) == QLatin1String("loader"))
                    m_core.setMode(InstrumentCore::Mode::Loader);
                else if (a.value(0) == QLatin1String("working"))
                    m_core.setMode(InstrumentCore::Mode::Working);
                else
                    return QStringLiteral("error: mode working|loader");
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("silent"), QStringLiteral("silent on|off: take every byte, answer nothing"),
            [this](const QStringList &a) {
                m_core.setSilent(a.value(0) == QLatin1String("on"));
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("B"), QStringLiteral("send a lone link signal B"), [this](const QStringList &) {
        sendLinkSignal();
        return QStringLiteral("ok");
    });
    addVerb(QStringLiteral("send"), QStringLiteral("send HEX...: raw bytes, e.g. send 4C 4C"), [this](const QStringList &a) {
        QByteArray bytes;
        for (const QString &h : a)
            bytes.append(QByteArray::fromHex(h.toLatin1()));
        m_core.send(bytes);
        return QStringLiteral("ok");
    });
    addVerb(QStringLiteral("text"), QStringLiteral("text STRING: send the characters as they stand"),
            [this](const QStringList &a) {
                m_core.send(a.join(QLatin1Char(' ')).toLatin1());
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("off"), QStringLiteral("off [keep]: switch the instrument off: its port vanishes (keep: it stays, silent)"),
            [this](const QStringList &a) {
                if (a.value(0) == QLatin1String("keep"))
                    setPortStaysWhenOff(true);
                powerOff();
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("portstays"), QStringLiteral("portstays on|off: whether the port stays listed while the instrument is off"),
            [this](const QStringList &a) {
                setPortStaysWhenOff(a.value(0) == QLatin1String("on"));
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("on"), QStringLiteral("on [stylus]: switch on (with the stylus: boot-loader mode)"),
            [this](const QStringList &a) {
                const bool stylus = a.value(0) == QLatin1String("stylus");
                return powerOn(stylus ? InstrumentCore::Mode::Loader : InstrumentCore::Mode::Working)
                           ? QStringLiteral("ok")
                           : QStringLiteral("error: ") + m_port.errorString();
            });
    addVerb(QStringLiteral("chunk"), QStringLiteral("chunk BYTES MS: replies in pieces with a pause between"),
            [this](const QStringList &a) {
                m_port.setChunking(a.value(0).toInt(), a.value(1).toInt());
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("rate"),
            QStringLiteral("rate BYTES_PER_S: line-rate limit both ways (0 = none; 11520 = 115200 8N1); "
                           "rate alone: the limit and the line time the port lost by coming back late"),
            [this](const QStringList &a) {
                if (a.isEmpty()) {
                    const int rate = m_port.lineRate();
                    const auto ms = [rate](qint64 bytes) { return rate > 0 ? double(bytes) * 1000.0 / rate : 0.0; };
                    return QStringLiteral("rate %1; lost in %2 ms, out %3 ms")
                        .arg(rate)
                        .arg(ms(m_port.inputLost()), 0, 'f', 1)
                        .arg(ms(m_port.outputLost()), 0, 'f', 1);
                }
                m_port.setLineRate(a.value(0).toInt());
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("stall"), QStringLiteral("stall on|off: hold back every reply"), [this](const QStringList &a) {
        m_port.setStalled(a.value(0) == QLatin1String("on"));
        return QStringLiteral("ok");
    });
    addVerb(QStringLiteral("vanish"), QStringLiteral("vanish LETTER BYTES: on the next command LETTER send BYTES of the reply, then switch off"),
            [this](const QStringList &a) {
                const QByteArray letter = a.value(0).toLatin1();
                if (letter.size() != 1)
                    return QStringLiteral("error: vanish LETTER BYTES");
                vanishDuringReply(letter.at(0), a.value(1).toInt());
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("behind"), QStringLiteral("behind LETTER N HEX...: send the bytes right behind the reply to the Nth next command LETTER"),
            [this](const QStringList &a) {
                if (a.size() < 3 || a.at(0).size() != 1 || a.at(1).toInt() < 1)
                    return QStringLiteral("error: behind LETTER N HEX...");
                sendBehindReply(a.at(0).at(0).toLatin1(), QByteArray::fromHex(a.mid(2).join(QString()).toLatin1()), a.at(1).toInt());
                return QStringLiteral("ok");
            });
    addVerb(QStringLiteral("garbage"), QStringLiteral("garbage N: send N random bytes"), [this](const QStringList &a) {
        QByteArray bytes;
        const int n = std::clamp(a.value(0).toInt(), 0, 1 << 20);
        for (int i = 0; i < n; ++i)
            bytes.append(char((i * 131 + 17) ^ (i >> 3)));
        m_core.send(bytes);
        return QStringLiteral("ok");
    });
    addVerb(QStringLiteral("received"), QStringLiteral("hex of what the PC sent since the last call"), [this](const QStringList &) {
        const QString hex = QString::fromLatin1(m_core.received().toHex(' '));
        m_core.clearReceived();
        return hex;
    });

    m_reader = std::make_unique<ReaderSim>(*this);
    m_bdts = std::make_unique<BdtsSim>(*this);
    m_boot = std::make_unique<BootSim>(*this);
}

VirtualInstrument::~VirtualInstrument() = default;

bool VirtualInstrument::powerOn(InstrumentCore::Mode mode)
{
    m_core.setMode(mode);
    m_core.resetInput();
    m_on = m_port.isOpen() || m_port.open();
    return m_on;
}

void VirtualInstrument::powerOff()
{
    m_on = false;
    if (!m_portStays)
        m_port.close();
    m_core.resetInput();
}

void VirtualInstrument::vanishDuringReply(char letter, int replyBytes)
{
    m_vanishLetter = letter;
    m_vanishAfter = std::max(0, replyBytes);
    m_vanishArmed = false;
}

void VirtualInstrument::sendBehindReply(char letter, const QByteArray &bytes, int nth)
{
    m_behindLetter = letter;
    m_behindBytes = bytes;
    m_behindCountdown = std::max(1, nth);
}

void VirtualInstrument::forward(const QByteArray &bytes)
{
    if (!m_on)
        return;
    // A command may arrive in pieces; its reply goes out once, when it is complete.
    if (m_behindLetter != 0 && m_lastCommand == m_behindLetter && --m_behindCountdown == 0) {
        m_behindLetter = 0;
        m_port.write(bytes + std::exchange(m_behindBytes, QByteArray()));
        return;
    }
    if (!m_vanishArmed) {
        m_port.write(bytes);
        return;
    }
    m_vanishArmed = false;
    m_vanishLetter = 0;
    m_port.write(bytes.left(m_vanishAfter));
    // The part that went out reaches the PC before the port goes.
    auto *wait = new QTimer(this);
    connect(wait, &QTimer::timeout, this, [this, wait] {
        if (m_port.pendingOutput() > 0)
            return;
        wait->deleteLater();
        QTimer::singleShot(100, this, [this] { powerOff(); });
    });
    wait->start(5);
}

void VirtualInstrument::addVerb(const QString &name, const QString &help, Verb verb)
{
    m_verbs[name] = VerbEntry{help, std::move(verb)};
}

QString VirtualInstrument::control(const QString &line)
{
    QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QString name = words.takeFirst();
    const auto it = m_verbs.find(name);
    if (it == m_verbs.end())
        return QStringLiteral("error: unknown command %1 (try help)").arg(name);
    return it->second.run(words);
}
