#include "cli/convert_workers.h"

#include "cli/convert_output.h"
#include "cli/mp3_writer.h"
#include "platform/wav_writer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

// A worker answers each part with frames: a type byte, a 32-bit little-endian length and
// that many bytes.
constexpr char DataFrame = 'D';  // PCM samples or MP3 bytes, in order
constexpr char WordsFrame = 'W'; // words: 32-bit position, 32-bit length, 64-bit sample each
constexpr char EndFrame = 'E';   // 64-bit PCM samples, samples decoded, encoder delay; MP3 tag frame
constexpr char FailFrame = 'F';  // why the part could not be made
constexpr int FrameHeader = 5;
constexpr int WordRecord = 16;
constexpr qsizetype MaxPartBytes = 64 * 1024 * 1024;

template <typename T> void putNumber(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = char((quint64(value) >> (8 * i)) & 0xFF);
    out.append(bytes, qsizetype(sizeof(T)));
}

template <typename T> T getNumber(const char *bytes)
{
    quint64 value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value |= quint64(quint8(bytes[i])) << (8 * i);
    return T(value);
}

// The worker's end of the pipe to the joining process.
class Channel
{
public:
    explicit Channel(int fd) : m_fd(fd) {}
    void send(char type, const QByteArray &payload)
    {
        QByteArray frame;
        frame.reserve(FrameHeader + payload.size());
        frame.append(type);
        putNumber<quint32>(frame, quint32(payload.size()));
        frame.append(payload);
        const char *data = frame.constData();
        qsizetype left = frame.size();
        while (left > 0) {
            const ssize_t n = ::write(m_fd, data, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                std::_Exit(1); // the joining process is gone: nobody wants the rest
            data += n;
            left -= n;
        }
    }

private:
    int m_fd;
};

// Sends one part's audio on as it is made: PCM as it is, or MP3 from an encoder of the part's
// own. A part that is a whole output keeps the MP3 information frame; the others leave it out
// so that they join into one stream.
class PartSink final : public WavWriter
{
public:
    PartSink(Channel &channel, bool mp3, int bitrate, bool whole)
        : WavWriter(QString()), m_channel(channel), m_whole(whole)
    {
        if (mp3)
            m_encoder = std::make_unique<Mp3Encoder>(bitrate, whole);
    }
    bool open() override { return !m_encoder || m_encoder->isReady() || fail(m_encoder->errorString()); }
    bool write(const int16_t *samples, qint64 count) override
    {
        if (m_failed)
            return false;
        if (m_encoder) {
            if (!m_encoder->encode(samples, count, m_pending))
                return fail(m_encoder->errorString());
        } else {
            m_pending.append(reinterpret_cast<const char *>(samples), qsizetype(count) * 2);
        }
        m_samples += count;
        if (m_pending.size() >= 64 * 1024)
            sendPending();
        return true;
    }
    bool write(const QByteArray &pcm) override
    {
        return write(reinterpret_cast<const int16_t *>(pcm.constData()), pcm.size() / 2);
    }
    bool close() override { return !m_failed; }
    bool hasFailed() const override { return m_failed; }
    QString errorString() const override { return m_error; }

    // Sends the rest of the audio; the end record when all went well.
    std::optional<QByteArray> finish()
    {
        if (m_failed || (m_encoder && !m_encoder->flush(m_pending))) {
            fail(m_encoder ? m_encoder->errorString() : m_error);
            return std::nullopt;
        }
        sendPending();
        QByteArray end;
        putNumber<qint64>(end, m_samples);
        putNumber<qint64>(end, m_encoder ? m_encoder->decodedSamples() : m_samples);
        putNumber<qint64>(end, m_encoder ? m_encoder->delay() : 0);
        if (m_encoder && m_whole)
            end.append(m_encoder->informationFrame());
        return end;
    }

private:
    bool fail(const QString &why)
    {
        if (!m_failed)
            m_error = why;
        m_failed = true;
        return false;
    }
    void sendPending()
    {
        if (!m_pending.isEmpty())
            m_channel.send(DataFrame, m_pending);
        m_pending.clear();
    }

