#pragma once
// The virtual СОРВИНТ: the instrument logic on a pseudo-terminal port, with its switch, its knobs
// and a line-command control interface. Tests drive it in-process; kviro-sim is a thin shell.
#include "sim/instrumentcore.h"
#include "sim/ptyport.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class ReaderSim;
class BdtsSim;
class BootSim;

class VirtualInstrument : public QObject {
    Q_OBJECT
public:
    VirtualInstrument(const QString &portFolder, int comNumber, QObject *parent = nullptr);
    ~VirtualInstrument() override;

    // Switches the instrument on: its port appears and it answers in the given mode.
    bool powerOn(InstrumentCore::Mode mode = InstrumentCore::Mode::Working);
    // Switches it off: the port vanishes, unless it stays (see setPortStaysWhenOff).
    void powerOff();
    bool isOn() const { return m_on; }
    // A port that stays listed and open while the instrument is off (a serial port built into
    // the PC rather than the instrument's USB adapter): the instrument then only falls silent.
    void setPortStaysWhenOff(bool stays) { m_portStays = stays; }
    bool portStaysWhenOff() const { return m_portStays; }

    // A lone "B" (link signal), or any bytes as they stand.
    void sendLinkSignal() { m_core.send(QByteArrayLiteral("B")); }
    void sendRaw(const QByteArray &bytes) { m_core.send(bytes); }

    // Switches itself off in the middle of its answer to the command letter: the first replyBytes
    // bytes of the reply go out, the rest never does, and the port vanishes (once, for the next
    // such command). A letter of 0 disarms it.
    void vanishDuringReply(char letter, int replyBytes);

    // Sends bytes (a notice, noise) right behind its reply to the nth next command letter, in the
    // same write, once. A letter of 0 disarms it.
    void sendBehindReply(char letter, const QByteArray &bytes, int nth = 1);

    InstrumentCore &core() { return m_core; }
    PtyPort &port() { return m_port; }

    // Features of the instrument (each lives in its own file).
    ReaderSim &reader() { return *m_reader; }
    BdtsSim &bdts() { return *m_bdts; }
    BootSim &boot() { return *m_boot; }

    // Control interface: one command per line ("help" lists them). Returns the answer text.
    using Verb = std::function<QString(const QStringList &args)>;
    void addVerb(const QString &name, const QString &help, Verb verb);
    QString control(const QString &line);

private:
    struct VerbEntry {
        QString help;
        Verb run;
    };
    void forward(const QByteArray &bytes);

    InstrumentCore m_core;
    PtyPort m_port;
    char m_vanishLetter = 0;
    int m_vanishAfter = 0;
    bool m_vanishArmed = false; // the command was seen: its reply is cut
    char m_behindLetter = 0;
    int m_behindCountdown = 0;
    QByteArray m_behindBytes;
    char m_lastCommand = 0; // the command the next reply answers
    std::map<QString, VerbEntry> m_verbs;
    std::unique_ptr<ReaderSim> m_reader;
    std::unique_ptr<BdtsSim> m_bdts;
    std::unique_ptr<BootSim> m_boot;
    bool m_on = false;
    bool m_portStays = false;
};
