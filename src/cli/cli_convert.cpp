#include "cli/cli_convert.h"

#include "cli/cli_commands.h"
#include "cli/convert_plan.h"

#include "platform/wav_writer.h"
#include "speech/directss.h"
#include "speech/document_reader.h"
#include "speech/rate_pitch.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTextStream>
#include <QThread>

#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

const char *const ConvertHelp = R"HELP(Usage: parlanto-cli convert [OPTIONS] INPUT...

Converts each INPUT (a .txt or .rtf file, read as the main window opens it, or '-' for
standard input) to a 22050 Hz mono WAV or MP3 file, as fast as the machine allows.

Options:
  --voice TEXT    a line of 'parlanto-cli voices' (default: the locale's language)
  --rate N        rate 0..100, as the main window's rate bar (default: the voice's own)
  --pitch N       pitch 0..100 (eSpeak NG voices only; default 50)
  --volume N      volume 0..100 (default 100)
  --format F      wav or mp3 (default: from the output's name, else wav)
  --bitrate K     MP3 bit rate in kbit/s (default 32, as 'lame -f' makes of this audio)
  -o FILE         the output file, for one INPUT
  --out-dir DIR   the folder for the outputs (default: each input's own folder)
  --jobs N        convert up to N inputs at the same time (default: the number of cores)
  --lrc           write an LRC subtitle file beside each output
  --srt           write a SubRip (.srt) subtitle file beside each output
  --words         subtitles with one line per word instead of per sentence

Outputs are written under a temporary name and renamed when complete. A progress line
is shown on standard error when it is a terminal.

Exit status: 0 when every input was converted, 1 when any failed (each named on standard
error; the others are still converted), 2 for a usage error.
)HELP";

// MP3 bit rates MPEG-2 allows at 22050 Hz.
constexpr int Mp3BitRates[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage(const QString &reason)
{
    err() << "parlanto-cli: " << reason << "\n";
    err().flush();
    return ExitUsage;
}

struct Options
{
    QString voice;
    std::optional<int> rate, pitch, volume;
    QString format; // "wav", "mp3" or empty: from the output's name
    int bitrate = 0;
    QString out, outDir;
    int jobs = 0;
    bool lrc = false, srt = false, words = false;
    bool worker = false; // started by another convert: report the samples on standard output
    QStringList inputs;
};

// Encodes the audio to MP3 as it is made, in place of a WAV file: no temporary WAV.
class Mp3Writer : public WavWriter
{
public:
    Mp3Writer(const QString &fileName, int bitrate) : WavWriter(fileName), m_out(fileName), m_bitrate(bitrate)
    {}
    ~Mp3Writer() override
    {
        close();
        if (m_lame)
            lame_close(m_lame);
    }

    bool open() override
    {
        m_lame = lame_init();
        if (!m_lame)
            return fail(QStringLiteral("the MP3 encoder cannot start"));
        lame_set_in_samplerate(m_lame, ConvertPlan::SampleRate);
        lame_set_num_channels(m_lame, 1);
        lame_set_mode(m_lame, MONO);
        lame_set_quality(m_lame, 7); // what 'lame -f' uses
        if (m_bitrate > 0)
            lame_set_brate(m_lame, m_bitrate);
        if (lame_init_params(m_lame) < 0)
            return fail(QStringLiteral("the MP3 encoder does not take these settings"));
        if (!m_out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(m_out.errorString());
        return true;
    }

    bool write(const int16_t *samples, qint64 count) override
    {
        if (m_failed || !m_out.isOpen())
            return false;
        while (count > 0) {
            const int n = int(std::min<qint64>(count, 1 << 16));
            m_buffer.resize(size_t(n) * 5 / 4 + 7200); // the size LAME asks for at most
            const int bytes =
                lame_encode_buffer(m_lame, samples, samples, n, m_buffer.data(), int(m_buffer.size()));
            if (bytes < 0)
                return fail(QStringLiteral("the MP3 encoder failed"));
            if (!put(bytes))
                return false;
            samples += n;
            count -= n;
            m_samples += n;
        }
        return true;
    }

    bool write(const QByteArray &pcm) override
    {
        return write(reinterpret_cast<const int16_t *>(pcm.constData()), pcm.size() / 2);
    }

    bool close() override
    {
        if (!m_out.isOpen())
            return !m_failed;
        if (!m_failed) {
            m_buffer.resize(7200);
            const int bytes = lame_encode_flush(m_lame, m_buffer.data(), int(m_buffer.size()));
            if (bytes < 0)
                fail(QStringLiteral("the MP3 encoder failed"));
            else
                put(bytes);
        }
        if (!m_failed) {
            // The information frame at the start tells decoders the exact length.
            m_buffer.resize(8192);
            const size_t tag = lame_get_lametag_frame(m_lame, m_buffer.data(), m_buffer.size());
            if (tag > 0 && tag <= m_buffer.size() &&
                (!m_out.flush() || !m_out.seek(0) ||
                 m_out.write(reinterpret_cast<const char *>(m_buffer.data()), qint64(tag)) != qint64(tag)))
                fail(m_out.errorString());
        }
        if (!m_failed && !m_out.flush())
            fail(m_out.errorString());
        m_out.close();
        if (m_failed && QFileInfo(m_out.fileName()).isFile())
            m_out.remove();
        return !m_failed;
    }

    bool hasFailed() const override { return m_failed; }
    QString errorString() const override { return m_error; }
    qint64 samples() const { return m_samples; }

private:
    bool fail(const QString &why)
    {
        if (!m_failed)
            m_error = why;
        m_failed = true;
        return false;
    }
    bool put(int bytes)
    {
        if (bytes > 0 && m_out.write(reinterpret_cast<const char *>(m_buffer.data()), bytes) != bytes)
            return fail(m_out.errorString());
        return true;
    }

    QFile m_out;
    int m_bitrate = 0;
    lame_global_flags *m_lame = nullptr;
    std::vector<unsigned char> m_buffer;
    qint64 m_samples = 0;
    bool m_failed = false;
    QString m_error;
};

// One line on standard error, rewritten in place, only when it is a terminal.
class Progress
{
public:
    Progress(int total, bool allowed) : m_total(total), m_enabled(allowed && isatty(STDERR_FILENO) == 1)
    {
        m_clock.start();
    }

    void setCurrent(double fraction, qint64 samples)
    {
        m_fraction = fraction;
        m_currentSamples = samples;
        show(false);
    }
    void fileDone(qint64 samples)
    {
        ++m_done;
        m_samples += samples;
        m_fraction = 0;
        m_currentSamples = 0;
        show(true);
    }
    void finish()
    {
        if (m_enabled && m_shown) {
            std::fputs("\n", stderr);
            std::fflush(stderr);
        }
    }

private:
    void show(bool force)
    {
        if (!m_enabled || (!force && m_lastShown.isValid() && m_lastShown.elapsed() < 200))
            return;
        m_lastShown.start();
        m_shown = true;
        const double seconds = m_clock.elapsed() / 1000.0;
        const double audio = double(m_samples + m_currentSamples) / ConvertPlan::SampleRate;
        const double percent = 100.0 * (m_done + std::min(1.0, m_fraction)) / std::max(1, m_total);
        const QString line = QStringLiteral("\r%1/%2 files  %3%  %4 s  %5x real time ")
                                 .arg(m_done)
                                 .arg(m_total)
                                 .arg(int(percent))
                                 .arg(seconds, 0, 'f', 1)
                                 .arg(seconds > 0 ? audio / seconds : 0.0, 0, 'f', 1);
        std::fputs(line.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }

    int m_total = 0;
    int m_done = 0;
    qint64 m_samples = 0;
    qint64 m_currentSamples = 0;
    double m_fraction = 0;
    bool m_enabled = false;
    bool m_shown = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastShown;
};

QString formatFor(const Options &options, const QString &output)
{
    if (!options.format.isEmpty())
        return options.format;
    return QFileInfo(output).suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0
               ? QStringLiteral("mp3")
               : QStringLiteral("wav");
}

QString outputFor(const Options &options, const QString &input)
{
    if (!options.out.isEmpty())
        return options.out;
    return ConvertPlan::outputFor(input, options.outDir,
                                  options.format.isEmpty() ? QStringLiteral("wav") : options.format);
}

// Parses the arguments; an error message for a usage error.
std::optional<QString> parse(const QStringList &args, Options &options)
{
    bool onlyInputs = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (onlyInputs || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
            options.inputs.append(a);
            continue;
        }
        if (a == QLatin1String("--")) {
            onlyInputs = true;
        } else if (a == QLatin1String("--lrc")) {
            options.lrc = true;
        } else if (a == QLatin1String("--srt")) {
            options.srt = true;
        } else if (a == QLatin1String("--words")) {
            options.words = true;
        } else if (a == QLatin1String("--worker")) {
            options.worker = true;
        } else if (a == QLatin1String("--voice") || a == QLatin1String("--rate") ||
                   a == QLatin1String("--pitch") || a == QLatin1String("--volume") ||
                   a == QLatin1String("--format") || a == QLatin1String("--bitrate") ||
                   a == QLatin1String("-o") || a == QLatin1String("--out-dir") ||
                   a == QLatin1String("--jobs")) {
            if (i + 1 >= args.size())
                return QStringLiteral("%1 needs a value").arg(a);
            const QString v = args.at(++i);
            bool ok = false;
            const int n = v.toInt(&ok);
            if (a == QLatin1String("--voice")) {
                options.voice = v;
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
            } else {
                if (!ok || n < 0 || n > 100)
                    return QStringLiteral("%1 takes a whole number from 0 to 100, not '%2'").arg(a, v);
                (a == QLatin1String("--rate")    ? options.rate
                 : a == QLatin1String("--pitch") ? options.pitch
                                                 : options.volume) = n;
            }
        } else {
            return QStringLiteral("unknown option %1").arg(a);
        }
    }
    if (options.inputs.isEmpty())
        return QStringLiteral("convert needs an input (try 'parlanto-cli convert --help')");
    if (!options.out.isEmpty() && !options.outDir.isEmpty())
        return QStringLiteral("give either -o or --out-dir, not both");
    if (!options.out.isEmpty() && options.inputs.size() > 1)
        return QStringLiteral("-o names one output: use --out-dir for several inputs");
    if (options.words && !options.lrc && !options.srt)
        return QStringLiteral("--words needs --lrc or --srt");
    if (options.inputs.count(QStringLiteral("-")) > 1)
        return QStringLiteral("standard input ('-') can be read only once");
    QStringList outputs;
    for (const QString &input : std::as_const(options.inputs)) {
        const QString output = QFileInfo(outputFor(options, input)).absoluteFilePath();
        if (outputs.contains(output))
            return QStringLiteral("two inputs would both be written to %1").arg(output);
        outputs.append(output);
    }
    if (options.jobs == 0)
        options.jobs = std::max(1, QThread::idealThreadCount());
    return std::nullopt;
}

// Replaces `target` by the finished `temporary` in one step.
bool moveIntoPlace(const QString &temporary, const QString &target)
{
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    QFile::remove(temporary);
    return false;
}

struct Result
{
    bool ok = false;
    QString error;
    qint64 samples = 0;
};

bool writeSubtitle(const QString &path, const QString &text, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

Result convertOne(const Options &options, const CliVoice &voice, const QString &input, Progress &progress)
{
    QString text;
    if (input == QLatin1String("-")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return {false, QStringLiteral("standard input cannot be read"), 0};
        text = QString::fromUtf8(in.readAll());
    } else {
        const DocumentText document = readDocumentFile(input);
        if (!document.ok)
            return {false, document.error, 0};
        text = document.text;
    }
    if (text.trimmed().isEmpty())
        return {false, QStringLiteral("nothing to convert: the text is empty"), 0};

    const QString output = outputFor(options, input);
    const QFileInfo outInfo(output);
    if (!outInfo.absoluteDir().exists())
        return {false, QStringLiteral("no such folder: %1").arg(outInfo.absolutePath()), 0};
    const QString temporary = outInfo.absoluteDir().filePath(
        QStringLiteral(".%1.%2.part").arg(outInfo.fileName()).arg(QCoreApplication::applicationPid()));
    const bool mp3 = formatFor(options, output) == QLatin1String("mp3");
    std::unique_ptr<WavWriter> writer = mp3 ? std::make_unique<Mp3Writer>(temporary, options.bitrate)
                                            : std::make_unique<WavWriter>(temporary);
    WavWriter *sink = writer.get();
    auto samplesWritten = [&] {
        return mp3 ? static_cast<Mp3Writer *>(sink)->samples() : sink->dataBytes() / 2;
    };

    QList<ConvertPlan::Word> words;
    auto onWord = [&](int position, int length, qint64 sample) {
        words.append({position, length, sample});
        progress.setCurrent(double(position) / double(text.size()), sample);
    };

    bool written = true;
    QString writeError;
    qint64 samples = 0;
    if (voice.generation == VoiceCatalog::Generation4) {
        if (!writer->open())
            return {false, QStringLiteral("cannot write %1: %2").arg(output, writer->errorString()), 0};
        DirectSS engine;
        if (!engine.Select(voice.index)) {
            writer->close();
            QFile::remove(temporary);
            return {false, QStringLiteral("voice '%1' cannot be used").arg(voice.text), 0};
        }
        if (options.rate)
            engine.setSpeed(RatePitch::positionToEngine(*options.rate, engine.MinSpeed(), engine.MaxSpeed()));
        engine.setPitch(
            RatePitch::positionToEngine(options.pitch.value_or(50), engine.MinPitch(), engine.MaxPitch()));
        engine.setLeftChannelVolume(RatePitch::positionToChannelVolume(options.volume.value_or(100)));
        engine.setRightChannelVolume(engine.LeftChannelVolume());
        engine.setAudioFile(sink);
        QEventLoop loop;
        QObject::connect(&engine, &DirectSS::WordSample, &loop, onWord);
        QObject::connect(&engine, &DirectSS::TextDataDone, &loop, &QEventLoop::quit);
        engine.TextData(0, 0, text);
        if (engine.isSpeaking())
            loop.exec();
        engine.setAudioFile(nullptr);
        samples = samplesWritten();
        written = writer->close();
        writeError = writer->errorString();
    } else {
        SpVoice engine;
        engine.setVoice(SpVoice::GetVoices().value(voice.index));
        if (options.rate)
            engine.setRate(RatePitch::positionToRate5(*options.rate));
        engine.setVolume(options.volume.value_or(100));
        QObject::connect(&engine, &SpVoice::WordSample, &engine, onWord);
        SpFileStream stream;
        if (!stream.Open(std::move(writer)))
            return {false, QStringLiteral("cannot write %1: %2").arg(output, stream.errorString()), 0};
        engine.setAudioOutputStream(&stream);
        engine.Speak(text, SpVoice::SVSFlagsAsync);
        engine.WaitUntilDone(-1);
        engine.setAudioOutputStream(nullptr);
        samples = samplesWritten();
        written = stream.Close();
        writeError = stream.errorString();
    }
    if (!written) {
        QFile::remove(temporary);
        return {false, QStringLiteral("writing %1 failed: %2").arg(output, writeError), 0};
    }
    if (!moveIntoPlace(temporary, output))
        return {false, QStringLiteral("cannot put %1 in place").arg(output), 0};

    const QList<ConvertPlan::Cue> cues = ConvertPlan::cues(text, words, samples, options.words);
    QString error;
    if (options.lrc && !writeSubtitle(ConvertPlan::besideOutput(output, QStringLiteral("lrc")),
                                      ConvertPlan::lrcText(cues, samples), error))
        return {false, error, samples};
    if (options.srt && !writeSubtitle(ConvertPlan::besideOutput(output, QStringLiteral("srt")),
                                      ConvertPlan::srtText(cues), error))
        return {false, error, samples};
    return {true, {}, samples};
}

void reportFailure(const QString &input, const QString &why)
{
    err() << "parlanto-cli: " << (input == QLatin1String("-") ? QStringLiteral("standard input") : input)
          << ": " << why << "\n";
    err().flush();
}

// The arguments a worker process gets for one input: the same settings, its own output.
QStringList workerArguments(const Options &options, const QString &input)
{
    QStringList args{QStringLiteral("convert"), QStringLiteral("--worker"), QStringLiteral("--jobs"),
                     QStringLiteral("1")};
    if (!options.voice.isEmpty())
        args << QStringLiteral("--voice") << options.voice;
    if (options.rate)
        args << QStringLiteral("--rate") << QString::number(*options.rate);
    if (options.pitch)
        args << QStringLiteral("--pitch") << QString::number(*options.pitch);
    if (options.volume)
        args << QStringLiteral("--volume") << QString::number(*options.volume);
    if (!options.format.isEmpty())
        args << QStringLiteral("--format") << options.format;
    if (options.bitrate > 0)
        args << QStringLiteral("--bitrate") << QString::number(options.bitrate);
    if (options.lrc)
        args << QStringLiteral("--lrc");
    if (options.srt)
        args << QStringLiteral("--srt");
    if (options.words)
        args << QStringLiteral("--words");
    args << QStringLiteral("-o") << outputFor(options, input) << QStringLiteral("--") << input;
    return args;
}

// Converts the inputs in worker processes, up to `jobs` at a time: eSpeak NG makes one
// speech at a time per process. Returns the number of inputs that failed.
int convertInWorkers(const Options &options, const QStringList &inputs, Progress &progress)
{
    int failed = 0;
    int next = 0;
    int running = 0;
    QEventLoop loop;
    std::vector<std::unique_ptr<QProcess>> processes;
    std::function<void()> startMore = [&] {
        while (running < options.jobs && next < inputs.size()) {
            auto process = std::make_unique<QProcess>();
            QProcess *p = process.get();
            const QString input = inputs.at(next++);
            p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QObject::connect(
                p, &QProcess::finished, &loop, [&, p, input](int code, QProcess::ExitStatus status) {
                    --running;
                    const QList<QByteArray> report = p->readAllStandardOutput().trimmed().split(' ');
                    if (status != QProcess::NormalExit || code != ExitOk) {
                        ++failed;
                        if (status != QProcess::NormalExit)
                            reportFailure(input, QStringLiteral("the conversion stopped unexpectedly"));
                    }
                    progress.fileDone(report.size() == 2 ? report.at(1).toLongLong() : 0);
                    startMore();
                    if (running == 0 && next >= inputs.size())
                        loop.quit();
                });
            QObject::connect(p, &QProcess::errorOccurred, &loop, [&, input](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart)
                    return;
                --running;
                ++failed;
                reportFailure(input, QStringLiteral("no worker process could be started"));
                progress.fileDone(0);
                startMore();
                if (running == 0 && next >= inputs.size())
                    loop.quit();
            });
            ++running;
            processes.push_back(std::move(process));
            p->start(QCoreApplication::applicationFilePath(), workerArguments(options, input));
        }
    };
    startMore();
    if (running > 0)
        loop.exec();
    return failed;
}

} // namespace

int convertCommand(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        QTextStream(stdout) << ConvertHelp;
        return ExitOk;
    }
    Options options;
    if (const auto problem = parse(args, options))
        return usage(*problem);

    Progress progress(int(options.inputs.size()), !options.worker);
    int failed = 0;
    // Standard input is read here; files go to worker processes when several run at once.
    QStringList here = options.inputs, elsewhere;
    if (options.jobs > 1 && options.inputs.size() > 1) {
        here.clear();
        for (const QString &input : std::as_const(options.inputs))
            (input == QLatin1String("-") ? here : elsewhere).append(input);
    }
    // An unknown voice is told once, not by every worker.
    const auto voice = findCliVoice(options.voice);
    if (!voice) {
        err() << "parlanto-cli: unknown voice '" << options.voice << "' (see 'parlanto-cli voices')\n";
        return ExitFailure;
    }
    options.voice = voice->text; // the workers need not choose again
    if (!elsewhere.isEmpty())
        failed += convertInWorkers(options, elsewhere, progress);
    for (const QString &input : std::as_const(here)) {
        const Result result = convertOne(options, *voice, input, progress);
        progress.fileDone(result.samples);
        if (!result.ok) {
            ++failed;
            reportFailure(input, result.error);
        } else if (options.worker) {
            QTextStream(stdout) << "samples " << result.samples << "\n";
        }
    }
    progress.finish();
    return failed > 0 ? ExitFailure : ExitOk;
}
