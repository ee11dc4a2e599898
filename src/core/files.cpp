#include "core/files.h"

#include "core/cp1251.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

bool writeWhole(const QString &path, const QByteArray &bytes, QString *error)
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
    // With no separator allowed, ".." can only climb out of the folder as the whole name, which
    // the rule for names of dots and blanks refuses; "a..b.txt" is an ordinary name.
    bool onlyDotsAndBlanks = true;
    for (QChar ch : name)
        if (ch != QLatin1Char('.') && ch != QLatin1Char(' '))
            onlyDotsAndBlanks = false;
    if (onlyDotsAndBlanks)
        return refuse(QStringLiteral("пустое имя"));
    // Windows drops a final dot or blank without a word, so the file would land under another name.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return refuse(QStringLiteral("точка или пробел в конце имени"));
    // Device names (with any extension) are not files on Windows: the bytes would go to a device.
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (device.match(name).hasMatch())
        return refuse(QStringLiteral("имя устройства Windows"));
    if (reason)
        reason->clear();
    return name;
}

} // namespace files
