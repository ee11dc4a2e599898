#include "reader/readerfiles.h"

#include "core/cp1251.h"
#include "core/files.h"
#include "core/journal.h"
#include "core/status.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace readerfiles {
QString tempBdtsPath(const QString &programDir) { return files::inFolder(programDir, QStringLiteral("\\TempBDTS.xls")); }

QString workingProtocolPath(const QString &programDir)
{
    return files::inFolder(programDir, QStringLiteral("\\MSTempProtokol.txt"));
}

FileDialogRequest sdlgSaveSorDat(const QString &programDir)
{
    FileDialogRequest r;
    r.caption = QStringLiteral("Сохранить данные");
    r.folder = programDir;
    r.fileName = QStringLiteral("SorDat_");
    r.filter = qtFilterFromPairs(QStringLiteral("Таблица Excel (*.xls)|*.xls|Текстовый файл (*.txt)|*.txt"));
    r.defaultSuffix = QStringLiteral("xls");
    return r;
}

FileDialogRequest sdlgSaveOpTable(const QString &programDir)
{
    FileDialogRequest r = sdlgSaveSorDat(programDir);
    r.filter = workbookFilters() + QStringLiteral(";;") +
               qtFilterFromPairs(QStringLiteral("Текст прибора, открывается в Excel (*.xls)|*.xls|"
                                                "Текст прибора (*.txt)|*.txt"));
    r.defaultSuffix = QStringLiteral("xlsx");
    return r;
}

const QString CsvRussianFilter = QStringLiteral("CSV для русских настроек: «;», десятичная запятая (*.csv)");
const QString CsvEnglishFilter = QStringLiteral("CSV для английских настроек: «,», десятичная точка (*.csv)");

QString workbookFilters()
{
    return QStringLiteral("Книга Excel (*.xlsx);;") + CsvRussianFilter + QStringLiteral(";;") + CsvEnglishFilter;
}

CsvStyle csvStyleOfFilter(const QString &filterEntry)
{
    return filterEntry == CsvEnglishFilter ? EnglishCsv : RussianCsv;
}

QString sheetCopiesFolder(const QString &programDir) { return files::inFolder(programDir, QStringLiteral("SheetCopies")); }

namespace {
const QString &copiesListName()
{
    static const QString name = QStringLiteral(".kviro-copies");
    return name;
}

// The folder as the program may clear it: a real folder, not a link to another one.
bool ownFolder(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && !info.isSymLink() && !info.isJunction();
}

QStringList listedCopies(const QString &folder)
{
    QByteArray bytes;
    if (!files::readWhole(QDir(folder).filePath(copiesListName()), &bytes, nullptr, 1024 * 1024))
        return {};
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool writeCopiesList(const QString &folder, const QStringList &names)
{
    const QString path = QDir(folder).filePath(copiesListName());
    if (names.isEmpty())
        return !QFileInfo::exists(path) || QFile::remove(path);
    return files::writeWhole(path, names.join(QLatin1Char('\n')).toUtf8() + '\n');
}
} // namespace

bool rememberSheetCopy(const QString &programDir, const QString &fileName)
{
    const QString folder = sheetCopiesFolder(programDir);
    QStringList names = listedCopies(folder);
    if (!names.contains(fileName))
        names << fileName;
    return writeCopiesList(folder, names);
}

int removeOldSheetCopies(const QString &programDir)
{
    const QString folder = sheetCopiesFolder(programDir);
    if (!QFileInfo::exists(folder))
        return 0;
    if (!ownFolder(folder)) {
        journal::note(JournalKind::Warning, QStringLiteral("Папка %1 — ссылка или не папка; копии таблиц в ней не удаляются.")
                                                .arg(QDir::toNativeSeparators(folder)));
        return 0;
    }
    QDir dir(folder);
    int removed = 0;
    QStringList kept;
    for (const QString &name : listedCopies(folder)) {
        // Only a plain name of this folder, and only the file itself: never a link's target.
        if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String("..")
            || name == QLatin1String(".") || name == copiesListName())
            continue;
        const QFileInfo info(dir.filePath(name));
        if (!info.exists() && !info.isSymLink())
            continue;
        if (info.isSymLink() || info.isJunction() || !info.isFile()) {
            journal::note(JournalKind::Warning, QStringLiteral("Копия таблицы %1 не удалена: на её месте не файл.")
                                                    .arg(QDir::toNativeSeparators(info.filePath())));
            continue;
        }
        if (dir.remove(name)) {
            ++removed;
            journal::note(JournalKind::File, QStringLiteral("Удалена копия таблицы %1.").arg(QDir::toNativeSeparators(info.filePath())));
        } else {
            kept << name;
        }
    }
    writeCopiesList(folder, kept);
    return removed;
}

QString freeStem(const QString &folder, const QString &stem, const QStringList &suffixes)
{
    const QDir dir(folder);
    for (int n = 1;; ++n) {
        const QString candidate = n == 1 ? stem : QStringLiteral("%1 (%2)").arg(stem).arg(n);
        bool taken = false;
        for (const QString &suffix : suffixes)
            taken = taken || QFileInfo::exists(dir.filePath(candidate + suffix));
        if (!taken)
            return candidate;
    }
}

FileDialogRequest odlgOpenFileToExcel(const QString &programDir)
{
    FileDialogRequest r;
    r.caption = QStringLiteral("Открыть файл в Excel");
    r.folder = programDir;
    r.fileName = QStringLiteral("SorDat_");
    // Every form the view reads, the operator's own saves among them; a workbook is offered too,
    // and the view says to open it in the spreadsheet program.
    r.filter = QStringLiteral("Таблицы (*.xls *.txt *.csv *.xlsx);;Таблица Excel (*.xls);;Текст прибора (*.txt);;"
                              "CSV (*.csv);;Книга Excel (*.xlsx);;Все файлы (*)");
    r.defaultSuffix = QStringLiteral("xls");
    return r;
}

bool writeOrReport(UserDialogs &dialogs, const QString &path, const QByteArray &bytes)
{
    QString why;
    if (files::writeWhole(path, bytes, &why))
        return true;
    dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось записать файл \"%1\".\n%2")
                                                    .arg(QDir::toNativeSeparators(path), why));
    return false;
}

bool readOrReport(UserDialogs &dialogs, const QString &path, QByteArray *bytes)
{
    QString why;
    if (files::readWhole(path, bytes, &why))
        return true;
    dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось прочитать файл \"%1\".\n%2")
                                                    .arg(QDir::toNativeSeparators(path), why));
    return false;
}

QString printable(const QByteArray &raw)
{
    QString text = cp1251::decode(raw);
    for (QChar &ch : text)
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char('?');
    return text;
}
QString writeUnderInstrumentName(const FeatureContext &context, const QByteArray &raw, const QByteArray &bytes,
                                 const QString &refusal, bool keepEarlier)
{
    QString why;
    QString name = files::safeInstrumentFileName(raw, &why);
    if (name.isEmpty()) {
        // The status line is overwritten at the next link check: the operator gets a message box.
        const QString text = QStringLiteral("%1 (%2): %3").arg(refusal, why, printable(raw));
        context.status.setText(text);
        context.dialogs.showError(QStringLiteral("Ошибка"), text + QStringLiteral("\nФайл не записан."));
        return {};
    }
    if (keepEarlier)
        name = freeStem(context.programDir, name, {QString()});
    if (!writeOrReport(context.dialogs, files::inFolder(context.programDir, name), bytes))
        return {};
    return name;
}
} // namespace readerfiles
