#include "speech/voice_list_cache.h"

#include "platform/bounded_file.h"
#include "platform/part_file.h"
#include "speech/folder_walk.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>

namespace {

const QByteArray Header = QByteArrayLiteral("parlanto voice list 1");
constexpr qint64 MaxFileBytes = 1024 * 1024;

void addStat(QCryptographicHash &hash, const char *name, const struct stat &info)
{
    const qint64 fields[] = {qint64(info.st_mode & S_IFMT), qint64(info.st_size),
                             qint64(info.st_mtim.tv_sec),   qint64(info.st_mtim.tv_nsec),
                             qint64(info.st_ctim.tv_sec),   qint64(info.st_ctim.tv_nsec),
                             qint64(info.st_ino),           qint64(info.st_dev)};
    hash.addData(QByteArrayView(name, qsizetype(std::strlen(name) + 1)));
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(fields), qsizetype(sizeof fields)));
}

// Adds every entry below the folder `root`, walked by the running program while it loaded (once)
// or now; false when it cannot be walked whole. `entries` counts the entries of all folders.
bool addFolder(QCryptographicHash &hash, const char *root, size_t &entries)
{
    using WalkedFolder = const FolderWalk *(*)(const char *);
    static const auto walked =
        reinterpret_cast<WalkedFolder>(::dlsym(RTLD_DEFAULT, "parlanto_walked_folder"));
    FolderWalk own;
    const FolderWalk *walk = walked ? walked(root) : nullptr;
    if (!walk) {
        walkFolder(root, own);
        walk = &own;
    }
    entries += walk->count;
    const bool complete = walk->complete && entries <= FolderWalkMaxEntries;
    for (size_t i = 0; complete && i < walk->count; ++i) {
        const FolderEntry &entry = walk->entries[i];
        // A dangling link lists no voice; its name alone goes into the fingerprint.
        if (entry.found)
            addStat(hash, entry.path, entry.info);
        else
            hash.addData(QByteArrayView(entry.path, qsizetype(std::strlen(entry.path) + 1)));
    }
    freeFolderWalk(own);
    return complete;
}

// The program file of this process: how it turns the engine's list into its own may differ
// from one build to the next, so each program keeps its own list, valid for its own build.
QString runningProgram()
{
    static const QString program =
        QFile::decodeName(QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()));
    return program;
}

// The program file and, when this code runs from a library the program loaded (parlanto-cli's
// command line), that library too.
QStringList programFiles()
{
    QStringList files{runningProgram()};
    Dl_info info = {};
    if (::dladdr(reinterpret_cast<void *>(&programFiles), &info) != 0 && info.dli_fname &&
        QByteArray(info.dli_fname).endsWith(".so"))
        files.append(QFile::decodeName(info.dli_fname));
    return files;
}

bool clean(const QString &field)
{
    return !field.contains(QLatin1Char('\t')) && !field.contains(QLatin1Char('\n')) &&
           !field.contains(QLatin1Char('\r'));
}

} // namespace

namespace VoiceListCache {

QString path(const QString &name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/parlanto/") + name + QLatin1Char('-') + QFileInfo(runningProgram()).fileName();
}

QByteArray fingerprint(const QStringList &sources, const QByteArray &settings)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(Header);
    hash.addData(settings);
    size_t entries = 0;
    for (const QString &source : programFiles() + sources) {
        const std::string root = QFile::encodeName(source).toStdString();
        struct stat info
        {
        };
        if (source.isEmpty())
            return {};
        if (::stat(root.c_str(), &info) != 0) {
            // A source that is not there (yet) counts as such: its coming changes the print.
            hash.addData(QByteArrayView(root.c_str(), qsizetype(root.size() + 1)));
            continue;
        }
        addStat(hash, root.c_str(), info);
        if (S_ISDIR(info.st_mode) && !addFolder(hash, root.c_str(), entries))
            return {};
    }
    return hash.result().toHex();
}

std::optional<QList<EngineVoice>> read(const QString &name, const QByteArray &settings)
{
    const BoundedFile::Result file = BoundedFile::read(path(name), MaxFileBytes);
    if (!file.ok())
        return std::nullopt;
    const QList<QByteArray> lines = file.bytes.split('\n');
    // Header, fingerprint, source count, sources, voice count, voices, and the final line end.
    if (lines.size() < 5 || lines.at(0) != Header)
        return std::nullopt;
    bool ok = false;
    const int sourceCount = lines.at(2).toInt(&ok);
    if (!ok || sourceCount < 1 || sourceCount > lines.size() - 5)
        return std::nullopt;
    QStringList sources;
    for (int i = 0; i < sourceCount; ++i)
        sources.append(QString::fromUtf8(lines.at(3 + i)));
    const int voiceCount = lines.at(3 + sourceCount).toInt(&ok);
    if (!ok || voiceCount < 1 || lines.size() != 5 + sourceCount + voiceCount || !lines.last().isEmpty())
        return std::nullopt;
    QList<EngineVoice> voices;
    for (int i = 0; i < voiceCount; ++i) {
        const QList<QByteArray> fields = lines.at(4 + sourceCount + i).split('\t');
        if (fields.size() != 3 || fields.at(0).isEmpty())
            return std::nullopt;
        voices.append({QString::fromUtf8(fields.at(0)), QString::fromUtf8(fields.at(1)),
                       QString::fromUtf8(fields.at(2))});
    }
    // Last, as it is the costly part: the sources must be as they were when the list was read.
    const QByteArray now = fingerprint(sources, settings);
    if (now.isEmpty() || now != lines.at(1))
        return std::nullopt;
    return voices;
}

void write(const QString &name, const QByteArray &settings, const Entry &entry)
{
    if (entry.voices.isEmpty() || entry.sources.isEmpty())
        return;
    QByteArray text = Header + '\n';
    const QByteArray print = fingerprint(entry.sources, settings);
    if (print.isEmpty())
        return;
    text += print + '\n' + QByteArray::number(entry.sources.size()) + '\n';
    for (const QString &source : entry.sources) {
        if (!clean(source))
            return;
        text += source.toUtf8() + '\n';
    }
    text += QByteArray::number(entry.voices.size()) + '\n';
    for (const EngineVoice &voice : entry.voices) {
        if (voice.id.isEmpty() || !clean(voice.id) || !clean(voice.name) || !clean(voice.language))
            return;
        text += voice.id.toUtf8() + '\t' + voice.name.toUtf8() + '\t' + voice.language.toUtf8() + '\n';
    }
    const QString target = path(name);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        return;
    const QString part = PartFile::pathFor(target);
    QFile out(part);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QFile::remove(part);
        return;
    }
    const bool written = out.write(text) == text.size() && out.flush();
    out.close();
    if (!written) {
        QFile::remove(part);
        return;
    }
    PartFile::commit(part, target);
}

} // namespace VoiceListCache
