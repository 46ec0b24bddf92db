#include "desktop/handed_file.h"

#include "platform/bounded_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace HandedFile {

namespace {

// Shown paths are cut to this many characters, so that a message stays a message.
constexpr int ShownPathLength = 200;

QString shown(const QString &path)
{
    return path.size() <= ShownPathLength ? path : path.left(ShownPathLength) + QStringLiteral("…");
}

// A regular file of ours directly in the hand-over folder (not a link to one elsewhere).
bool isHandOverFile(const QString &path)
{
    const QFileInfo file(path);
    const QString folder = QFileInfo(handOverFolder()).canonicalFilePath();
    if (folder.isEmpty() || QFileInfo(file.absolutePath()).canonicalFilePath() != folder)
        return false;
    struct stat info = {};
    return ::lstat(QFile::encodeName(file.absoluteFilePath()).constData(), &info) == 0 &&
           S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

} // namespace

QString handOverFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/parlanto/writer");
}

QString refusal(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("No file name was given.");
    // A regular file that says it is empty yet yields bytes is a kernel file (such as
    // /proc/self/pagemap): it would run on far past any document.
    if (BoundedFile::probe(path) != BoundedFile::Outcome::Ok || QFileInfo(path).size() == 0) {
        const BoundedFile::Result file = BoundedFile::read(path, 0);
        if (file.ok())
            return QString(); // truly empty: an empty document
        if (file.outcome == BoundedFile::Outcome::TooBig)
            return failureText(path, QStringLiteral("\"%1\" is not a regular file.").arg(path));
        return failureText(path, file.error);
    }
    return QString();
}

void release(const QString &path)
{
    if (isHandOverFile(path))
        QFile::remove(path);
}

QString failureText(const QString &path, const QString &error)
{
    QString text = error.isEmpty() ? QStringLiteral("\"%1\" cannot be read.").arg(path) : error;
    return text.replace(path, shown(path));
}

} // namespace HandedFile
