#pragma once

#include "platform/sound_device.h"
#include "speech/pronunciation_rules.h"
#include "speech/synth_job.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>

class WavWriter;
class SynthEngine;

// Plays one speaking object's speech: takes audio from the engine as it is made, hands it
// to the object's own sound output (or a WAV file) and reports words when they are heard.
// Lives on the window thread; every signal is emitted there.
class SpeechStream : public QObject
{
    Q_OBJECT
public:
    explicit SpeechStream(QObject *parent = nullptr);
    ~SpeechStream() override;

    // Replaces whatever is playing (without an end signal for it) by a new text.
    void start(SynthEngine &engine, const QString &text, const VoiceParams &params);
    void setParams(const VoiceParams &params);
    // Stops at once and discards everything queued; emits finished() when something was active.
    void stop();
    // Stops silently: no finished() for what was active.
    void discard();
    void pause();
    void resume();
    void setGain(double gain); // 0..1
    // The pronunciation rules this stream's texts go through from the next start() on, in place
    // of the current ones (nullptr: the current ones, PronunciationRules::current()).
    void setPronunciation(std::shared_ptr<const PronunciationRules> rules) { m_rules = std::move(rules); }
    // While set, audio is written to the file as fast as it is made instead of played. A write
    // that fails ends the stream (finished()); the writer then reports hasFailed().
    void setFileOutput(WavWriter *writer);

    bool isActive() const { return m_job != nullptr; }
    bool isPaused() const { return m_paused; }
    qint64 playedSamples() const { return m_played; }

signals:
    void started();
    // `sample`: where the word starts in the stream; it is heard once playedSamples() passes it.
    void word(int position, int length, qint64 sample);
    void finished();
    // Audio for the first time handed to the sound layer (or file) in this stream.
    void firstAudio();

private:
    void pump();
    void onNotify();
    void scheduleNow();
    qint64 feed(); // hands queued audio on; returns the bytes handed

    quint64 m_generation = 0; // changes whenever the stream is replaced or ends
    std::atomic<bool> m_notifyPending{false};

    std::shared_ptr<SynthJob> m_job;
    std::shared_ptr<const PronunciationRules> m_rules;
    SoundOutput m_output;
    WavWriter *m_file = nullptr;
    QTimer m_timer;
    PcmChunk m_current;
    int m_currentOffset = 0; // bytes of m_current already handed on
    int m_nextWord = 0;
    QVector<WordMark> m_pendingWords; // words handed on but not yet heard
    qint64 m_chunkBase = 0;           // stream sample at which m_current begins
    qint64 m_written = 0;             // samples handed to the output
    qint64 m_played = 0;
    double m_gain = 1.0;
    bool m_paused = false;
    bool m_startedSent = false;
    bool m_firstAudioSent = false;
};
