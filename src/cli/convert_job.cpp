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
#include <QRegularExpression>
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

QString shownName(const QString &input)
{
    return input == QLatin1String("-") ? QStringLiteral("standard input") : input;
}

QString voiceComment(const ConvertOptions &options)
{
    return QStringLiteral("Read by %1").arg(options.voice);
}

// The folder a book's chapters go to: the one the options name, else the input's own.
QString chapterFolder(const ConvertOptions &options, const QString &input)
{
    if (!options.outDir.isEmpty())
        return options.outDir;
    if (!options.out.isEmpty())
        return options.out;
    return input == QLatin1String("-") ? QStringLiteral(".") : QFileInfo(input).path();
}

// The tags of a whole book: its title and author as the options or the document give them,
// else the input's name.
AudioTags bookTags(const ConvertOptions &options, const QString &input, const DocumentText &document)
{
    AudioTags tags;
    tags.album = !options.title.isEmpty()      ? options.title
                 : !document.title.isEmpty()   ? document.title.simplified()
                 : input == QLatin1String("-") ? QStringLiteral("speech")
                                               : QFileInfo(input).completeBaseName();
    tags.title = tags.album;
    tags.artist = !options.author.isEmpty() ? options.author : document.author.simplified();
    tags.comment = voiceComment(options);
    tags.track = tags.tracks = 1;
    return tags;
}

QStringList g_temporaries;
QList<qint64> g_workers;

} // namespace

AudioFormat convertFormatFor(const ConvertOptions &options, const QString &output)
{
    if (const auto chosen = formatNamed(options.format))
        return *chosen;
    return formatNamed(QFileInfo(output).suffix()).value_or(AudioFormat::Wav);
}

QString convertOutputFor(const ConvertOptions &options, const QString &input)
{
    if (!options.out.isEmpty() && !options.chapters)
        return options.out;
    return ConvertPlan::outputFor(input, options.chapters ? chapterFolder(options, input) : options.outDir,
                                  options.format.isEmpty() ? QStringLiteral("wav") : options.format);
}

ConvertRun planConvertRun(const ConvertOptions &options)
{
    ConvertRun run;
    const QString extension = formatName(convertFormatFor(options, QString()));
    for (const QString &input : options.inputs) {
        ConvertItem whole{input, convertOutputFor(options, input), std::nullopt, {}, -1};
        whole.tags.comment = voiceComment(options);
        if (!options.chapters) {
            run.items.append(whole);
            continue;
        }
        DocumentText document;
        QString error;
        if (!readConvertDocument(input, document, error)) {
            reportConvertFailure(input, error);
            ++run.failed;
            continue;
        }
        QList<ChapterMark> marks = document.chapters;
        if (marks.isEmpty() || !options.chapterPattern.isEmpty()) {
            const QRegularExpression pattern(options.chapterPattern.isEmpty()
                                                 ? ConvertPlan::defaultChapterPattern()
                                                 : options.chapterPattern,
                                             QRegularExpression::CaseInsensitiveOption);
            marks = ConvertPlan::patternChapters(document.text, pattern);
        }
        const QList<ConvertPlan::Chapter> chapters = ConvertPlan::chapters(document.text, marks);
        whole.tags = bookTags(options, input, document);
        if (chapters.isEmpty()) {
            QTextStream(stderr) << "parlanto-cli: " << shownName(input)
                                << ": no chapter marks found; writing one file\n";
            whole.text = std::move(document.text);
            run.items.append(whole);
            continue;
        }
        const QString folder = chapterFolder(options, input);
        ConvertBook book;
        book.first = run.items.size();
        book.count = chapters.size();
        book.playlist = QDir(folder).filePath(
            ConvertPlan::safeFileName(whole.tags.album, QStringLiteral("playlist")) + QStringLiteral(".m3u"));
        for (int i = 0; i < chapters.size(); ++i) {
            const ConvertPlan::Chapter &chapter = chapters.at(i);
            ConvertItem item{input,
                             QDir(folder).filePath(ConvertPlan::chapterFileName(i + 1, int(chapters.size()),
                                                                                chapter.title, extension)),
                             document.text.mid(chapter.start, chapter.end - chapter.start), whole.tags, -1};
            item.tags.title =
                chapter.title.isEmpty() ? QStringLiteral("Chapter %1").arg(i + 1) : chapter.title;
            item.tags.track = i + 1;
            item.tags.tracks = int(chapters.size());
            run.items.append(std::move(item));
        }
        run.books.append(book);
    }
    return run;
}

