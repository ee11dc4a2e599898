// kviro-sim: the virtual СОРВИНТ on a pseudo-terminal.
//   kviro-sim [--folder DIR] [--com N] [--loader] [--chunk BYTES MS] [--rate BPS] [--database FILE]
//             [--do "COMMAND"]...
// It publishes DIR/COM<N> (default: $KVIRO_SERIALCOMM or /tmp/kviro-ports, COM3) and reads
// control commands, one per line, on standard input ("help" lists them).
#include "core/version.h"
#include "sim/virtualinstrument.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
const char Usage[] = "Usage: kviro-sim [--folder DIR] [--com N] [--loader] [--chunk BYTES MS] [--rate BPS]\n"
                     "                 [--database FILE] [--do COMMAND]...\n";

// The help, with the control commands as the instrument itself lists them.
QString helpText()
{
    QString text = QString::fromLatin1(Usage);
    text += QStringLiteral(
        "The virtual СОРВИНТ microplate analyser, for trying КВИРО-сервис and kviro-cli without the\n"
        "instrument. It opens a pseudo-terminal, publishes it as COM<N> in a port folder and answers\n"
        "like the instrument until it is interrupted. Start the program with the same KVIRO_SERIALCOMM\n"
        "and it finds the port. Control commands are read from standard input, one a line.\n"
        "\n"
        "Options:\n"
        "  --folder DIR      the port folder (default: $KVIRO_SERIALCOMM, else /tmp/kviro-ports)\n"
        "  --com N           the port's number: the link DIR/COM<N> (default 3)\n"
        "  --loader          start in boot-loader mode rather than working mode\n"
        "  --chunk BYTES MS  send replies in pieces of BYTES bytes, MS milliseconds apart\n"
        "  --rate BPS        hold the line to BPS bytes per second, both ways\n"
        "  --database FILE   serve the test-system database of FILE (*.bdts or *.bdt)\n"
        "  --do COMMAND      run a control command at start (may be given again)\n"
        "  -h, --help        show this help and exit\n"
        "  -v, --version     show the version and exit\n"
        "\n"
        "Control commands:\n");
    VirtualInstrument unplugged(QString(), 3);
    const QStringList commands = unplugged.control(QStringLiteral("help")).split(QLatin1Char('\n'));
    for (const QString &command : commands)
        text += QStringLiteral("  ") + command + QLatin1Char('\n');
    return text;
}

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

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
        else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            print(stdout, helpText());
            return 0;
        } else if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            print(stdout, QStringLiteral("kviro-sim %1\n").arg(kviro::versionText()));
            return 0;
        } else {
            print(stderr, QStringLiteral("kviro-sim: unknown option or missing value: %1\n%2Help: kviro-sim --help\n")
                              .arg(a, QString::fromLatin1(Usage)));
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
