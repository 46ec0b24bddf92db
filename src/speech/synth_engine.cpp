#include "speech/synth_engine.h"

#include "platform/audio_format.h"
#include "speech/text_chunker.h"

namespace {
// Audio a job may have waiting before its worker turns to other jobs or sleeps.
constexpr qint64 HighWaterSamples = 4 * AudioFormat::SampleRate;
// The text is rewritten by the pronunciation rules a part at a time, so that a long text does
// not wait for all of it before its first sound: a part is at least this long (the first one
// shorter, for a quick start), and runs on to the end of its paragraph, up to twice as long.
constexpr int FirstPartLength = 400;
constexpr int PartLength = 2000;

// Where the part that begins at `from` ends: always where the chunker ends a piece, so that no
// word is cut, and where it can at a line end, so that rules seldom miss a phrase cut in two.
int partEnd(const QString &text, int from)
{
    const int size = int(text.size());
    const int length = from == 0 ? FirstPartLength : PartLength;
    const auto atLineEnd = [&text](int end) {
        const QChar last = text.at(end - 1);
        return last == u'\n' || last == u'\r' || last == QChar::ParagraphSeparator;
    };
    int end = from;
    do {
        end = TextChunker::chunkEnd(text, end,
                                    end == 0 ? TextChunker::FirstChunkLimit : TextChunker::ChunkLimit);
    } while (end < size && (end - from < length || (!atLineEnd(end) && end - from < 2 * length)));
    return end;
}

} // namespace

SynthEngine::~SynthEngine() = default;

void SynthEngine::startWorker()
{
    m_thread = std::thread([this] { run(); });
}

void SynthEngine::stopWorker()
{
    std::vector<std::shared_ptr<SynthJob>> jobs;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (auto &weak : m_jobs)
            if (auto job = weak.lock())
                jobs.push_back(job);
    }
    // Cancelling wakes the worker through the job's hook, which takes m_mutex itself.
    for (auto &job : jobs)
        job->cancel();
    m_wakeup.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

QList<EngineVoice> SynthEngine::voices()
{
    std::unique_lock lock(m_mutex);
    m_readyCondition.wait(lock, [this] { return m_ready; });
    return m_voices;
}

bool SynthEngine::isAvailable()
{
    std::unique_lock lock(m_mutex);
    m_readyCondition.wait(lock, [this] { return m_ready; });
    return m_available;
}

std::shared_ptr<SynthJob> SynthEngine::submit(const QString &text, const VoiceParams &params,
                                              std::shared_ptr<const PronunciationRules> rules)
{
    auto job = std::make_shared<SynthJob>(text, params, std::move(rules));
    job->setConsumedHook([this] { wake(); });
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(job);
    }
    m_wakeup.notify_all();
    return job;
}

void SynthEngine::wake()
{
    // Taking the lock orders this with the worker's check, so the wake-up cannot be lost.
    {
        std::lock_guard lock(m_mutex);
    }
    m_wakeup.notify_all();
}

std::shared_ptr<SynthJob> SynthEngine::nextHungryJob()
{
    // Caller holds m_mutex.
    for (size_t tried = 0; tried < m_jobs.size(); ++tried) {
        if (m_next >= m_jobs.size())
            m_next = 0;
        auto job = m_jobs[m_next].lock();
        if (!job || job->isCancelled() || job->isFinished()) {
            m_jobs.erase(m_jobs.begin() + qsizetype(m_next));
            --tried;
            if (m_jobs.empty())
                break;
            continue;
        }
        ++m_next;
        if (job->wantsMore(HighWaterSamples))
            return job;
    }
    return nullptr;
}

bool SynthEngine::knownVoices(QList<EngineVoice> &)
{
    return false;
}

void SynthEngine::publish(const QList<EngineVoice> &voices, bool available)
{
    {
        std::lock_guard lock(m_mutex);
        m_voices = voices;
        m_languageOf.clear();
        for (const EngineVoice &voice : voices)
            m_languageOf.insert(voice.id, voice.language);
        m_available = available;
        m_ready = true;
    }
    m_readyCondition.notify_all();
}

void SynthEngine::run()
{
    // Voices known from an earlier start are offered at once, while the library loads; jobs
    // wait for the load below all the same.
    QList<EngineVoice> voices;
    const bool known = knownVoices(voices);
    if (known)
        publish(voices, true);
    const bool ok = initialize(voices);
    if (!known) {
        publish(voices, ok);
    } else if (!ok) {
        std::lock_guard lock(m_mutex);
        m_available = false;
    }

    for (;;) {
        std::shared_ptr<SynthJob> job;
        {
            std::unique_lock lock(m_mutex);
            m_wakeup.wait(lock, [&] {
                if (m_stopping)
                    return true;
                job = nextHungryJob();
                return job != nullptr;
            });
            if (m_stopping)
                return;
        }
        if (!m_available) {
            job->finish();
            continue;
        }
        speakPiece(*job);
    }
}

void SynthEngine::startPart(SynthJob &job)
{
    SpokenPart &part = job.spokenPart();
    const QString &text = job.text();
    const int from = part.originalEnd;
    const int to = partEnd(text, from);
    const std::shared_ptr<const PronunciationRules> &rules = job.rules();
    const auto matcher = rules && !rules->isEmpty()
                             ? rules->forLanguage(m_languageOf.value(job.params().voice))
                             : std::shared_ptr<const PronunciationMatcher>();
    part.spoken = pronounce(matcher.get(), QStringView(text).mid(from, to - from));
    // NULs and lone line ends as the engines can take them, on the text they are given.
    part.spoken.text = TextChunker::engineText(part.spoken.text);
    part.originalStart = from;
    part.originalEnd = to;
    part.next = 0;
}

void SynthEngine::speakPiece(SynthJob &job)
{
    SpokenPart &part = job.spokenPart();
    const int size = int(job.text().size());
    if (part.next >= part.spoken.text.size()) {
        if (part.originalEnd >= size) {
            job.finish();
            return;
        }
        startPart(job);
    }
    const QString &spoken = part.spoken.text;
    const int start = part.next;
    const int limit =
        part.originalStart == 0 && start == 0 ? TextChunker::FirstChunkLimit : TextChunker::ChunkLimit;
    const int end = TextChunker::chunkEnd(spoken, start, limit);
    PcmChunk chunk;
    bool blank = true;
    for (int i = start; i < end && blank; ++i)
        blank = spoken.at(i).isSpace();
    if (!blank)
        synthesizeChunk(job, job.params(), spoken, start, end, chunk);
    part.next = end;
    if (job.isCancelled())
        return;
    // Words as the user wrote them: positions in the submitted text, each reported once.
    QVector<WordMark> words;
    words.reserve(chunk.words.size());
    for (const WordMark &mark : std::as_const(chunk.words)) {
        const PronouncedText::Span span = part.spoken.originalSpan(mark.position, mark.length);
        const PronouncedText::Span original{part.originalStart + span.start, span.length};
        if (original == part.lastWord)
            continue;
        part.lastWord = original;
        words.append({mark.sample, original.start, original.length});
    }
    chunk.words = std::move(words);
    if (!chunk.pcm.isEmpty() || !chunk.words.isEmpty())
        job.push(std::move(chunk));
    if (end >= spoken.size() && part.originalEnd >= size)
        job.finish();
}
