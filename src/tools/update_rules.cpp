#include "tools/update_rules.h"

#include "platform/rounding.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace update {

QString updateSite()
{
    QString site = qEnvironmentVariable("PARLANTO_SITE");
    if (site.isEmpty())
        site = QStringLiteral("https://www.parlanto.example");
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site;
}

QString versionFileUrl()
{
    return updateSite() + QStringLiteral("/update/updateinfo.ini");
}

QString installerUrl()
{
    return updateSite() + QStringLiteral("/update/updatec.exe");
}

qint64 transferDeadlineMs(qint64 size, const TransferLimits &limits)
{
    const qint64 rate = std::max<qint64>(1, limits.minimumBytesPerSecond);
    return limits.deadlineFloorMs + std::max<qint64>(0, size) / rate * 1000 +
           std::max<qint64>(0, size) % rate * 1000 / rate;
}

bool redirectAllowed(const QUrl &site, const QUrl &target)
{
    if (!site.isValid() || !target.isValid() || target.isRelative())
        return false;
    const QString scheme = site.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("https")  ? 443
                            : scheme == QLatin1String("http") ? 80
                                                              : -1;
    return target.scheme().toLower() == scheme && !site.host().isEmpty() &&
           target.host().compare(site.host(), Qt::CaseInsensitive) == 0 &&
           target.port(defaultPort) == site.port(defaultPort) && target.userInfo().isEmpty();
}

std::optional<double> parseVersion(const QString &text)
{
    // Digits with at most one "." between or before them; nothing else. The C locale
    // alone would still take "1,80" as a grouped 180 and "1e2" as 100.
    static const QRegularExpression number(QStringLiteral("^(\\d+(\\.\\d*)?|\\.\\d+)$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

namespace {

// The lines of a text, each without its line end (CR LF, LF or CR).
QList<QByteArray> firstLines(const QByteArray &bytes, int count)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (lines.size() < count && start <= bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        lines.append(bytes.mid(start, end - start));
        if (end >= bytes.size())
            break;
        start = end + 1;
        if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n')
            ++start;
    }
    return lines;
}

} // namespace

VersionFile readVersionFile(const QByteArray &bytes)
{
    VersionFile file;
    const QList<QByteArray> lines = firstLines(bytes, 2);
    if (!lines.isEmpty()) {
        file.newestText = QString::fromLocal8Bit(lines[0]);
        file.newest = parseVersion(file.newestText);
    }
    if (lines.size() > 1) {
        const QByteArray hex = lines[1].trimmed();
        static const QRegularExpression sha256Hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
        if (sha256Hex.match(QString::fromLatin1(hex)).hasMatch())
            file.installerHash = QByteArray::fromHex(hex);
    }
    return file;
}

QString currentVersionText(const QString &versionCaption)
{
    return versionCaption.right(4);
}

CheckOutcome compareVersions(const QString &currentText, const VersionFile &file)
{
    const std::optional<double> current = parseVersion(currentText);
    if (!current || !file.newest)
        return CheckOutcome::Failed;
    return *current * 100 >= *file.newest * 100 ? CheckOutcome::NoNewVersion : CheckOutcome::NewVersion;
}

bool installerVerified(const Download &download, qint64 expectedSize, const QByteArray &expectedSha256)
{
    if (expectedSha256.size() != 32 || expectedSize <= 0)
        return false;
    return download.size == expectedSize && download.sha256 == expectedSha256;
}

std::optional<Download> measureFile(const QString &path, qint64 maxBytes)
{
    // Opened without waiting and only as a regular file: a FIFO or device in the installer's
    // place would block the window or never end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    qint64 size = 0;
    // One byte past the limit is enough to tell a file that is too long.
    while (size <= maxBytes) {
        const ssize_t got = ::read(fd, piece.data(), size_t(piece.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        hash.addData(QByteArrayView(piece.constData(), got));
        size += got;
    }
    ::close(fd);
    return Download{size, hash.result()};
}

std::optional<qint64> announcedSize(const QByteArray &contentLength)
{
    const QByteArray trimmed = contentLength.trimmed();
    for (const char c : trimmed) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 size = trimmed.toLongLong(&ok);
    if (!ok || size <= 0)
        return std::nullopt;
    return size;
}

std::optional<QString> percentText(qint64 written, qint64 size)
{
    if (size <= 0)
        return std::nullopt;
    const double p = double(written) * 100 / double(size);
    if (p > 100)
        return QStringLiteral("100%");
    return QString::number(roundHalfEven(p)) + QLatin1Char('%');
}

int barWidthTwips(qint64 written, qint64 size, int trackWidthTwips)
{
    if (size <= 0 || written <= 0)
        return 0;
    const double p = std::min(double(written) * 100 / double(size), 100.0);
    return std::min(50 * roundHalfEven(p), trackWidthTwips);
}

QString stateText(int state)
{
    switch (state) {
    case StateNone:
        return QStringLiteral("No available information");
    case StateResolving:
        return QStringLiteral("Checking Server's IP");
    case StateResolved:
        return QStringLiteral("Found Server's IP Successfully");
    case StateConnecting:
        return QStringLiteral("Connecting Server");
    case StateConnected:
        return QStringLiteral("Connected Server");
    case StateRequesting:
        return QStringLiteral("Requesting Server");
    case StateRequestSent:
        return QStringLiteral("Requested Server");
    case StateReceivingResponse:
        return QStringLiteral("Waiting Server's Replay");
    case StateResponseReceived:
        return QStringLiteral("Received Server' Replay");
    case StateDisconnecting:
        return QStringLiteral("Disconnecting Server");
    case StateDisconnected:
        return QStringLiteral("Disconnected Server");
    case StateError:
        return QStringLiteral("Unable to Connect to Server");
    case StateResponseCompleted:
        return QStringLiteral("Request has been handled");
    default:
        return QString();
    }
}

} // namespace update
