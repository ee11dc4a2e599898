#include "link/instrumentlink.h"

#include "core/journal.h"
#include "link/networkports.h"

#include <QRegularExpression>

#include <utility>

const QStringList InstrumentLink::BaudRates = {QStringLiteral("4800"),  QStringLiteral("9600"),
                                               QStringLiteral("19200"), QStringLiteral("38400"),
                                               QStringLiteral("57600"), QStringLiteral("115200")};

namespace {
// A message without a length rule is its tag, repeated or not: "LL" is one answer, "GG" one notice.
qsizetype runOfTag(const QByteArray &bytes)
{
    qsizetype n = 1;
    while (n < bytes.size() && bytes.at(n) == bytes.at(0))
        ++n;
    return n;
}

QString hexOf(const QByteArray &bytes)
{
    constexpr qsizetype Shown = 32;
    QString text = QString::fromLatin1(bytes.left(Shown).toHex(' '));
    if (bytes.size() > Shown)
        text += QStringLiteral(" …");
    return text;
}
} // namespace

InstrumentLink::InstrumentLink(StatusModel &statusModel, std::unique_ptr<PortCatalog> catalog,
                               SerialDeviceFactory factory, QObject *parent)
    : QObject(parent), m_catalog(std::move(catalog)), serial(*m_catalog, std::move(factory)), status(statusModel)
{
    linkCheckTimer.setInterval(500);
    connect(&linkCheckTimer, &QTimer::timeout, this, &InstrumentLink::linkCheckTick);
    m_restOfAnswer.setSingleShot(true);
    m_restOfAnswer.setInterval(RestOfAnswerQuietMs);
    connect(&m_restOfAnswer, &QTimer::timeout, this, &InstrumentLink::endRestOfAnswer);
    connect(&serial, &TMSComm::OnComm, this, &InstrumentLink::onSerialReceive);
    connect(&serial, &TMSComm::portLost, this, &InstrumentLink::onPortLost);
    for (auto change : {&TMSComm::portOpened, &TMSComm::portClosed})
        connect(&serial, change, this, [this] { ++m_connection; });
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
        m_probeOut = false;
        setMode(true, false);
        emit probeAnswered();
        return runOfTag(waiting); // no length rule: "LL" is one answer; a notice behind it is not
    });
    setBranch('l', BranchEntry::Kind::Link, [this](const QByteArray &waiting) -> qsizetype {
        setLinkOn(true);
        m_probeOut = false;
        setMode(false, true);
        emit probeAnswered();
        return runOfTag(waiting);
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
    const BranchEntry::Kind own = kind == BranchKind::Reply    ? BranchEntry::Kind::Reply
                                  : kind == BranchKind::Notice ? BranchEntry::Kind::Notice
                                                               : BranchEntry::Kind::Request;
    setBranch(tag, own, std::move(branch));
}

void InstrumentLink::unregisterBranch(char tag)
{
    if (m_branches[static_cast<unsigned char>(tag)].kind != BranchEntry::Kind::Link)
        setBranch(tag, BranchEntry::Kind::None, {});
}

bool InstrumentLink::SendCommand(const QByteArray &text)
{
    if (text == "l" && !exchangeRunning())
        m_probeOut = true;
    return serial.setOutput(text);
}

void InstrumentLink::onSerialReceive()
{
    if (serial.InBufferCount() == 0)
        return;
    if (m_restOfAnswer.isActive()) {
        m_restOfAnswerBytes += serial.Input().size();
        if (m_restOfAnswerSince.elapsed() < RestOfAnswerLimitMs)
            m_restOfAnswer.start();
        else
            endRestOfAnswer();
        return;
    }
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
        using Kind = BranchEntry::Kind;
        bool served = entry.kind == Kind::Link;
        if (exchangeRunning())
            served = served || (entry.kind == Kind::Reply && m_awaited.contains(tag));
        else
            served = served || entry.kind == Kind::Notice || entry.kind == Kind::Request;
        if (!served) {
            if (entry.kind == Kind::Notice && exchangeRunning()) {
                // It must neither send anything nor hide the awaited reply behind it: it waits
                // for the end of the exchange.
                const qsizetype run = runOfTag(RxBuffer);
                setNoticeAside(RxBuffer.left(run));
                RxBuffer.remove(0, run);
                continue;
            }
            // Noise, a reply nobody awaits, a save request during an exchange: dropped up to the
            // next message. Outside an exchange, with no message behind them yet, they are held
            // (the rest of a late reply may still come) until a message follows or the tick
            // empties the buffer; they never start an exchange nor name a file.
            const qsizetype next = nextMessageStart();
            if (next > 0) {
                dropHead(next);
                continue;
            }
            if (exchangeRunning())
                dropHead(RxBuffer.size());
            return;
        }
        ReplyLen = int(RxBuffer.size());
        const quint64 generation = m_bufferGeneration;
        // The branch gets its own view of the bytes: beginning or ending an exchange in it
        // empties the buffer. A notice is handed its tag alone.
        const QByteArray all = RxBuffer;
        const QByteArray waiting = entry.kind == Kind::Notice ? all.left(runOfTag(all)) : all;
        const Branch branch = entry.run;
        qsizetype used = branch(waiting);
        if (entry.kind == Kind::Notice && used > 0)
            used = waiting.size();
        if (generation != m_bufferGeneration) {
            // The branch began, requested in or ended an exchange, which emptied the buffer. What
            // followed its message arrived before that and is dispatched anew, ahead of anything
            // that arrived meanwhile.
            if (used > 0 && used < all.size())
                RxBuffer.prepend(all.mid(used));
            if (used > 0)
                continue;
            return;
        }
        if (used == NeedMore)
            return; // incomplete: examined again after the next notification
        if (used < 0) {
            const qsizetype next = nextMessageStart();
            dropHead(next > 0 ? next : RxBuffer.size());
            continue;
        }
        if (used >= RxBuffer.size())
            RxBuffer.clear();
        else
            RxBuffer.remove(0, used);
    }
}

