#include "core/files.h"

#include "core/cp1251.h"
#include "core/journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace files {
namespace {
QString &overrideDir()
{
    static QString dir;
    return dir;
}

QString withSeparator(QString folder)
{
    folder = QDir::cleanPath(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

bool folderWritable(const QString &folder)
{
    QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable())
        return false;
    // isWritable() reads permission bits; a read-only mount still says yes, so try for real.
    QFile probe(QDir(folder).filePath(QStringLiteral(".kviro-write-probe")));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}
} // namespace

void setProgramDirOverride(const QString &folder) { overrideDir() = folder; }

QString programDir()
{
    if (!overrideDir().isEmpty())
        return withSeparator(overrideDir());
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && folderWritable(exeDir))
        return withSeparator(exeDir);
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.kviro-service");
    QDir().mkpath(data);
    return withSeparator(data);
}

QString inFolder(const QString &folder, const QString &literal)
{
    QString name = literal;
    while (name.startsWith(QLatin1Char('\\')) || name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return QDir(folder).filePath(name);
}

namespace {
bool writeWholeUnjournalled(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
} // namespace

bool writeWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    QString why;
    const QString full = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (writeWholeUnjournalled(path, bytes, &why)) {
        journal::note(JournalKind::File, QStringLiteral("Записан файл %1 (%2 байт).").arg(full).arg(bytes.size()));
        return true;
    }
    journal::note(JournalKind::File, QStringLiteral("Файл %1 не записан: %2").arg(full, why));
    if (error)
        *error = why;
    return false;
}

bool readWhole(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

static int lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
}

QString shortName(const QString &path) { return path.mid(lastSeparator(path) + 1); }

QString folderPart(const QString &path)
{
    const int at = lastSeparator(path);
    return at > 0 ? path.left(at + 1) : QString();
}

QString safeInstrumentFileName(const QByteArray &raw, QString *reason)
{
    auto refuse = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return QString();
    };
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return refuse(QStringLiteral("управляющий символ в имени"));
    }
    const QString name = cp1251::decode(raw);
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar ch : name)
        if (forbidden.contains(ch))
            return refuse(QStringLiteral("недопустимый символ \"%1\" в имени").arg(ch));
    if (name.contains(QStringLiteral("..")))
        return refuse(QStringLiteral("\"..\" в имени"));
    bool onlyDotsAndBlanks = true;
    for (QChar ch : name)
        if (ch != QLatin1Char('.') && ch != QLatin1Char(' '))
            onlyDotsAndBlanks = false;
    if (onlyDotsAndBlanks)
        return refuse(QStringLiteral("пустое имя"));
    if (reason)
        reason->clear();
    return name;
}

} // namespace files
