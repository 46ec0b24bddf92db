#include "desktop/handed_file.h"

#include "platform/bounded_file.h"
#include "speech/document_reader.h"

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

Result read(const QString &path)
{
    if (path.isEmpty())
        return {false, QString(), QStringLiteral("No file name was given.")};
    Result result;
    // Files that are not regular, missing ones and folders are told apart before anything is
    // opened. A regular file that says it is empty yet yields bytes is a kernel file (such
    // as /proc/self/pagemap): it would run on far past any document.
    if (BoundedFile::probe(path) != BoundedFile::Outcome::Ok || QFileInfo(path).size() == 0) {
        const BoundedFile::Result file = BoundedFile::read(path, 0);
        result.ok = file.ok();
        if (file.outcome == BoundedFile::Outcome::TooBig)
            result.error = QStringLiteral("\"%1\" is not a regular file.").arg(path);
        else
            result.error = file.error;
    } else {
        const DocumentText document = readDocumentFile(path);
        result = {document.ok, document.text, document.error};
    }
    if (isHandOverFile(path))
        QFile::remove(path);
    if (!result.ok) {
        result.text.clear();
        if (result.error.isEmpty())
            result.error = QStringLiteral("\"%1\" cannot be read.").arg(path);
        result.error.replace(path, shown(path));
    }
    return result;
}

} // namespace HandedFile
