#include "cli/outputformats.h"

#include "core/files.h"

#include <QDir>
#include <QFileInfo>

namespace {
enum class Format { ExactBytes, Workbook, Csv, Pdf };

Format formatOf(ReaderOutput kind, const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (kind == ReaderOutput::OdTable) {
        if (suffix == QLatin1String("xlsx"))
            return Format::Workbook;
        if (suffix == QLatin1String("csv"))
            return Format::Csv;
    } else if (suffix == QLatin1String("pdf")) {
        return Format::Pdf;
    }
    return Format::ExactBytes;
}
} // namespace

std::optional<Outcome> writeReaderOutput(ReaderOutput kind, const QString &path, const QByteArray &bytes, bool checkOnly)
{
    const Format format = formatOf(kind, path);
    if (format != Format::ExactBytes) {
        // The reader's workbook, CSV and PDF writers are not part of this build.
        Outcome o = Outcome::usage(QStringLiteral("Формат .%1 недоступен в этой сборке (format not available in this build).")
                                       .arg(QFileInfo(path).suffix()));
        o.advice = kind == ReaderOutput::OdTable ? QStringLiteral("Сохраните таблицу как .txt или .xls.")
                                                 : QStringLiteral("Сохраните протокол как .txt.");
        return o;
    }
    if (checkOnly)
        return std::nullopt;
    QString why;
    if (!files::writeWhole(path, bytes, &why))
        return Outcome::failed(QStringLiteral("Не удалось записать файл %1: %2.").arg(QDir::toNativeSeparators(path), why),
                               QStringLiteral("Укажите файл в папке, доступной для записи."));
    return std::nullopt;
}