qsizetype InstrumentLink::nextMessageStart() const
{
    using Kind = BranchEntry::Kind;
    // Behind noise, a notice or a link answer is told from a reply's text only when nothing but
    // such tags follows it; an awaited reply is what the exchange waits for next.
    const auto signalTag = [this](char c) {
        const Kind kind = m_branches[static_cast<unsigned char>(c)].kind;
        return kind == Kind::Link || kind == Kind::Notice;
    };
    qsizetype signalsFrom = RxBuffer.size();
    while (signalsFrom > 1 && signalTag(RxBuffer.at(signalsFrom - 1)))
        --signalsFrom;
    for (qsizetype i = 1; i < RxBuffer.size(); ++i) {
        if (i >= signalsFrom)
            return i;
        const char c = RxBuffer.at(i);
        if (exchangeRunning() && m_branches[static_cast<unsigned char>(c)].kind == Kind::Reply && m_awaited.contains(c))
            return i;
    }
    return -1;
}

void InstrumentLink::dropHead(qsizetype count)
{
    const QByteArray dropped = RxBuffer.left(count);
    RxBuffer.remove(0, count);
    if (dropped.isEmpty())
        return;
    const QString during = exchangeRunning() ? m_exchange.name : QString();
    journal::note(JournalKind::Warning,
                  during.isEmpty() ? QStringLiteral("Пропущены байты от прибора (%1): %2").arg(dropped.size()).arg(hexOf(dropped))
                                   : QStringLiteral("Пропущены байты от прибора во время обмена (%1), %2 байт: %3")
                                         .arg(during)
                                         .arg(dropped.size())
                                         .arg(hexOf(dropped)));
    emit bytesIgnored(dropped, during);
}

void InstrumentLink::setNoticeAside(const QByteArray &notice)
{
    // A boot loader sends no notices, and a firmware stream ends in a restart: such a notice is
    // no measurement of the instrument that comes back.
    if (InstrumentInLoader) {
        const QString during = m_exchange.name;
        journal::note(JournalKind::Warning, QStringLiteral("Сообщение прибора \"%1\" во время обмена (%2) пропущено.")
                                                .arg(QString::fromLatin1(notice.left(1)), during));
        emit bytesIgnored(notice, during);
        return;
    }
    if (!m_noticesAside.contains(notice.at(0))) {
        m_noticesAside.append(notice.at(0));
        journal::note(JournalKind::Info, QStringLiteral("Сообщение прибора \"%1\" во время обмена (%2) отложено до его конца.")
                                             .arg(QString::fromLatin1(notice.left(1)), m_exchange.name));
    }
}

void InstrumentLink::scheduleNoticesSetAside()
{
    if (m_noticesAside.isEmpty() || m_noticesScheduled)
        return;
    // Not from within the branch that ended the exchange: the notice begins its own exchange.
    m_noticesScheduled = true;
    QMetaObject::invokeMethod(this, &InstrumentLink::serveNoticesSetAside, Qt::QueuedConnection);
}

