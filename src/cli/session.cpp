#include "cli/session.h"

#include "cli/portnotes.h"
#include "core/files.h"
#include "core/joboutcome.h"
#include "link/instrumentlink.h"
#include "link/instrumentoperation.h"
#include "link/networkaddress.h"
#include "link/portcatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {
volatile std::sig_atomic_t g_interrupts = 0;

extern "C" void onInterrupt(int)
{
    // The first asks for a clean stop, the second forces it; a third means that even the forced
    // stop is not wanted any more.
    if (g_interrupts >= 2)
        std::_Exit(exitcode::Failed);
    g_interrupts = g_interrupts + 1;
}

// A device named on the command line stands alone as COM1.
class SinglePortCatalog final : public PortCatalog {
public:
    explicit SinglePortCatalog(QString device) : m_device(std::move(device)) {}
    std::optional<QStringList> valueTexts() const override { return QStringList{QStringLiteral("COM1")}; }
    QString devicePath(int n) const override { return n == 1 ? m_device : QString(); }

private:
    QString m_device;
};

// The COM numbers the program would list (1..16, in the catalog's order).
QList<int> listedNumbers(const PortCatalog &catalog)
{
    QList<int> out;
    for (const QString &value : catalog.valueTexts().value_or(QStringList())) {
        const int n = comport::number(value, comport::Match::AtEnd);
        if (comport::listed(n))
            out << n;
    }
    return out;
}

const QString kNoPortAdvice = QStringLiteral("Подключите прибор к ПК и проверьте кабель; kviro-cli ports покажет порты.");
} // namespace

QString workingFolderOf(const CliOptions &options)
{
    return options.workDir.isEmpty() ? files::programDir() : QDir(options.workDir).absolutePath() + QLatin1Char('/');
}

bool CliDialogs::warnYesNo(const QString &, const QString &)
{
    if (onQuestion)
        onQuestion();
    return confirm;
}

void CliDialogs::showError(const QString &, const QString &) {}

void installInterruptHandler()
{
    std::signal(SIGINT, onInterrupt);
#ifdef SIGTERM
    std::signal(SIGTERM, onInterrupt);
#endif
}

bool interruptRequested() { return g_interrupts > 0; }
int interruptCount() { return int(g_interrupts); }

InstrumentSession::InstrumentSession(const CliOptions &options, CliReporter &reporter)
    : m_options(options), m_reporter(reporter), m_bar(!options.json && ProgressBar::terminalAttached())
{
    programDir = workingFolderOf(options);
    if (Journal *journal = reporter.journal()) {
        m_statusFeed = std::make_unique<StatusJournal>(status, *journal);
        m_journaled = std::make_unique<JournalingDialogs>(dialogs, *journal);
    }
}

InstrumentSession::~InstrumentSession()
{
    m_bar.finish();
    if (m_link) {
        m_link->stopPortSearch();
        m_link->setLineMonitor(nullptr);
    }
}

FeatureContext InstrumentSession::context() { return FeatureContext{*m_link, status, seam(), programDir}; }

void InstrumentSession::addPortFields(Outcome &outcome) const
{
    if (!m_portName.isEmpty())
        outcome.fields.insert(QStringLiteral("port"), m_portName);
    if (!m_device.isEmpty())
        outcome.fields.insert(QStringLiteral("device"), m_device);
    outcome.fields.insert(QStringLiteral("baud"), m_options.baud);
}

