#include "link/instrumentlink.h"

#include "link/networkports.h"

#include <QRegularExpression>

const QStringList InstrumentLink::BaudRates = {QStringLiteral("4800"),  QStringLiteral("9600"),
                                               QStringLiteral("19200"), QStringLiteral("38400"),
                                               QStringLiteral("57600"), QStringLiteral("115200")};

InstrumentLink::InstrumentLink(StatusModel &statusModel, std::unique_ptr<PortCatalog> catalog,
                               SerialDeviceFactory factory, QObject *parent)
    : QObject(parent), m_catalog(std::move(catalog)), serial(*m_catalog, std::move(factory)), status(statusModel)
{
    linkCheckTimer.setInterval(500);
    connect(&linkCheckTimer, &QTimer::timeout, this, &InstrumentLink::linkCheckTick);
    connect(&serial, &TMSComm::OnComm, this, &InstrumentLink::onSerialReceive);
    connect(&serial, &TMSComm::portLost, this, &InstrumentLink::onPortLost);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] { abortExchange(ExchangeEnd::TimedOut); });

    // The link's own three answers, served whatever exchange runs.
    setBranch('B', BranchEntry::Kind::Link, [this](const QByteArray &waiting) -> qsizetype {
        if (waiting.size() != 1)
            return NeedMore; // "B" with more behind it is not the link signal
        setLinkOn(true);
        return 1;
    });
    setBranch('L', BranchEntry::Kind::Link, [this](const QByteArray &waiting) -> qsizetype {
        setLinkOn(true);
        setMode(true, false);
        emit probeAnswered();
        return waiting.size(); // no length rule: "LL" is one answer
    });
    setBranch('l', BranchEntry::Kind::Link, [this](const QByteArray &waiting) -> qsizetype {
        setLinkOn(true);
        setMode(false, true);
        emit probeAnswered();
        return waiting.size();
    });
}

InstrumentLink::~InstrumentLink()
{
    linkCheckTimer.stop();
    m_idle.stop();
}

void InstrumentLink::setBranch(char tag, BranchEntry::Kind kind, Branch branch)
{
    BranchEntry &entry = m_branches[static_cast<unsigned char>(tag)];
    entry.kind = branch ? kind : BranchEntry::Kind::None;
    entry.run = std::move(branch);
}

void InstrumentLink::registerBranch(char tag, BranchKind kind, Branch branch)
{
    // The link's own answers cannot be taken over.
    if (m_branches[static_cast<unsigned char>(tag)].kind == BranchEntry::Kind::Link)
        return;
    setBranch(tag, kind == BranchKind::Reply ? BranchEntry::Kind::Reply : BranchEntry::Kind::Notice, std::move(branch));
}

void InstrumentLink::unregisterBranch(char tag)
{
    if (m_branches[static_cast<unsigned char>(tag)].kind != BranchEntry::Kind::Link)
        setBranch(tag, BranchEntry::Kind::None, {});
}

bool InstrumentLink::SendCommand(const QByteArray &text) { return serial.setOutput(text); }

void InstrumentLink::onSerialReceive()
{
    if (serial.InBufferCount() == 0)
        return;
    const QByteArray got = serial.Input();
    if (got.isEmpty())
        RxBuffer.append('\0');
    else
        RxBuffer.append(got);
    // The instrument is still answering: its exchange gets the whole idle time again.
    if (exchangeRunning() && m_exchange.idleTimeoutMs > 0 && m_awaited.contains(RxBuffer.at(0)))
        m_idle.start(m_exchange.idleTimeoutMs);
    if (serial.InBufferCount() != 0)
        return; // more is on its way: dispatch at a later notification
    dispatch();
}

