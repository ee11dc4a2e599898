#pragma once
// The program's command line: --help, --version and --working-folder print and end the program;
// anything else opens the main window. Read twice: first before the window system is touched, so
// that the printing options work without a display, then once the GUI application has taken its
// own options (-platform, -style, ...), when an option nobody knows is a mistake.
#include <QString>
#include <QStringList>

struct CommandLineRequest {
    enum class Action { OpenWindow, Print, Refuse };
    Action action = Action::OpenWindow;
    QString text; // Print: for standard output; Refuse: for standard error
    int exitCode = 0;
};

enum class UnknownOptions { LeaveToGui, Refuse };

// arguments: the program's arguments, the program's own name first.
CommandLineRequest readCommandLine(const QStringList &arguments, UnknownOptions unknown);

// Prints the request's text where it belongs; returns its exit code.
int printRequest(const CommandLineRequest &request);
