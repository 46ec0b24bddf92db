#include "speech/synth_engine.h"

#include "platform/audio_format.h"
#include "speech/text_chunker.h"

namespace {
// Audio a job may have waiting before its worker turns to other jobs or sleeps.
constexpr qint64 HighWaterSamples = 4 * AudioFormat::SampleRate;
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

std::shared_ptr<SynthJob> SynthEngine::submit(const QString &text, const VoiceParams &params)
{
    auto job = std::make_shared<SynthJob>(TextChunker::engineText(text), params);
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

void SynthEngine::run()
{
    {
        QList<EngineVoice> voices;
        const bool ok = initialize(voices);
        std::lock_guard lock(m_mutex);
        m_voices = voices;
        m_available = ok;
        m_ready = true;
    }
    m_readyCondition.notify_all();

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
        const QString &text = job->text();
        const int start = job->nextChunkStart();
        const int size = int(text.size());
        if (!m_available || start >= size) {
            job->finish();
            continue;
        }
        const int limit = start == 0 ? TextChunker::FirstChunkLimit : TextChunker::ChunkLimit;
        const int end = TextChunker::chunkEnd(text, start, limit);
        PcmChunk chunk;
        bool blank = true;
        for (int i = start; i < end && blank; ++i)
            blank = text.at(i).isSpace();
        if (!blank)
            synthesizeChunk(*job, job->params(), start, end, chunk);
        job->setNextChunkStart(end);
        if (job->isCancelled())
            continue;
        if (!chunk.pcm.isEmpty() || !chunk.words.isEmpty())
            job->push(std::move(chunk));
        if (end >= size)
            job->finish();
    }
}