InstrumentMode InstrumentSession::findInstrument(Outcome *failure, bool onlyOne)
{
    std::unique_ptr<PortCatalog> catalog;
    QList<int> candidates;
    const int namedNumber = comport::number(m_options.port); // -1: no port or a device path
    const bool named = namedNumber >= 0;
    if (m_options.port.isEmpty() || named) {
        catalog = makePortCatalogFromEnvironment();
        const QList<int> listed = listedNumbers(*catalog);
        if (listed.isEmpty()) {
            *failure = Outcome::failed(portnotes::whyNoPorts(*catalog), portnotes::noPortsAdvice(*catalog));
            return InstrumentMode::None;
        }
        if (named) {
            const int n = namedNumber;
            const auto unused = comport::unused(catalog->valueTexts().value_or(QStringList()));
            const auto same = std::find_if(unused.cbegin(), unused.cend(),
                                           [n](const comport::Unused &u) { return comport::number(u.value, comport::Match::AtEnd) == n; });
            if (same != unused.cend()) {
                *failure = Outcome::failed(QStringLiteral("Порт COM%1 есть, но не используется: %2.").arg(n).arg(same->reason),
                                           portnotes::noPortsAdvice(*catalog));
                return InstrumentMode::None;
            }
            if (!listed.contains(n)) {
                QStringList names;
                for (int k : listed)
                    names << QStringLiteral("COM%1").arg(k);
                *failure = Outcome::failed(QStringLiteral("Порт COM%1 не найден (есть: %2).").arg(n).arg(names.join(QStringLiteral(", "))),
                                           kNoPortAdvice);
                return InstrumentMode::None;
            }
            candidates << n;
        } else {
            candidates = listed;
        }
    } else {
        catalog = std::make_unique<SinglePortCatalog>(m_options.port);
        candidates << 1;
    }
    PortCatalog &ports = *catalog;
    m_link = std::make_unique<InstrumentLink>(status, std::move(catalog), meteredDeviceFactory(meter));
    InstrumentLink &link = *m_link;
    // The bytes of each exchange are counted for its journal entry, as in the window.
    link.setLineMonitor(m_reporter.lineMonitor());
    link.stopPortSearch();
    link.setBaudIndex(m_options.baudIndex);
    // The instrument's longest silence within an exchange is the command's --timeout.
    link.setIdleTimeout(m_options.timeoutMs);

    QStringList problems;
    std::optional<OpenErrorKind> openedNone; // every port tried failed to open: the first cause
    // Without a port named, a job that changes the instrument must not pick one of several
    // instruments by chance: every listed port is probed, and more than one answering refuses.
    const bool askEvery = onlyOne && m_options.port.isEmpty() && candidates.size() > 1;
    QList<int> answering;
    enum class Probe { Answered, Silent, Interrupted };
    auto probe = [&](int n) {
        const QString name = m_options.port.isEmpty() || named ? QStringLiteral("COM%1").arg(n) : m_options.port;
        if (!link.openPort(n)) {
            problems << describeOpenFailure(link.lastOpenFailure());
            if (problems.size() == 1)
                openedNone = link.lastOpenFailure().kind;
            return Probe::Silent;
        }
        bool answered = false;
        const auto watch = connect(&link, &InstrumentLink::linkChanged, this, [&] {
            if (link.instrumentWorking() || link.instrumentInLoader())
                answered = true;
        });
        // The program's own link check: the chosen port is kept, the line set, the input
        // flushed, the probe "l" sent.
        link.PortSearchTick();
        const End end = wait([&] { return answered; }, {}, 0, std::min(m_options.timeoutMs, 3000));
        disconnect(watch);
        if (answered && link.line().CommPort() == n && link.portOpen()) {
            m_portName = name;
            m_device = ports.devicePath(n);
            return Probe::Answered;
        }
        if (end == End::Interrupted)
            return Probe::Interrupted;
        problems << QStringLiteral("%1: прибор не ответил").arg(name);
        openedNone.reset();
        meter.clearLost();
        return Probe::Silent;
    };
    auto found = [&] {
        // From here on the link looks at this port alone: no answer from another may stand for it.
        link.bindPort(link.line().CommPort());
        return link.instrumentInLoader() ? InstrumentMode::Loader : InstrumentMode::Working;
    };
    for (int n : candidates) {
        const Probe p = probe(n);
        if (p == Probe::Interrupted) {
            *failure = interruptedFailure(QStringLiteral("Поиск прибора прерван."));
            return InstrumentMode::None;
        }
        if (p != Probe::Answered)
            continue;
        if (!askEvery)
            return found();
        answering << n;
    }
    if (answering.size() > 1) {
        link.closePort();
        QStringList names;
        QJsonArray list;
        for (int n : answering) {
            names << QStringLiteral("COM%1").arg(n);
            list.append(names.last());
        }
        m_portName.clear();
        m_device.clear();
        *failure = Outcome::usage(QStringLiteral("Прибор отвечает на нескольких портах: %1; какой из них менять, не указано.")
                                      .arg(names.join(QStringLiteral(", "))));
        failure->advice = QStringLiteral("Укажите порт: --port %1 (или другой из них).").arg(names.first());
        failure->fields.insert(QStringLiteral("answeringPorts"), list);
        return InstrumentMode::None;
    }
    if (answering.size() == 1 && probe(answering.first()) == Probe::Answered)
        return found();
    link.closePort();
    if (openedNone) {
        *failure = Outcome::failed(QStringLiteral("Порт не открывается (%1).").arg(problems.join(QStringLiteral("; "))),
                                   portnotes::openFailureAdvice(*openedNone));
        return InstrumentMode::None;
    }
    *failure = Outcome::failed(QStringLiteral("Прибор не отвечает (%1).").arg(problems.join(QStringLiteral("; "))),
                               QStringLiteral("Включите прибор, проверьте кабель и скорость (--baud); укажите порт: --port COM<n>."));
    return InstrumentMode::None;
}

