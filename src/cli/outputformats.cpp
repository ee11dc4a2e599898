#include "cli/outputformats.h"

#include "cli/application.h"
#include "core/files.h"
#include "reader/protocol.h"
#include "reader/protocolprint.h"

#include <QDir>
#include <QFileInfo>

namespace {
bool pdfPath(const QString &path) { return QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0; }

} // namespace

Outcome writeFailure(const QString &path, const QString &why)
{
    QString text = QStringLiteral("Не удалось записать файл %1: %2").arg(QDir::toNativeSeparators(path), why);
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return Outcome::failed(text, QStringLiteral("Освободите место на диске или укажите файл в другой папке, доступной для записи."));
}

std::optional<Outcome> checkOutputPath(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (info.isDir())
        return Outcome::failed(QStringLiteral("%1 — папка, а не файл.").arg(shown),
                               QStringLiteral("Укажите имя файла в этой папке."));
    const QFileInfo folder(info.absolutePath());
    const QString folderShown = QDir::toNativeSeparators(folder.absoluteFilePath());
    if (!folder.isDir())
        return Outcome::failed(QStringLiteral("Папки %1 нет: файл %2 не может быть записан.").arg(folderShown, shown),
                               QStringLiteral("Укажите файл в существующей папке."));
    if (info.exists() && !info.isWritable())
        return Outcome::failed(QStringLiteral("Файл %1 недоступен для записи.").arg(shown),
                               QStringLiteral("Укажите другой файл или измените права на этот."));
    if (!folder.isWritable())
        return Outcome::failed(QStringLiteral("Папка %1 недоступна для записи.").arg(folderShown),
                               QStringLiteral("Укажите файл в папке, доступной для записи."));
    return std::nullopt;
}

bool outputNeedsPainting(const QString &command, const QString &path)
{
    return command == QLatin1String("protocol") && pdfPath(path);
}

std::optional<Outcome> writeReaderOutput(ReaderOutput kind, const QString &path, const QByteArray &bytes, bool checkOnly,
                                         const PlateMeta &meta)
{
    const bool pdf = kind == ReaderOutput::Protocol && pdfPath(path);
    if (pdf && !paintingAvailable())
        return Outcome::failed(QStringLiteral("PDF не может быть построен: нет графической подсистемы Qt."),
                               QStringLiteral("Сохраните протокол как .txt."));
    if (checkOnly)
        return checkOutputPath(path);
    QString why;
    bool written = false;
    if (kind == ReaderOutput::OdTable) {
        written = writePlateAs(path, bytes, meta, &why);
    } else if (pdf) {
        // The title at the foot of each page is the protocol's own name, as on the results page.
        QString title = files::safeInstrumentFileName(protokol::automaticName(bytes));
        if (title.isEmpty())
            title = QStringLiteral("Протокол");
        written = protocolprint::writePdf(path, protocolprint::protocolText(bytes), title, &why);
    } else {
        written = files::writeWhole(path, bytes, &why);
    }
    if (!written)
        return writeFailure(path, why);
    return std::nullopt;
}
