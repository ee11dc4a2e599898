// kviro-cli with its port on the network: Debian's ser2net on 127.0.0.1 in front of the virtual
// instrument (its own process) on a line that carries 11520 bytes per second (115200 baud, 8N1):
//   bench_network [--rate BYTES_PER_S] [--pages N]
// db-read of a 999-page database through a raw TCP accepter and through telnet(rfc2217): from the
// start of the command to its exit, against the line's own time for the probe, "R", its reply,
// and "r" with a page reply per page. Target: under 1.03 of the line's time, the program's start-up
// (kviro-cli --version) told apart as in bench_cli. ser2net is set up as
// the README advises for an instrument: no Nagle delay on its TCP side and no wait for more
// characters before it forwards what the instrument sent (each costs milliseconds per page).
// Without ser2net it says so and ends without figures.
#include "bench/benchwait.h"
#include "bdts/bdtsgen.h"
#include "core/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>

namespace {
struct Process {
    QProcess process;
    QByteArray out;
    Process()
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { out += process.readAllStandardOutput(); });
    }
    ~Process()
    {
        process.closeWriteChannel();
        process.terminate();
        process.waitForFinished(3000);
    }
};

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool startSer2net(Process &p, const QString &ser2net, const QString &folder, const QString &device, const QString &accepter)
{
    const QString config = QDir(folder).filePath(QStringLiteral("ser2net.yaml"));
    files::writeWhole(config, QStringLiteral("%YAML 1.1\n---\nconnection: &instrument\n  accepter: %1\n"
                                             "  connector: serialdev,%2,115200n81,local\n"
                                             "  options:\n    chardelay: false\n")
                                  .arg(accepter, device)
                                  .toUtf8());
    p.process.start(ser2net, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), config, QStringLiteral("-P"),
                              QDir(folder).filePath(QStringLiteral("ser2net.pid"))});
    return p.process.waitForStarted(5000);
}

bool serving(quint16 port)
{
    return waitFor(
        [&] {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            return s.waitForConnected(100);
        },
        5000);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rate = 11520, pages = 999;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rate"))
            rate = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--pages"))
            pages = std::clamp(args.at(++i).toInt(), 2, 999);
    }
    QString ser2net = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (ser2net.isEmpty())
        ser2net = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin")});
    if (ser2net.isEmpty()) {
        std::printf("bench_network: ser2net is not installed; nothing measured\n");
        return 0;
    }
    QTemporaryDir ports, work, noPorts;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KVIRO_SERIALCOMM"), noPorts.path());
    bdts::GenOptions o;
    o.seed = 99;
    o.targetPages = pages;
    const QString database = work.filePath(QStringLiteral("sim.bdts"));
    files::writeWhole(database, bdts::generateImage(o));
    std::printf("kviro-cli through ser2net at %d bytes/s\n", rate);
    const double startS = startUpSeconds(QStringLiteral(KVIRO_CLI_PATH));
    std::printf("%-36s %.3f s\n", "start-up (--version)", startS);

    int failures = 0;
    for (const bool telnet : {false, true}) {
        Process sim;
        sim.process.start(QStringLiteral(KVIRO_SIM_PATH), {QStringLiteral("--folder"), ports.path(), QStringLiteral("--com"), QStringLiteral("3"),
                                                            QStringLiteral("--rate"), QString::number(rate), QStringLiteral("--database"), database});
        if (!waitFor([&] { return sim.out.contains("kviro-sim: COM3"); }, 10000)) {
            std::fprintf(stderr, "the virtual instrument did not start\n");
            return 1;
        }
        const quint16 port = freePort();
        Process server;
        const QString accepter = QStringLiteral("%1tcp(nodelay),127.0.0.1,%2").arg(telnet ? QStringLiteral("telnet(rfc2217),") : QString()).arg(port);
        if (!startSer2net(server, ser2net, work.path(), ports.filePath(QStringLiteral("COM3")), accepter) || !serving(port)) {
            std::fprintf(stderr, "ser2net does not serve: %s\n", server.out.constData());
            return 1;
        }
        const QString address = QStringLiteral("%1://127.0.0.1:%2").arg(telnet ? QStringLiteral("rfc2217") : QStringLiteral("tcp")).arg(port);
        QProcess cli;
        cli.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(KVIRO_CLI_PATH), {QStringLiteral("db-read"), work.filePath(QStringLiteral("read.bdts")), QStringLiteral("--port"),
                                                   address, QStringLiteral("--work-dir"), work.path()});
        waitFor([&] { return cli.state() == QProcess::NotRunning; }, 3600 * 1000);
        const double wall = clock.nsecsElapsed() / 1e9;
        const bool ok = cli.exitCode() == 0;
        if (!ok)
            std::fprintf(stderr, "%s", cli.readAllStandardError().constData());
        const qint64 lineBytes = 2 + 1 + 5 + qint64(pages) * (1 + 514); // probe, "R", its reply, then "r" and a page per page
        const double lineS = double(lineBytes) / rate;
        const double ownS = wall - startS;
        std::printf("%-36s wall %8.3f s  line %8.3f s  ratio %.4f; without the start-up ratio %.4f  %s\n",
                    qPrintable(QStringLiteral("db-read %1, %2 pages").arg(telnet ? QStringLiteral("rfc2217") : QStringLiteral("raw tcp")).arg(pages)),
                    wall, lineS, wall / lineS, ownS / lineS, !ok ? "FAILED" : ownS / lineS < 1.03 ? "ok (< 1.03)" : "OVER 1.03");
        failures += ok ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
