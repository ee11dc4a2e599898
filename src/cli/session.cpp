#include "cli/session.h"

#include "core/files.h"
#include "link/instrumentlink.h"
#include "link/networkaddress.h"
#include "link/portcatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <cstdlib>

namespace {
volatile std::sig_atomic_t g_interrupts = 0;

extern "C" void onInterrupt(int)
{
    if (g_interrupts > 0)
        std::_Exit(exitcode::Failed); // asked twice: no clean end is wanted any more
    g_interrupts = 1;
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
    static const QRegularExpression com(QStringLiteral("COM([0-9]{1,9})$"));
    for (const QString &value : catalog.valueTexts().value_or(QStringList())) {
        const auto m = com.match(value);
        const int n = m.hasMatch() ? m.captured(1).toInt() : 0;
        if (n >= 1 && n <= 16)
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

bool CliDialogs::warnYesNo(const QString &, const QString &text)
{
    lastWarning = text;
    return confirm;
}

void CliDialogs::showError(const QString &, const QString &text)
{
    lastError = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

void installInterruptHandler()
{
    std::signal(SIGINT, onInterrupt);
#ifdef SIGTERM
    std::signal(SIGTERM, onInterrupt);
#endif
}

bool interruptRequested() { return g_interrupts > 0; }

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
        m_link->serial.setMonitor(nullptr);
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

InstrumentMode InstrumentSession::findInstrument(Outcome *failure)
{
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]{1,9})$"), QRegularExpression::CaseInsensitiveOption);
    std::unique_ptr<PortCatalog> catalog;
    QList<int> candidates;
    const auto named = comName.match(m_options.port);
    if (m_options.port.isEmpty() || named.hasMatch()) {
        catalog = makePortCatalogFromEnvironment();
        const QList<int> listed = listedNumbers(*catalog);
        if (listed.isEmpty()) {
            *failure = Outcome::failed(QStringLiteral("COM-порты не найдены."), kNoPortAdvice);
            return InstrumentMode::None;
        }
        if (named.hasMatch()) {
            const int n = named.captured(1).toInt();
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
    link.serial.setMonitor(m_reporter.lineMonitor());
    link.stopPortSearch();
    link.BaudIndex = m_options.baudIndex;
    link.setBaudSettings();

    QStringList problems;
    for (int n : candidates) {
        const QString name = m_options.port.isEmpty() || named.hasMatch() ? QStringLiteral("COM%1").arg(n) : m_options.port;
        (void)link.serial.setPortOpen(false);
        link.serial.setCommPort(n);
        if (!link.serial.setPortOpen(true)) {
            problems << describeOpenFailure(link.serial.lastOpenFailure());
            continue;
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
        if (answered && link.serial.CommPort() == n && link.portOpen()) {
            m_portName = name;
            m_device = ports.devicePath(n);
            return link.instrumentInLoader() ? InstrumentMode::Loader : InstrumentMode::Working;
        }
        if (end == End::Interrupted) {
            *failure = interruptedFailure(QStringLiteral("Поиск прибора прерван."));
            return InstrumentMode::None;
        }
        problems << QStringLiteral("%1: прибор не ответил").arg(name);
        meter.clearLost();
    }
    (void)link.serial.setPortOpen(false);
    *failure = Outcome::failed(QStringLiteral("Прибор не отвечает (%1).").arg(problems.join(QStringLiteral("; "))),
                               QStringLiteral("Включите прибор, проверьте кабель и скорость (--baud); укажите порт: --port COM<n>."));
    return InstrumentMode::None;
}

std::optional<Outcome> InstrumentSession::requireWorking()
{
    Outcome failure;
    switch (findInstrument(&failure)) {
    case InstrumentMode::Working:
        return std::nullopt;
    case InstrumentMode::Loader:
        failure = Outcome::failed(QStringLiteral("Прибор в режиме перепрограммирования."),
                                  QStringLiteral("Выключите прибор и включите его обычным образом (не касаясь экрана указкой)."));
        break;
    case InstrumentMode::None:
        break;
    }
    addPortFields(failure);
    return failure;
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
#ifndef Q_OS_WIN
        // A pseudo-terminal whose peer has gone, or a USB adapter pulled out, shows only at the
        // next write; its device file is gone at once.
        if (portLossEnds && !m_device.isEmpty() && !NetworkAddress::looksLikeOne(m_device) && sinceLook.elapsed() >= 200) {
            sinceLook.restart();
            if (!QFileInfo::exists(m_device))
                meter.markLost(QStringLiteral("устройство %1 исчезло").arg(m_device));
        }
#endif
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
