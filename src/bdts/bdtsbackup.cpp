#include "bdts/bdtsbackup.h"

#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace bdts {

namespace {
const QRegularExpression &backupPattern()
{
    static const QRegularExpression re(
        QStringLiteral("^BDTS_\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}-\\d{3}(_\\d+)?\\.bdts$"));
    return re;
}
} // namespace

QString backupFolder(const QString &programDir) { return files::inFolder(programDir, QStringLiteral("BDTSBackup")); }

QString backupFileName(const QDateTime &when)
{
    return QStringLiteral("BDTS_") + when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss-zzz")) + QStringLiteral(".bdts");
}

QStringList backupFiles(const QString &programDir)
{
    QStringList names = QDir(backupFolder(programDir)).entryList(QDir::Files, QDir::Name);
    names.removeIf([](const QString &n) { return !backupPattern().match(n).hasMatch(); });
    // Within one moment "_2" follows the plain name; a plain sort puts "_10" before "_2", which
    // matters only for more than nine backups in one millisecond.
    std::sort(names.begin(), names.end());
    return names;
}

BackupResult writeBackup(const QString &programDir, const QByteArray &image, const QDateTime &when, int keep)
{
    BackupResult result;
    if (image.isEmpty()) {
        result.error = QStringLiteral("нет прочитанной из прибора БД ТС");
        return result;
    }
    const QString folder = backupFolder(programDir);
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("не удалось создать папку ") + QDir::toNativeSeparators(folder);
        return result;
    }
    const QString base = backupFileName(when);
    QString name = base;
    for (int n = 2; QFileInfo::exists(QDir(folder).filePath(name)); ++n)
        name = base.chopped(5) + QStringLiteral("_%1.bdts").arg(n);
    const QString path = QDir(folder).filePath(name);
    if (!files::writeWhole(path, image, &result.error))
        return result;
    // The instrument's database survives only here: the file is read back and compared before
    // anything may be written over it in the instrument.
    QByteArray back;
    if (!files::readWhole(path, &back, &result.error, image.size()) || back != image) {
        if (result.error.isEmpty())
            result.error = QStringLiteral("копия на диске не совпадает с прочитанной БД ТС");
        QFile::remove(path);
        return result;
    }
    result.path = path;
    // The one just written stays even when the clock was set back and its name sorts first.
    QStringList older = backupFiles(programDir);
    older.removeAll(name);
    for (qsizetype i = 0; i + std::max(keep, 1) <= older.size(); ++i)
        QFile::remove(QDir(folder).filePath(older.at(i)));
    return result;
}

} // namespace bdts
