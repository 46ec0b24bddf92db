#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

#include <optional>

// The rules of the online update, kept apart from the window: reading the version file,
// comparing versions, checking a downloaded installer and the progress display.
namespace update {

// The vendor's update site without a trailing slash: PARLANTO_SITE when set, else the
// compiled-in https address.
QString updateSite();
QString versionFileUrl(); // <site>/update/updateinfo.ini
QString installerUrl();   // <site>/update/updatec.exe

// Version files larger than this are not version files (an error page, a wrong address).
constexpr qint64 MaxVersionFileSize = 64 * 1024;
// No installer is larger than this; a body or an announced size beyond it is not one.
constexpr qint64 MaxInstallerSize = 512LL * 1024 * 1024;
// Redirects followed for one transfer, all within the update site.
constexpr int MaxRedirects = 5;

// When a transfer gives up. Besides the transfer's own timeout for a connection that sends
// nothing, each transfer has a deadline in proportion to its size, so that a server that drips a
// byte now and then cannot keep the window busy for ever: a floor, plus the time its size takes
// at the slowest rate that still counts as a working connection.
struct TransferLimits
{
    qint64 versionFileCap = MaxVersionFileSize;
    qint64 installerCap = MaxInstallerSize;
    qint64 deadlineFloorMs = 60000;
    qint64 minimumBytesPerSecond = 8 * 1024;
};
qint64 transferDeadlineMs(qint64 size, const TransferLimits &limits);

// Whether a redirect from the update site to `target` is followed: only to the same scheme, host
// and port, so that the site alone says which installer and which hash are trusted.
bool redirectAllowed(const QUrl &site, const QUrl &target);

// A version number as written in the version file and on the version label: a decimal number
// with "." as its separator, whatever the user's locale. Blanks around it are allowed; group
// separators, exponents, infinities and anything else are not.
std::optional<double> parseVersion(const QString &text);

// The version file: its first line is the newest version, its second the installer's SHA-256
// in hex; anything after that is ignored.
struct VersionFile
{
    QString newestText; // the first line, without its line end
    std::optional<double> newest;
    QByteArray installerHash; // 32 bytes, or empty when the second line is missing or no hash
};
VersionFile readVersionFile(const QByteArray &bytes);

// The last four characters of the version label's caption ("Version 1.71" -> "1.71").
QString currentVersionText(const QString &versionCaption);

enum class CheckOutcome
{
    NoNewVersion,
    NewVersion,
    Failed, // one of the two versions is not a number
};
CheckOutcome compareVersions(const QString &currentText, const VersionFile &file);

// The installer runs only when it is exactly what the version file announced.
struct Download
{
    qint64 size = 0;
    QByteArray sha256; // raw 32 bytes
};
bool installerVerified(const Download &download, qint64 expectedSize, const QByteArray &expectedSha256);
// Size and SHA-256 of a regular file on disk, read no further than just past `maxBytes` (a
// longer file shows as longer than that); nothing when it cannot be read or is no regular file.
std::optional<Download> measureFile(const QString &path, qint64 maxBytes);

// The announced size from a Content-Length header value; nothing when it is missing, not a
// whole number or not above 0 (there is nothing to show a percentage of).
std::optional<qint64> announcedSize(const QByteArray &contentLength);

// The percentage label's text for `written` of `size` bytes: p = written * 100 / size,
// "100%" when p is above 100, else p rounded (ties to even) followed by "%". Nothing when the
// size is not usable.
std::optional<QString> percentText(qint64 written, qint64 size);
// Width in twips of the bar's filled part: 50 per whole percent, at most the track's width.
int barWidthTwips(qint64 written, qint64 size, int trackWidthTwips);

// The transfer states and the text the window shows for each; other numbers show nothing.
enum TransferState
{
    StateNone = 0,
    StateResolving = 1,
    StateResolved = 2,
    StateConnecting = 3,
    StateConnected = 4,
    StateRequesting = 5,
    StateRequestSent = 6,
    StateReceivingResponse = 7,
    StateResponseReceived = 8,
    StateDisconnecting = 9,
    StateDisconnected = 10,
    StateError = 11,
    StateResponseCompleted = 12,
};
QString stateText(int state); // null for an unknown state

} // namespace update
