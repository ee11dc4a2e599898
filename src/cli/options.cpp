#include "cli/options.h"

#include "link/instrumentlink.h"

#include <cmath>

namespace {
struct CommandInfo {
    const char *name;
    int arguments;
    const char *usage;
    const char *text;
};

// The commands, their arguments and what they do.
const CommandInfo Commands[] = {
    {"ports", 0, "kviro-cli ports",
     "Список COM-портов: номер, устройство и можно ли открыть порт (с причиной, если нельзя).\n"
     "Порты, с которыми программа не работает (выше COM16), показаны с причиной."},
    {"probe", 0, "kviro-cli probe",
     "Посылает прибору запрос связи \"l\" и ждёт ответа. Печатает working (рабочий режим),\n"
     "boot-loader (режим программирования) или no answer (код 1)."},
    {"od", 1, "kviro-cli od OUT",
     "Принимает таблицу оптических плотностей, как кнопка \"Принять данные\" на странице \"Ридер ОП\".\n"
     "OUT по расширению: .txt или .xls — байты таблицы без изменений (как \"Данные в файл\"),\n"
     ".xlsx и .csv — таблица в формате книги или CSV."},
    {"protocol", 1, "kviro-cli protocol OUT",
     "Принимает протокол результатов, как \"Принять данные\" на странице \"Результаты\".\n"
     "OUT: .txt (и любое другое расширение) — байты протокола без изменений, .pdf — документ."},
    {"db-read", 1, "kviro-cli db-read OUT.bdts",
     "Считывает БД тест-систем прибора и записывает её образ в OUT (как \"в файл...\");\n"
     "список тест-систем печатается на стандартный вывод."},
    {"db-write", 1, "kviro-cli db-write IN.bdts|IN.bdt",
     "Записывает БД тест-систем из файла в прибор: сначала резервная копия БД прибора\n"
     "(в папку программы), затем запись, затем повторное чтение и сравнение по страницам.\n"
     "Код 1, если считанная БД отличается от записанной."},
    {"db-list", 1, "kviro-cli db-list FILE",
     "Без прибора: список тест-систем файла БД (.bdts или .bdt), строка дат и количества."},
    {"flash", 1, "kviro-cli flash IMAGE.tsk",
     "Проверяет файл программы, требует режим программирования прибора (иначе объясняет, как\n"
     "его включить), передаёт образ так же, как мастер программирования, затем ждёт\n"
     "перезапуска прибора (--no-wait: не ждать)."},
};

const CommandInfo *find(const QString &command)
{
    for (const CommandInfo &c : Commands)
        if (command == QLatin1String(c.name))
            return &c;
    return nullptr;
}

const char *CommonHelp =
    "Общие параметры:\n"
    "  --port COM<n>|DEVICE  порт прибора (по умолчанию: первый порт, где прибор отвечает)\n"
    "  --baud N              скорость: 4800, 9600, 19200, 38400, 57600, 115200 (по умолчанию 115200)\n"
    "  --timeout S           сколько секунд прибор может молчать в обмене: от 0.001 до 86400\n"
    "                        (по умолчанию 5; 0 не означает \"без ограничения\" и не допускается)\n"
    "  --work-dir DIR        папка рабочих файлов и резервных копий (по умолчанию папка программы)\n"
    "  --json                вместо текста один объект JSON с итогом\n"
    "  --help                справка; --version — версия программы\n"
    "Список портов берётся как в программе; KVIRO_SERIALCOMM задаёт папку со ссылками COM<n>.\n"
    "Прибор в сети: --port tcp://УЗЕЛ:ПОРТ (байты как есть) или rfc2217://УЗЕЛ:ПОРТ (Telnet, RFC 2217).\n"
    "Коды выхода: 0 — выполнено, 1 — задание не выполнено, 2 — ошибка в командной строке.\n";

bool takeValue(const QStringList &args, int &i, const QString &name, QString *value, QString *error)
{
    const QString &a = args.at(i);
    if (a.startsWith(name + QLatin1Char('='))) {
        *value = a.mid(name.size() + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        *error = QStringLiteral("для %1 нужно значение").arg(name);
        return false;
    }
    *value = args.at(++i);
    return true;
}

bool optionIs(const QString &arg, const char *name)
{
    const QLatin1String n(name);
    return arg == n || (arg.startsWith(n) && arg.size() > n.size() && arg.at(n.size()) == QLatin1Char('='));
}

// A time limit in seconds: a finite number from one millisecond to a day. Zero, negative values,
// NaN and infinity are refused: none of them may turn into "no limit".
constexpr double MinSeconds = 0.001;
constexpr double MaxSeconds = 86400;

bool seconds(const QString &text, int *ms)
{
    bool ok = false;
    const double s = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(s) || s < MinSeconds || s > MaxSeconds)
        return false;
    *ms = std::max(1, int(std::lround(s * 1000.0)));
    return true;
}

QString secondsRange(const QString &option, const QString &value)
{
    return QStringLiteral("%1 %2: нужно число секунд от 0.001 до 86400 (0 — без ограничения — не допускается)").arg(option, value);
}
} // namespace

bool knownCommand(const QString &command) { return find(command) != nullptr; }

