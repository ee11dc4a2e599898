#include "firmware/loadconfirmation.h"

#include "core/journal.h"
#include "firmware/firmwareimage.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace firmware {

bool readImageFacts(const QString &fileName, ImageFacts *facts, QString *error)
{
    ImageStream stream;
    if (!readImageForTransfer(stream, fileName, error))
        return false;
    const QFileInfo info(fileName);
    facts->path = info.absoluteFilePath();
    facts->size = stream.bytes.size();
    facts->modified = info.lastModified();
    facts->checksum = stream.FirmwareChecksum;
    return true;
}

QString describeImage(const ImageFacts &facts)
{
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    return QStringLiteral("Файл: %1\nРазмер: %2 байт\nДата файла: %3\nКонтрольная сумма: %4 (0x%5)")
        .arg(QDir::toNativeSeparators(facts.path), russian.toString(facts.size),
             facts.modified.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")), QString::number(facts.checksum),
             QStringLiteral("%1").arg(quint32(facts.checksum), 8, 16, QLatin1Char('0')).toUpper());
}

bool confirmImageLoad(UserDialogs &dialogs, const QString &fileName)
{
    ImageFacts facts;
    QString why;
    if (!readImageFacts(fileName, &facts, &why))
        return true;
    const QString described = describeImage(facts);
    journal::note(JournalKind::Info, QStringLiteral("Загрузка программы в прибор. ") + QString(described).replace(QLatin1Char('\n'), QStringLiteral("; ")));
    const bool yes = dialogs.warnYesNo(ConfirmLoadCaption, QStringLiteral("Загрузить в прибор эту программу?\n\n") + described +
                                                               QStringLiteral("\n\nПрибор будет перепрограммирован."));
    journal::note(JournalKind::Info, yes ? QStringLiteral("Загрузка подтверждена.") : QStringLiteral("Загрузка отменена оператором."));
    return yes;
}

} // namespace firmware
