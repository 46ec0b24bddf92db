#include "cli/cli_convert.h"

#include "cli/cli_arguments.h"
#include "cli/cli_commands.h"
#include "cli/cli_pronunciation.h"
#include "cli/convert_job.h"
#include "cli/convert_output.h"
#include "cli/convert_plan.h"
#include "cli/convert_workers.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <malloc.h>
#include <optional>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

const char *const ConvertHelp = R"HELP(Usage: parlanto-cli convert [OPTIONS] INPUT...

Converts each INPUT (any document Parlanto reads: text, RTF, PDF, EPUB, ODT, DOCX, HTML,
Markdown; '-' for standard input) to a 22050 Hz mono WAV, MP3, Opus or FLAC file, as fast
as the machine allows. The same input and options give the same bytes, whatever --jobs is.

Options:
  --voice TEXT    a voice, as for 'parlanto-cli speak' (default: the first voice of the
                  locale's language, else the first US English voice)
  --rate N        rate 0..100, as the main window's rate bar (default: the voice's own)
  --pitch N       pitch 0..100 (eSpeak NG voices only; default 50)
  --volume N      volume 0..100 (default 100)
  --format F      wav, mp3, opus or flac (default: from the output's name, else wav)
  --bitrate K     bit rate in kbit/s: MP3 one of 8..160 (default 32, as 'lame -f' makes of
                  this audio), Opus 6..256 (default 24)
  --vbr           MP3 with a variable bit rate (--bitrate is then its highest)
  -o FILE         the output file, for one INPUT; '-' writes the audio to standard output
  --out-dir DIR   the folder for the outputs (default: each input's own folder)
  --chapters      one file per chapter, "NN - Title.ext", and an M3U playlist named after
                  the book, in --out-dir (or -o DIR; made when missing), else the input's
                  folder. Chapters come from the document (EPUB contents, PDF outline,
                  headings); in plain text from lines that match --chapter-pattern
  --chapter-pattern REGEX
                  a line standing alone that begins a chapter (case is ignored; default:
                  "Chapter 12", "CHAPTER XII", with or without a title after the number)
  --title TEXT    the title (album) the files are tagged with (default: the document's)
  --author TEXT   the author (artist) they are tagged with (default: the document's)
  --jobs N        use up to N processes: a long text is spoken in parts side by side, several
                  inputs at the same time (default: the number of cores)
  --lrc           write an LRC subtitle file beside each output
  --srt           write a SubRip (.srt) subtitle file beside each output
  --words         subtitles with one line per word instead of per sentence
  --dict FILE     pronunciation rules to use besides the program's own pronunciation.txt
                  (may be given more than once; later rules win)
  --quiet         no progress line
  --dry-run       print the chapters and the files a run would write, and write nothing

Every file is tagged: title (the chapter's or the book's), album (the book), artist (the
author where the document names one), track number and total, the voice in a comment
(ID3v2.4 in MP3, Vorbis comments in Opus and FLAC; WAV has none).

Outputs (subtitles and playlists too) are written under a hidden temporary name and renamed
when complete. An output that would be one of the inputs, under any name, or two outputs
that would be one file stop the run before anything is written. A progress line (file,
share done, time taken and left, hours of audio made) is shown on standard error when it
is a terminal.

Exit status: 0 when every input was converted, 1 when any failed (each named on standard
error; the others are still converted), 2 for a usage error or outputs that collide.
)HELP";

// MP3 bit rates MPEG-2 allows at 22050 Hz.
constexpr int Mp3BitRates[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

QTextStream &err()
{
    return cliErr();
}

int usage(const QString &reason)
{
    err() << "parlanto-cli: " << reason << "\n";
    err().flush();
    return ExitUsage;
}

// The bit rate fits the format: MP3 has a fixed list of rates at 22050 Hz, Opus takes 6 to
// 256 kbit/s, WAV and FLAC have none to choose.
QString checkBitrate(const ConvertOptions &options)
{
    if (options.bitrate == 0 && !options.vbr)
        return {};
    const AudioFormat format = convertFormatFor(options, options.out);
    if (options.vbr && format != AudioFormat::Mp3)
        return QStringLiteral("--vbr is for MP3 output");
    if (options.bitrate == 0)
        return {};
    if (format == AudioFormat::Mp3 &&
        std::find(std::begin(Mp3BitRates), std::end(Mp3BitRates), options.bitrate) == std::end(Mp3BitRates))
        return QStringLiteral("--bitrate takes one of 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, "
                              "112, 128, 144, 160 for MP3, not '%1'")
            .arg(options.bitrate);
    if (format == AudioFormat::Wav || format == AudioFormat::Flac)
        return QStringLiteral("--bitrate is for MP3 and Opus output");
    return {};
}

// Parses the arguments; an error message for a usage error.
std::optional<QString> parse(const QStringList &args, ConvertOptions &options)
{
    CliArguments reader(QStringLiteral("convert"), args);
    while (reader.next()) {
        const QString &a = reader.current();
        if (reader.isOperand()) {
            options.inputs.append(a);
            continue;
        }
        if (a == QLatin1String("--lrc")) {
            options.lrc = true;
        } else if (a == QLatin1String("--srt")) {
            options.srt = true;
        } else if (a == QLatin1String("--words")) {
            options.words = true;
        } else if (a == QLatin1String("--part-worker")) {
            options.partWorker = true;
        } else if (a == QLatin1String("--chapters")) {
            options.chapters = true;
        } else if (a == QLatin1String("--vbr")) {
            options.vbr = true;
        } else if (a == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (a == QLatin1String("--dry-run")) {
            options.dryRun = true;
        } else if (a == QLatin1String("--voice") || a == QLatin1String("--rate") ||
                   a == QLatin1String("--pitch") || a == QLatin1String("--volume") ||
                   a == QLatin1String("--format") || a == QLatin1String("--bitrate") ||
                   a == QLatin1String("-o") || a == QLatin1String("--out-dir") ||
                   a == QLatin1String("--jobs") || a == QLatin1String("--part-chars") ||
                   a == QLatin1String("--dict") || a == QLatin1String("--chapter-pattern") ||
                   a == QLatin1String("--title") || a == QLatin1String("--author")) {
            const auto value = reader.value();
            if (!value)
                return QStringLiteral("%1 needs a value").arg(a);
            const QString v = *value;
            bool ok = false;
            const int n = v.toInt(&ok);
            if (a == QLatin1String("--voice")) {
                options.voice = v;
            } else if (a == QLatin1String("--dict")) {
                options.dicts.append(v);
            } else if (a == QLatin1String("--chapter-pattern")) {
                const QRegularExpression pattern(v);
                if (v.isEmpty() || !pattern.isValid())
                    return QStringLiteral("--chapter-pattern takes a regular expression: %1")
                        .arg(v.isEmpty() ? QStringLiteral("it is empty") : pattern.errorString());
                options.chapterPattern = v;
            } else if (a == QLatin1String("--title")) {
                options.title = v;
            } else if (a == QLatin1String("--author")) {
                options.author = v;
            } else if (a == QLatin1String("--format")) {
                if (!formatNamed(v) || v != v.toLower())
                    return QStringLiteral("--format takes wav, mp3, opus or flac, not '%1'").arg(v);
                options.format = v;
            } else if (a == QLatin1String("--bitrate")) {
                if (!ok || n < 6 || n > 256)
                    return QStringLiteral("--bitrate takes kbit/s as a whole number, not '%1'").arg(v);
                options.bitrate = n;
            } else if (a == QLatin1String("-o") || a == QLatin1String("--out-dir")) {
                if (v.isEmpty())
                    return QStringLiteral("%1 needs a name").arg(a);
                (a == QLatin1String("-o") ? options.out : options.outDir) = v;
            } else if (a == QLatin1String("--jobs")) {
                if (!ok || n < 1 || n > 256)
                    return QStringLiteral("--jobs takes a whole number from 1 to 256, not '%1'").arg(v);
                options.jobs = n;
            } else if (a == QLatin1String("--part-chars")) {
                // Not in the help: lets tests and measurements choose the part size.
                if (!ok || n < 1)
                    return QStringLiteral("--part-chars takes a positive whole number, not '%1'").arg(v);
                options.partChars = n;
            } else {
                if (!ok || n < 0 || n > 100)
                    return QStringLiteral("%1 takes a whole number from 0 to 100, not '%2'").arg(a, v);
                (a == QLatin1String("--rate")    ? options.rate
                 : a == QLatin1String("--pitch") ? options.pitch
                                                 : options.volume) = n;
            }
        } else {
            return reader.unknown();
        }
    }
    if (!reader.problem().isEmpty())
        return reader.problem();
    if (options.inputs.isEmpty() && !options.partWorker)
        return QStringLiteral("convert needs an input (try 'parlanto-cli convert --help')");
    if (options.out == QLatin1String("-")) {
        if (options.chapters)
            return QStringLiteral("-o - writes one stream: it cannot hold the files of --chapters");
        if (options.lrc || options.srt)
            return QStringLiteral("-o - writes only the audio: subtitles need an output file");
    }
    if (options.chapters && formatNamed(QFileInfo(options.out).suffix()))
        return QStringLiteral("--chapters writes a folder of files: name the folder with --out-dir");
    if (!options.chapterPattern.isEmpty() && !options.chapters)
        return QStringLiteral("--chapter-pattern needs --chapters");
    if (!options.out.isEmpty() && !options.outDir.isEmpty())
        return QStringLiteral("give either -o or --out-dir, not both");
    if (!options.out.isEmpty() && options.inputs.size() > 1)
        return options.out == QLatin1String("-")
                   ? QStringLiteral("-o - writes one stream: give one input")
                   : QStringLiteral("-o names one output: use --out-dir for several inputs");
    if (const QString problem = checkBitrate(options); !problem.isEmpty())
        return problem;
    if (options.words && !options.lrc && !options.srt)
        return QStringLiteral("--words needs --lrc or --srt");
    if (options.inputs.count(QStringLiteral("-")) > 1)
        return QStringLiteral("standard input ('-') can be read only once");
    if (options.jobs == 0)
        options.jobs = std::max(1, QThread::idealThreadCount());
    return std::nullopt;
}

struct Result
{
    bool ok = false;
    QString error;
    qint64 samples = 0;
};

// Converts one item here, on this process's engine: synthesis on the engine's thread, the
// writing (and encoding) on this one. The text is spoken in the same parts the workers would
// speak, so the audio is the same whether it is made here or by them.
Result convertOne(const ConvertOptions &options, const CliVoice &voice, ConvertItem &item,
                  ConvertProgress &progress)
{
    QString error;
    if (!loadConvertItem(options, item, error))
        return {false, error, 0};
    const QString text = *std::exchange(item.text, std::nullopt);
    ConvertOutput output(options, item);
    if (!output.open(error))
        return {false, error, 0};
    VoiceRenderer renderer(options, voice);
    if (!renderer.problem().isEmpty())
        return {false, renderer.problem(), 0};
    progress.setLabel(QFileInfo(item.name).fileName());
    QList<ConvertPlan::Word> words;
    for (const ConvertPlan::Part &part : ConvertPlan::parts(text, options.partChars)) {
        const qint64 base = output.samplesWritten();
        const bool spoken = renderer.render(
            text.mid(part.start, part.end - part.start), output.sink(),
            [&](int position, int length, qint64 sample) {
                words.append({part.start + position, length, base + sample});
                progress.setCurrent(double(part.start + position) / double(text.size()), base + sample);
            });
        if (!spoken)
            break;
    }
    const qint64 samples = output.samplesWritten();
    if (!output.commit(text, words, samples, error))
        return {false, error, 0};
    item.samples = samples;
    return {true, {}, samples};
}

// The M3U playlist of each book whose chapters were made, listing those that were.
int writePlaylists(const ConvertRun &run)
{
    int failed = 0;
    for (const ConvertBook &book : run.books) {
        QList<ConvertPlan::PlaylistEntry> entries;
        for (qsizetype i = book.first; i < book.first + book.count; ++i) {
            const ConvertItem &item = run.items.at(i);
            if (item.samples >= 0)
                entries.append({QFileInfo(item.name).fileName(), item.tags.title, item.samples});
        }
        QString error;
        if (!entries.isEmpty() &&
            !ConvertOutputs::writeComplete(book.playlist, ConvertPlan::m3uText(entries).toUtf8(), error)) {
            reportConvertFailure(run.items.at(book.first).input, error);
            ++failed;
        }
    }
    return failed;
}

// What a run would write, without writing it.
void printPlan(const ConvertRun &run)
{
    QTextStream out(stdout);
    qsizetype book = 0;
    for (qsizetype i = 0; i < run.items.size(); ++i) {
        const ConvertItem &item = run.items.at(i);
        const bool chapter = book < run.books.size() && i >= run.books.at(book).first;
        if (chapter && i == run.books.at(book).first)
            out << run.items.at(i).input << ": " << run.books.at(book).count << " chapters\n";
        if (chapter)
            out << "  " << item.tags.track << ". " << item.tags.title << " -> " << item.name << "\n";
        else
            out << item.input << " -> " << item.name << "\n";
        if (chapter && i + 1 == run.books.at(book).first + run.books.at(book).count)
            out << "  playlist -> " << run.books.at(book++).playlist << "\n";
    }
}

} // namespace

int convertCommand(const QStringList &args)
{
    // After "--" every argument is a file, even one named "--help".
    const QStringList beforeFiles = args.mid(0, args.indexOf(QStringLiteral("--")));
    if (beforeFiles.contains(QStringLiteral("--help")) || beforeFiles.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << ConvertHelp;
        return ExitOk;
    }
    ConvertOptions options;
    if (const auto problem = parse(args, options))
        return usage(*problem);
    // An unknown voice is told once, not by every worker.
    QStringList candidates;
    const auto voice = findCliVoice(options.voice, &candidates);
    if (!voice)
        return voiceNotFound(options.voice, candidates);
    options.voice = voice->text; // the workers need not choose again
    err().flush();
    // The workers read the same rules; only this process tells what it skipped.
    if (!useCliPronunciation(options.dicts, options.partWorker))
        return ExitFailure;
    if (options.partWorker)
        return runPartWorker(options, *voice);
    err().flush();

    // Standard input is read while Ctrl+C still ends the program at once.
    if (options.inputs.contains(QStringLiteral("-"))) {
        QString text, error;
        readConvertInput(QStringLiteral("-"), text, error);
    }
    // With --chapters the documents are read now: their chapters name the outputs.
    ConvertRun run = planConvertRun(options);
    // Nothing is written where it would destroy an input or another output.
    if (const QString problem = ConvertOutputs::collision(options, run); !problem.isEmpty())
        return usage(problem);
    if (options.dryRun) {
        printPlan(run);
        return run.failed > 0 ? ExitFailure : ExitOk;
    }
    ConvertCleanup::install();
    // The MP3 encoder threads come and go; with an arena each, freed memory would stay with
    // every one of them.
    mallopt(M_ARENA_MAX, 2);
    // The large blocks (a part's audio waiting its turn, a stretch on its way to the encoder)
    // are mapped for themselves and given back when freed. Left to itself, malloc raises this
    // limit to the largest block freed so far, and then keeps such blocks in a heap that does
    // not shrink.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    ConvertOutputs::removeStaleParts(options, run);
    // A book's chapters go to a folder of their own, made for them.
    if (options.chapters)
        for (const ConvertItem &item : std::as_const(run.items))
            QDir().mkpath(QFileInfo(item.name).path());
    QList<qint64> weights;
    for (const ConvertItem &item : std::as_const(run.items))
        weights.append(item.text ? item.text->size() : 1);
    ConvertProgress progress(weights, !options.quiet);
    int failed = run.failed;
    // Several outputs, or a text of several parts, are spoken by the worker processes, a text
    // of one part here at once: the same audio either way, whatever the number of jobs.
    if (run.items.size() > 1) {
        failed += convertInParts(options, run.items, progress);
    } else if (!run.items.isEmpty()) {
        ConvertItem &item = run.items.first();
        QString error;
        if (!loadConvertItem(options, item, error)) {
            ++failed;
            reportConvertFailure(item.input, error);
            progress.fileDone(0);
        } else if (ConvertPlan::parts(*item.text, options.partChars).size() > 1) {
            failed += convertInParts(options, run.items, progress);
        } else {
            const Result result = convertOne(options, *voice, item, progress);
            progress.fileDone(result.samples);
            if (!result.ok) {
                ++failed;
                reportConvertFailure(item.input, result.error);
            }
        }
    }
    progress.finish();
    failed += writePlaylists(run);
    return failed > 0 ? ExitFailure : ExitOk;
}
