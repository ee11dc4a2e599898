#include "app/qtrussian.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtRussian(QCoreApplication &app, const QString &folder)
{
    auto *translator = new QTranslator(&app);
    // qtbase_ru holds the file dialogs, message boxes and Qt's words for system errors.
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    // The serial port's own words (port problems in the port drop-down's hint), when present.
    auto *serial = new QTranslator(&app);
    if (serial->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtserialport"), QStringLiteral("_"), folder))
        QCoreApplication::installTranslator(serial);
    else
        delete serial;
    return true;
}

bool installQtRussian(QCoreApplication &app)
{
    // The Windows program carries Qt's translations inside: there is no Qt folder beside it.
    const QString embedded = QStringLiteral(":/qt-translations");
    if (QFileInfo::exists(embedded + QStringLiteral("/qtbase_ru.qm")))
        return installQtRussian(app, embedded);
    return installQtRussian(app, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}
