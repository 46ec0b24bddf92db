#pragma once

// What the parts of 'parlanto-cli convert' share: the options, the voice that speaks a text
// into a sink, reading an input, cleaning up after an interrupt and the progress line.

#include "cli/cli_commands.h"
#include "cli/convert_plan.h"
#include "cli/encoded_writer.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class DirectSS;
struct DocumentText;
class SpVoice;
class WavWriter;

struct ConvertOptions
{
    QString voice;
    std::optional<int> rate, pitch, volume;
    QString format; // "wav", "mp3", "opus", "flac" or empty: from the output's name
    int bitrate = 0;
    bool vbr = false;
    QString out, outDir;
    int jobs = 0;
    // Characters per part when a text is spoken on several cores: enough that a part's start-up
    // costs nothing, few enough that the parts waiting to be joined stay small and both cores
    // stay busy to the end.
    int partChars = 1000;
    bool lrc = false, srt = false, words = false;
    bool chapters = false;
    QString chapterPattern; // empty: ConvertPlan::defaultChapterPattern()
    QString title, author;  // override what the documents say
    bool quiet = false, dryRun = false;
    bool partWorker = false; // started by another convert: speak the parts it is sent
    QStringList dicts;       // pronunciation rule files besides the user's own
    QStringList inputs;
};

AudioFormat convertFormatFor(const ConvertOptions &options, const QString &output);
QString convertOutputFor(const ConvertOptions &options, const QString &input);

// One audio file a conversion makes: the whole text of an input, or one chapter of it.
struct ConvertItem
{
    QString input;               // as given; "-" for standard input
    QString name;                // the audio output; "-" for standard output
    std::optional<QString> text; // read when it is converted when not known yet
    AudioTags tags;              // the title and author come from the document when it is read
    qint64 samples = -1;         // once converted: the audio's length
};

// The outputs of a run: one per input, or with --chapters one per chapter of each input (the
// documents are read for it), and the playlists of the chapters. Inputs that cannot be read are
// reported and counted in `failed`.
struct ConvertBook
{
    QString playlist;               // the M3U file, empty without chapters
    qsizetype first = 0, count = 0; // its items
};
struct ConvertRun
{
    QList<ConvertItem> items;
    QList<ConvertBook> books;
    int failed = 0;
};
ConvertRun planConvertRun(const ConvertOptions &options);

// Reads an item's text when it is not known yet and completes its tags; false with `error`.
bool loadConvertItem(const ConvertOptions &options, ConvertItem &item, QString &error);

// Speaks texts one at a time with the chosen voice and settings into a sink, in this process.
class VoiceRenderer
{
public:
    using WordHandler = std::function<void(int position, int length, qint64 sample)>;

    VoiceRenderer(const ConvertOptions &options, const CliVoice &voice);
    ~VoiceRenderer();
    VoiceRenderer(const VoiceRenderer &) = delete;
    VoiceRenderer &operator=(const VoiceRenderer &) = delete;

    QString problem() const { return m_problem; } // empty when the voice can speak
    // Speaks `text` into the open `sink`; words at their offsets in `text` and their samples
    // from the start of this text. False when the sink failed.
    bool render(const QString &text, WavWriter &sink, const WordHandler &onWord);

private:
    std::unique_ptr<DirectSS> m_directss;
    std::unique_ptr<SpVoice> m_spvoice;
    QString m_problem;
};

// The text of an input ('-': standard input, read once however often it is asked for), or why
// there is none. Standard input is read up to the size of the largest document.
bool readConvertInput(const QString &input, QString &text, QString &error);
bool readConvertDocument(const QString &input, DocumentText &document, QString &error);

void reportConvertFailure(const QString &input, const QString &why);

// Temporary files and worker processes an interrupted run must not leave behind: on SIGINT,
// SIGTERM or SIGHUP the workers are killed, the temporaries removed and the run ends.
namespace ConvertCleanup {
void install();
void addTemporary(const QString &path);
void removeTemporary(const QString &path);
void addWorker(qint64 pid);
void removeWorker(qint64 pid);
} // namespace ConvertCleanup

// One line on standard error, rewritten in place, only when it is a terminal: the file (or
// chapter) being made, the share done, the time taken and left, the hours of audio made.
class ConvertProgress
{
public:
    // `weights`: each output's share of the work (its characters), in the order they are made.
    ConvertProgress(QList<qint64> weights, bool allowed);
    void setLabel(const QString &label); // the file being made
    void setCurrent(double fraction, qint64 samples);
    void fileDone(qint64 samples);
    void finish();

private:
    void show(bool force);

    QList<qint64> m_weights;
    qint64 m_totalWeight = 0, m_doneWeight = 0;
    int m_done = 0;
    QString m_label;
    qint64 m_samples = 0;
    qint64 m_currentSamples = 0;
    double m_fraction = 0;
    bool m_enabled = false;
    bool m_shown = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastShown;
};