void InstrumentLink::dispatch()
{
    while (!RxBuffer.isEmpty()) {
        const char tag = RxBuffer.at(0);
        const BranchEntry &entry = m_branches[static_cast<unsigned char>(tag)];
        if (entry.kind != BranchEntry::Kind::Link) {
            if (exchangeRunning()) {
                if (entry.kind != BranchEntry::Kind::Reply || !m_awaited.contains(tag)) {
                    // Not what the exchange awaits: a notice, an unprompted reply or noise. It
                    // must neither send anything nor hide the awaited reply behind it.
                    const QByteArray dropped = RxBuffer;
                    emptyBuffer();
                    emit bytesIgnored(dropped, m_exchange.name);
                    return;
                }
            } else if (entry.kind != BranchEntry::Kind::Notice) {
                // A reply outside its exchange, or a byte without a branch: held, with whatever
                // follows it, until the next tick empties the buffer. It starts nothing.
                return;
            }
        }
        ReplyLen = int(RxBuffer.size());
        const quint64 generation = m_bufferGeneration;
        // The branch gets its own view of the bytes: beginning or ending an exchange in it
        // empties the buffer.
        const QByteArray waiting = RxBuffer;
        const Branch branch = entry.run;
        const qsizetype used = branch(waiting);
        if (generation != m_bufferGeneration)
            return; // the branch began or ended an exchange, which emptied the buffer
        if (used <= 0)
            return; // incomplete: examined again after the next notification
        if (used >= RxBuffer.size())
            RxBuffer.clear();
        else
            RxBuffer.remove(0, used);
    }
}

void InstrumentLink::emptyBuffer()
{
    RxBuffer.clear();
    ReplyLen = 0;
    ++m_bufferGeneration;
}

void InstrumentLink::setLinkOn(bool on)
{
    if (m_linkOn == on)
        return;
    m_linkOn = on;
    emit linkChanged();
}

void InstrumentLink::setMode(bool working, bool inLoader)
{
    InstrumentWorking = working;
    InstrumentInLoader = inLoader;
    emit linkChanged();
}

void InstrumentLink::resetToStartValues()
{
    PortNumbers.clear();
    CurrentPort = 0;
    InstrumentInLoader = false;
    InstrumentWorking = false;
    setLinkOn(false);
    BaudIndex = 5;
    ProbeOnOpen = 1;
}

// ---------------------------------------------------------------- exchanges

bool InstrumentLink::mayBegin(const QObject *owner)
{
    if (!exchangeRunning() || m_owner == owner)
        return true;
    status.setText(QStringLiteral("Идёт обмен с прибором (%1), дождитесь окончания.").arg(m_exchange.name));
    return false;
}

bool InstrumentLink::beginExchange(QObject *owner, Exchange exchange)
{
    if (!owner || !mayBegin(owner))
        return false;
    linkCheckTimer.stop();
    m_owner = owner;
    m_exchange = std::move(exchange);
    if (m_exchange.idleTimeoutMs < 0)
        m_exchange.idleTimeoutMs = m_defaultIdleMs;
    m_awaited.clear();
    emptyBuffer();
    if (m_exchange.idleTimeoutMs > 0)
        m_idle.start(m_exchange.idleTimeoutMs);
    else
        m_idle.stop();
    return true;
}

bool InstrumentLink::request(const QByteArray &command, const QByteArray &replyTags)
{
    if (!exchangeRunning())
        return false;
    m_awaited = replyTags;
    emptyBuffer();
    if (!SendCommand(command)) {
        abortExchange(ExchangeEnd::PortLost);
        return false;
    }
    if (m_exchange.idleTimeoutMs > 0)
        m_idle.start(m_exchange.idleTimeoutMs);
    return true;
}

void InstrumentLink::setExchangeIdleTimeout(const QObject *owner, int ms)
{
    if (!ownsExchange(owner))
        return;
    m_exchange.idleTimeoutMs = std::max(0, ms);
    if (m_exchange.idleTimeoutMs > 0)
        m_idle.start(m_exchange.idleTimeoutMs);
    else
        m_idle.stop();
}

void InstrumentLink::endExchange(const QObject *owner)
{
    if (!ownsExchange(owner))
        return;
    m_idle.stop();
    m_owner = nullptr;
    m_exchange = {};
    m_awaited.clear();
    emptyBuffer();
    if (status.progress() != 0)
        status.setProgress(0);
    resumePortSearch();
}