    Channel &m_channel;
    std::unique_ptr<Mp3Encoder> m_encoder;
    QByteArray m_pending;
    qint64 m_samples = 0;
    bool m_whole = false;
    bool m_failed = false;
    QString m_error;
};

QStringList workerArguments(const ConvertOptions &options)
{
    QStringList args{QStringLiteral("convert"), QStringLiteral("--part-worker")};
    if (!options.voice.isEmpty())
        args << QStringLiteral("--voice") << options.voice;
    if (options.rate)
        args << QStringLiteral("--rate") << QString::number(*options.rate);
    if (options.pitch)
        args << QStringLiteral("--pitch") << QString::number(*options.pitch);
    if (options.volume)
        args << QStringLiteral("--volume") << QString::number(*options.volume);
    if (options.bitrate > 0)
        args << QStringLiteral("--bitrate") << QString::number(options.bitrate);
    for (const QString &dict : options.dicts)
        args << QStringLiteral("--dict") << QFileInfo(dict).absoluteFilePath();
    return args;
}

// The joining side: hands parts to the workers in order, keeps at most a few parts ahead of
// the one being written, writes each part's audio into its output as soon as every part
// before it is in, and offsets its words by the audio before it.
class PartConversion
{
public:
    PartConversion(const ConvertOptions &options, const QStringList &inputs, std::optional<QString> firstText,
                   ConvertProgress &progress)
        : m_options(options), m_inputs(inputs), m_firstText(std::move(firstText)), m_progress(progress)
    {}

    int run()
    {
        if (!loadNextInput())
            return m_failed;
        const qsizetype wanted = m_nextInput < m_inputs.size() ? m_options.jobs : m_parts.size();
        m_workerCount = int(std::clamp<qsizetype>(wanted, 1, m_options.jobs));
        m_replacementsLeft = m_workerCount;
        for (int i = 0; i < m_workerCount; ++i)
            startWorker();
        feed();
        if (!isDone())
            m_loop.exec();
        // Standard input ends, so each worker ends; nothing they say now matters.
        for (auto &worker : m_workers) {
            QProcess *p = worker->process.get();
            QObject::disconnect(p, nullptr, nullptr, nullptr);
            p->closeWriteChannel();
            if (p->state() != QProcess::NotRunning && !p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(1000);
            }
            ConvertCleanup::removeWorker(worker->pid);
        }
        return m_failed;
    }

private:
    struct Output
    {
        QString input, text;
        bool mp3 = false, whole = false, failed = false;
        std::unique_ptr<ConvertOutput> file;
        QByteArray tag;
        QList<ConvertPlan::Word> words;
        qint64 samples = 0; // in the output's own timeline, as a player counts them
        int partCount = 0, partsJoined = 0;
    };
    struct Part
    {
        int output = 0, start = 0, end = 0;
        bool ended = false, failed = false;
        QString error;
        QByteArray waiting, words, endRecord;
    };
    struct Worker
    {
        std::unique_ptr<QProcess> process;
        QByteArray inbox;
        qint64 pid = 0; // kept: a process that has ended no longer tells it
        int part = -1;
        bool alive = true;
    };

    bool isDone() const { return m_current >= m_parts.size() && m_nextInput >= m_inputs.size(); }

