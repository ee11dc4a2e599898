// КВИРО-сервис: service utility for the СОРВИНТ microplate analyser.
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/programlocale.h"
#include "app/qtrussian.h"
#include "core/version.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
#ifdef Q_OS_WIN
    // The static MinGW build frees the regular-expression JIT stack of a finished worker thread
    // after its thread storage is gone, and the program crashes on exit; the interpreter needs
    // no such stack.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
#endif
    prepareRussianEnvironment();
    QCoreApplication::setApplicationName(TFormMainKviroS_D7::ApplicationTitle);
    QCoreApplication::setApplicationVersion(kviro::versionText());
    {
        // Options that only print, and mistakes, are answered before the window system is
        // touched, so they work without a display (a laptop reached over ssh, the package check).
        const QCoreApplication commandLine(argc, argv);
        const CommandLineRequest request = readCommandLine(QCoreApplication::arguments());
        if (request.action != CommandLineRequest::Action::OpenWindow)
            return printRequest(request);
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("kviro-service"));
    installQtRussian(app);
    useRussianLocale();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kviro-service-256.png")));
    TFormMainKviroS_D7 window;
    window.show();
    return app.exec();
}
