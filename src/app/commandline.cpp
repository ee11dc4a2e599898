#include "app/commandline.h"

#include "core/files.h"
#include "core/version.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

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
    text += QStringLiteral("\nБез параметров открывается окно программы.\n");
    return text;
}
} // namespace

CommandLineRequest readCommandLine(const QStringList &arguments, UnknownOptions unknown)
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
    } else if ((!understood || !parser.positionalArguments().isEmpty()) && unknown == UnknownOptions::Refuse) {
        request.action = CommandLineRequest::Action::Refuse;
        const QStringList unknownNames = parser.unknownOptionNames();
        const QString what = unknownNames.isEmpty()
            ? QStringLiteral("лишний аргумент: %1").arg(parser.positionalArguments().value(0))
            : QStringLiteral("неизвестный параметр: %1").arg(unknownNames.constFirst());
        request.text = QStringLiteral("%1: %2\nСправка: %1 --help\n").arg(ProgramName, what);
        request.exitCode = 2;
    }
    return request;
}

int printRequest(const CommandLineRequest &request)
{
    const QByteArray bytes = request.text.toLocal8Bit();
    std::FILE *stream = request.action == CommandLineRequest::Action::Refuse ? stderr : stdout;
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
    return request.exitCode;
}