    void startWorker()
    {
        auto worker = std::make_unique<Worker>();
        Worker *w = worker.get();
        w->process = std::make_unique<QProcess>();
        QProcess *p = w->process.get();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(p, &QProcess::readyReadStandardOutput, &m_loop, [this, w] { readFrames(*w); });
        QObject::connect(p, &QProcess::started, &m_loop, [w, p] {
            w->pid = qint64(p->processId());
            ConvertCleanup::addWorker(w->pid);
        });
        QObject::connect(p, &QProcess::finished, &m_loop, [this, w](int code, QProcess::ExitStatus status) {
            readFrames(*w);
            // Qt gives the signal's number as the exit code of a process a signal ended.
            workerLost(
                *w, status == QProcess::CrashExit
                        ? QStringLiteral("its worker process was ended by signal %1 (%2)")
                              .arg(code)
                              .arg(QString::fromLocal8Bit(::strsignal(code)))
                        : QStringLiteral("its worker process ended unexpectedly (exit status %1)").arg(code));
        });
        QObject::connect(p, &QProcess::errorOccurred, &m_loop, [this, w, p](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                workerLost(*w,
                           QStringLiteral("no worker process could be started: %1").arg(p->errorString()));
        });
        m_workers.push_back(std::move(worker));
        p->start(QCoreApplication::applicationFilePath(), workerArguments(m_options));
    }

    // Reads the next input that can be read and opens its output; false when none is left.
    bool loadNextInput()
    {
        while (m_nextInput < m_inputs.size()) {
            const QString input = m_inputs.at(m_nextInput++);
            auto out = std::make_unique<Output>();
            out->input = input;
            QString error;
            if (m_firstText && m_nextInput == 1)
                out->text = std::exchange(*m_firstText, QString());
            else if (!readConvertInput(input, out->text, error)) {
                failInput(input, error);
                continue;
            }
            out->file = std::make_unique<ConvertOutput>(m_options, input);
            if (!out->file->open(ConvertOutput::Feed::Encoded, error)) {
                failInput(input, error);
                continue;
            }
            out->mp3 = out->file->isMp3();
            const QList<ConvertPlan::Part> parts = ConvertPlan::parts(out->text, m_options.partChars);
            out->partCount = int(parts.size());
            out->whole = parts.size() == 1;
            const int index = int(m_outputs.size());
            for (const ConvertPlan::Part &part : parts)
                m_parts.push_back({index, part.start, part.end, false, false, {}, {}, {}, {}});
            m_outputs.push_back(std::move(out));
            return true;
        }
        return false;
    }

    void failInput(const QString &input, const QString &why)
    {
        reportConvertFailure(input, why);
        ++m_failed;
        m_progress.fileDone(0);
    }

    // Gives every idle worker the next part, keeping within reach of the part being written.
    // Parts of an output that failed already are skipped; they count as done at once, so the
    // joining moves past them and the parts after them come within reach.
    void feed()
    {
        bool skipped = true;
        while (skipped) {
            skipped = false;
            advance();
            for (auto &worker : m_workers)
                skipped = feedWorker(*worker) || skipped;
        }
        if (isDone())
            m_loop.quit();
    }

    // Gives the worker the next part if it is idle; true when parts were skipped on the way.
    bool feedWorker(Worker &worker)
    {
        const qsizetype window = 2 * qsizetype(m_workerCount);
        bool skipped = false;
        // A process that has ended is not given work even before its end is reported.
        while (worker.alive && worker.part < 0 && worker.process->state() != QProcess::NotRunning) {
            while (m_nextPart >= m_parts.size() && loadNextInput()) {
            }
            if (m_nextPart >= m_parts.size() || m_nextPart >= m_current + window)
                break;
            const int index = int(m_nextPart++);
            Part &part = m_parts[size_t(index)];
            const Output &out = *m_outputs[size_t(part.output)];
            if (out.failed) {
                part.ended = true;
                skipped = true;
                continue;
            }
            const QByteArray text = QStringView(out.text).mid(part.start, part.end - part.start).toUtf8();
            worker.part = index;
            worker.process->write(QStringLiteral("P %1 %2 %3\n")
                                      .arg(out.whole ? 1 : 0)
                                      .arg(out.mp3 ? 1 : 0)
                                      .arg(text.size())
                                      .toLatin1() +
                                  text);
        }
        return skipped;
    }

