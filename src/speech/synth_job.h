#pragma once

#include "speech/pronounced_text.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// A word of the submitted text, due when the sample at `sample` (counted from the start of
// the stream) is played. Position and length are UTF-16 offsets into the submitted text.
struct WordMark
{
    qint64 sample = 0;
    int position = 0;
    int length = 0;
};

// Audio made for one piece of the text, with the words that start inside it.
struct PcmChunk
{
    QByteArray pcm; // 16-bit mono samples at 22050 Hz
    QVector<WordMark> words;
};

// Voice and prosody a job is synthesised with; read again before every chunk so that
// changes made while speaking apply from the next sentence on.
struct VoiceParams
{
    QString voice;  // engine-specific voice id
    int rate = 0;   // eSpeak NG: words per minute; Flite: -10..10
    int pitch = 50; // eSpeak NG only: 0..100
};

// Where the engine's worker is in a job's text (worker thread only): the part of the text it
// is speaking, rewritten by the pronunciation rules as the engine is given it, and where the
// next piece of that part starts.
struct SpokenPart
{
    int originalStart = 0;
    int originalEnd = 0;
    PronouncedText spoken;
    int next = 0;
    // The last word reported, in the original text: the words of one replacement all point at
    // the same original words, which are reported once.
    PronouncedText::Span lastWord{-1, -1};
};

// One text being turned into audio: made on the engine's worker thread, taken on the
// window thread. Everything here is safe to call from either side.
class SynthJob
{
public:
    SynthJob(QString text, VoiceParams params, std::shared_ptr<const PronunciationRules> rules = nullptr);

    const QString &text() const { return m_text; } // as submitted: word positions point into it
    const std::shared_ptr<const PronunciationRules> &rules() const { return m_rules; }
    VoiceParams params() const;
    void setParams(const VoiceParams &params);

    // Producer side.
    void push(PcmChunk chunk);
    void finish(); // no more chunks will come
    bool wantsMore(qint64 highWaterSamples) const;
    SpokenPart &spokenPart() { return m_part; } // worker thread only

    // What an engine carries from one piece of this job to the next (a resampler's filter
    // state, say); it lives as long as the job. Worker thread only.
    struct EngineState
    {
        virtual ~EngineState() = default;
    };
    EngineState *engineState() const { return m_engineState.get(); }
    void setEngineState(std::unique_ptr<EngineState> state) { m_engineState = std::move(state); }

    // Consumer side.
    bool take(PcmChunk &chunk); // false when nothing is queued now
    bool isFinished() const;    // finished and nothing left to take
    qint64 queuedSamples() const;

    void cancel();
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

    // Called (on the worker thread) whenever a chunk was pushed or the job finished.
    void setNotifier(std::function<void()> notifier);
    // Called (on the window thread) after a take, so the worker can refill.
    void setConsumedHook(std::function<void()> hook);

private:
    const QString m_text;
    const std::shared_ptr<const PronunciationRules> m_rules;
    mutable std::mutex m_mutex;
    VoiceParams m_params;
    std::deque<PcmChunk> m_chunks;
    qint64 m_queuedSamples = 0;
    bool m_finished = false;
    std::atomic<bool> m_cancelled{false};
    SpokenPart m_part;
    std::unique_ptr<EngineState> m_engineState; // worker thread only
    std::function<void()> m_notifier;
    std::function<void()> m_consumedHook;
};
