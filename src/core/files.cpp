#include "core/files.h"

#include "core/cp1251.h"
#include "core/journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// Folders of programs installed for every user of the machine.
bool isSystemProgramFolder(const QString &folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return false; // Program Files cannot be written without elevation: the write test decides
#else
    const QString path = QDir::cleanPath(folder);
    return path == QLatin1String("/usr/bin") || path == QLatin1String("/usr/local/bin")
        || path == QLatin1String("/bin");
#endif
}
} // namespace

void setProgramDirOverride(const QString &folder) { overrideDir() = folder; }

QString programDir()
{
    if (!overrideDir().isEmpty())
        return withSeparator(overrideDir());
    return programDirFor(QCoreApplication::applicationDirPath());
}

QString programDirFor(const QString &exeDir)
{
    if (!exeDir.isEmpty() && !isSystemProgramFolder(exeDir) && folderWritable(exeDir))
        return withSeparator(exeDir);
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty()) {
        const QString data = QDir::homePath() + QStringLiteral("/.kviro-service");
        QDir().mkpath(data);
        return withSeparator(data);
    }
    return userFolderIn(dataHome);
}

QString userFolderIn(const QString &dataHome)
{
    const QString name = QStringLiteral("kviro-service");
    const QDir home(dataHome);
    const QString folder = home.filePath(name);
    const QString earlier = home.filePath(QStringLiteral("КВИРО-сервис 2011_01_01 (3070)"));
    const QFileInfo earlierInfo(earlier);
    if (!QFileInfo::exists(folder) && earlierInfo.isDir() && !earlierInfo.isSymLink()) {
        // One rename moves every file at once; nothing is copied, so nothing can be half moved.
        if (QDir().rename(earlier, folder)) {
#ifndef Q_OS_WIN
            QFile::link(name, earlier); // relative, so the pair may be moved together
#endif
        }
    }
    if (QFileInfo(folder).isDir())
        return withSeparator(folder);
    const QFileInfo stillThere(earlier);
    if (stillThere.isDir() && !stillThere.isSymLink())
        return withSeparator(earlier); // not renamed: the old folder stays in use as it is
    QDir().mkpath(folder);
    return withSeparator(folder);
}