    void readFrames(Worker &w)
    {
        w.inbox.append(w.process->readAllStandardOutput());
        qsizetype at = 0;
        while (w.inbox.size() - at >= FrameHeader) {
            const qsizetype length = getNumber<quint32>(w.inbox.constData() + at + 1);
            if (w.inbox.size() - at - FrameHeader < length)
                break;
            const char type = w.inbox.at(at);
            const QByteArray payload = w.inbox.mid(at + FrameHeader, length);
            at += FrameHeader + length;
            if (w.part < 0)
                continue;
            Part &part = m_parts[size_t(w.part)];
            if (type == DataFrame) {
                if (w.part == m_current)
                    writeAudio(*m_outputs[size_t(part.output)], payload);
                else
                    part.waiting.append(payload);
            } else if (type == WordsFrame) {
                part.words.append(payload);
            } else if (type == EndFrame || type == FailFrame) {
                part.ended = true;
                if (type == EndFrame) {
                    part.endRecord = payload;
                } else {
                    part.failed = true;
                    part.error = QString::fromUtf8(payload);
                }
                w.part = -1;
            }
        }
        w.inbox.remove(0, at);
        feed();
    }

    // A worker that ended (killed, crashed) fails the output of the part it was speaking and
    // no other; a new one takes its place while there is work left, a few times at most, so
    // that a worker that cannot run does not start again and again.
    void workerLost(Worker &w, const QString &why)
    {
        if (!w.alive)
            return;
        w.alive = false;
        ConvertCleanup::removeWorker(w.pid);
        if (w.part >= 0) {
            Part &part = m_parts[size_t(w.part)];
            part.ended = part.failed = true;
            part.error = why;
            w.part = -1;
        }
        const bool workLeft = m_nextPart < m_parts.size() || m_nextInput < m_inputs.size();
        if (workLeft && m_replacementsLeft > 0) {
            --m_replacementsLeft;
            startWorker();
        }
        bool anyAlive = false;
        for (const auto &other : m_workers)
            anyAlive = anyAlive || other->alive;
        if (!anyAlive) { // nothing is left to speak the rest
            while (loadNextInput()) {
            }
            for (qsizetype i = m_nextPart; i < m_parts.size(); ++i) {
                m_parts[i].ended = m_parts[i].failed = true;
                m_parts[i].error = QStringLiteral("no worker process is left to convert it");
            }
            m_nextPart = m_parts.size();
        }
        feed();
    }

    void writeAudio(Output &out, const QByteArray &bytes)
    {
        if (out.failed || bytes.isEmpty())
            return;
        if (!out.file->sink().write(bytes))
            failOutput(out, QStringLiteral("writing %1 failed: %2")
                                .arg(out.file->name(), out.file->sink().errorString()));
    }

    // Joins every part that is complete and next in line; quits when all are written.
    void advance()
    {
        while (m_current < m_parts.size() && m_parts[size_t(m_current)].ended) {
            join(m_parts[size_t(m_current)]);
            ++m_current;
            if (m_current < m_parts.size()) {
                Part &next = m_parts[size_t(m_current)];
                writeAudio(*m_outputs[size_t(next.output)], next.waiting);
                next.waiting = QByteArray();
            }
        }
    }