int argumentCount(const QString &command)
{
    const CommandInfo *c = find(command);
    return c ? c->arguments : 0;
}

QString overviewHelp()
{
    QString text = QStringLiteral("kviro-cli — задания КВИРО-сервис для прибора СОРВИНТ из терминала или сценария.\n\n"
                                  "Команды:\n");
    for (const CommandInfo &c : Commands)
        text += QStringLiteral("  %1\n").arg(QLatin1String(c.usage));
    text += QStringLiteral("\nkviro-cli КОМАНДА --help — подробнее о команде.\n\n") + QString::fromUtf8(CommonHelp);
    return text;
}

QString commandHelp(const QString &command)
{
    const CommandInfo *c = find(command);
    if (!c)
        return {};
    QString text = QStringLiteral("Использование: %1 [параметры]\n\n%2\n\n")
                       .arg(QLatin1String(c->usage), QString::fromUtf8(c->text)) +
                   QString::fromUtf8(CommonHelp);
    if (command == QLatin1String("db-write"))
        text += QStringLiteral("Для db-write:\n  --replace             файл .bdt преобразуется в .bdts рядом с ним; другой файл .bdts\n"
                               "                        с тем же именем заменяется только с этим параметром\n");
    if (command == QLatin1String("flash"))
        text += QStringLiteral("Для flash:\n  --no-wait             не ждать перезапуска прибора после передачи\n"
                               "  --restart-timeout S   сколько ждать перезапуска: от 0.001 до 86400 (по умолчанию 300;\n"
                               "                        0 не допускается)\n");
    return text;
}

std::optional<CliOptions> parseOptions(const QStringList &args, QString *error)
{
    CliOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        QString value;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.help = true;
        } else if (a == QLatin1String("--version")) {
            o.version = true;
        } else if (a == QLatin1String("--json")) {
            o.json = true;
        } else if (a == QLatin1String("--no-wait")) {
            o.noWait = true;
        } else if (a == QLatin1String("--replace")) {
            o.replace = true;
        } else if (optionIs(a, "--port")) {
            if (!takeValue(args, i, QStringLiteral("--port"), &value, error))
                return std::nullopt;
            if (value.isEmpty()) {
                *error = QStringLiteral("--port: пустое имя порта");
                return std::nullopt;
            }
            o.port = value;
        } else if (optionIs(a, "--baud")) {
            if (!takeValue(args, i, QStringLiteral("--baud"), &value, error))
                return std::nullopt;
            const int index = int(InstrumentLink::BaudRates.indexOf(value.trimmed()));
            if (index < 0) {
                *error = QStringLiteral("--baud %1: скорость не поддерживается (%2)")
                             .arg(value, InstrumentLink::BaudRates.join(QStringLiteral(", ")));
                return std::nullopt;
            }
            o.baudIndex = index;
            o.baud = value.trimmed().toInt();
        } else if (optionIs(a, "--timeout")) {
            if (!takeValue(args, i, QStringLiteral("--timeout"), &value, error))
                return std::nullopt;
            if (!seconds(value, &o.timeoutMs)) {
                *error = secondsRange(QStringLiteral("--timeout"), value);
                return std::nullopt;
            }
        } else if (optionIs(a, "--restart-timeout")) {
            if (!takeValue(args, i, QStringLiteral("--restart-timeout"), &value, error))
                return std::nullopt;
            if (!seconds(value, &o.restartTimeoutMs)) {
                *error = secondsRange(QStringLiteral("--restart-timeout"), value);
                return std::nullopt;
            }
        } else if (optionIs(a, "--work-dir")) {
            if (!takeValue(args, i, QStringLiteral("--work-dir"), &value, error))
                return std::nullopt;
            o.workDir = value;
        } else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            *error = QStringLiteral("неизвестный параметр %1").arg(a);
            return std::nullopt;
        } else if (a == QLatin1String("--")) {
            // Everything after it is positional (a file name that begins with "-").
            for (++i; i < args.size(); ++i) {
                if (o.command.isEmpty())
                    o.command = args.at(i);
                else
                    o.arguments << args.at(i);
            }
        } else if (o.command.isEmpty()) {
            o.command = a;
        } else {
            o.arguments << a;
        }
    }
    if (o.help || o.version)
        return o;
    if (o.command.isEmpty()) {
        *error = QStringLiteral("не указана команда");
        return std::nullopt;
    }
    if (!knownCommand(o.command)) {
        *error = QStringLiteral("неизвестная команда %1").arg(o.command);
        return std::nullopt;
    }
    const int expected = argumentCount(o.command);
    if (o.arguments.size() != expected) {
        *error = expected == 0 ? QStringLiteral("%1 не принимает аргументов").arg(o.command)
                               : QStringLiteral("%1 ожидает %2 аргумент: %3")
                                     .arg(o.command)
                                     .arg(expected)
                                     .arg(QLatin1String(find(o.command)->usage));
        return std::nullopt;
    }
    if (o.noWait && o.command != QLatin1String("flash")) {
        *error = QStringLiteral("--no-wait есть только у flash");
        return std::nullopt;
    }
    if (o.replace && o.command != QLatin1String("db-write")) {
        *error = QStringLiteral("--replace есть только у db-write");
        return std::nullopt;
    }
    return o;
}
