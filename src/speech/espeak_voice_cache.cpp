#include "speech/espeak_voice_cache.h"

#include "platform/bounded_file.h"
#include "platform/part_file.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Format of the kept file; raise it whenever the layout or what the stamp covers changes.
constexpr quint32 Magic = 0x50457643; // "PEvC"
constexpr qint32 Version = 1;
// A list of a few hundred voices takes some kilobytes; anything far larger is not ours.
constexpr qint64 LargestFile = 4 * 1024 * 1024;
constexpr int DeepestFolder = 8;

void addStat(QByteArray &out, const char *what, const struct stat *info)
{
    out.append(QByteArrayView(what, qsizetype(std::strlen(what) + 1)));
    if (!info) {
        out.append(QByteArrayView("-"));
        return;
    }
    const qint64 fields[] = {qint64(info->st_mode),        qint64(info->st_dev),
                             qint64(info->st_ino),         qint64(info->st_size),
                             qint64(info->st_mtim.tv_sec), qint64(info->st_mtim.tv_nsec),
                             qint64(info->st_ctim.tv_sec), qint64(info->st_ctim.tv_nsec)};
    out.append(QByteArrayView(reinterpret_cast<const char *>(fields), sizeof fields));
}

void addPath(QByteArray &out, const std::string &path, bool followLinks = true)
{
    struct stat info = {};
    const bool found = (followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) == 0;
    addStat(out, path.c_str(), found ? &info : nullptr);
}

// Every entry under the folder open as `fd` (which this takes), in name order, with what a
// change to it changes. Entries are looked at relative to their folder: a path walked from the
// root for each of some hundreds of files would cost more than the listing it saves.
void addTree(QByteArray &out, int fd, int depth)
{
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        struct stat info = {};
        const bool found = ::fstatat(::dirfd(dir), name.c_str(), &info, 0) == 0;
        addStat(out, name.c_str(), found ? &info : nullptr);
        if (found && S_ISDIR(info.st_mode) && depth < DeepestFolder) {
            const int child = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (child >= 0)
                addTree(out, child, depth + 1);
        }
        out.append(QByteArrayView("\n"));
    }
    ::closedir(dir);
}

void addTree(QByteArray &out, const std::string &folder)
{
    addPath(out, folder);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        addTree(out, fd, 0);
}

std::string local(const QString &text)
{
    return QFile::encodeName(text).toStdString();
}

// The folders the library looks at in turn for its data, and whether each is a folder now:
// another answer may mean another data folder.
void addDataFolderChoice(QByteArray &out)
{
    for (const char *name : {"ESPEAK_DATA_PATH", "HOME"}) {
        const QByteArray value = qgetenv(name);
        out.append(QByteArrayView(name));
        out.append(value.isNull() ? QByteArrayView("\1")
                                  : QByteArrayView(value.constData(), value.size() + 1));
        if (value.isEmpty())
            continue;
        for (const std::string &candidate : {value.toStdString(), value.toStdString() + "/espeak-ng-data"}) {
            struct stat info = {};
            const bool folder = ::stat(candidate.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
            out.append(QByteArrayView(folder ? "d" : "-"));
        }
    }
}

// What decides which library file a dlopen by name finds.
void addLibraryChoice(QByteArray &out)
{
    const QByteArray searchPath = qgetenv("LD_LIBRARY_PATH");
    out.append(QByteArrayView(searchPath.constData(), searchPath.size() + 1));
    addPath(out, "/etc/ld.so.cache");
}

} // namespace

namespace EspeakVoiceCache {

QString filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/parlanto/espeak-ng-voices");
}

QByteArray stamp(const QString &dataFolder, const QString &libraryFile)
{
    QByteArray out;
    out.reserve(64 * 1024);
    out.append(QByteArrayView(reinterpret_cast<const char *>(&Version), sizeof Version));
    addLibraryChoice(out);
    addPath(out, local(libraryFile));
    addDataFolderChoice(out);
    const std::string folder = local(dataFolder);
    addPath(out, folder);
    addTree(out, folder + "/voices");
    addTree(out, folder + "/lang");
    return out;
}

std::optional<QList<EngineVoice>> load()
{
    const BoundedFile::Result file = BoundedFile::read(filePath(), LargestFile);
    if (!file.ok())
        return std::nullopt;
    QDataStream in(file.bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    qint32 version = 0;
    in >> magic >> version;
    if (in.status() != QDataStream::Ok || magic != Magic || version != Version)
        return std::nullopt;
    QByteArray kept;
    QString dataFolder, libraryFile;
    qint32 count = 0;
    in >> kept >> dataFolder >> libraryFile >> count;
    if (in.status() != QDataStream::Ok || count <= 0 || count > 100000)
        return std::nullopt;
    QList<EngineVoice> voices;
    voices.reserve(count);
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        EngineVoice voice;
        in >> voice.id >> voice.name >> voice.language;
        voices.append(voice);
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    if (kept != stamp(dataFolder, libraryFile))
        return std::nullopt;
    return voices;
}

void store(const QByteArray &stamp, const QString &dataFolder, const QString &libraryFile,
           const QList<EngineVoice> &voices)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << Magic << Version << stamp << dataFolder << libraryFile << qint32(voices.size());
    for (const EngineVoice &voice : voices)
        out << voice.id << voice.name << voice.language;
    const QString target = filePath();
    if (!QDir().mkpath(QFileInfo(target).path()))
        return;
    const QString part = PartFile::pathFor(target);
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        file.close();
        QFile::remove(part);
        return;
    }
    file.close();
    PartFile::commit(part, target);
}

} // namespace EspeakVoiceCache
