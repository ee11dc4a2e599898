#pragma once
// Backups of the instrument's database. Before every write into the instrument the program keeps
// the database the instrument holds as a *.bdts file in the folder "BDTSBackup" of the program
// folder, named by the moment it was made ("BDTS_2026-12-08_11-28-15-123.bdts"), so the names
// sort by time. The newest BackupsKept files are kept; older ones of that name form are removed.
// A backup is an ordinary database file: opened with "из файла..." and written with the file
// list's "в прибор", it puts that database back into the instrument.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace bdts {

constexpr int BackupsKept = 20;

QString backupFolder(const QString &programDir);
// "BDTS_yyyy-MM-dd_HH-mm-ss-zzz.bdts" for that moment.
QString backupFileName(const QDateTime &when);
// The backups in the folder (file names of the form above), oldest first.
QStringList backupFiles(const QString &programDir);

struct BackupResult {
    QString path;  // the file written; empty when the backup could not be made
    QString error; // why not
};
// Writes the image whole as a new backup (the folder is made when missing; a name already taken
// gets "_2", "_3", ...), reads it back and compares it, then removes the oldest backups beyond
// `keep`. A backup that is not complete on disk (or of an empty image) gives no path: the write
// into the instrument must not start then.
BackupResult writeBackup(const QString &programDir, const QByteArray &image, const QDateTime &when,
                         int keep = BackupsKept);

} // namespace bdts
