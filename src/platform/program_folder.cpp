#include "platform/program_folder.h"

#include "platform/part_file.h"
#include "platform/record_codec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString withoutTrailingSeparator(const QString &path)
{
    QString clean = QDir::cleanPath(path);
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    return clean;
}

// Copies every shipped asset that the program folder lacks. Files already there are the
// user's (or an earlier copy) and are never overwritten.
void seedFolder(const QString &folder)
{
    const QDir assets(assetFolder());
    if (!assets.exists())
        return;
    const QFileInfoList files = assets.entryInfoList(QDir::Files | QDir::Readable);
    for (const QFileInfo &file : files) {
        const QString target = folder + QLatin1Char('/') + file.fileName();
        if (!QFileInfo::exists(target))
            QFile::copy(file.absoluteFilePath(), target);
    }
}

// A folder we made ourselves, owned by us and reachable only by us, when the usual place
// cannot be trusted. Made once per process and kept for its lifetime.
QString privateFallbackFolder()
{
    static const QString folder = [] {
        QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/parlanto-XXXXXX"));
        if (char *made = ::mkdtemp(pattern.data()))
            return QFile::decodeName(made);
        return QString();
    }();
    return folder;
}

// True when path is a real folder (not a symlink) owned by this user; makes it mode 0700.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0)
        return false;
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 0777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return false;
    return true;
}

} // namespace

QString assetFolder()
{
    // Installed: the share folder at its place relative to the program's own folder, so a prefix
    // that was moved or packaged elsewhere still finds its own assets first.
    if (QCoreApplication::instance()) {
        const QString beside =
            QCoreApplication::applicationDirPath() + QStringLiteral("/" PARLANTO_ASSET_DIR_FROM_BIN);
        if (QFileInfo(beside).isDir())
            return withoutTrailingSeparator(beside);
    }
    // Started from the build tree: the source tree's assets, never an older installed copy.
    const QString source = QStringLiteral(PARLANTO_SOURCE_ASSET_DIR);
    if (QFileInfo(source).isDir())
        return withoutTrailingSeparator(source);
    const QString installed = QStringLiteral(PARLANTO_ASSET_DIR);
    if (!installed.isEmpty() && QFileInfo(installed).isDir())
        return withoutTrailingSeparator(installed);
    return withoutTrailingSeparator(source);
}

QString programFolder()
{
    QString folder = qEnvironmentVariable("PARLANTO_HOME");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                 QStringLiteral("/parlanto");
    folder = withoutTrailingSeparator(QFileInfo(folder).absoluteFilePath());

    // Seed each folder once per process; tests switch PARLANTO_HOME between cases.
    static QMutex mutex;
    static QSet<QString> seeded;
    const QMutexLocker locker(&mutex);
    if (!seeded.contains(folder)) {
        QDir().mkpath(folder);
        seedFolder(folder);
        seeded.insert(folder);
    }
    return folder;
}

QString programFile(const QString &name)
{
    return programFolder() + QLatin1Char('/') + name;
}

namespace {
const QString FirstRunMark = QStringLiteral("firstuse.done");
} // namespace

bool isFirstRun()
{
    return !QFileInfo::exists(programFile(FirstRunMark));
}

void markFirstRunDone()
{
    // Through the record writer: a FIFO or device under the mark's name never blocks the write.
    writeRecordFile(programFile(FirstRunMark), QByteArrayLiteral("The first-run help has been shown.\n"));
}

QString scratchRoot()
{
    // On disk, in the per-user cache folder: a temporary WAV of a long text runs to gigabytes,
    // far more than the RAM-backed runtime folder holds.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache + QStringLiteral("/parlanto")))
        return privateFallbackFolder();
    const QString folder = cache + QStringLiteral("/parlanto/scratch");
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return privateFallbackFolder();
    // Someone else's folder or a symlink planted at the fixed name must never receive our files.
    if (!isPrivateFolder(native))
        return privateFallbackFolder();
    return folder;
}

QString ownScratchFolder()
{
    const QString root = scratchRoot();
    const QString folder = root + QLatin1Char('/') + QString::number(QCoreApplication::applicationPid());
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return root;
    return isPrivateFolder(native) ? folder : root;
}

int removeStaleScratch()
{
    const QDir root(scratchRoot());
    const qint64 own = QCoreApplication::applicationPid();
    int removed = 0;
    const QFileInfoList entries =
        root.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink()) {
            bool isNumber = false;
            const qint64 pid = entry.fileName().toLongLong(&isNumber);
            if (isNumber && pid != own && PartFile::processRunning(pid))
                continue; // a job of a running process (another window's, parlanto-cli's)
            if (QDir(entry.absoluteFilePath()).removeRecursively())
                ++removed;
        } else if (QFile::remove(entry.absoluteFilePath())) {
            ++removed; // a file of an earlier version, which used no folder per process
        }
    }
    return removed;
}

QString vendorSite()
{
    QString site = qEnvironmentVariable("PARLANTO_SITE");
    if (site.isEmpty())
        site = QStringLiteral("http://www.parlanto.example");
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site;
}

QString vendorSupport()
{
    const QString support = qEnvironmentVariable("PARLANTO_SUPPORT");
    return support.isEmpty() ? QStringLiteral("support@parlanto.example") : support;
}

int localeIdFromName(const QString &localeName)
{
    // Accept "ko_KR", "ko-KR", "ko_KR.UTF-8" and "ko_KR@euro" alike.
    QString name = localeName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    name.replace(QLatin1Char('-'), QLatin1Char('_'));
    if (name.compare(QLatin1String("ko_KR"), Qt::CaseInsensitive) == 0)
        return 1042;
    if (name.compare(QLatin1String("zh_TW"), Qt::CaseInsensitive) == 0)
        return 1028;
    if (name.compare(QLatin1String("ja_JP"), Qt::CaseInsensitive) == 0)
        return 1041;
    if (name.compare(QLatin1String("zh_CN"), Qt::CaseInsensitive) == 0)
        return 2052;
    return 1033;
}

int userDefaultLocaleId()
{
    return localeIdFromName(QLocale::system().name());
}