QString inFolder(const QString &folder, const QString &literal)
{
    QString name = literal;
    while (name.startsWith(QLatin1Char('\\')) || name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return QDir(folder).filePath(name);
}

namespace {
// The system's words for the commonest causes, with the program's own Russian for each. Qt words a
// few of them itself (and translates them when its Russian catalogue is loaded); the rest come
// from the C library.
struct KnownCause {
    int code;
    const char *qtWords; // Qt's own wording, or none
    const char *russian;
};

const KnownCause knownCauses[] = {
    {ENOENT, "No such file or directory", "Файл или папка не найдены."},
    {EACCES, "Permission denied", "Нет прав доступа к файлу или папке."},
    {EPERM, nullptr, "Операция запрещена системой."},
    {ENOSPC, "No space left on device", "На диске нет свободного места."},
    {EMFILE, "Too many open files", "Открыто слишком много файлов."},
    {ENFILE, nullptr, "Открыто слишком много файлов."},
    {EROFS, nullptr, "Диск доступен только для чтения."},
    {EISDIR, nullptr, "Указана папка, а не файл."},
    {ENOTDIR, nullptr, "Часть пути не является папкой."},
    {ENAMETOOLONG, nullptr, "Слишком длинное имя файла."},
    {EEXIST, nullptr, "Файл уже существует."},
    {EBUSY, nullptr, "Файл занят другой программой."},
    {EIO, nullptr, "Ошибка ввода-вывода устройства."},
    {EINVAL, nullptr, "Недопустимое имя файла."},
#ifdef EDQUOT
    {EDQUOT, nullptr, "Превышена дисковая квота."},
#endif
};

QString russianForSystemWords(const QString &system)
{
    for (const KnownCause &cause : knownCauses) {
        if (cause.qtWords && (system == QLatin1String(cause.qtWords) ||
                              system == QCoreApplication::translate("QIODevice", cause.qtWords)))
            return QString::fromUtf8(cause.russian);
        if (system == QString::fromLocal8Bit(std::strerror(cause.code)).trimmed())
            return QString::fromUtf8(cause.russian);
    }
    return {};
}

QString russianForKind(int kind)
{
    switch (kind) {
    case QFileDevice::ReadError: return QStringLiteral("Ошибка чтения файла.");
    case QFileDevice::WriteError: return QStringLiteral("Ошибка записи файла.");
    case QFileDevice::FatalError: return QStringLiteral("Неисправимая ошибка файловой системы.");
    case QFileDevice::ResourceError: return QStringLiteral("Не хватает ресурсов системы или места на диске.");
    case QFileDevice::OpenError: return QStringLiteral("Файл не удалось открыть.");
    case QFileDevice::AbortError: return QStringLiteral("Операция с файлом прервана.");
    case QFileDevice::TimeOutError: return QStringLiteral("Истекло время ожидания.");
    case QFileDevice::RemoveError: return QStringLiteral("Файл не удалось удалить.");
    case QFileDevice::RenameError: return QStringLiteral("Файл не удалось записать под своим именем.");
    case QFileDevice::PositionError: return QStringLiteral("Ошибка позиционирования в файле.");
    case QFileDevice::ResizeError: return QStringLiteral("Не удалось изменить размер файла.");
    case QFileDevice::PermissionsError: return QStringLiteral("Нет прав доступа к файлу.");
    case QFileDevice::CopyError: return QStringLiteral("Файл не удалось скопировать.");
    default: return QStringLiteral("Ошибка работы с файлом.");
    }
}
} // namespace

QString fileErrorText(int fileDeviceError, const QString &systemText)
{
    const QString system = systemText.trimmed();
    QString own = russianForSystemWords(system);
    if (own.isEmpty())
        own = russianForKind(fileDeviceError);
    if (system.isEmpty() || system == own)
        return own;
    return own + QStringLiteral(" (") + system + QLatin1Char(')');
}

QString fileErrorText(const QFileDevice &file) { return fileErrorText(file.error(), file.errorString()); }

bool finishWrite(QFileDevice &file, const QByteArray &bytes, QString *error)
{
    const auto fail = [&] {
        if (error)
            *error = fileErrorText(file);
        return false;
    };
    // A disk with room for part of the bytes takes that part and reports nothing; the next write
    // meets the full disk and says so.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            if (file.error() == QFileDevice::NoError && error)
                *error = QStringLiteral("Файл записан не полностью: %1 байт из %2.").arg(done).arg(bytes.size());
            else if (error)
                *error = fileErrorText(file);
            return false;
        }
        done += n;
    }
    // A short file is only buffered by write(); a full disk shows when the buffer goes out, and a
    // commit does not always report it. The device's error is read after the flush as well.
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return fail();
#ifdef Q_OS_UNIX
    // On the disk, not in the system's cache: some file systems report a full disk only here.
    if (file.handle() >= 0 && ::fsync(file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        if (error)
            *error = fileErrorText(QFileDevice::WriteError, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
#endif
    return true;
}

namespace {
bool writeWholeUnjournalled(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    // Unbuffered: every byte goes to the system in write(), whose loop learns the cause of a
    // full disk; a buffered rest that does not fit fails at flush with no cause given.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = fileErrorText(file);
        return false;
    }
    if (!finishWrite(file, bytes, error)) {
        file.cancelWriting();
        return false;
    }
    // The size read back before the file takes its name: a short file replaces nothing.
    const qint64 onDisk = file.size();
    if (onDisk != bytes.size()) {
        if (error)
            *error = QStringLiteral("Файл записан не полностью: %1 байт из %2.").arg(onDisk).arg(bytes.size());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = fileErrorText(file);
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

QString notRegularFileText(const QString &path)
{
    return QStringLiteral("\"%1\" — не обычный файл (устройство, канал или папка); открыть можно только файл.")
        .arg(QDir::toNativeSeparators(path));
}

bool openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
#ifdef Q_OS_UNIX
    // Opened without waiting (a FIFO with no writer or reader at its other end would hold the
    // program here), then looked at through the open descriptor, so that nothing can be put in
    // the file's place meanwhile.
    int flags = O_NONBLOCK | O_CLOEXEC;
    if (mode & QIODevice::WriteOnly)
        flags |= ((mode & QIODevice::ReadOnly) ? O_RDWR : O_WRONLY) | O_CREAT | ((mode & QIODevice::Append) ? O_APPEND : 0);
    else
        flags |= O_RDONLY;
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    if (fd < 0) {
        // A FIFO without a reader refuses a write-only open at once; it is no file either.
        if (errno == ENXIO)
            return fail(notRegularFileText(path));
        return fail(fileErrorText(QFileDevice::OpenError, QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(notRegularFileText(path));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(fileErrorText(file));
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(notRegularFileText(path));
    file.setFileName(path);
    if (!file.open(mode))
        return fail(fileErrorText(file));
    return true;
#endif
}

bool readWhole(const QString &path, QByteArray *bytes, QString *error, qint64 maxBytes)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QFile file;
    QString why;
    if (!openRegularFile(file, path, QIODevice::ReadOnly, &why))
        return fail(why);
    const auto tooLarge = [&] {
        return fail(QStringLiteral("Файл \"%1\" слишком велик: больше %2 байт.")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(maxBytes));
    };
    if (file.size() > maxBytes)
        return tooLarge();
    // At most one byte more than allowed, in pieces (nothing is reserved for the largest size): a
    // file that grows while it is read is still refused.
    QByteArray read;
    read.reserve(file.size());
    for (;;) {
        const qint64 want = std::min<qint64>(64 * 1024, maxBytes + 1 - read.size());
        const QByteArray piece = file.read(want);
        if (file.error() != QFileDevice::NoError)
            return fail(fileErrorText(file));
        read += piece;
        if (piece.isEmpty() || read.size() > maxBytes)
            break;
    }
    if (read.size() > maxBytes)
        return tooLarge();
    *bytes = std::move(read);
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
