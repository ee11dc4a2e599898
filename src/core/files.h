#pragma once
// Program folder, whole-or-nothing file writes, and names that come from the instrument.
#include <QByteArray>
#include <QString>

#include <QIODevice>

class QFile;
class QFileDevice;

namespace files {

// The folder of the executable with a trailing separator. When that folder cannot be written
// (a system-wide install), the per-user application data folder is used instead so that the
// working files can always be written. An override (tests, several instances) wins over both.
// A program installed for every user (Linux: in /usr/bin or /usr/local/bin) keeps its working
// files per user even when it could write its folder, as it can when run as root.
QString programDir();
void setProgramDirOverride(const QString &folder); // empty = no override
// The same choice for a program started from executableFolder (no override applied).
QString programDirFor(const QString &executableFolder);
// The per-user folder below dataHome (the user's data folder, ~/.local/share): "kviro-service".
// Earlier builds named it "КВИРО-сервис 2011_01_01 (3070)". Such a folder is renamed in
// one step when the new name is free, and on POSIX systems a link of the old name is left to the
// new folder so that an older version still finds its files. When the rename fails (the new name
// is taken by something that is not a folder, or the system refuses) the old folder stays in use
// as it is. Makes the folder when there is none; returns it with a trailing separator.
QString userFolderIn(const QString &dataHome);

// Joins a literal of the program folder: a leading "\" or "/" only means "in that folder".
QString inFolder(const QString &folder, const QString &literal);

// Writes the bytes whole or not at all: flushed and synced, every error checked before the commit,
// and the size read back after it. On failure returns false and, if given, the reason; a file
// that was there stays as it was.
bool writeWhole(const QString &path, const QByteArray &bytes, QString *error = nullptr);
// The part of it that any open file device goes through: writes the bytes, flushes them and
// checks the device's error, and on Unix syncs them to the disk. False with the reason.
bool finishWrite(QFileDevice &file, const QByteArray &bytes, QString *error = nullptr);

// The reason a file operation failed, for an error box: the program's own Russian words first,
// then the system's words in brackets ("Файл или папка не найдены. (No such file or directory)").
QString fileErrorText(const QFileDevice &file);
// The same from the kind of failure and the system's text.
QString fileErrorText(int fileDeviceError, const QString &systemText);

// Reads a whole file of at most maxBytes; false with the reason when it cannot be opened or read,
// is larger, or is no regular file (a device, a FIFO, a folder: refused without waiting on it,
// with a reason that names it). Never reads more than maxBytes + 1 bytes.
inline constexpr qint64 DefaultReadLimit = 64 * 1024 * 1024;
bool readWhole(const QString &path, QByteArray *bytes, QString *error = nullptr, qint64 maxBytes = DefaultReadLimit);
// Opens only a regular file (read, or write with create and append as the mode says), without
// waiting on a FIFO or a device in its place; false with the reason otherwise.
bool openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode, QString *error = nullptr);
// The reason readWhole() gives for a path that is no regular file.
QString notRegularFileText(const QString &path);

// The part after the last separator ("\" or "/"), and the folder part up to and including it
// (empty when the separator is missing or is the first character).
QString shortName(const QString &path);
QString folderPart(const QString &path);

// A file name that the instrument sent (Windows-1251 bytes), checked before it may name a file in
// the program folder. Decodes to Unicode, keeps every harmless character as it stands, and refuses
// path separators, control bytes, characters the file systems reject, names that are empty or only
// dots and blanks (so ".." as a whole name), names ending in a dot or a blank, and Windows device
// names. Returns the decoded name, or an empty text with the reason.
QString safeInstrumentFileName(const QByteArray &raw, QString *reason = nullptr);

} // namespace files