bool loadConvertItem(const ConvertOptions &options, ConvertItem &item, QString &error)
{
    if (item.text)
        return true;
    DocumentText document;
    if (!readConvertDocument(item.input, document, error))
        return false;
    item.tags = bookTags(options, item.input, document);
    item.text = std::move(document.text);
    return true;
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
    DocumentText document;
    if (!readConvertDocument(input, document, error))
        return false;
    text = std::move(document.text);
    return true;
}

bool readConvertDocument(const QString &input, DocumentText &document, QString &error)
{
    // Standard input is a document like any file, known by its content; it is read up to the
    // size a document may have, never without end.
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
    if (document.text.trimmed().isEmpty()) {
        error = QStringLiteral("nothing to convert: the text is empty");
        return false;
    }
    return true;
}

void reportConvertFailure(const QString &input, const QString &why)
{
    QTextStream(stderr) << "parlanto-cli: " << shownName(input) << ": " << why << "\n";
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

ConvertProgress::ConvertProgress(QList<qint64> weights, bool allowed)
    : m_weights(std::move(weights)), m_enabled(allowed && isatty(STDERR_FILENO) == 1)
{
    for (const qint64 w : std::as_const(m_weights))
        m_totalWeight += std::max<qint64>(1, w);
    m_clock.start();
}

void ConvertProgress::setLabel(const QString &label)
{
    m_label = label;
}

void ConvertProgress::setCurrent(double fraction, qint64 samples)
{
    m_fraction = fraction;
    m_currentSamples = samples;
    show(false);
}

void ConvertProgress::fileDone(qint64 samples)
{
    m_doneWeight += std::max<qint64>(1, m_weights.value(m_done));
    ++m_done;
    m_label.clear(); // until the next file begins
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

namespace {

QString clockTime(qint64 seconds)
{
    seconds = std::max<qint64>(0, seconds);
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void ConvertProgress::show(bool force)
{
    if (!m_enabled || (!force && m_lastShown.isValid() && m_lastShown.elapsed() < 200))
        return;
    m_lastShown.start();
    m_shown = true;
    const qint64 ms = m_clock.elapsed();
    const double audioHours = double(m_samples + m_currentSamples) / ConvertPlan::SampleRate / 3600.0;
    const double current =
        m_done < m_weights.size() ? double(std::max<qint64>(1, m_weights.at(m_done))) : 0.0;
    const double share = std::clamp((double(m_doneWeight) + current * std::clamp(m_fraction, 0.0, 1.0)) /
                                        double(std::max<qint64>(1, m_totalWeight)),
                                    0.0, 1.0);
    const QString left = share > 0.01 ? clockTime(qint64(double(ms) / 1000.0 * (1.0 - share) / share))
                                      : QStringLiteral("--:--");
    QString label = m_label;
    if (label.size() > 30)
        label = label.left(29) + QChar(0x2026);
    const QString line = QStringLiteral("\r%1/%2 %3  %4%  elapsed %5  left %6  %7 h of audio\x1b[K")
                             .arg(std::min<int>(m_done + 1, int(m_weights.size())))
                             .arg(m_weights.size())
                             .arg(label)
                             .arg(int(share * 100))
                             .arg(clockTime(ms / 1000), left)
                             .arg(audioHours, 0, 'f', 2);
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
