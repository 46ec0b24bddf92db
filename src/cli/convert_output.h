#pragma once

// Where the files of 'parlanto-cli convert' go and how each one reaches its final name. Every
// file a conversion makes (the audio and the subtitles beside it) is written under a part file
// beside its target and renamed into place only when it is complete, so a kill, a crash or a
// full disk never leaves a half file under a name that says it is finished.

#include "cli/convert_plan.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

struct ConvertOptions;
class WavWriter;

namespace ConvertOutputs {

// The files converting `input` writes, as the options name them: the audio output first, then
// the subtitle files asked for.
QStringList namesFor(const ConvertOptions &options, const QString &input);

// The file a name stands for once every symbolic link is followed; for a name (or a link) whose
// file does not exist yet, where it would be made.
QString resolved(const QString &name);

// Why the run must not start, naming the files: an output that is one of the inputs under any
// name (the same name, a hard or a symbolic link), or two outputs that are one file. Empty when
// every output is a file of its own.
QString collision(const ConvertOptions &options);

// Removes the part files of runs that no longer run from every folder the outputs go to.
void removeStaleParts(const ConvertOptions &options);

} // namespace ConvertOutputs

// One output of a conversion and the subtitle files beside it.
class ConvertOutput
{
public:
    enum class Feed
    {
        Samples, // PCM, encoded here when the output is MP3
        Encoded, // the output format's own bytes, made elsewhere (for WAV, its PCM)
    };

    ConvertOutput(const ConvertOptions &options, const QString &input);
    ~ConvertOutput(); // discards what commit() did not put in place
    ConvertOutput(const ConvertOutput &) = delete;
    ConvertOutput &operator=(const ConvertOutput &) = delete;

    QString name() const { return m_name; } // the audio output as the options name it
    bool isMp3() const { return m_mp3; }

    // Creates the part file of the audio; false with `error` naming the file and the reason.
    bool open(Feed feed, QString &error);
    WavWriter &sink() { return *m_sink; }
    qint64 samplesWritten() const; // with Feed::Samples: the PCM samples taken so far
    // With Feed::Encoded MP3: the frame that replaces the stream's first one when it is complete.
    void setLeadingFrame(const QByteArray &frame);

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
    bool m_mp3 = false;
    QStringList m_parts; // part files made and not yet renamed
    std::unique_ptr<WavWriter> m_sink;
    QString m_audioPart;
    Feed m_feed = Feed::Samples;
};
