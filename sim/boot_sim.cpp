#include "sim/boot_sim.h"

#include "sim/virtualinstrument.h"

#include <QFile>

namespace {
constexpr qsizetype ReserveLimit = 16 << 20; // never trust a length value for a huge allocation
}

BootSim::BootSim(VirtualInstrument &instrument) : m_vi(instrument)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_vi.core().setLoaderHandler([this](const QByteArray &pending) { return onLoaderBytes(pending); });
    connect(&m_vi.core(), &InstrumentCore::modeChanged, this, [this](InstrumentCore::Mode mode) {
        if (mode == InstrumentCore::Mode::Loader && (m_stage == Stage::Programming || m_stage == Stage::Restarting))
            return;
        m_timer.stop();
        m_stage = Stage::Idle;
    });

    m_powerWatch.setInterval(50);
    connect(&m_powerWatch, &QTimer::timeout, this, [this] {
        const bool inStream = m_stage == Stage::Length || m_stage == Stage::Image || m_stage == Stage::Checksum;
        if (inStream && !m_vi.isOn())
            m_stage = Stage::Idle;
    });
    m_powerWatch.start();

    m_vi.addVerb(QStringLiteral("stylus"), QStringLiteral("stylus [MS]: switch off, wait MS (default 0), switch on with the stylus (boot loader)"),
                 [this](const QStringList &a) {
                     switchOnWithStylus(a.value(0).toInt());
                     return QStringLiteral("ok");
                 });
    m_vi.addVerb(
        QStringLiteral("boot"),
        QStringLiteral("boot status | image FILE | hex | program MS | restart MS | drop on|off | answer on|off: the boot loader's "
                       "stream and knobs (answer: the probe is answered while programming)"),
        [this](const QStringList &a) -> QString {
            const QString what = a.value(0, QStringLiteral("status"));
            if (what == QLatin1String("status"))
                return report();
            if (what == QLatin1String("hex"))
                return QString::fromLatin1(m_stream.image.toHex(' '));
            if (what == QLatin1String("image")) {
                QFile out(a.value(1));
                if (a.value(1).isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(m_stream.image) != m_stream.image.size())
                    return QStringLiteral("error: cannot write %1").arg(a.value(1));
                return QStringLiteral("ok %1 bytes").arg(m_stream.image.size());
            }
            if (what == QLatin1String("program")) {
                setProgrammingMs(a.value(1).toInt());
                return QStringLiteral("ok");
            }
            if (what == QLatin1String("restart")) {
                setRestartGapMs(a.value(1).toInt());
                return QStringLiteral("ok");
            }
            if (what == QLatin1String("drop")) {
                setRestartDropsPort(a.value(1) != QLatin1String("off"));
                return QStringLiteral("ok");
            }
            if (what == QLatin1String("answer")) {
                setAnswersWhileProgramming(a.value(1) != QLatin1String("off"));
                return QStringLiteral("ok");
            }
            return QStringLiteral("error: boot status|image FILE|hex|program MS|restart MS|drop on|off|answer on|off");
        });
}

BootSim::~BootSim() = default;

QString BootSim::stageName() const
{
    switch (m_stage) {
    case Stage::Idle: return QStringLiteral("idle");
    case Stage::Length: return QStringLiteral("length");
    case Stage::Image: return QStringLiteral("image");
    case Stage::Checksum: return QStringLiteral("checksum");
    case Stage::Programming: return QStringLiteral("programming");
    case Stage::Restarting: return QStringLiteral("restarting");
    }
    return {};
}

QString BootSim::report() const
{
    const Stream &s = m_stream;
    QString timing;
    if (s.complete)
        timing = QStringLiteral("; stream %1 ms for %2 bytes after the first read, port lost %3 ms")
                     .arg(s.completeMs - s.markerMs, 0, 'f', 1)
                     .arg(6 + s.imageExpected + 2 - s.withMarker)
                     .arg(s.portLostMs, 0, 'f', 1);
    return QStringLiteral("stage %1; marker %2; length %3; image %4 of %5; sum %6; checksum %7; %8%9; programmed %10%11")
        .arg(stageName(), s.markerSeen ? QStringLiteral("yes") : QStringLiteral("no"))
        .arg(s.lengthValue)
        .arg(s.image.size())
        .arg(s.imageExpected)
        .arg(s.sum & 0xFFFF)
        .arg(s.checksumSent)
        .arg(s.complete ? (s.checksumOk ? QStringLiteral("ok") : QStringLiteral("bad")) : QStringLiteral("incomplete"),
             s.error.isEmpty() ? QString() : QStringLiteral(" (") + s.error + QLatin1Char(')'))
        .arg(m_programmed)
        .arg(timing);
}

void BootSim::resetStream()
{
    m_stream = Stream{};
    m_header.clear();
}