void InstrumentLink::serveNoticesSetAside()
{
    m_noticesScheduled = false;
    if (exchangeRunning() || m_noticesAside.isEmpty())
        return; // another exchange took the line first: they wait for its end
    const QByteArray notices = std::exchange(m_noticesAside, QByteArray());
    journal::note(JournalKind::Info, QStringLiteral("Отложенные сообщения прибора обслуживаются: %1").arg(QString::fromLatin1(notices)));
    RxBuffer.prepend(notices);
    dispatch();
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
    if (m_restOfAnswer.isActive())
        endRestOfAnswer(); // the new exchange's request makes the instrument start afresh
    m_probeOut = false; // its answer, if any, is emptied with the buffer
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
    scheduleNoticesSetAside();
}

void InstrumentLink::cutExchange(const QObject *owner)
{
    if (!ownsExchange(owner))
        return;
    endExchange(owner);
    dropRestOfAnswer();
}

void InstrumentLink::dropRestOfAnswer()
{
    discardWaiting();
    m_restOfAnswerBytes = 0;
    m_restOfAnswerSince.start();
    m_restOfAnswer.start();
}

void InstrumentLink::endRestOfAnswer()
{
    m_restOfAnswer.stop();
    if (m_restOfAnswerBytes > 0)
        journal::note(JournalKind::Info, QStringLiteral("Остаток прерванного ответа прибора пропущен: байт %1.")
                                             .arg(m_restOfAnswerBytes));
    m_restOfAnswerBytes = 0;
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
    if (why == ExchangeEnd::PortLost && !m_noticesAside.isEmpty()) {
        // The port is gone: what comes back on it may be another instrument.
        journal::note(JournalKind::Warning, QStringLiteral("Порт потерян; отложенные сообщения прибора пропущены: %1")
                                                .arg(QString::fromLatin1(m_noticesAside)));
        emit bytesIgnored(std::exchange(m_noticesAside, QByteArray()), ended.name);
    }
    if (why == ExchangeEnd::TimedOut)
        dropRestOfAnswer();
    if (ended.aborted)
        ended.aborted(why);
    resumePortSearch();
    scheduleNoticesSetAside();
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
    ++m_connection;
    if (m_restOfAnswer.isActive())
        endRestOfAnswer();
    // The serial layer has closed the port. A running exchange cannot go on; the next tick finds
    // out whether the port is still there.
    abortExchange(ExchangeEnd::PortLost);
}

// ---------------------------------------------------------------- port selection


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
            const int n = comport::number(value, comport::Match::AtEnd);
            if ((comport::listed(n) || isNetworkPortNumber(n)) && (m_boundPort == 0 || n == m_boundPort))
                PortNumbers << QString::number(n);
        }
    }
    noteUnusedPorts(values.value_or(QStringList()));
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
    emit tickStarted();
    if (m_restOfAnswer.isActive())
        return; // a probe now would be answered behind the rest of the cut answer
    const bool wasOpen = serial.PortOpen();
    // The probe of the previous tick went unanswered: the instrument on the line may have changed.
    if (m_probeOut)
        ++m_connection;
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
    m_stateKnown = wasOpen || !serial.PortOpen() || m_linkOn;
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

void InstrumentLink::setBaudIndex(int index)
{
    if (index < 0 || index >= BaudRates.size())
        return;
    BaudIndex = index;
    setBaudSettings();
    showLineSettings();
}

void InstrumentLink::showLineSettings()
{
    const QString text = QStringLiteral("Параметры: ") + serial.Settings();
    if (strip.baudIndex == BaudIndex && strip.paramText == text)
        return;
    strip.baudIndex = BaudIndex;
    strip.paramText = text;
    emit stripChanged();
}

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
    // Bytes held for want of a message behind them leave a trace.
    if (!RxBuffer.isEmpty())
        dropHead(RxBuffer.size());
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

bool InstrumentLink::openPort(int n)
{
    if (serial.PortOpen())
        (void)serial.setPortOpen(false);
    if (!serial.setCommPort(n))
        return false;
    if (!tryOpen())
        return false;
    CurrentPort = n;
    return true;
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

void InstrumentLink::noteUnusedPorts(const QStringList &values)
{
    // The network instruments' own numbers are used, though above COM16.
    QStringList serial;
    for (const QString &value : values)
        if (!isNetworkPortNumber(comport::number(value, comport::Match::AtEnd)))
            serial << value;
    const QString note = comport::unusedNote(comport::unused(serial));
    if (note != strip.unusedNote) {
        strip.unusedNote = note;
        emit stripChanged();
    }
}

void InstrumentLink::notePortProblem()
{
    const QString text = describeOpenFailure(serial.lastOpenFailure());
    if (text != strip.problem) {
        strip.problem = text;
        emit stripChanged();
    }
}
