#include "cli/convert_output.h"

#include "cli/convert_job.h"

#include "platform/part_file.h"
#include "platform/wav_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

namespace {

struct FileId
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId &other) const
    {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};

// The file behind a name, links followed: the same for every name of one file.
FileId fileId(const QString &name)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(name).constData(), &status) != 0)
        return {};
    return {true, status.st_dev, status.st_ino};
}

QString shownInput(const QString &input)
{
    return input == QLatin1String("-") ? QStringLiteral("standard input") : QDir::cleanPath(input);
}

} // namespace

namespace ConvertOutputs {

QStringList namesFor(const ConvertOptions &options, const ConvertItem &item)
{
    const QString audio = item.name;
    QStringList names{audio};
    if (options.lrc)
        names.append(ConvertPlan::besideOutput(audio, QStringLiteral("lrc")));
    if (options.srt)
        names.append(ConvertPlan::besideOutput(audio, QStringLiteral("srt")));
    return names;
}

QString resolved(const QString &name)
{
    QString path = QFileInfo(name).absoluteFilePath();
    // A loop of links gives up after as many steps as the kernel allows.
    for (int step = 0; step < 40; ++step) {
        const QFileInfo info(path);
        if (info.exists()) {
            // A pipe or socket behind /proc/self/fd has no path of its own.
            const QString canonical = info.canonicalFilePath();
            return canonical.isEmpty() ? path : canonical;
        }
        if (!info.isSymLink()) {
            const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
            return folder.isEmpty() ? path : QDir(folder).filePath(info.fileName());
        }
        path = info.symLinkTarget();
    }
    return path;
}

QString collision(const ConvertOptions &options, const ConvertRun &run)
{
    struct Output
    {
        QString name, input, file;
        FileId id;
    };
    QList<Output> outputs;
    for (const ConvertItem &item : run.items)
        for (const QString &name : namesFor(options, item))
            if (name != QLatin1String("-"))
                outputs.append({QDir::cleanPath(name), item.input, resolved(name), fileId(name)});
    for (const ConvertBook &book : run.books)
        if (!book.playlist.isEmpty())
            outputs.append({QDir::cleanPath(book.playlist), run.items.at(book.first).input,
                            resolved(book.playlist), fileId(book.playlist)});

    for (const QString &input : options.inputs) {
        if (input == QLatin1String("-"))
            continue;
        const FileId in = fileId(input);
        for (const Output &out : std::as_const(outputs))
            if (out.id == in)
                return QStringLiteral("the output %1 is the input %2 itself; nothing was written")
                    .arg(out.name, shownInput(input));
    }
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        for (qsizetype j = i + 1; j < outputs.size(); ++j) {
            const Output &a = outputs.at(i), &b = outputs.at(j);
            if (a.file != b.file && !(a.id == b.id))
                continue;
            const QString where =
                a.name == b.name ? a.name : QStringLiteral("%1 and %2, one file").arg(a.name, b.name);
            if (a.input == b.input)
                return QStringLiteral("two outputs of %1 would both be written to %2")
                    .arg(shownInput(a.input), where);
            return QStringLiteral("%1 and %2 would both be written to %3")
                .arg(shownInput(a.input), shownInput(b.input), where);
        }
    }
    return {};
}

void removeStaleParts(const ConvertOptions &options, const ConvertRun &run)
{
    QSet<QString> folders;
    for (const ConvertItem &item : run.items)
        for (const QString &name : namesFor(options, item))
            if (name != QLatin1String("-"))
                folders.insert(QFileInfo(resolved(name)).absolutePath());
    for (const QString &folder : std::as_const(folders))
        PartFile::removeStale(folder);
}

bool writeComplete(const QString &name, const QByteArray &bytes, QString &error)
{
    const QString target = resolved(name);
    const QString part = PartFile::pathFor(target);
    ConvertCleanup::addTemporary(part);
    QFile file(part);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (!ok)
        error = QStringLiteral("cannot write %1: %2").arg(name, file.errorString());
    else if (!(ok = writeWhole(file, bytes)))
        error = QStringLiteral("writing %1 failed: %2").arg(name, file.errorString());
    file.close();
    ok = ok && PartFile::commit(part, target, &error);
    if (!ok)
        QFile::remove(part);
    ConvertCleanup::removeTemporary(part);
    return ok;
}

} // namespace ConvertOutputs

