#include "cli/application.h"

// The one Qt Gui header of the command line (see README): fonts and painting for the PDF protocol.
#include <QGuiApplication>

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool needsGui)
{
    if (!needsGui)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

bool paintingAvailable() { return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr; }
