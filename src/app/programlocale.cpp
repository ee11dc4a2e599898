#include "app/programlocale.h"

#include <QByteArray>
#include <QLocale>
#include <QtGlobal>

void prepareRussianEnvironment()
{
#ifndef Q_OS_WIN
    // LC_ALL overrides every category: its value goes to the ones that stay the system's.
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty()) {
        qunsetenv("LC_ALL");
        if (!qEnvironmentVariableIsSet("LC_CTYPE"))
            qputenv("LC_CTYPE", all);
        if (!qEnvironmentVariableIsSet("LC_NUMERIC"))
            qputenv("LC_NUMERIC", all);
    }
    const QByteArray russian("ru_RU.UTF-8");
    qputenv("LC_TIME", russian);
    qputenv("LC_MESSAGES", russian);
    qputenv("LANGUAGE", "ru");
#endif
}

void useRussianLocale() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
