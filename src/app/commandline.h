#pragma once
// The program's command line: --help, --version and --working-folder print and end the program;
// an option that neither the program nor Qt's GUI knows, or a stray argument, is refused with exit
// code 2; anything else opens the main window. Read before the window system is touched, so that
// printing and refusing work without a display. Qt's own GUI options (-platform, -style, -reverse,
// ...) are known here by name and left for the GUI application to take.
#include <QString>
#include <QStringList>

struct CommandLineRequest {
    enum class Action { OpenWindow, Print, Refuse };
    Action action = Action::OpenWindow;
    QString text; // Print: for standard output; Refuse: for standard error
    int exitCode = 0;
};

// arguments: the program's arguments, the program's own name first.
CommandLineRequest readCommandLine(const QStringList &arguments);

// Prints the request's text where it belongs; returns its exit code.
int printRequest(const CommandLineRequest &request);
