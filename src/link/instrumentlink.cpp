#include "link/instrumentlink.h"

#include <QRegularExpression>

const QStringList InstrumentLink::BaudRates = {QStringLiteral("4800"),  QStringLiteral("9600"),
                                               QStringLiteral("19200"), QStringLiteral("38400"),
                                               QStringLiteral("57600"), QStringLiteral("115200")};

InstrumentLink::InstrumentLink(StatusModel &statusModel, std::unique_ptr<PortCatalog> catalog,
                               SerialDeviceFactory factory, QObject *parent)
    : QObject(parent), m_catalog(std::move(catalog)), MSComm1(*m_catalog, std::move(factory)), status(statusModel)
{
    DefSetComm_Timer.setInterval(500);
    connect(&DefSetComm_Timer, &QTimer::timeout, this, &InstrumentLink::DefSetComm_TimerTimer);
    connect(&MSComm1, &TMSComm::OnComm, this, &InstrumentLink::MSComm1Comm);

    // The link's own three answers.
    registerBranch('B', [this] {
        ReplyLen = int(RxBuffer.size());
        if (ReplyLen == 1) {
            setLinkOn(true);
            RxBuffer.clear();
        }
    });
    registerBranch('L', [this] {
        ReplyLen = int(RxBuffer.size());
        setLinkOn(true);
        InstrumentInLoader = false;
        InstrumentWorking = true;
        RxBuffer.clear();
        emit linkChanged();
        emit probeAnswered();
    });
    registerBranch('l', [this] {
        setLinkOn(true);
        InstrumentInLoader = true;
        InstrumentWorking = false;
        RxBuffer.clear();
        emit linkChanged();
        emit probeAnswered();
    });
}

InstrumentLink::~InstrumentLink() { DefSetComm_Timer.stop(); }

void InstrumentLink::registerBranch(char tag, Branch branch) { m_branches[static_cast<unsigned char>(tag)] = std::move(branch); }

bool InstrumentLink::SendCommand(const QByteArray &text) { return MSComm1.setOutput(text); }

void InstrumentLink::MSComm1Comm()
{
    if (MSComm1.InBufferCount() == 0)
        return;
    const QByteArray got = MSComm1.Input();
    if (got.isEmpty())
        RxBuffer.append('\0');
    else
        RxBuffer.append(got);
    if (MSComm1.InBufferCount() != 0)
        return; // more is on its way: dispatch at a later notification
    if (RxBuffer.isEmpty())
        return;
    const Branch &branch = m_branches[static_cast<unsigned char>(RxBuffer.at(0))];
    if (branch)
        branch();
}

void InstrumentLink::setLinkOn(bool on)
{
    if (m_linkOn == on)
        return;
    m_linkOn = on;
    emit linkChanged();
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
        if (MSComm1.PortOpen())
            (void)MSComm1.setPortOpen(false);
        setLinkOn(false);
    } else {
        for (const QString &value : *values) {
            const int n = numberAfterCom(value);
            if (n >= 1 && n <= 16)
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
        if (PortNumbers.at(i).toInt() == MSComm1.CommPort()) {
            if (!MSComm1.PortOpen() && !tryOpen())
                return 0;
            chosen = i;
            break;
        }
    }
    if (chosen < 0) {
        const int n = PortNumbers.first().toInt();
        if (!MSComm1.PortOpen()) {
            MSComm1.setCommPort(n);
            if (!tryOpen())
                return 0;
        } else {
            // Open on a port that is no longer listed: move to the first listed one.
            (void)MSComm1.setPortOpen(false);
            MSComm1.setCommPort(n);
            if (!tryOpen()) {
                status.setText(QStringLiteral("Ошибка определения активного порта"));
                return n;
            }
        }
        chosen = 0;
    }
    selectPortItem(chosen);
    CurrentPort = MSComm1.CommPort();
    applyLineAfterOpen();
    discardWaiting();
    if (ProbeOnOpen == 1)
        SendCommand(QByteArrayLiteral("l"));
    return MSComm1.CommPort();
}

void InstrumentLink::PortSearchTick()
{
    const int count = ScanPorts();
    if (count <= 0) {
        setLinkOn(false);
        InstrumentInLoader = false;
        InstrumentWorking = false;
        if (MSComm1.PortOpen())
            (void)MSComm1.setPortOpen(false);
        emit linkChanged();
    } else if (!MSComm1.PortOpen()) {
        if (CurrentPort > 0) {
            if (MSComm1.CommPort() != CurrentPort)
                MSComm1.setCommPort(CurrentPort);
            tryOpen();
            if (MSComm1.PortOpen()) {
                selectPortItem(int(PortNumbers.indexOf(QString::number(CurrentPort))));
                applyLineAfterOpen();
                discardWaiting();
                SendCommand(QByteArrayLiteral("l"));
            }
        } else {
            for (int k = 0; k < PortNumbers.size(); ++k) {
                const int n = PortNumbers.at(k).toInt();
                if (MSComm1.CommPort() != n)
                    MSComm1.setCommPort(n);
                if (!tryOpen())
                    continue;
                selectPortItem(k);
                CurrentPort = MSComm1.CommPort();
                applyLineAfterOpen();
                discardWaiting();
                SendCommand(QByteArrayLiteral("l"));
                break;
            }
        }
    }
    emit tickFinished();
}

void InstrumentLink::FlushInput()
{
    if (m_linkOn && MSComm1.PortOpen())
        discardWaiting();
}

void InstrumentLink::cbxNumPortChange(int index)
{
    if (index < 0 || strip.items.rowCount() == 0 || index >= PortNumbers.size())
        return;
    if (MSComm1.PortOpen())
        (void)MSComm1.setPortOpen(false);
    const int n = PortNumbers.at(index).toInt();
    if (MSComm1.CommPort() != n)
        MSComm1.setCommPort(n);
    if (!tryOpen())
        setLinkOn(false);
    if (MSComm1.PortOpen()) {
        CurrentPort = MSComm1.CommPort();
        setBaudSettings();
        strip.paramText = QStringLiteral("Параметры: ") + MSComm1.Settings();
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

void InstrumentLink::cbxNumPortDropDown() { DefSetComm_Timer.stop(); }
void InstrumentLink::cbxNumPortCloseUp()
{
    if (!m_searchHeld)
        DefSetComm_Timer.start();
}

void InstrumentLink::setBaudSettings() { MSComm1.setSettings(settingsText()); }

void InstrumentLink::applyLineAfterOpen()
{
    setBaudSettings();
    strip.baudIndex = BaudIndex;
    strip.paramText = QStringLiteral("Параметры: ") + MSComm1.Settings();
    emit stripChanged();
}

void InstrumentLink::discardWaiting()
{
    (void)MSComm1.Input();
    RxBuffer.clear();
    MSComm1.setInBufferCount(0);
}

void InstrumentLink::setPortItems(const QStringList &numbers)
{
    QStringList hints;
    for (const QString &n : numbers) {
        QString hint = m_catalog->devicePath(n.toInt());
        if (n.toInt() == MSComm1.CommPort() && !strip.problem.isEmpty())
            hint += QLatin1Char('\n') + strip.problem;
        hints << hint;
    }
    const bool same = strip.items.stringList() == numbers && strip.itemHints == hints;
    if (same)
        return;
    strip.items.setStringList(numbers);
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
    if (MSComm1.setPortOpen(true)) {
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
    const QString text = describeOpenFailure(MSComm1.lastOpenFailure());
    if (text != strip.problem) {
        strip.problem = text;
        emit stripChanged();
    }
}