std::optional<Outcome> InstrumentSession::requireWorking(bool onlyOne)
{
    Outcome failure;
    switch (findInstrument(&failure, onlyOne)) {
    case InstrumentMode::Working:
        return std::nullopt;
    case InstrumentMode::Loader:
        failure = Outcome::failed(QStringLiteral("Прибор в режиме перепрограммирования. Порт %1.").arg(m_portName),
                                  QStringLiteral("Выключите прибор и включите его обычным образом (не касаясь экрана указкой)."));
        break;
    case InstrumentMode::None:
        break;
    }
    addPortFields(failure);
    return failure;
}

void InstrumentSession::lookForVanishedDevice(QElapsedTimer &sinceLook)
{
#ifndef Q_OS_WIN
    // A pseudo-terminal whose peer has gone, or a USB adapter pulled out, shows only at the next
    // write; its device file is gone at once. An address on the network has no file: a dropped
    // connection is told by the socket itself.
    if (m_device.isEmpty() || NetworkAddress::looksLikeOne(m_device) || sinceLook.elapsed() < 200)
        return;
    sinceLook.restart();
    if (!QFileInfo::exists(m_device))
        meter.markLost(QStringLiteral("устройство %1 исчезло").arg(m_device));
#else
    Q_UNUSED(sinceLook);
#endif
}

InstrumentSession::End InstrumentSession::wait(const std::function<bool()> &done, const std::function<Progress()> &progress,
                                               int silenceMs, int limitMs, bool portLossEnds)
{
    QElapsedTimer clock;
    clock.start();
    meter.restartSilence();
    QEventLoop loop;
    bool finished = false;
    End end = End::Done;
    QElapsedTimer sinceLook;
    sinceLook.start();
    auto check = [&] {
        if (finished)
            return;
        if (portLossEnds)
            lookForVanishedDevice(sinceLook);
        std::optional<End> result;
        if (done())
            result = End::Done;
        else if (interruptRequested())
            result = End::Interrupted;
        else if (portLossEnds && meter.lost())
            result = End::PortLost;
        else if (silenceMs > 0 && meter.msSinceReceived() > silenceMs)
            result = End::Silent;
        else if (limitMs > 0 && clock.elapsed() > limitMs)
            result = End::TimeLimit;
        if (progress) {
            const Progress p = progress();
            m_bar.update(p.bytes, result == End::Done ? 1.0 : p.fraction);
        }
        if (result) {
            finished = true;
            end = *result;
            loop.quit();
        }
    };
    check();
    if (finished)
        return end;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, &loop, check);
    connect(&meter, &LineMeter::portLost, &loop, check);
    poll.start();
    loop.exec();
    return end;
}

