#pragma once
// Debian's ser2net in front of a serial device (the virtual instrument's pseudo-terminal), on
// 127.0.0.1 and a free TCP port, with its configuration in a temporary folder. Accepts either
// the bytes as they are or Telnet with the COM port control option.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Ser2netRig {
public:
    enum class Accepter { RawTcp, Rfc2217 };
    Ser2netRig() = default;
    ~Ser2netRig() { stop(); }

    // Whether ser2net is installed; when not, why (for a visible skip).
    static bool available(QString *why);
    // Starts ser2net for the device; false with the reason in error() when it does not serve.
    bool start(const QString &device, Accepter accepter);
    // Stops it (a server that goes away); start() again brings it back on the same TCP port.
    void stop();
    bool running() const { return m_process.state() == QProcess::Running; }
    QString address() const; // tcp://127.0.0.1:PORT or rfc2217://127.0.0.1:PORT
    quint16 port() const { return m_port; }
    const QString &error() const { return m_error; }

private:
    bool launch();
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_device;
    Accepter m_accepter = Accepter::RawTcp;
    quint16 m_port = 0;
    QString m_error;
};