void BootSim::enterLoader()
{
    m_timer.stop();
    m_vi.core().setMode(InstrumentCore::Mode::Loader);
    m_stage = Stage::Idle;
}

void BootSim::switchOnWithStylus(int offMs)
{
    m_timer.stop();
    m_vi.powerOff();
    m_stage = Stage::Idle;
    auto on = [this] {
        m_vi.powerOn(InstrumentCore::Mode::Loader);
        m_stage = Stage::Idle;
    };
    if (offMs <= 0) {
        on();
        return;
    }
    m_timer.disconnect();
    connect(&m_timer, &QTimer::timeout, this, on);
    m_timer.start(offMs);
}

qsizetype BootSim::onLoaderBytes(const QByteArray &pending)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(pending.at(i)); };
    switch (m_stage) {
    case Stage::Idle:
        if (byte(0) == 0x55) {
            if (pending.size() < 2)
                return 0;
            if (byte(1) != 0xAA)
                return 1;
            resetStream();
            m_stream.markerSeen = true;
            m_stream.markerMs = m_clock.nsecsElapsed() / 1e6;
            m_stream.portLostAtMarker = m_vi.port().inputLost();
            m_stream.withMarker = pending.size();
            m_stage = Stage::Length;
            return 2;
        }
        // Outside a stream the probe is answered; any other byte is dropped.
        if (pending.at(0) == 'l')
            m_vi.core().send(QByteArrayLiteral("l"));
        return 1;
    case Stage::Length: {
        const qsizetype take = std::min<qsizetype>(4 - m_header.size(), pending.size());
        m_header.append(pending.left(take));
        if (m_header.size() < 4)
            return take;
        quint32 value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(m_header.at(i));
        m_stream.lengthValue = value;
        if (value < 6) {
            m_stream.error = QStringLiteral("length below 6");
            m_stage = Stage::Idle;
            return take;
        }
        m_stream.imageExpected = qint64(value) - 6;
        m_stream.image.reserve(std::min<qsizetype>(m_stream.imageExpected, ReserveLimit));
        m_header.clear();
        m_stage = m_stream.imageExpected == 0 ? Stage::Checksum : Stage::Image;
        return take;
    }
    case Stage::Image: {
        const qsizetype take = std::min<qsizetype>(m_stream.imageExpected - m_stream.image.size(), pending.size());
        for (qsizetype i = 0; i < take; ++i)
            m_stream.sum += byte(i);
        m_stream.image.append(pending.constData(), take);
        if (m_stream.image.size() == m_stream.imageExpected)
            m_stage = Stage::Checksum;
        return take;
    }
    case Stage::Checksum: {
        const qsizetype take = std::min<qsizetype>(2 - m_header.size(), pending.size());
        m_header.append(pending.left(take));
        if (m_header.size() < 2)
            return take;
        m_stream.checksumSent = static_cast<unsigned char>(m_header.at(0)) | (static_cast<unsigned char>(m_header.at(1)) << 8);
        m_header.clear();
        m_stream.complete = true;
        m_stream.completeMs = m_clock.nsecsElapsed() / 1e6;
        if (const int rate = m_vi.port().lineRate(); rate > 0)
            m_stream.portLostMs = double(m_vi.port().inputLost() - m_stream.portLostAtMarker) * 1000.0 / rate;
        m_stream.checksumOk = m_stream.checksumSent == int(m_stream.sum & 0xFFFF);
        emit streamFinished(m_stream.checksumOk);
        if (!m_stream.checksumOk) {
            m_stream.error = QStringLiteral("checksum mismatch");
            m_stage = Stage::Idle; // stays in the boot loader
            return take;
        }
        m_stage = Stage::Programming;
        m_timer.disconnect();
        connect(&m_timer, &QTimer::timeout, this, &BootSim::finishProgramming);
        m_timer.start(m_programmingMs);
        return take;
    }
    case Stage::Programming:
        // Busy erasing and writing its flash: nothing is answered, unless this boot loader
        // answers the probe meanwhile.
        if (m_answersWhileProgramming && pending.contains('l'))
            m_vi.core().send(QByteArray(int(pending.count('l')), 'l'));
        return pending.size();
    case Stage::Restarting:
        return pending.size();
    }
    return pending.size();
}

void BootSim::finishProgramming()
{
    ++m_programmed;
    m_stage = Stage::Restarting;
    if (m_restartDropsPort)
        m_vi.powerOff();
    m_timer.disconnect();
    connect(&m_timer, &QTimer::timeout, this, &BootSim::finishRestart);
    m_timer.start(m_restartGapMs);
}

void BootSim::finishRestart()
{
    m_stage = Stage::Idle;
    if (m_restartDropsPort)
        m_vi.powerOn(InstrumentCore::Mode::Working);
    else
        m_vi.core().setMode(InstrumentCore::Mode::Working);
    emit restarted();
}
