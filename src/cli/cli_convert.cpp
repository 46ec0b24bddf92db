#include "cli/cli_convert.h"

#include "cli/cli_arguments.h"
#include "cli/cli_commands.h"
#include "cli/cli_pronunciation.h"
#include "cli/convert_job.h"
#include "cli/convert_output.h"
#include "cli/convert_plan.h"
#include "cli/convert_workers.h"

#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <optional>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

const char *const ConvertHelp = R"HELP(Usage: parlanto-cli convert [OPTIONS] INPUT...

Converts each INPUT (a document: plain text, .rtf, PDF, EPUB, .odt, .docx, HTML or
Markdown, read as the main window opens it, or '-' for a document on standard input) to a
22050 Hz mono WAV or MP3 file, as fast as the machine allows.

Options:
  --voice TEXT    a voice, as for 'parlanto-cli speak' (default: the first voice of the
                  locale's language, else the first US English voice)
  --rate N        rate 0..100, as the main window's rate bar (default: the voice's own)
  --pitch N       pitch 0..100 (eSpeak NG voices only; default 50)
  --volume N      volume 0..100 (default 100)
  --format F      wav or mp3 (default: from the output's name, else wav)
  --bitrate K     MP3 bit rate in kbit/s (default 32, as 'lame -f' makes of this audio)
  -o FILE         the output file, for one INPUT
  --out-dir DIR   the folder for the outputs (default: each input's own folder)
  --jobs N        use up to N processes: a long text is spoken in parts side by side, several
                  inputs at the same time (default: the number of cores)
  --lrc           write an LRC subtitle file beside each output
  --srt           write a SubRip (.srt) subtitle file beside each output
  --words         subtitles with one line per word instead of per sentence
  --dict FILE     pronunciation rules to use besides the program's own pronunciation.txt
                  (may be given more than once; later rules win)

Outputs (and subtitles) are written under a hidden temporary name and renamed when
complete. An output that would be one of the inputs, under any name, or two outputs that
would be one file stop the run before anything is written. A progress line is shown on
standard error when it is a terminal.

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
        } else if (a == QLatin1String("--voice") || a == QLatin1String("--rate") ||
                   a == QLatin1String("--pitch") || a == QLatin1String("--volume") ||
                   a == QLatin1String("--format") || a == QLatin1String("--bitrate") ||
                   a == QLatin1String("-o") || a == QLatin1String("--out-dir") ||
                   a == QLatin1String("--jobs") || a == QLatin1String("--part-chars") ||
                   a == QLatin1String("--dict")) {
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
            } else if (a == QLatin1String("--format")) {
                if (v != QLatin1String("wav") && v != QLatin1String("mp3"))
                    return QStringLiteral("--format takes wav or mp3, not '%1'").arg(v);
                options.format = v;
            } else if (a == QLatin1String("--bitrate")) {
                if (!ok ||
                    std::find(std::begin(Mp3BitRates), std::end(Mp3BitRates), n) == std::end(Mp3BitRates))
                    return QStringLiteral("--bitrate takes one of 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, "
                                          "112, 128, 144, 160, not '%1'")
                        .arg(v);
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
    if (!options.out.isEmpty() && !options.outDir.isEmpty())
        return QStringLiteral("give either -o or --out-dir, not both");
    if (!options.out.isEmpty() && options.inputs.size() > 1)
        return QStringLiteral("-o names one output: use --out-dir for several inputs");
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

// Converts one text here, on this process's engine: synthesis on the engine's thread, the
// writing (and MP3 encoding) on this one.
Result convertOne(const ConvertOptions &options, const CliVoice &voice, const QString &input,
                  const QString &text, ConvertProgress &progress)
{
    ConvertOutput output(options, input);
    QString error;
    if (!output.open(ConvertOutput::Feed::Samples, error))
        return {false, error, 0};
    VoiceRenderer renderer(options, voice);
    if (!renderer.problem().isEmpty())
        return {false, renderer.problem(), 0};
    QList<ConvertPlan::Word> words;
    renderer.render(text, output.sink(), [&](int position, int length, qint64 sample) {
        words.append({position, length, sample});
        progress.setCurrent(double(position) / double(text.size()), sample);
    });
    const qint64 samples = output.samplesWritten();
    if (!output.commit(text, words, samples, error))
        return {false, error, 0};
    return {true, {}, samples};
}

} // namespace

int convertCommand(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << ConvertHelp;
        return ExitOk;
    }
    ConvertOptions options;
    if (const auto problem = parse(args, options))
        return usage(*problem);
    // Nothing is written where it would destroy an input or another output.
    if (!options.partWorker)
        if (const QString problem = ConvertOutputs::collision(options); !problem.isEmpty())
            return usage(problem);

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
    ConvertCleanup::install();
    ConvertOutputs::removeStaleParts(options);
    ConvertProgress progress(int(options.inputs.size()), true);
    int failed = 0;
    if (options.inputs.size() > 1 && options.jobs > 1) {
        failed = convertInParts(options, options.inputs, std::nullopt, progress);
    } else {
        for (const QString &input : std::as_const(options.inputs)) {
            QString text, error;
            if (!readConvertInput(input, text, error)) {
                ++failed;
                reportConvertFailure(input, error);
                progress.fileDone(0);
                continue;
            }
            // A long text is spoken in parts on every core; a short one here at once.
            if (options.jobs > 1 && text.size() >= 2 * options.partChars) {
                failed += convertInParts(options, {input}, text, progress);
                continue;
            }
            const Result result = convertOne(options, *voice, input, text, progress);
            progress.fileDone(result.samples);
            if (!result.ok) {
                ++failed;
                reportConvertFailure(input, result.error);
            }
        }
    }
    progress.finish();
    return failed > 0 ? ExitFailure : ExitOk;
}
