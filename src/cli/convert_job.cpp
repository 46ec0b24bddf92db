#include "cli/convert_job.h"

#include "platform/bounded_file.h"
#include "platform/termination_signals.h"
#include "platform/wav_writer.h"
#include "speech/directss.h"
#include "speech/document_reader.h"
#include "speech/rate_pitch.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

// Hands the audio on to a sink that someone else opens and closes.
class BorrowedWriter final : public WavWriter
{
public:
    explicit BorrowedWriter(WavWriter &target) : WavWriter(QString()), m_target(target) {}
    bool open() override { return !m_target.hasFailed(); }
    bool write(const int16_t *samples, qint64 count) override { return m_target.write(samples, count); }
    bool write(const QByteArray &pcm) override { return m_target.write(pcm); }
    bool close() override { return !m_target.hasFailed(); }
    bool hasFailed() const override { return m_target.hasFailed(); }
    QString errorString() const override { return m_target.errorString(); }

private:
    WavWriter &m_target;
};

QStringList g_temporaries;
QList<qint64> g_workers;

} // namespace

QString convertFormatFor(const ConvertOptions &options, const QString &output)
{
    if (!options.format.isEmpty())
        return options.format;
    return QFileInfo(output).suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0
               ? QStringLiteral("mp3")
               : QStringLiteral("wav");
}

QString convertOutputFor(const ConvertOptions &options, const QString &input)
{
    if (!options.out.isEmpty())
        return options.out;
    return ConvertPlan::outputFor(input, options.outDir,
                                  options.format.isEmpty() ? QStringLiteral("wav") : options.format);
}

VoiceRenderer::VoiceRenderer(const ConvertOptions &options, const CliVoice &voice)
{
    if (voice.generation == VoiceCatalog::Generation4) {
        m_directss = std::make_unique<DirectSS>();
        DirectSS &engine = *m_directss;
        if (!engine.Select(voice.index)) {
            m_problem = QStringLiteral("voice '%1' cannot be used").arg(voice.text);
            return;
        }
        if (options.rate)
            engine.setSpeed(RatePitch::positionToEngine(*options.rate, engine.MinSpeed(), engine.MaxSpeed()));
        engine.setPitch(
            RatePitch::positionToEngine(options.pitch.value_or(50), engine.MinPitch(), engine.MaxPitch()));
        engine.setLeftChannelVolume(RatePitch::positionToChannelVolume(options.volume.value_or(100)));
        engine.setRightChannelVolume(engine.LeftChannelVolume());
    } else {
        m_spvoice = std::make_unique<SpVoice>();
        if (!m_spvoice->setVoice(SpVoice::GetVoices().value(voice.index))) {
            m_problem = QStringLiteral("voice '%1' cannot be used").arg(voice.text);
            return;
        }
        if (options.rate)
            m_spvoice->setRate(RatePitch::positionToRate5(*options.rate));
        m_spvoice->setVolume(options.volume.value_or(100));
    }
}

VoiceRenderer::~VoiceRenderer() = default;

bool VoiceRenderer::render(const QString &text, WavWriter &sink, const WordHandler &onWord)
{
    if (!m_problem.isEmpty())
        return false;
    if (m_directss) {
        DirectSS &engine = *m_directss;
        engine.setAudioFile(&sink);
        QEventLoop loop;
        const auto word = QObject::connect(&engine, &DirectSS::WordSample, &loop, onWord);
        QObject::connect(&engine, &DirectSS::TextDataDone, &loop, &QEventLoop::quit);
        engine.TextData(0, 0, text);
        if (engine.isSpeaking())
            loop.exec();
        QObject::disconnect(word);
        engine.setAudioFile(nullptr);
    } else {
        SpVoice &engine = *m_spvoice;
        const auto word = QObject::connect(&engine, &SpVoice::WordSample, &engine, onWord);
        SpFileStream stream;
        if (!stream.Open(std::make_unique<BorrowedWriter>(sink)))
            return false;
        engine.setAudioOutputStream(&stream);
        engine.Speak(text, SpVoice::SVSFlagsAsync);
        engine.WaitUntilDone(-1);
        engine.setAudioOutputStream(nullptr);
        QObject::disconnect(word);
        stream.Close();
    }
    return !sink.hasFailed();
}

bool readConvertInput(const QString &input, QString &text, QString &error)
{
    // Standard input is a document like any file, known by its content; it is read up to the
    // size a document may have, never without end.
    DocumentText document;
    if (input == QLatin1String("-")) {
        // Read once and kept: the run reads it before it takes over Ctrl+C, so that an
        // interrupt still ends a read from the terminal, and converts it later.
        static std::optional<BoundedFile::Result> standardInput;
        if (!standardInput)
            standardInput = BoundedFile::readStandardInput(largestDocumentBytes);
        if (!standardInput->ok()) {
            error = standardInput->error;
            return false;
        }
        document = readDocumentBytes(standardInput->bytes, QString());
    } else {
        document = readDocumentFile(input);
    }
    if (!document.ok) {
        error = document.error;
        return false;
    }
    text = std::move(document.text);
    if (text.trimmed().isEmpty()) {
        error = QStringLiteral("nothing to convert: the text is empty");
        return false;
    }
    return true;
}

void reportConvertFailure(const QString &input, const QString &why)
{
    QTextStream err(stderr);
    err << "parlanto-cli: " << (input == QLatin1String("-") ? QStringLiteral("standard input") : input)
        << ": " << why << "\n";
}

namespace ConvertCleanup {

void install()
{
    auto *termination = new TerminationSignals(QCoreApplication::instance());
    QObject::connect(termination, &TerminationSignals::terminationRequested, [](int number) {
        for (const qint64 pid : std::as_const(g_workers))
            ::kill(pid_t(pid), SIGKILL);
        for (const QString &path : std::as_const(g_temporaries))
            QFile::remove(path);
        std::fputs("\nparlanto-cli: interrupted; unfinished outputs removed\n", stderr);
        std::fflush(stderr);
        std::_Exit(128 + number);
    });
}

void addTemporary(const QString &path)
{
    g_temporaries.append(path);
}

void removeTemporary(const QString &path)
{
    g_temporaries.removeAll(path);
}

void addWorker(qint64 pid)
{
    g_workers.append(pid);
}

void removeWorker(qint64 pid)
{
    g_workers.removeAll(pid);
}

} // namespace ConvertCleanup

ConvertProgress::ConvertProgress(int total, bool allowed)
    : m_total(total), m_enabled(allowed && isatty(STDERR_FILENO) == 1)
{
    m_clock.start();
}

void ConvertProgress::setCurrent(double fraction, qint64 samples)
{
    m_fraction = fraction;
    m_currentSamples = samples;
    show(false);
}

void ConvertProgress::fileDone(qint64 samples)
{
    ++m_done;
    m_samples += samples;
    m_fraction = 0;
    m_currentSamples = 0;
    show(true);
}

void ConvertProgress::finish()
{
    if (m_enabled && m_shown) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
    }
}

void ConvertProgress::show(bool force)
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
