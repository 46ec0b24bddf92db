#include "platform/part_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PartFile {

namespace {

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QString errnoText(int number)
{
    return qt_error_string(number);
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// The process id in a part file's name ".<name>.<pid>.part", else 0.
qint64 partOwner(QStringView name)
{
    const QLatin1StringView suffix(".part");
    if (!name.startsWith(u'.') || !name.endsWith(suffix) || name.contains(u'\n'))
        return 0;
    const QStringView stem = name.chopped(suffix.size());
    const qsizetype dot = stem.lastIndexOf(u'.');
    // At least one character of the name between the leading dot and the one before the id.
    if (dot < 2 || dot + 1 >= stem.size())
        return 0;
    const QStringView digits = stem.mid(dot + 1);
    for (const QChar c : digits)
        if (c < u'0' || c > u'9')
            return 0;
    return digits.toLongLong();
}

} // namespace

QString pathFor(const QString &target)
{
    const QFileInfo info(target);
    return info.absoluteDir().filePath(
        QStringLiteral(".%1.%2.part").arg(info.fileName()).arg(QCoreApplication::applicationPid()));
}

bool commit(const QString &part, const QString &target, QString *error)
{
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    setError(error, QStringLiteral("cannot rename to \"%1\": %2").arg(target, errnoText(errno)));
    QFile::remove(part);
    return false;
}

bool copy(const QString &from, const QString &to, QString *error)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0) {
        setError(error, QStringLiteral("cannot read \"%1\": %2").arg(from, errnoText(errno)));
        return false;
    }
    struct stat status = {};
    if (::fstat(in, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(in);
        setError(error, QStringLiteral("\"%1\" is not a regular file").arg(from));
        return false;
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);

    const QString part = pathFor(to);
    const int out =
        ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        const int saved = errno;
        ::close(in);
        setError(error, QStringLiteral("cannot write \"%1\": %2").arg(to, errnoText(saved)));
        return false;
    }

    static constexpr size_t Piece = 256 * 1024;
    QByteArray buffer(qsizetype(Piece), Qt::Uninitialized);
    int failedErrno = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), Piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            failedErrno = errno;
            break;
        }
        if (got == 0)
            break;
        if (!writeAll(out, buffer.constData(), size_t(got))) {
            failedErrno = errno;
            break;
        }
    }
    // A full disk may only show when the data reaches it.
    if (failedErrno == 0 && ::fsync(out) != 0 && errno != EINVAL)
        failedErrno = errno;
    if (::close(out) != 0 && failedErrno == 0)
        failedErrno = errno;
    ::close(in);
    if (failedErrno != 0) {
        QFile::remove(part);
        setError(error, QStringLiteral("cannot write \"%1\": %2").arg(to, errnoText(failedErrno)));
        return false;
    }
    return commit(part, to, error);
}

bool move(const QString &from, const QString &to, QString *error)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (errno != EXDEV) {
        setError(error, QStringLiteral("cannot move \"%1\" to \"%2\": %3").arg(from, to, errnoText(errno)));
        return false;
    }
    if (!copy(from, to, error))
        return false;
    QFile::remove(from);
    return true;
}

bool processRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

int removeStale(const QString &folder)
{
    const QDir dir(folder);
    int removed = 0;
    // Names are matched by hand: this runs at every start, and a pattern would cost a regular
    // expression compiled for the one pass.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const qint64 pid = partOwner(name);
        if (pid <= 0)
            continue;
        const QFileInfo info(dir.filePath(name));
        if (info.isSymLink() || info.ownerId() != ::getuid())
            continue;
        if (pid == QCoreApplication::applicationPid() || processRunning(pid))
            continue;
        if (QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

} // namespace PartFile
