#include "cli/convert_workers.h"

#include "cli/convert_output.h"
#include "platform/wav_writer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <array>

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
constexpr char DataFrame = 'D';  // PCM samples, in order
constexpr char WordsFrame = 'W'; // words: 32-bit position, 32-bit length, 64-bit sample each
constexpr char EndFrame = 'E';   // 64-bit count of the part's samples
constexpr char FailFrame = 'F';  // why the part could not be made
constexpr int FrameHeader = 5;
constexpr int WordRecord = 16;
constexpr qsizetype MaxPartBytes = 64 * 1024 * 1024;

// eSpeak NG's audio depends on everything the process spoke before (its pitch flutter and
// other state run on from one text to the next, and nothing resets them). So that a part
// sounds the same in every run, the parts go to a fixed number of worker processes in turn:
// part n to lane n % Lanes, whatever the number of jobs; --jobs only limits how many of them
// speak at the same time.
constexpr int Lanes = 2;

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

// Sends one part's audio on as it is made. The parts are encoded where they are joined, by one
// encoder per output: so they join without a gap, and the file is the same whichever worker
// spoke which part.
class PartSink final : public WavWriter
{
public:
    explicit PartSink(Channel &channel) : WavWriter(QString()), m_channel(channel) {}
    bool open() override { return true; }
    bool write(const int16_t *samples, qint64 count) override
    {
        m_pending.append(reinterpret_cast<const char *>(samples), qsizetype(count) * 2);
        m_samples += count;
        if (m_pending.size() >= 64 * 1024)
            sendPending();
        return true;
    }
    bool write(const QByteArray &pcm) override
    {
        return write(reinterpret_cast<const int16_t *>(pcm.constData()), pcm.size() / 2);
    }
    bool close() override { return true; }
    bool hasFailed() const override { return false; }

    // Sends the rest of the audio; returns the end record.
    QByteArray finish()
    {
        sendPending();
        QByteArray end;
        putNumber<qint64>(end, m_samples);
        return end;
    }

private:
    void sendPending()
    {
        if (!m_pending.isEmpty())
            m_channel.send(DataFrame, m_pending);
        m_pending.clear();
    }

    Channel &m_channel;
    QByteArray m_pending;
    qint64 m_samples = 0;
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
    for (const QString &dict : options.dicts)
        args << QStringLiteral("--dict") << QFileInfo(dict).absoluteFilePath();
    return args;
}

// The joining side: hands parts to the workers in order, keeps at most a few parts ahead of
// the one being written, encodes each part's audio into its output as soon as every part
// before it is in, and offsets its words by the audio before it.
class PartConversion
{
public:
    PartConversion(const ConvertOptions &options, QList<ConvertItem> &items, ConvertProgress &progress)
        : m_options(options), m_inputs(items), m_progress(progress), m_keepWords(options.lrc || options.srt)
    {}

    int run()
    {
        if (!loadNextInput())
            return m_failed;
        m_replacementsLeft = Lanes;
        for (int lane = 0; lane < Lanes; ++lane)
            startWorker(lane);
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
        ConvertItem *item = nullptr;
        QString input, text;
        bool failed = false;
        std::unique_ptr<ConvertOutput> file;
        QList<ConvertPlan::Word> words;
        qsizetype textSize = 0;
        qint64 samples = 0;
        int partCount = 0, partsJoined = 0;
    };
    struct Part
    {
        int output = 0, start = 0, end = 0;
        bool ended = false, failed = false, assigned = false;
        QString error;
        QByteArray text; // UTF-8, until it is sent
        QByteArray waiting, words, endRecord;
    };
    struct Worker
    {
        std::unique_ptr<QProcess> process;
        QByteArray inbox;
        qint64 pid = 0; // kept: a process that has ended no longer tells it
        int part = -1;
        int lane = 0;
        bool alive = true;
    };

    bool isDone() const { return m_current >= m_parts.size() && m_nextInput >= m_inputs.size(); }