ConvertOutput::ConvertOutput(const ConvertOptions &options, const ConvertItem &item)
    : m_options(options), m_name(item.name), m_format(convertFormatFor(options, m_name)), m_tags(item.tags)
{}

ConvertOutput::~ConvertOutput()
{
    discard();
}

QString ConvertOutput::partFor(const QString &name)
{
    const QString part = PartFile::pathFor(ConvertOutputs::resolved(name));
    m_parts.append(part);
    ConvertCleanup::addTemporary(part);
    return part;
}

bool ConvertOutput::open(QString &error)
{
    const bool standardOutput = m_name == QLatin1String("-");
    if (!standardOutput) {
        const QFileInfo target(ConvertOutputs::resolved(m_name));
        if (!target.absoluteDir().exists()) {
            error = QStringLiteral("no such folder: %1").arg(QFileInfo(m_name).absolutePath());
            return false;
        }
        if (target.exists() && !target.isFile()) {
            error = QStringLiteral("cannot write %1: it is not a regular file").arg(m_name);
            return false;
        }
        m_audioPart = partFor(m_name);
    }
    m_sink = makeAudioWriter(m_format, standardOutput ? m_name : m_audioPart,
                             {m_options.bitrate, m_options.vbr, m_options.jobs}, m_tags);
    if (!m_sink->open()) {
        error = QStringLiteral("cannot write %1: %2")
                    .arg(standardOutput ? QStringLiteral("standard output") : m_name, m_sink->errorString());
        discard();
        return false;
    }
    return true;
}

qint64 ConvertOutput::samplesWritten() const
{
    return m_sink ? m_sink->samples() : 0;
}

bool ConvertOutput::writeSubtitle(const QString &name, const QString &text, QString &error)
{
    QFile file(partFor(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        error = QStringLiteral("cannot write %1: %2").arg(name, file.errorString());
        return false;
    }
    if (!writeWhole(file, text.toUtf8())) {
        error = QStringLiteral("writing %1 failed: %2").arg(name, file.errorString());
        return false;
    }
    return true;
}

bool ConvertOutput::commit(const QString &text, const QList<ConvertPlan::Word> &words, qint64 samples,
                           QString &error)
{
    if (!m_sink) {
        error = QStringLiteral("%1 was never opened").arg(m_name);
        return false;
    }
    if (!m_sink->close()) {
        error = QStringLiteral("writing %1 failed: %2").arg(m_name, m_sink->errorString());
        discard();
        return false;
    }
    if (m_name == QLatin1String("-")) {
        m_sink.reset();
        return true;
    }
    QStringList names{m_name};
    if (m_options.lrc || m_options.srt) {
        const QList<ConvertPlan::Cue> cues = ConvertPlan::cues(text, words, samples, m_options.words);
        if (m_options.lrc) {
            names.append(ConvertPlan::besideOutput(m_name, QStringLiteral("lrc")));
            if (!writeSubtitle(names.last(), ConvertPlan::lrcText(cues, samples), error)) {
                discard();
                return false;
            }
        }
        if (m_options.srt) {
            names.append(ConvertPlan::besideOutput(m_name, QStringLiteral("srt")));
            if (!writeSubtitle(names.last(), ConvertPlan::srtText(cues), error)) {
                discard();
                return false;
            }
        }
    }
    // Every file is complete: the audio takes its name first, then the subtitles.
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString part = m_parts.takeFirst();
        ConvertCleanup::removeTemporary(part);
        if (!PartFile::commit(part, ConvertOutputs::resolved(names.at(i)), &error)) {
            discard();
            return false;
        }
    }
    m_sink.reset();
    return true;
}

void ConvertOutput::discard()
{
    m_sink.reset(); // a writer closed early removes its own file when it failed
    for (const QString &part : std::as_const(m_parts)) {
        QFile::remove(part);
        ConvertCleanup::removeTemporary(part);
    }
    m_parts.clear();
}
