#include "platform/local_socket.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace LocalSocket {

namespace {

constexpr int Backlog = 50;
// How long a connection waits before asking again while the listener's queue is full.
constexpr int BusyRetryMs = 10;

bool fillAddress(const QByteArray &path, sockaddr_un *address)
{
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(address->sun_path))
        return false;
    std::memcpy(address->sun_path, path.constData(), size_t(path.size()));
    return true;
}

int newSocket()
{
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

// Waits until `fd` is ready for `events` or the deadline passes; false on the deadline.
bool waitFor(int fd, short events, QDeadlineTimer deadline)
{
    for (;;) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0)
            return false;
        pollfd entry = {fd, events, 0};
        const int ready = ::poll(&entry, 1, remaining < 0 ? -1 : int(qMin<qint64>(remaining, 1 << 30)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

QString reason(const char *what)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString fullPath(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')))
        return name;
    return QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/') + name;
}

namespace {

// Binds a socket under `target` directly. Linux gives the socket file the mode of the socket
// itself, so a socket made private before bind() is never connectable by others, not even for
// a moment; the file is checked afterwards, and anything unexpected leaves it to the folder way.
int listenInPlace(const QByteArray &target, const sockaddr_un &address)
{
    const int fd = newSocket();
    if (fd < 0)
        return -1;
    struct stat made = {};
    if (::fchmod(fd, S_IRWXU) == 0 &&
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        if (::lstat(target.constData(), &made) == 0 && S_ISSOCK(made.st_mode) && (made.st_mode & 077) == 0 &&
            made.st_uid == ::geteuid() && ::listen(fd, Backlog) == 0)
            return fd;
        ::unlink(target.constData());
    }
    closeDescriptor(fd);
    return -1;
}

// Binds inside a fresh private folder, then moves the socket into place: private on any
// system, at the cost of a folder made and removed.
int listenThroughFolder(const QByteArray &target, QString *error)
{
    sockaddr_un address;
    QByteArray folder = target.left(target.lastIndexOf('/')) + "/.psXXXXXX";
    if (!::mkdtemp(folder.data())) {
        *error = reason("cannot make a private folder");
        return -1;
    }
    const QByteArray made = folder + "/s";
    const int fd = newSocket();
    const auto fail = [&](const char *what) {
        *error = reason(what);
        if (fd >= 0)
            closeDescriptor(fd);
        ::unlink(made.constData());
        ::rmdir(folder.constData());
        return -1;
    };
    if (fd < 0)
        return fail("cannot make a socket");
    if (!fillAddress(made, &address))
        return fail("the socket path is too long");
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return fail("cannot bind");
    if (::chmod(made.constData(), S_IRWXU) != 0)
        return fail("cannot make the socket private");
    if (::listen(fd, Backlog) != 0)
        return fail("cannot listen");
    if (::rename(made.constData(), target.constData()) != 0)
        return fail("cannot put the socket in place");
    ::rmdir(folder.constData());
    return fd;
}

} // namespace

int listenAt(const QString &path, QString *error)
{
    const QByteArray target = QFile::encodeName(path);
    sockaddr_un address;
    if (!target.startsWith('/') || !fillAddress(target, &address)) {
        *error = QStringLiteral("the socket path is too long");
        return -1;
    }
    const int fd = listenInPlace(target, address);
    return fd >= 0 ? fd : listenThroughFolder(target, error);
}

int connectTo(const QString &path, QDeadlineTimer deadline)
{
    sockaddr_un address;
    if (!fillAddress(QFile::encodeName(fullPath(path)), &address))
        return -1;
    for (;;) {
        const int fd = newSocket();
        if (fd < 0)
            return -1;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return fd;
        const int failure = errno;
        closeDescriptor(fd);
        // A full queue is the listener's passing state; anything else means nobody listens.
        if ((failure != EAGAIN && failure != EINTR) || deadline.hasExpired())
            return -1;
        ::usleep(useconds_t(qMin<qint64>(BusyRetryMs, qMax<qint64>(deadline.remainingTime(), 1)) * 1000));
    }
}

qsizetype writeSome(int fd, const char *data, qsizetype size)
{
    for (;;) {
        const ssize_t written = ::send(fd, data, size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written >= 0)
            return qsizetype(written);
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

bool writeAll(int fd, const char *data, qsizetype size, QDeadlineTimer deadline)
{
    while (size > 0) {
        const qsizetype written = writeSome(fd, data, size);
        if (written < 0)
            return false;
        data += written;
        size -= written;
        if (size > 0 && !waitFor(fd, POLLOUT, deadline))
            return false;
    }
    return true;
}

bool readExactly(int fd, char *data, qsizetype size, QDeadlineTimer deadline)
{
    while (size > 0) {
        const ssize_t got = ::recv(fd, data, size_t(size), MSG_DONTWAIT);
        if (got > 0) {
            data += got;
            size -= got;
            continue;
        }
        if (got == 0)
            return false;
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(fd, POLLIN, deadline))
            return false;
    }
    return true;
}

void closeDescriptor(int fd)
{
    ::close(fd);
}

} // namespace LocalSocket