    void startWorker(int lane)
    {
        auto worker = std::make_unique<Worker>();
        Worker *w = worker.get();
        w->lane = lane;
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
            ConvertItem &item = m_inputs[m_nextInput++];
            const QString input = item.input;
            auto out = std::make_unique<Output>();
            out->item = &item;
            out->input = input;
            QString error;
            if (!loadConvertItem(m_options, item, error)) {
                failInput(input, error);
                continue;
            }
            out->text = *std::exchange(item.text, std::nullopt);
            out->file = std::make_unique<ConvertOutput>(m_options, item);
            if (!out->file->open(error)) {
                failInput(input, error);
                continue;
            }
            const QList<ConvertPlan::Part> parts = ConvertPlan::parts(out->text, m_options.partChars);
            out->partCount = int(parts.size());
            out->textSize = out->text.size();
            const int index = int(m_outputs.size());
            for (const ConvertPlan::Part &part : parts) {
                QByteArray text = QStringView(out->text).mid(part.start, part.end - part.start).toUtf8();
                text.squeeze(); // made with room for three bytes a character
                m_parts.push_back({index, part.start, part.end, false, false, false, {}, text, {}, {}, {}});
            }
            // Each part carries its own text until a worker has it; the whole text is kept
            // for the subtitles only.
            if (!m_keepWords)
                out->text = QString();
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

    // Gives idle workers the next parts of their lanes, keeping within reach of the part being
    // written and to as many speaking at once as the jobs allow. Parts of an output that failed
    // already are skipped; they count as done at once, so the joining moves past them and the
    // parts after them come within reach.
    void feed()
    {
        do
            advance();
        while (assignOne());
        if (isDone())
            m_loop.quit();
    }

    bool laneServed(int lane) const
    {
        for (const auto &w : m_workers)
            if (w->alive && w->lane == lane)
                return true;
        return false;
    }

    // Gives the earliest part an idle worker may speak: its own lane's, or a lane whose
    // worker is gone for good. False when nothing can be given now.
    bool assignOne()
    {
        Worker *chosen = nullptr;
        int chosenLane = 0;
        int busy = 0;
        for (const auto &w : m_workers) {
            if (w->alive && w->part >= 0)
                ++busy;
            // A process that has ended is not given work even before its end is reported.
            if (!w->alive || w->part >= 0 || w->process->state() == QProcess::NotRunning)
                continue;
            for (int lane = 0; lane < Lanes; ++lane)
                if ((lane == w->lane || !laneServed(lane)) &&
                    (!chosen || m_laneNext[size_t(lane)] < m_laneNext[size_t(chosenLane)])) {
                    chosen = w.get();
                    chosenLane = lane;
                }
        }
        if (!chosen)
            return false;
        const qsizetype index = m_laneNext[size_t(chosenLane)];
        while (index >= m_parts.size() && loadNextInput()) {
        }
        // Each lane one part ahead of the one being written: enough that neither waits, and
        // no more audio held here than that.
        if (index >= m_parts.size() || index >= m_current + Lanes + 1)
            return false;
        Part &part = m_parts[index];
        const Output &out = *m_outputs[size_t(part.output)];
        if (out.failed) {
            part.ended = part.assigned = true;
            part.text = QByteArray();
            m_laneNext[size_t(chosenLane)] += Lanes;
            return true;
        }
        if (busy >= m_options.jobs)
            return false;
        m_laneNext[size_t(chosenLane)] += Lanes;
        part.assigned = true;
        chosen->part = int(index);
        chosen->process->write(QStringLiteral("P %1\n").arg(part.text.size()).toLatin1() + part.text);
        part.text = QByteArray();
        return true;
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
                if (m_keepWords)
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
        // Only the start of a frame is left over: kept in a block of its own, so that the
        // inbox does not creep along a block that only ever grows.
        w.inbox = at < w.inbox.size() ? w.inbox.mid(at) : QByteArray();
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
        bool workLeft = m_nextInput < m_inputs.size();
        for (const qsizetype next : m_laneNext)
            workLeft = workLeft || next < m_parts.size();
        if (workLeft && m_replacementsLeft > 0) {
            --m_replacementsLeft;
            startWorker(w.lane);
        }
        bool anyAlive = false;
        for (const auto &other : m_workers)
            anyAlive = anyAlive || other->alive;
        if (!anyAlive) { // nothing is left to speak the rest
            while (loadNextInput()) {
            }
            for (qsizetype i = m_current; i < m_parts.size(); ++i) {
                if (m_parts[i].assigned)
                    continue;
                m_parts[i].ended = m_parts[i].failed = m_parts[i].assigned = true;
                m_parts[i].error = QStringLiteral("no worker process is left to convert it");
            }
            m_laneNext.fill(m_parts.size());
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
        if (!out.failed && part.endRecord.size() >= 8) {
            const qint64 pcm = getNumber<qint64>(part.endRecord.constData());
            for (qsizetype at = 0; at + WordRecord <= part.words.size(); at += WordRecord) {
                const char *w = part.words.constData() + at;
                out.words.append({part.start + getNumber<qint32>(w), getNumber<qint32>(w + 4),
                                  out.samples + getNumber<qint64>(w + 8)});
            }
            out.samples += pcm;
            m_progress.setLabel(QFileInfo(out.file->name()).fileName());
            m_progress.setCurrent(double(part.end) / double(std::max<qsizetype>(1, out.textSize)),
                                  out.samples);
        }
        part = Part{part.output, part.start, part.end, true, part.failed, true, {}, {}, {}, {}, {}};
        if (++out.partsJoined == out.partCount)
            finishOutput(out);
    }

    void finishOutput(Output &out)
    {
        if (out.failed)
            return;
        QString error;
        if (!out.file->commit(out.text, out.words, out.samples, error)) {
            failOutput(out, error);
            return;
        }
        m_progress.fileDone(out.samples);
        out.item->samples = out.samples;
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
    QList<ConvertItem> &m_inputs;
    ConvertProgress &m_progress;
    // Where each word is heard is kept for the subtitles only: a long book has a great many.
    const bool m_keepWords;
    QEventLoop m_loop;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<std::unique_ptr<Output>> m_outputs;
    QList<Part> m_parts;
    qsizetype m_nextInput = 0;
    std::array<qsizetype, Lanes> m_laneNext{0, 1}; // the next part of each lane
    qsizetype m_current = 0;                       // the part being written
    int m_replacementsLeft = 0;
    int m_failed = 0;
};

} // namespace

int convertInParts(const ConvertOptions &options, QList<ConvertItem> &items, ConvertProgress &progress)
{
    return PartConversion(options, items, progress).run();
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
        long long bytes = -1;
        if (std::sscanf(line, "P %lld", &bytes) != 1 || bytes < 0 || bytes > MaxPartBytes)
            return 1;
        QByteArray utf8(qsizetype(bytes), Qt::Uninitialized);
        if (bytes > 0 && std::fread(utf8.data(), 1, size_t(bytes), stdin) != size_t(bytes))
            return 1;
        if (!renderer.problem().isEmpty()) {
            channel.send(FailFrame, renderer.problem().toUtf8());
            continue;
        }
        PartSink sink(channel);
        QByteArray words;
        renderer.render(QString::fromUtf8(utf8), sink, [&words](int position, int length, qint64 sample) {
            putNumber<qint32>(words, position);
            putNumber<qint32>(words, length);
            putNumber<qint64>(words, sample);
        });
        const QByteArray end = sink.finish();
        channel.send(WordsFrame, words);
        channel.send(EndFrame, end);
    }
    return 0;
}
