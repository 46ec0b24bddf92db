#pragma once

#include "speech/pronunciation_rules.h"
#include "speech/synth_job.h"

#include <QHash>
#include <QList>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A voice as an engine offers it.
struct EngineVoice
{
    QString id;       // what VoiceParams::voice names
    QString name;     // display name
    QString language; // e.g. "en-us"
};

// One engine family behind one worker thread that owns the library. Jobs are served a piece
// at a time, round robin, so several speaking objects can sound at once; a job is only fed
// while its queue of made audio is short, which keeps memory flat for any text length.
class SynthEngine
{
public:
    virtual ~SynthEngine();
    SynthEngine(const SynthEngine &) = delete;
    SynthEngine &operator=(const SynthEngine &) = delete;

    // The two families; created (and their library loaded) on first use.
    static SynthEngine &espeak();
    static SynthEngine &flite();

    // Voices in the engine's own order; empty when the library could not be loaded.
    QList<EngineVoice> voices();
    bool isAvailable();

    // Starts making audio for the text, said as `rules` say for the voice's language. The job is
    // served until it finishes or is cancelled.
    std::shared_ptr<SynthJob>
    submit(const QString &text, const VoiceParams &params,
           std::shared_ptr<const PronunciationRules> rules = PronunciationRules::current());

protected:
    SynthEngine() = default;
    void startWorker(); // each final back end calls this from its constructor
    void stopWorker();  // and this from its destructor

private:
    // Worker thread: the voices the library gave at an earlier start, when that list still
    // holds; false when they are not known. They are offered before the library loads.
    virtual bool knownVoices(QList<EngineVoice> &voices);
    // Worker thread: load the library and list its voices, unless `voices` already holds the
    // known ones; false when unusable.
    virtual bool initialize(QList<EngineVoice> &voices) = 0;
    // Worker thread: synthesise text[start, end) into `out`; word marks carry positions in
    // `text` and samples from the start of this piece. Stops early when the job is cancelled.
    virtual void synthesizeChunk(SynthJob &job, const VoiceParams &params, const QString &text, int start,
                                 int end, PcmChunk &out) = 0;

    void run();
    void publish(const QList<EngineVoice> &voices, bool available);
    void startPart(SynthJob &job);
    void speakPiece(SynthJob &job);
    std::shared_ptr<SynthJob> nextHungryJob();
    void wake();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wakeup;
    std::vector<std::weak_ptr<SynthJob>> m_jobs;
    size_t m_next = 0;
    bool m_stopping = false;
    bool m_ready = false;
    bool m_available = false;
    QList<EngineVoice> m_voices;
    QHash<QString, QString> m_languageOf; // voice id -> language; worker thread only
    std::condition_variable m_readyCondition;
};
