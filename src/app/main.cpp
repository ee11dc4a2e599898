// КВИРО-сервис: service utility for the СОРВИНТ microplate analyser.
#include "app/mainwindow.h"
#include "app/qtrussian.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    installQtRussian(app);
    QApplication::setApplicationName(TFormMainKviroS_D7::ApplicationTitle);
    TFormMainKviroS_D7 window;
    window.show();
    return app.exec();
}