    void join(Part &part)
    {
        Output &out = *m_outputs[size_t(part.output)];
        writeAudio(out, part.waiting);
        if (part.failed)
            failOutput(out, part.error);
        if (!out.failed && part.endRecord.size() >= 24) {
            const char *end = part.endRecord.constData();
            const qint64 pcm = getNumber<qint64>(end);
            const qint64 decoded = getNumber<qint64>(end + 8);
            const qint64 delay = getNumber<qint64>(end + 16);
            // Joined MP3 parts each start with their encoder's delay; a lone part's
            // information frame tells players to skip it.
            const qint64 base = out.samples + (out.mp3 && !out.whole ? delay : 0);
            for (qsizetype at = 0; at + WordRecord <= part.words.size(); at += WordRecord) {
                const char *w = part.words.constData() + at;
                out.words.append({part.start + getNumber<qint32>(w), getNumber<qint32>(w + 4),
                                  base + getNumber<qint64>(w + 8)});
            }
            out.samples += out.mp3 && !out.whole ? decoded : pcm;
            out.tag = part.endRecord.mid(24);
            m_progress.setCurrent(double(part.end) / double(std::max<qsizetype>(1, out.text.size())),
                                  out.samples);
        }
        part = Part{part.output, part.start, part.end, true, part.failed, {}, {}, {}, {}};
        if (++out.partsJoined == out.partCount)
            finishOutput(out);
    }

    void finishOutput(Output &out)
    {
        if (out.failed)
            return;
        if (out.mp3)
            out.file->setLeadingFrame(out.tag);
        QString error;
        if (!out.file->commit(out.text, out.words, out.samples, error)) {
            failOutput(out, error);
            return;
        }
        m_progress.fileDone(out.samples);
        release(out);
    }

    void failOutput(Output &out, const QString &why)
    {
        if (out.failed)
            return;
        out.failed = true;
        out.file->discard();
        failInput(out.input, why);
        release(out);
    }

    static void release(Output &out)
    {
        out.text = QString();
        out.words = {};
        out.file.reset();
    }

    const ConvertOptions &m_options;
    const QStringList m_inputs;
    std::optional<QString> m_firstText;
    ConvertProgress &m_progress;
    QEventLoop m_loop;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<std::unique_ptr<Output>> m_outputs;
    QList<Part> m_parts;
    qsizetype m_nextInput = 0;
    qsizetype m_nextPart = 0;
    qsizetype m_current = 0; // the part being written
    int m_workerCount = 0;   // workers running side by side
    int m_replacementsLeft = 0;
    int m_failed = 0;
};

} // namespace

int convertInParts(const ConvertOptions &options, const QStringList &inputs, std::optional<QString> firstText,
                   ConvertProgress &progress)
{
    return PartConversion(options, inputs, std::move(firstText), progress).run();
}

int runPartWorker(const ConvertOptions &options, const CliVoice &voice)
{
    // The parts' audio goes out on a private copy of standard output; anything a library
    // prints goes to standard error instead of into the audio.
    const int channelFd = ::dup(STDOUT_FILENO);
    if (channelFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 1;
    Channel channel(channelFd);
    VoiceRenderer renderer(options, voice);
    char line[96];
    while (std::fgets(line, sizeof line, stdin)) {
        int whole = 0, mp3 = 0;
        long long bytes = -1;
        if (std::sscanf(line, "P %d %d %lld", &whole, &mp3, &bytes) != 3 || bytes < 0 || bytes > MaxPartBytes)
            return 1;
        QByteArray utf8(qsizetype(bytes), Qt::Uninitialized);
        if (bytes > 0 && std::fread(utf8.data(), 1, size_t(bytes), stdin) != size_t(bytes))
            return 1;
        if (!renderer.problem().isEmpty()) {
            channel.send(FailFrame, renderer.problem().toUtf8());
            continue;
        }
        PartSink sink(channel, mp3 != 0, options.bitrate, whole != 0);
        QByteArray words;
        const bool spoken = sink.open() && renderer.render(QString::fromUtf8(utf8), sink,
                                                           [&words](int position, int length, qint64 sample) {
                                                               putNumber<qint32>(words, position);
                                                               putNumber<qint32>(words, length);
                                                               putNumber<qint64>(words, sample);
                                                           });
        const std::optional<QByteArray> end = spoken ? sink.finish() : std::nullopt;
        if (!end) {
            channel.send(FailFrame, sink.errorString().toUtf8());
            continue;
        }
        channel.send(WordsFrame, words);
        channel.send(EndFrame, *end);
    }
    return 0;
}