Outcome InstrumentSession::silentFailure(const QString &what) const
{
    Outcome o = Outcome::failed(QStringLiteral("%1: прибор молчит дольше %2 с.").arg(what).arg(m_options.timeoutMs / 1000.0),
                                QStringLiteral("Проверьте, что прибор включён в рабочем режиме и не занят измерением, и повторите."));
    addPortFields(o);
    return o;
}

Outcome InstrumentSession::portLostFailure(const QString &what) const
{
    Outcome o = Outcome::failed(QStringLiteral("%1: связь потеряна (%2).").arg(what, meter.lostReason()),
                                QStringLiteral("Проверьте кабель и питание прибора и повторите."));
    addPortFields(o);
    return o;
}

Outcome InstrumentSession::interruptedFailure(const QString &what) const
{
    Outcome o = Outcome::failed(what + QStringLiteral(" Прервано (Ctrl-C)."));
    addPortFields(o);
    return o;
}

JobOutcome InstrumentSession::runOperation(InstrumentOperation &operation, const std::function<void()> &start,
                                          const std::function<Progress()> &progress)
{
    if (!m_portName.isEmpty())
        operation.setPortName(m_portName);
    bool ended = false;
    JobOutcome outcome;
    const auto onEnd = connect(&operation, &InstrumentOperation::finished, this, [&](const JobOutcome &o) {
        ended = true;
        outcome = o;
    });
    const auto onHeld = connect(&operation, &InstrumentOperation::stopWasHeld, this, [&] {
        m_bar.finish();
        std::fputs(qPrintable(QStringLiteral("kviro-cli: %1 — этот этап прерывать нельзя; работа остановится, когда он "
                                             "закончится. Повторное Ctrl-C прервёт её сразу.\n")
                                  .arg(operation.jobName())),
                   stderr);
        std::fflush(stderr);
    });
    const int interruptsBefore = interruptCount();
    start();
    int acted = interruptsBefore;
    QEventLoop loop;
    QElapsedTimer sinceLook;
    sinceLook.start();
    auto check = [&] {
        if (!ended)
            lookForVanishedDevice(sinceLook);
        const int interrupts = interruptCount();
        if (!ended && interrupts > acted) {
            acted = interrupts;
            if (interrupts - interruptsBefore >= 2 || operation.stopHeld())
                operation.forceStop();
            else
                operation.requestStop();
        }
        if (progress) {
            const Progress p = progress();
            m_bar.update(p.bytes, ended && outcome.ok() ? 1.0 : p.fraction);
        }
        if (ended)
            loop.quit();
    };
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, &loop, check);
    connect(&operation, &InstrumentOperation::finished, &loop, check, Qt::QueuedConnection);
    if (!ended) {
        poll.start();
        loop.exec();
    }
    disconnect(onEnd);
    disconnect(onHeld);
    m_bar.finish();
    return outcome;
}

Outcome InstrumentSession::outcomeOf(const JobOutcome &job) const
{
    Outcome o = job.ok() ? Outcome{} : Outcome::failed(job.text, job.nextStep);
    o.summary = job.text;
    if (!m_portName.isEmpty() && !o.summary.contains(m_portName))
        o.summary += QStringLiteral(" Порт %1.").arg(m_portName);
    o.fields.insert(QStringLiteral("outcome"), JobOutcome::kindName(job.kind));
    if (!job.pages.isEmpty()) {
        QJsonArray pages;
        for (int p : job.pages)
            pages.append(p);
        o.fields.insert(QStringLiteral("differingPages"), pages);
    }
    if (!job.backup.isEmpty())
        o.fields.insert(QStringLiteral("backup"), job.backup);
    if (job.mayBeIncomplete)
        o.fields.insert(QStringLiteral("mayBeIncomplete"), true);
    addPortFields(o);
    return o;
}
