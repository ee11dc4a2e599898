#include "app/commandline.h"

#include "core/files.h"
#include "core/version.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {
const QString ProgramName = QStringLiteral("kviro-service");

QString helpText(const QList<QCommandLineOption> &options)
{
    QString text = QStringLiteral("Использование: %1 [параметры]\n\n").arg(ProgramName);
    text += QStringLiteral("КВИРО-сервис — сервисная программа для иммуноферментного анализатора СОРВИНТ\n"
                           "(с заводского номера 3070), подключённого к компьютеру через COM-порт:\n"
                           "таблица оптических плотностей, протокол результатов, база данных тест-систем,\n"
                           "перепрограммирование прибора.\n\nПараметры:\n");
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        text += QStringLiteral("  %1%2\n").arg(names.join(QStringLiteral(", ")).leftJustified(22), option.description());
    }
    text += QStringLiteral("\nБез параметров открывается окно программы. Принимаются и параметры Qt\n"
                           "(-platform, -style, -reverse, ...).\n");
    return text;
}

// The options the GUI application takes for itself (Qt's own and its X11 platform's). They are
// known here so that anything else can be refused before a window system is needed; the GUI
// application removes them from the arguments when it is made.
QList<QCommandLineOption> guiOptions()
{
    static const char *const withValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                            "qwindowgeometry", "qwindowicon", "qwindowtitle", "geometry",
                                            "title", "icon", "display", "name", "session", "style",
                                            "stylesheet", "qmljsdebugger"};
    static const char *const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
    QList<QCommandLineOption> options;
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        options << option;
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        options << option;
    }
    return options;
}
} // namespace

CommandLineRequest readCommandLine(const QStringList &arguments)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Показать эту справку и выйти."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Показать версию программы и выйти."));
    const QCommandLineOption workingFolder(QStringLiteral("working-folder"),
                                           QStringLiteral("Показать папку рабочих файлов программы и выйти."));
    const QList<QCommandLineOption> options{help, version, workingFolder};
    QCommandLineParser parser;
    // "-reverse" (a Qt option) is one word, not -r -e -v ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(options);
    parser.addOptions(guiOptions());
    const bool understood = parser.parse(arguments);

    CommandLineRequest request;
    if (parser.isSet(help)) {
        request.action = CommandLineRequest::Action::Print;
        request.text = helpText(options);
    } else if (parser.isSet(version)) {
        request.action = CommandLineRequest::Action::Print;
        request.text = QStringLiteral("КВИРО-сервис %1\n").arg(kviro::versionText());
    } else if (parser.isSet(workingFolder)) {
        request.action = CommandLineRequest::Action::Print;
        request.text = QDir::toNativeSeparators(files::programDir()) + QLatin1Char('\n');
    } else if (!understood || !parser.positionalArguments().isEmpty()) {
        request.action = CommandLineRequest::Action::Refuse;
        const QStringList unknownNames = parser.unknownOptionNames();
        const QString what = !unknownNames.isEmpty()
            ? QStringLiteral("неизвестный параметр: %1").arg(unknownNames.constFirst())
            : !understood ? parser.errorText()
                          : QStringLiteral("лишний аргумент: %1").arg(parser.positionalArguments().value(0));
        request.text = QStringLiteral("%1: %2\nСправка: %1 --help\n").arg(ProgramName, what);
        request.exitCode = 2;
    }
    return request;
}

#ifdef Q_OS_WIN
namespace {
// A windowed program on Windows has no console of its own. Output redirected to a file or a pipe
// is written there as UTF-8; otherwise the text goes into the console the program was started
// from, in UTF-16 so that Cyrillic shows whatever the console's code page.
bool writeToStartingConsole(const QString &text, bool error)
{
    const HANDLE redirected = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (redirected != nullptr && redirected != INVALID_HANDLE_VALUE)
        return false;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return true; // started from the desktop: there is nobody to tell
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        WriteConsoleW(console, wide.c_str(), DWORD(wide.size()), &written, nullptr);
        CloseHandle(console);
    }
    FreeConsole();
    return true;
}
} // namespace
#endif

int printRequest(const CommandLineRequest &request)
{
    const bool error = request.action == CommandLineRequest::Action::Refuse;
#ifdef Q_OS_WIN
    if (writeToStartingConsole(request.text, error))
        return request.exitCode;
    const QByteArray bytes = request.text.toUtf8();
#else
    const QByteArray bytes = request.text.toLocal8Bit();
#endif
    std::FILE *stream = error ? stderr : stdout;
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
    return request.exitCode;
}
