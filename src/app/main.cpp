// КВИРО-сервис: service utility for the СОРВИНТ microplate analyser.
#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(TFormMainKviroS_D7::ApplicationTitle);
    TFormMainKviroS_D7 window;
    window.show();
    return app.exec();
}
