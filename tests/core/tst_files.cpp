// Files are complete on disk or not written at all, on a real full disk and on a device that
// fails only when its buffer goes out; files are read only when they are regular files, and
// never more of them than allowed.
#include "bdts/bdtsbackup.h"
#include "core/files.h"
#include "support/smalldisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <future>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
const QString NoSpace = QStringLiteral("На диске нет свободного места.");

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TstFiles : public QObject {
    Q_OBJECT
private slots:
    void writeOnAFullDisk_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("earlier");
        QTest::addColumn<int>("room"); // bytes left free on the disk
        // Under the write buffer the bytes are only buffered until the commit.
        QTest::newRow("short file") << 3000 << QByteArray() << 0;
        QTest::newRow("larger than the buffer") << 70000 << QByteArray() << 0;
        QTest::newRow("short file over a good one") << 3000 << QByteArray("the good file") << 0;
        QTest::newRow("empty file") << 0 << QByteArray() << 0;
        // The system takes what fits and reports nothing for that write.
        QTest::newRow("room for part of it") << 70000 << QByteArray() << 20000;
        QTest::newRow("short file, room for part of it") << 12000 << QByteArray() << 4096;
        QTest::newRow("room for part of it, over a good one") << 70000 << QByteArray("the good file") << 20000;
    }
    void writeOnAFullDisk()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, earlier);
        QFETCH(int, room);
        QTemporaryDir tmp;
        SmallDisk disk(tmp.filePath(QStringLiteral("disk")));
        if (!disk.ok())
            QSKIP(disk.why().constData());
        const QString path = QDir(disk.folder()).filePath(QStringLiteral("table.txt"));
        if (!earlier.isEmpty())
            QVERIFY(files::writeWhole(path, earlier));
        disk.fill(room);
        QString why;
        const bool written = files::writeWhole(path, QByteArray(size, 'x'), &why);
        if (size == 0) {
            // Nothing to store: an empty file takes no room.
            QVERIFY2(written, qPrintable(why));
            QCOMPARE(QFileInfo(path).size(), 0);
            return;
        }
        QVERIFY(!written);
        QVERIFY2(why.startsWith(NoSpace), qPrintable(why));
        QCOMPARE(contentOf(path), earlier.isEmpty() ? QByteArray("<missing>") : earlier);
        // No half-written file is left behind under another name either.
        QStringList expected{QStringLiteral("filler")};
        if (!earlier.isEmpty())
            expected << QStringLiteral("table.txt");
        QCOMPARE(QDir(disk.folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    }

    void deviceThatFailsAtFlush()
    {
#ifndef Q_OS_LINUX
        QSKIP("/dev/full exists only on Linux");
#endif
        // /dev/full takes every write into the buffer and refuses it when the buffer goes out.
        QFile device(QStringLiteral("/dev/full"));
        QVERIFY(device.open(QIODevice::WriteOnly));
        QString why;
        QVERIFY(!files::finishWrite(device, QByteArray(3000, 'x'), &why));
        QVERIFY2(why.startsWith(NoSpace), qPrintable(why));
    }

    void backupThatIsNotCompleteIsNoBackup()
    {
        QTemporaryDir tmp;
        SmallDisk disk(tmp.filePath(QStringLiteral("disk")));
        if (!disk.ok())
            QSKIP(disk.why().constData());
        const QString program = disk.folder() + QLatin1Char('/');
        const QDateTime when(QDate(2026, 12, 8), QTime(11, 28, 15, 123));
        QVERIFY(!bdts::writeBackup(program, QByteArray(1037, 'b'), when).path.isEmpty());
        // An empty image is nothing to fall back on.
        bdts::BackupResult r = bdts::writeBackup(program, QByteArray(), when.addSecs(1));
        QVERIFY(r.path.isEmpty());
        QVERIFY(!r.error.isEmpty());
        disk.fill();
        r = bdts::writeBackup(program, QByteArray(1037, 'c'), when.addSecs(2));
        QVERIFY(r.path.isEmpty());
        QVERIFY2(r.error.startsWith(NoSpace), qPrintable(r.error));
        QCOMPARE(bdts::backupFiles(program), QStringList{bdts::backupFileName(when)});
    }

    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("forWriting");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("regular file") << "file" << false << true;
        QTest::newRow("regular file, appended to") << "file" << true << true;
        QTest::newRow("FIFO without a writer") << "fifo" << false << false;
        QTest::newRow("FIFO without a reader") << "fifo" << true << false;
        QTest::newRow("endless device") << "/dev/zero" << false << false;
        QTest::newRow("device written to") << "/dev/null" << true << false;
        QTest::newRow("folder") << "folder" << false << false;
        QTest::newRow("larger than allowed") << "large" << false << false;
    }
    void onlyRegularFilesAreRead()
    {
#ifndef Q_OS_UNIX
        QSKIP("FIFOs and devices as files exist only on Unix");
#else
        QFETCH(QString, what);
        QFETCH(bool, forWriting);
        QFETCH(bool, accepted);
        QTemporaryDir tmp;
        QString path = what.startsWith(QLatin1Char('/')) ? what : tmp.filePath(what);
        if (what == QLatin1String("file"))
            QVERIFY(files::writeWhole(path, "0123456789"));
        else if (what == QLatin1String("large"))
            QVERIFY(files::writeWhole(path, QByteArray(11, 'x')));
        else if (what == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (what == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));

        // Run aside, so that a read that waits on the FIFO fails the test instead of holding it.
        auto attempt = std::async(std::launch::async, [path, forWriting] {
            QString why;
            bool ok = false;
            if (forWriting) {
                QFile file;
                ok = files::openRegularFile(file, path, QIODevice::WriteOnly | QIODevice::Append, &why);
            } else {
                QByteArray bytes;
                ok = files::readWhole(path, &bytes, &why, 10) && bytes == "0123456789";
            }
            return std::make_pair(ok, why);
        });
        if (attempt.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Release the waiting open so that the thread can end, then fail.
            const int fd = ::open(QFile::encodeName(path).constData(), (forWriting ? O_RDONLY : O_WRONLY) | O_NONBLOCK);
            attempt.wait();
            if (fd >= 0)
                ::close(fd);
            QFAIL("the open waited on the file");
        }
        const auto [ok, why] = attempt.get();
        QCOMPARE(ok, accepted);
        if (!accepted)
            QVERIFY2(why.contains(QDir::toNativeSeparators(path)), qPrintable(why)); // the file is named
#endif
    }
};

QTEST_MAIN(TstFiles)
#include "tst_files.moc"
