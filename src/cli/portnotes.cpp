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
    if (const FolderPortCatalog *folder = folderOf(catalog)) {
        const QString shown = QDir::toNativeSeparators(folder->folder());
        if (!QFileInfo(folder->folder()).isDir())
            return QStringLiteral("COM-порты не найдены: папки %1 (KVIRO_SERIALCOMM) нет.").arg(shown);
        if (!folder->valueTexts().value_or(QStringList()).isEmpty())
            return QStringLiteral("COM-порты не найдены: в папке %1 (KVIRO_SERIALCOMM) нет портов COM1–COM16.").arg(shown);
        return QStringLiteral("COM-порты не найдены: в папке %1 (KVIRO_SERIALCOMM) нет ссылок COM<n>.").arg(shown);
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM-порты не найдены: в системе нет портов COM1–COM16.");
#else
    return QStringLiteral("COM-порты не найдены: нет ни одного из устройств /dev/ttyS0–ttyS3, /dev/ttyUSB0–ttyUSB5, "
                          "/dev/ttyACM0–ttyACM5.");
#endif
}

QString noPortsAdvice(const PortCatalog &catalog)
{
    if (folderOf(catalog))
        return QStringLiteral("Укажите в KVIRO_SERIALCOMM папку со ссылками COM<n> на устройства портов (её создаёт "
                              "kviro-sim) или уберите переменную, чтобы искать порты системы.");
    return QStringLiteral("Подключите прибор к ПК и проверьте кабель (адаптер USB должен появиться как /dev/ttyUSB<n> "
                          "или /dev/ttyACM<n>).");
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
