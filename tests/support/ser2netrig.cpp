#include "support/ser2netrig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {
QString ser2netPath()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
} // namespace

bool Ser2netRig::available(QString *why)
{
    if (!ser2netPath().isEmpty())
        return true;
    if (why)
        *why = QStringLiteral("ser2net is not installed (scripts/setup.sh installs it)");
    return false;
}

QString Ser2netRig::address() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_accepter == Accepter::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp")).arg(m_port);
}

bool Ser2netRig::start(const QString &device, Accepter accepter)
{
    m_device = device;
    m_accepter = accepter;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (m_port == 0 || attempt > 0)
            m_port = freePort();
        if (m_port != 0 && launch())
            return true;
    }
    return false;
}

bool Ser2netRig::launch()
{
    stop();
    const QString accepter = QStringLiteral("%1tcp(nodelay),127.0.0.1,%2").arg(m_accepter == Accepter::Rfc2217 ? QStringLiteral("telnet(rfc2217),") : QString()).arg(m_port);
    const QString config = QStringLiteral("%YAML 1.1\n---\nconnection: &instrument\n"
                                          "  accepter: %1\n"
                                          "  connector: serialdev,%2,115200n81,local\n"
                                          "  options:\n"
                                          "    kickolduser: true\n"
                                          "    chardelay: false\n")
                               .arg(accepter, m_device);
    const QString configPath = QDir(m_dir.path()).filePath(QStringLiteral("ser2net.yaml"));
    QFile f(configPath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(config.toUtf8()) != config.toUtf8().size()) {
        m_error = QStringLiteral("cannot write %1").arg(configPath);
        return false;
    }
    f.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(ser2netPath(), {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), configPath, QStringLiteral("-P"),
                                    QDir(m_dir.path()).filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("ser2net does not start: %1").arg(m_process.errorString());
        return false;
    }
    // Serving once a connection is accepted; the probe connection is closed at once.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000 && m_process.state() == QProcess::Running) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_port);
        if (s.waitForConnected(200)) {
            s.abort();
            QTest::qWait(50);
            return true;
        }
        QTest::qWait(50);
    }
    m_error = QStringLiteral("ser2net does not serve on port %1: %2").arg(m_port).arg(QString::fromLocal8Bit(m_process.readAll()));
    stop();
    return false;
}

void Ser2netRig::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
