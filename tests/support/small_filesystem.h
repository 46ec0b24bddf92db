#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

// A small file system of its own (tmpfs) for tests that need a full disk. Mounting needs root;
// without it usable() is false and the test says so and skips. Unmounted when it goes.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(int kilobytes)
    {
        if (::geteuid() != 0 || !m_dir.isValid())
            return;
        m_mounted = QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                       QStringLiteral("size=%1k,mode=0777").arg(kilobytes),
                                       QStringLiteral("tmpfs"), m_dir.path()}) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool usable() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Fills the file system up to `leaveBytes` free bytes with a file named "filler".
    void fill(qint64 leaveBytes = 0) const
    {
        QFile filler(file(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(4096, 'x');
        const qint64 total = freeBytes() - leaveBytes;
        for (qint64 written = 0; written + block.size() <= total; written += block.size())
            if (filler.write(block) != block.size())
                break;
    }
    qint64 freeBytes() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

#include <sys/statvfs.h>

inline qint64 SmallFileSystem::freeBytes() const
{
    struct statvfs status = {};
    if (::statvfs(QFile::encodeName(m_dir.path()).constData(), &status) != 0)
        return 0;
    return qint64(status.f_bavail) * qint64(status.f_frsize);
}
