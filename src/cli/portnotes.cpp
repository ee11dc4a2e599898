#include "cli/portnotes.h"

#include "link/portcatalog.h"

#include <QDir>
#include <QFileInfo>

namespace portnotes {

namespace {
const FolderPortCatalog *folderOf(const PortCatalog &catalog) { return dynamic_cast<const FolderPortCatalog *>(&catalog); }
} // namespace

QString whyNoPorts(const PortCatalog &catalog)
{
    // Ports the table has but the program does not use are named with the reason.
    const QString unused = comport::unusedNote(comport::unused(catalog.valueTexts().value_or(QStringList())));
    if (const FolderPortCatalog *folder = folderOf(catalog)) {
        const QString shown = QDir::toNativeSeparators(folder->folder());
        if (!QFileInfo(folder->folder()).isDir())
            return QStringLiteral("COM-порты не найдены: папки %1 (KVIRO_SERIALCOMM) нет.").arg(shown);
        if (!unused.isEmpty())
            return QStringLiteral("COM-порты не найдены: в папке %1 (KVIRO_SERIALCOMM) нет портов COM1–COM16. %2").arg(shown, unused);
        return QStringLiteral("COM-порты не найдены: в папке %1 (KVIRO_SERIALCOMM) нет ссылок COM<n>.").arg(shown);
    }
#ifdef Q_OS_WIN
    if (!unused.isEmpty())
        return QStringLiteral("COM-порты не найдены: в системе нет портов COM1–COM16. ") + unused;
    return QStringLiteral("COM-порты не найдены: в системе нет портов COM1–COM16.");
#else
    const QString none = QStringLiteral("COM-порты не найдены: нет ни одного из устройств /dev/ttyS0–ttyS3, "
                                        "/dev/ttyUSB0–ttyUSB5, /dev/ttyACM0–ttyACM5.");
    return unused.isEmpty() ? none : none + QLatin1Char(' ') + unused;
#endif
}

QString noPortsAdvice(const PortCatalog &catalog)
{
    const bool unused = !comport::unused(catalog.valueTexts().value_or(QStringList())).isEmpty();
    if (folderOf(catalog)) {
        if (unused)
            return QStringLiteral("Назовите ссылки в папке COM1–COM16 (kviro-sim --com N) или уберите переменную, чтобы "
                                  "искать порты системы.");
        return QStringLiteral("Укажите в KVIRO_SERIALCOMM папку со ссылками COM<n> на устройства портов (её создаёт "
                              "kviro-sim) или уберите переменную, чтобы искать порты системы.");
    }
#ifdef Q_OS_WIN
    if (unused)
        return QStringLiteral("Дайте порту прибора свободный номер от COM1 до COM16: Диспетчер устройств, "
                              "«Порты (COM и LPT)», свойства порта, «Параметры порта», «Дополнительно», «Номер COM-порта».");
    return QStringLiteral("Подключите прибор к ПК и проверьте кабель (адаптер USB должен появиться в Диспетчере устройств "
                          "среди «Портов (COM и LPT)»).");
#else
    if (unused)
        return QStringLiteral("Отключите лишние адаптеры USB: номера /dev/ttyUSB<n> и /dev/ttyACM<n> даются по порядку "
                              "подключения, и адаптер прибора должен получить номер от 0 до 5.");
    return QStringLiteral("Подключите прибор к ПК и проверьте кабель (адаптер USB должен появиться как /dev/ttyUSB<n> "
                          "или /dev/ttyACM<n>).");
#endif
}

QString openFailureAdvice(OpenErrorKind kind)
{
    switch (kind) {
    case OpenErrorKind::Permission:
        return QStringLiteral("Нет прав на порт: войдите в группу dialout (sudo usermod -aG dialout $USER) и войдите в "
                              "систему заново.");
    case OpenErrorKind::Busy:
        return QStringLiteral("Порт занят: закройте программу, которая его держит (например, КВИРО-сервис), и повторите.");
    case OpenErrorKind::NotFound:
        return QStringLiteral("Такого порта нет: проверьте имя (kviro-cli ports покажет порты) и подключение кабеля.");
    case OpenErrorKind::Refused:
    case OpenErrorKind::NoRoute:
    case OpenErrorKind::TimedOut:
    case OpenErrorKind::Connecting:
        return QStringLiteral("Сервер портов в сети не отвечает: проверьте адрес и порт, что сервер включён и доступен "
                              "из этой сети, и повторите.");
    case OpenErrorKind::None:
    case OpenErrorKind::Other:
        break;
    }
    return QStringLiteral("Проверьте порт и кабель; kviro-cli ports покажет порты.");
}

} // namespace portnotes
