// kviro-sim: the virtual СОРВИНТ on a pseudo-terminal.
//   kviro-sim [--folder DIR] [--com N] [--loader] [--chunk BYTES MS] [--rate BPS] [--database FILE]
//             [--do "COMMAND"]...
// It publishes DIR/COM<N> (default: $KVIRO_SERIALCOMM or /tmp/kviro-ports, COM3) and reads
// control commands, one per line, on standard input ("help" lists them).
#include "sim/virtualinstrument.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString folder = qEnvironmentVariable("KVIRO_SERIALCOMM", QStringLiteral("/tmp/kviro-ports"));
    int com = 3;
    QStringList startup;
    const QStringList args = app.arguments();
    bool loader = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--folder") && i + 1 < args.size())
            folder = args.at(++i);
        else if (a == QLatin1String("--com") && i + 1 < args.size())
            com = args.at(++i).toInt();
        else if (a == QLatin1String("--loader"))
            loader = true;
        else if (a == QLatin1String("--chunk") && i + 2 < args.size()) {
            startup << QStringLiteral("chunk %1 %2").arg(args.at(i + 1), args.at(i + 2));
            i += 2;
        } else if (a == QLatin1String("--rate") && i + 1 < args.size())
            startup << QStringLiteral("rate ") + args.at(++i);
        else if (a == QLatin1String("--database") && i + 1 < args.size())
            startup << QStringLiteral("db-load ") + args.at(++i);
        else if (a == QLatin1String("--do") && i + 1 < args.size())
            startup << args.at(++i);
        else {
            std::fprintf(stderr, "usage: kviro-sim [--folder DIR] [--com N] [--loader] [--chunk BYTES MS] [--rate BPS] [--database FILE] [--do \"COMMAND\"]...\n");
            return 2;
        }
    }
    VirtualInstrument vi(folder, com);
    if (!vi.powerOn(loader ? InstrumentCore::Mode::Loader : InstrumentCore::Mode::Working)) {
        std::fprintf(stderr, "kviro-sim: %s\n", qPrintable(vi.port().errorString()));
        return 1;
    }
    for (const QString &cmd : startup)
        std::printf("%s\n", qPrintable(vi.control(cmd)));
    std::printf("kviro-sim: COM%d at %s -> %s\n", com, qPrintable(vi.port().linkPath()), qPrintable(vi.port().slavePath()));
    std::fflush(stdout);

    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });
    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QTextStream in(stdin);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        const QString line = in.readLine();
        if (line.isNull()) {
            input.setEnabled(false); // standard input closed: keep running until signalled
            return;
        }
        std::printf("%s\n", qPrintable(vi.control(line.trimmed())));
        std::fflush(stdout);
    });
    const int rc = app.exec();
    vi.powerOff();
    return rc;
}
