// kviro-cli: the jobs of КВИРО-сервис from a terminal or a script (see kviro-cli --help).
#include "cli/application.h"
#include "cli/commands.h"
#include "cli/consoletext.h"
#include "cli/options.h"
#include "cli/outputformats.h"
#include "cli/reporter.h"
#include "cli/session.h"
#include "core/journal.h"
#include "core/linemonitor.h"
#include "core/version.h"

#include <QDir>


namespace {
// Only the protocol saved as PDF needs fonts and painting; the command line is read here once
// before the application exists, to choose it (the words that matter are ASCII).
bool needsGui(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString error;
    const std::optional<CliOptions> options = parseOptions(args, &error);
    return options && !options->help && !options->version && outputNeedsPainting(options->command, options->arguments.value(0));
}
} // namespace

int main(int argc, char **argv)
{
#ifdef Q_OS_WIN
    // The static MinGW build frees the regular-expression JIT stack of a finished worker thread
    // after its thread storage is gone, and the program crashes on exit; the interpreter needs
    // no such stack.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
#endif
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv, needsGui(argc, argv));
    // The window's application name. Installed in a system folder, both programs keep their
    // working files and the journal in the same per-user data folder (files::programDir()).
    QCoreApplication::setApplicationName(kviro::applicationTitle());
    const QStringList args = QCoreApplication::arguments().mid(1);
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
        console::write(stdout, QStringLiteral("kviro-cli %1\n").arg(kviro::versionText()));
        return exitcode::Ok;
    }
    if (options->help) {
        if (!options->command.isEmpty() && !knownCommand(options->command))
            return reporter.finish(options->command, Outcome::usage(QStringLiteral("неизвестная команда %1").arg(options->command)));
        const QString text = options->command.isEmpty() ? overviewHelp() : commandHelp(options->command);
        console::write(stdout, text);
        return exitcode::Ok;
    }
    installInterruptHandler();
    // The program's journal in the working folder: the job is appended to it as the window's
    // exchanges are, and every file written is recorded there.
    Journal journal;
    LineMonitor monitor;
    journal.setLineMonitor(&monitor);
    journal.open(Journal::folderIn(workingFolderOf(*options)));
    Journal::setCurrent(&journal);
    reporter.attachJournal(journal, monitor);
    reporter.jobStarted(options->command, options->arguments);
    const int code = reporter.finish(options->command, runCommand(*options, reporter));
    Journal::setCurrent(nullptr);
    if (!journal.waitWritten())
        console::write(stderr, QStringLiteral("kviro-cli: журнал не дописан (journal not fully written).\n"));
    return code;
}
