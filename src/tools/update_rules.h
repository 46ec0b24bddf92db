#pragma once

#include <QByteArray>
#include <QString>

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