void InstrumentLink::abortExchange(ExchangeEnd why)
{
    if (!exchangeRunning())
        return;
    const Exchange ended = std::move(m_exchange);
    m_idle.stop();
    m_owner = nullptr;
    m_exchange = {};
    m_awaited.clear();
    emptyBuffer();
    // A stream that reports its own failures keeps its progress: it shows what was written.
    if (!ended.reportsOwnFailures) {
        status.setProgress(0);
        status.setText(why == ExchangeEnd::TimedOut ? QStringLiteral("Прибор не отвечает. Прервано: %1.").arg(ended.name)
                                                    : QStringLiteral("Порт связи потерян. Прервано: %1.").arg(ended.name));
    }
    if (ended.aborted)
        ended.aborted(why);
    resumePortSearch();
    if (!ended.reportsOwnFailures)
        emit exchangeAborted(status.text());
}

void InstrumentLink::resumePortSearch()
{
    if (!m_listOpen && !exchangeRunning())
        linkCheckTimer.start();
}

void InstrumentLink::onPortLost()
{
    // The serial layer has closed the port. A running exchange cannot go on; the next tick finds
    // out whether the port is still there.
    abortExchange(ExchangeEnd::PortLost);
}

// ---------------------------------------------------------------- port selection

namespace {
// The decimal number after "COM", or 0 when there is none.
int numberAfterCom(const QString &value)
{
    const int at = value.indexOf(QLatin1String("COM"));
    if (at < 0)
        return 0;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    const QString rest = value.mid(at + 3);
    if (!digits.match(rest).hasMatch())
        return 0;
    return rest.toInt();
}
} // namespace

int InstrumentLink::ScanPorts()
{
    PortNumbers.clear();
    const auto values = m_catalog->valueTexts();
    if (!values) {
        status.setText(QStringLiteral("Прибор не подключен или COM-порт отсутствует."));
    } else if (values->isEmpty()) {
        if (serial.PortOpen())
            (void)serial.setPortOpen(false);
        setLinkOn(false);
    } else {
        for (const QString &value : *values) {
            const int n = numberAfterCom(value);
            if ((n >= 1 && n <= 16) || isNetworkPortNumber(n))
                PortNumbers << QString::number(n);
        }
    }
    setPortItems(PortNumbers);
    CurrentPort = OpenChosenPort();
    return int(PortNumbers.size());
}

int InstrumentLink::OpenChosenPort()
{
    if (PortNumbers.isEmpty())
        return 0;
    int chosen = -1;
    for (int i = 0; i < PortNumbers.size(); ++i) {
        if (PortNumbers.at(i).toInt() == serial.CommPort()) {
            if (!serial.PortOpen() && !tryOpen())
                return 0;
            chosen = i;
            break;
        }
    }
    if (chosen < 0) {
        const int n = PortNumbers.first().toInt();
        if (!serial.PortOpen()) {
            serial.setCommPort(n);
            if (!tryOpen())
                return 0;
        } else {
            // Open on a port that is no longer listed: move to the first listed one.
            (void)serial.setPortOpen(false);
            serial.setCommPort(n);
            if (!tryOpen()) {
                status.setText(QStringLiteral("Ошибка определения активного порта"));
                return n;
            }
        }
        chosen = 0;
    }
    selectPortItem(chosen);
    CurrentPort = serial.CommPort();
    applyLineAfterOpen();
    discardWaiting();
    if (ProbeOnOpen == 1)
        SendCommand(QByteArrayLiteral("l"));
    return serial.CommPort();
}

