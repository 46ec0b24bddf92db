#include "platform/bounded_file.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BoundedFile {

namespace {

constexpr qint64 Piece = 64 * 1024;

Result failure(Outcome outcome, const QString &why)
{
    Result result;
    result.outcome = outcome;
    result.error = why;
    return result;
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString tooBigText(const QString &name, qint64 knownSize, qint64 cap)
{
    if (knownSize > cap)
        return QStringLiteral("The file \"%1\" is too large to open (%2; at most %3).")
            .arg(shown(name), sizeText(knownSize), sizeText(cap));
    return QStringLiteral("The file \"%1\" is too large to open (more than %2).")
        .arg(shown(name), sizeText(cap));
}

Outcome outcomeOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Outcome::Ok;
    if (S_ISDIR(mode))
        return Outcome::Folder;
    return Outcome::NotAFile;
}

QString kindText(Outcome outcome, const QString &path)
{
    switch (outcome) {
    case Outcome::Missing:
        return QStringLiteral("The file \"%1\" does not exist.").arg(shown(path));
    case Outcome::Folder:
        return QStringLiteral("\"%1\" is a folder, not a file.").arg(shown(path));
    case Outcome::NotAFile:
        return QStringLiteral("\"%1\" is not a regular file.").arg(shown(path));
    default:
        return QString();
    }
}

// Reads `fd` to its end or until more than `cap` bytes came; `sizeHint` only reserves memory.
// Returns false on a read error (errno set); `overCap` tells a read stopped by the cap.
bool readAllBounded(int fd, qint64 cap, qint64 sizeHint, QByteArray &bytes, bool &overCap)
{
    overCap = false;
    bytes.clear();
    if (sizeHint > 0)
        bytes.reserve(qsizetype(std::min(sizeHint, cap) + 1));
    for (;;) {
        // Whole pieces, even near the cap: some kernel files refuse odd-sized reads. The buffer
        // holds at most one piece past the cap.
        const qsizetype before = bytes.size();
        bytes.resize(before + qsizetype(Piece));
        const ssize_t got = ::read(fd, bytes.data() + before, size_t(Piece));
        if (got < 0) {
            bytes.resize(before);
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.resize(before + qsizetype(got));
        if (got == 0)
            return true;
        if (bytes.size() > cap) {
            overCap = true;
            bytes = QByteArray();
            return true;
        }
    }
}

} // namespace

QString sizeText(qint64 bytes)
{
    constexpr qint64 KB = 1024, MB = 1024 * KB, GB = 1024 * MB;
    if (bytes >= GB)
        return QStringLiteral("%1 GB").arg(double(bytes) / GB, 0, 'f', 1);
    if (bytes >= MB)
        return QStringLiteral("%1 MB").arg(bytes / MB);
    if (bytes >= KB)
        return QStringLiteral("%1 KB").arg(bytes / KB);
    return QStringLiteral("%1 bytes").arg(bytes);
}

Outcome probe(const QString &path)
{
    if (path.isEmpty())
        return Outcome::Missing;
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Outcome::Missing : Outcome::Unreadable;
    return outcomeOfMode(status.st_mode);
}

Result read(const QString &path, qint64 cap)
{
    if (path.isEmpty())
        return failure(Outcome::Missing, QStringLiteral("No file name was given."));
    const QByteArray native = QFile::encodeName(path);

    // Look before opening: opening a FIFO for reading waits for a writer.
    struct stat status = {};
    if (::stat(native.constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return failure(Outcome::Missing, kindText(Outcome::Missing, path));
        return failure(
            Outcome::Unreadable,
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(shown(path), qt_error_string(errno)));
    }
    if (const Outcome kind = outcomeOfMode(status.st_mode); kind != Outcome::Ok)
        return failure(kind, kindText(kind, path));
    if (status.st_size > cap)
        return failure(Outcome::TooBig, tooBigText(path, status.st_size, cap));

    // O_NONBLOCK keeps the open itself from waiting should the name be swapped for a FIFO
    // after the look above; the descriptor is checked again before anything is read.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failure(
            Outcome::Unreadable,
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(shown(path), qt_error_string(errno)));
    struct stat opened = {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const Outcome kind = S_ISDIR(opened.st_mode) ? Outcome::Folder : Outcome::NotAFile;
        ::close(fd);
        return failure(kind, kindText(kind, path));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    Result result;
    bool overCap = false;
    const bool readOk = readAllBounded(fd, cap, opened.st_size, result.bytes, overCap);
    const int readErrno = errno;
    ::close(fd);
    if (!readOk)
        return failure(Outcome::Unreadable, QStringLiteral("The file \"%1\" cannot be read: %2.")
                                                .arg(shown(path), qt_error_string(readErrno)));
    if (overCap)
        return failure(Outcome::TooBig, tooBigText(path, opened.st_size, cap));
    result.outcome = Outcome::Ok;
    return result;
}

Result readStandardInput(qint64 cap)
{
    Result result;
    bool overCap = false;
    if (!readAllBounded(STDIN_FILENO, cap, 0, result.bytes, overCap))
        return failure(Outcome::Unreadable,
                       QStringLiteral("Standard input cannot be read: %1.").arg(qt_error_string(errno)));
    if (overCap)
        return failure(Outcome::TooBig,
                       QStringLiteral("Standard input is too large (more than %1).").arg(sizeText(cap)));
    result.outcome = Outcome::Ok;
    return result;
}

} // namespace BoundedFile
