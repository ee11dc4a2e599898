#pragma once
// The command line: the command, its arguments and the options every command takes.
#include <QString>
#include <QStringList>

#include <optional>

struct CliOptions {
    QString command;
    QStringList arguments;  // positional, after the command
    QString port;           // "COM<n>" or a device path; empty = the first port where the instrument answers
    int baud = 115200;
    int baudIndex = 5;      // into the program's speed table
    bool json = false;
    bool help = false;
    bool version = false;
    bool noWait = false;    // flash: do not wait for the restart
    bool replace = false;   // db-write: a different .bdts beside a legacy file may be replaced
    int timeoutMs = 5000;   // the instrument's longest silence within an exchange
    int restartTimeoutMs = 300000; // as long as the firmware wizard waits for the restart
    QString workDir;        // working files and backups; empty = the program folder
};

// Parses argv (without the program name). On a usage error returns nothing and sets *error.
std::optional<CliOptions> parseOptions(const QStringList &args, QString *error);

// Help texts: the overview, and one per command (empty for an unknown command).
QString overviewHelp();
QString commandHelp(const QString &command);
bool knownCommand(const QString &command);
// Positional arguments each command takes.
int argumentCount(const QString &command);
