#include "speech/synth_job.h"

#include "platform/audio_format.h"

SynthJob::SynthJob(QString text, VoiceParams params, std::shared_ptr<const PronunciationRules> rules)
    : m_text(std::move(text)), m_rules(std::move(rules)), m_params(std::move(params))
{}

VoiceParams SynthJob::params() const
{
    std::lock_guard lock(m_mutex);
    return m_params;
}

void SynthJob::setParams(const VoiceParams &params)
{
    std::lock_guard lock(m_mutex);
    m_params = params;
}

void SynthJob::push(PcmChunk chunk)
{
    std::lock_guard lock(m_mutex);
    if (isCancelled())
        return;
    m_queuedSamples += chunk.pcm.size() / AudioFormat::BytesPerSample;
    m_chunks.push_back(std::move(chunk));
    if (m_notifier)
        m_notifier();
}

void SynthJob::finish()
{
    std::lock_guard lock(m_mutex);
    m_finished = true;
    if (m_notifier)
        m_notifier();
}

bool SynthJob::wantsMore(qint64 highWaterSamples) const
{
    std::lock_guard lock(m_mutex);
    // A sentence often holds more audio than the mark: one more piece may wait, so that the
    // worker makes the next while the last is taken, instead of taking turns with the reader.
    return !m_finished && !isCancelled() && (m_queuedSamples < highWaterSamples || m_chunks.size() < 2);
}

bool SynthJob::take(PcmChunk &chunk)
{
    std::function<void()> hook;
    {
        std::lock_guard lock(m_mutex);
        if (m_chunks.empty())
            return false;
        chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        m_queuedSamples -= chunk.pcm.size() / AudioFormat::BytesPerSample;
        hook = m_consumedHook;
    }
    if (hook)
        hook();
    return true;
}

bool SynthJob::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished && m_chunks.empty();
}

qint64 SynthJob::queuedSamples() const
{
    std::lock_guard lock(m_mutex);
    return m_queuedSamples;
}

void SynthJob::cancel()
{
    std::function<void()> hook;
    {
        std::lock_guard lock(m_mutex);
        m_cancelled.store(true, std::memory_order_relaxed);
        m_chunks.clear();
        m_queuedSamples = 0;
        m_notifier = nullptr;
        hook = m_consumedHook;
        m_consumedHook = nullptr;
    }
    if (hook)
        hook(); // lets the worker notice at once
}

void SynthJob::setNotifier(std::function<void()> notifier)
{
    std::lock_guard lock(m_mutex);
    m_notifier = std::move(notifier);
}

void SynthJob::setConsumedHook(std::function<void()> hook)
{
    std::lock_guard lock(m_mutex);
    m_consumedHook = std::move(hook);
}
