#include "firmware/firmwareimage.h"

#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace firmware {

QString imageFolder(const QString &programDir) { return files::inFolder(programDir, QLatin1String(ImageFolder)); }

QString dialogStartFolder(const QString &programDir)
{
    const QString images = imageFolder(programDir);
    return QFileInfo(images).isDir() ? images : programDir;
}

void defaultSearch(ImageChoice &choice, const QString &programDir, const QString &currentDir)
{
    const QString name = QLatin1String(DefaultImageName);
    const QString inFolder = files::inFolder(imageFolder(programDir), name);
    QString found;
    if (QFileInfo(QDir(currentDir).filePath(name)).isFile())
        found = name;
    else if (QFileInfo(inFolder).isFile())
        found = inFolder;
    choice.FirmwareFileName = found;
    if (!found.isEmpty()) {
        // The labels name the image folder even when the copy in the current directory is used.
        QString dir = QDir::toNativeSeparators(programDir);
        if (!dir.endsWith(QDir::separator()))
            dir += QDir::separator();
        choice.labelText = dir + QLatin1Char('\n') + QLatin1String(ImageFolder) + QDir::separator() + QLatin1Char('\n') + name;
        choice.FirmwareFileReady = true;
    } else {
        choice.labelText = QStringLiteral("Файл ") + name + QStringLiteral("\nне найден.");
        choice.FirmwareFileReady = false;
    }
}

QString labelForPath(const QString &path) { return files::folderPart(path) + QLatin1Char('\n') + files::shortName(path); }

void applyDialogResult(ImageChoice &choice, const QString &chosenPath)
{
    if (chosenPath.isEmpty()) {
        if (choice.FirmwareFileName.isEmpty())
            choice.FirmwareFileReady = false;
        return;
    }
    choice.FirmwareFileName = chosenPath;
    choice.dialogFileName = files::shortName(chosenPath);
    choice.labelText = labelForPath(chosenPath);
    choice.FirmwareFileReady = true;
}

bool LoadFirmwareImage(ImageStream &stream, const QString &fileName, QString *error)
{
    auto fail = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("Не удается открыть файл \"%1\".\n%2").arg(QDir::toNativeSeparators(fileName), reason);
        return false;
    };
    if (fileName.isEmpty())
        return fail(QStringLiteral("Имя файла не задано."));
    if (QFileInfo(fileName).isDir())
        return fail(QStringLiteral("Это папка, а не файл."));
    const QFileInfo info(fileName);
    if (info.isFile() && info.size() > MaxImageSize)
        return fail(QStringLiteral("Файл слишком велик для загрузки в прибор."));
    // Only a regular file, and no more than an image may hold: a device or a FIFO is refused.
    QByteArray bytes;
    QString why;
    if (!files::readWhole(fileName, &bytes, &why, MaxImageSize))
        return fail(why);
    stream.bytes = std::move(bytes);
    stream.FirmwareSize = qint32(stream.bytes.size());
    stream.position = 0;
    return true;
}

void checksumPass(ImageStream &stream)
{
    qint64 sum = 0;
    const auto *p = reinterpret_cast<const unsigned char *>(stream.bytes.constData());
    for (qint64 i = 0; i < stream.FirmwareSize; ++i)
        sum += p[i];
    // Signed 32-bit as the instrument's tools keep it; only its low 16 bits go on the line.
    stream.FirmwareChecksum = qint32(quint32(quint64(sum)));
    stream.position = 0;
}

bool readImageForTransfer(ImageStream &stream, const QString &fileName, QString *error)
{
    if (fileName.isEmpty()) {
        if (error)
            *error = QStringLiteral("Файл для загрузки не определён.");
        return false;
    }
    if (!LoadFirmwareImage(stream, fileName, error))
        return false;
    if (stream.FirmwareSize == 0) {
        if (error)
            *error = QStringLiteral("Файл \"%1\" пуст: в нём нет программы для прибора.").arg(QDir::toNativeSeparators(fileName));
        return false;
    }
    checksumPass(stream);
    return true;
}

} // namespace firmware