void InstrumentLink::PortSearchTick()
{
    const int count = ScanPorts();
    if (count <= 0) {
        setLinkOn(false);
        setMode(false, false);
        if (serial.PortOpen())
            (void)serial.setPortOpen(false);
    } else if (!serial.PortOpen()) {
        if (CurrentPort > 0) {
            if (serial.CommPort() != CurrentPort)
                serial.setCommPort(CurrentPort);
            tryOpen();
            if (serial.PortOpen()) {
                selectPortItem(int(PortNumbers.indexOf(QString::number(CurrentPort))));
                applyLineAfterOpen();
                discardWaiting();
                SendCommand(QByteArrayLiteral("l"));
            }
        } else {
            for (int k = 0; k < PortNumbers.size(); ++k) {
                const int n = PortNumbers.at(k).toInt();
                if (serial.CommPort() != n)
                    serial.setCommPort(n);
                if (!tryOpen())
                    continue;
                selectPortItem(k);
                CurrentPort = serial.CommPort();
                applyLineAfterOpen();
                discardWaiting();
                SendCommand(QByteArrayLiteral("l"));
                break;
            }
        }
        // A listed port that cannot be opened (its device is gone, another program holds it) is
        // no link: the indicator goes off and the mode is unknown, as when the operator picks
        // such a port. The port drop-down's tooltip says why.
        if (!serial.PortOpen()) {
            setLinkOn(false);
            setMode(false, false);
        }
    }
    emit tickFinished();
}

void InstrumentLink::FlushInput()
{
    if (m_linkOn && serial.PortOpen())
        discardWaiting();
}

void InstrumentLink::cbxNumPortChange(int index)
{
    if (index < 0 || strip.items.rowCount() == 0 || index >= PortNumbers.size())
        return;
    if (serial.PortOpen())
        (void)serial.setPortOpen(false);
    const int n = PortNumbers.at(index).toInt();
    if (serial.CommPort() != n)
        serial.setCommPort(n);
    if (!tryOpen()) {
        setLinkOn(false);
        setMode(false, false);
    }
    if (serial.PortOpen()) {
        CurrentPort = serial.CommPort();
        setBaudSettings();
        strip.paramText = QStringLiteral("Параметры: ") + serial.Settings();
        discardWaiting();
    }
    selectPortItem(index);
}

void InstrumentLink::cbBaudRateChange(int index)
{
    if (index < 0 || index >= BaudRates.size())
        return;
    BaudIndex = index;
    strip.baudIndex = index;
    if (m_linkOn) {
        status.setText(QStringLiteral("Установление контакта с прибором."));
        setBaudSettings();
        FlushInput();
    }
    emit stripChanged();
}

void InstrumentLink::cbxNumPortDropDown()
{
    m_listOpen = true;
    linkCheckTimer.stop();
}

void InstrumentLink::cbxNumPortCloseUp()
{
    // However the list closed, the ticks resume, unless an exchange owns the line.
    m_listOpen = false;
    resumePortSearch();
}

void InstrumentLink::setBaudSettings() { serial.setSettings(settingsText()); }

void InstrumentLink::applyLineAfterOpen()
{
    setBaudSettings();
    strip.baudIndex = BaudIndex;
    strip.paramText = QStringLiteral("Параметры: ") + serial.Settings();
    emit stripChanged();
}

void InstrumentLink::discardWaiting()
{
    (void)serial.Input();
    emptyBuffer();
    serial.setInBufferCount(0);
}

void InstrumentLink::setPortItems(const QStringList &numbers)
{
    QStringList hints;
    QStringList texts;
    for (const QString &n : numbers) {
        QString hint = m_catalog->devicePath(n.toInt());
        if (n.toInt() == serial.CommPort() && !strip.problem.isEmpty())
            hint += QLatin1Char('\n') + strip.problem;
        hints << hint;
        texts << m_catalog->itemText(n.toInt());
    }
    const bool same = strip.items.stringList() == texts && strip.itemHints == hints;
    if (same)
        return;
    strip.items.setStringList(texts);
    strip.itemHints = hints;
    strip.portIndex = -1;
    emit stripChanged();
}

void InstrumentLink::selectPortItem(int index)
{
    if (strip.portIndex == index)
        return;
    strip.portIndex = index;
    emit stripChanged();
}

bool InstrumentLink::tryOpen()
{
    if (serial.setPortOpen(true)) {
        if (!strip.problem.isEmpty()) {
            strip.problem.clear();
            emit stripChanged();
        }
        return true;
    }
    notePortProblem();
    return false;
}

void InstrumentLink::notePortProblem()
{
    const QString text = describeOpenFailure(serial.lastOpenFailure());
    if (text != strip.problem) {
        strip.problem = text;
        emit stripChanged();
    }
}
