#pragma once
// A real small disk for tests of full disks: a 200 KiB tmpfs mounted on a folder (the tests run as
// root), which fill() then fills to the last byte. Where mounting is not allowed, ok() is false
// and why() says so, for a QSKIP.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#endif

class SmallDisk {
public:
    explicit SmallDisk(const QString &folder, const char *size = "size=200k") : m_folder(folder)
    {
        QDir().mkpath(folder);
#ifdef Q_OS_LINUX
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, size) == 0)
            m_mounted = true;
        else
            m_why = QStringLiteral("cannot mount a small tmpfs here (%1); full-disk cases need root").arg(QString::fromLocal8Bit(std::strerror(errno)));
#else
        Q_UNUSED(size);
        m_why = QStringLiteral("small tmpfs disks exist only on Linux");
#endif
    }
    ~SmallDisk()
    {
#ifdef Q_OS_LINUX
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool ok() const { return m_mounted; }
    QByteArray why() const { return m_why.toUtf8(); }
    QString folder() const { return m_folder; }

    // Fills the disk until not one byte more fits, then frees about `leave` bytes again (a disk
    // with room for part of a file).
    void fill(qint64 leave = 0) const
    {
        QFile filler(QDir(m_folder).filePath(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
        if (leave > 0)
            filler.resize(std::max<qint64>(0, filler.size() - leave));
    }

private:
    QString m_folder;
    bool m_mounted = false;
    QString m_why;
};
