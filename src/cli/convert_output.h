#pragma once

// Where the files of 'parlanto-cli convert' go and how each one reaches its final name. Every
// file a conversion makes (the audio and the subtitles beside it) is written under a part file
// beside its target and renamed into place only when it is complete, so a kill, a crash or a
// full disk never leaves a half file under a name that says it is finished.

#include "cli/convert_plan.h"
#include "cli/encoded_writer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

struct ConvertOptions;
struct ConvertItem;
struct ConvertRun;
class WavWriter;

namespace ConvertOutputs {

// The files an item writes, as the options name them: the audio output first, then the
// subtitle files asked for.
QStringList namesFor(const ConvertOptions &options, const ConvertItem &item);

// The file a name stands for once every symbolic link is followed; for a name (or a link) whose
// file does not exist yet, where it would be made.
QString resolved(const QString &name);

// Why the run must not start, naming the files: an output that is one of the inputs under any
// name (the same name, a hard or a symbolic link), or two outputs that are one file. Empty when
// every output is a file of its own.
QString collision(const ConvertOptions &options, const ConvertRun &run);

// Removes the part files of runs that no longer run from every folder the outputs go to.
void removeStaleParts(const ConvertOptions &options, const ConvertRun &run);

// Writes a file whole under a part file and renames it into place; false with `error`.
bool writeComplete(const QString &name, const QByteArray &bytes, QString &error);

} // namespace ConvertOutputs

// One output of a conversion and the subtitle files beside it. Standard output ("-") is
// written as the audio comes, with no part file.
class ConvertOutput
{
public:
    ConvertOutput(const ConvertOptions &options, const ConvertItem &item);
    ~ConvertOutput(); // discards what commit() did not put in place
    ConvertOutput(const ConvertOutput &) = delete;
    ConvertOutput &operator=(const ConvertOutput &) = delete;

    QString name() const { return m_name; } // the audio output as the options name it

    // Creates the part file of the audio; false with `error` naming the file and the reason.
    bool open(QString &error);
    WavWriter &sink() { return *m_sink; }
    qint64 samplesWritten() const; // the PCM samples taken so far

    // Completes the audio, writes the subtitles the options ask for and puts every file in
    // place. False with `error` (and nothing of this output left but files already renamed).
    bool commit(const QString &text, const QList<ConvertPlan::Word> &words, qint64 samples, QString &error);
    // Removes every part file of this output.
    void discard();

private:
    QString partFor(const QString &name);
    bool writeSubtitle(const QString &name, const QString &text, QString &error);

    const ConvertOptions &m_options;
    QString m_name;
    AudioFormat m_format = AudioFormat::Wav;
    AudioTags m_tags;
    QStringList m_parts; // part files made and not yet renamed
    std::unique_ptr<EncodedWriter> m_sink;
    QString m_audioPart;
};
