#pragma once
// The instrument link: the port search and 500 ms link check, the command sender, the receive
// buffer and the one receive dispatcher through which every reply passes. Features plug their
// reply branches in with registerBranch(); nothing here knows what 'D' or 'r' mean.
#include "core/status.h"
#include "link/portcatalog.h"
#include "link/tmscomm.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QStringListModel>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>

// What the port strip shows; the widgets bind to it.
struct PortStrip {
    QStringListModel items;                  // mirrors PortNumbers
    QStringList itemHints;                   // device and any open problem, per item
    int portIndex = -1;                      // selected item of cbxNumPort, -1 = none ("нет")
    int baudIndex = -1;                      // selected item of cbBaudRate, -1 = none ("нет")
    QString paramText = QStringLiteral("параметры не определены");
    QString problem;                         // why the chosen port cannot be opened, if it cannot
};

class InstrumentLink : public QObject {
    Q_OBJECT
public:
    InstrumentLink(StatusModel &status, std::unique_ptr<PortCatalog> catalog, SerialDeviceFactory factory = {},
                   QObject *parent = nullptr);
private:
    std::unique_ptr<PortCatalog> m_catalog; // first: MSComm1 below is built on it
public:
    ~InstrumentLink() override;

    static const QStringList BaudRates;

    // ---- receive side and commands
    QByteArray RxBuffer;
    int ReplyLen = 0;
    bool InstrumentWorking = false;
    bool InstrumentInLoader = false;

    // One write of the 8-bit text, nothing added. False when the port is closed or refuses it.
    bool SendCommand(const QByteArray &text);
    // The receive handler, bound to MSComm1's OnComm.
    void MSComm1Comm();

    // A branch runs when RxBuffer begins with its tag and no further byte is waiting. It either
    // consumes the reply (and empties RxBuffer) or returns leaving RxBuffer untouched.
    using Branch = std::function<void()>;
    void registerBranch(char tag, Branch branch);

    // ---- port selection and link check
    int CurrentPort = 0;
    int BaudIndex = 5;
    QStringList PortNumbers;
    int ProbeOnOpen = 1;

    int ScanPorts();
    int OpenChosenPort();
    void PortSearchTick();
    void DefSetComm_TimerTimer() { PortSearchTick(); }
    void FlushInput();

    void cbxNumPortChange(int index);
    void cbBaudRateChange(int index);
    void cbxNumPortDropDown();
    void cbxNumPortCloseUp();

    // Exchanges stop the link check for their duration and start it again at their end.
    void stopPortSearch() { DefSetComm_Timer.stop(); }
    void startPortSearch() { DefSetComm_Timer.start(); }
    bool portSearchRunning() const { return DefSetComm_Timer.isActive(); }
    // A one-way stream that a probe must never interrupt (the firmware image) holds the port
    // search: closing the port list then leaves it stopped.
    void holdPortSearch(bool hold) { m_searchHeld = hold; }
    bool portSearchHeld() const { return m_searchHeld; }

    // The link indicator sbtnCommON: enabled = the instrument has answered.
    bool linkOn() const { return m_linkOn; }
    void setLinkOn(bool on);

    bool portOpen() const { return MSComm1.PortOpen(); }
    void setBaudSettings(); // Settings := BaudRates[BaudIndex] + ",n,8,1"
    QString settingsText() const { return BaudRates.value(BaudIndex) + QStringLiteral(",n,8,1"); }

    TMSComm MSComm1;
    QTimer DefSetComm_Timer;
    PortStrip strip;
    StatusModel &status;

signals:
    // End of every PortSearchTick: the main window runs UpdateLinkState.
    void tickFinished();
    void linkChanged();
    void stripChanged();
    // The instrument answered the probe ("L" or "l"); the mode flags are already set.
    void probeAnswered();

private:
    void setPortItems(const QStringList &numbers);
    void selectPortItem(int index);
    void applyLineAfterOpen(); // Settings, baud text, parameters label
    void discardWaiting();     // Input read and dropped, RxBuffer emptied, InBufferCount 0
    bool tryOpen();
    void notePortProblem();

    std::array<Branch, 256> m_branches{};
    bool m_linkOn = false;
    bool m_searchHeld = false;
};
