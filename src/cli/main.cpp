// kviro-cli: the jobs of КВИРО-сервис from a terminal or a script (see kviro-cli --help).
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/reporter.h"
#include "cli/session.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kviro-cli"));
    const QStringList args = app.arguments().mid(1);
    CliReporter reporter(args.contains(QStringLiteral("--json")));
    QString error;
    const std::optional<CliOptions> options = parseOptions(args, &error);
    if (!options) {
        QString command;
        for (const QString &a : args)
            if (!a.startsWith(QLatin1Char('-'))) {
                command = a;
                break;
            }
        return reporter.finish(command, Outcome::usage(error));
    }
    if (options->version) {
        std::printf("kviro-cli %s\n", KVIRO_VERSION_TEXT);
        return exitcode::Ok;
    }
    if (options->help) {
        if (!options->command.isEmpty() && !knownCommand(options->command))
            return reporter.finish(options->command, Outcome::usage(QStringLiteral("неизвестная команда %1").arg(options->command)));
        const QString text = options->command.isEmpty() ? overviewHelp() : commandHelp(options->command);
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return exitcode::Ok;
    }
    installInterruptHandler();
    reporter.jobStarted(options->command, options->arguments);
    return reporter.finish(options->command, runCommand(*options, reporter));
}
