#include "speech/speech_stream.h"

#include "platform/audio_format.h"
#include "platform/wav_writer.h"
#include "speech/synth_engine.h"

#include <algorithm>
#include <cmath>

namespace {
// How often the position is checked while audio plays in real time.
constexpr int PollIntervalMs = 10;
} // namespace

SpeechStream::SpeechStream(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &SpeechStream::pump);
}

SpeechStream::~SpeechStream()
{
    discard();
}

void SpeechStream::start(SynthEngine &engine, const QString &text, const VoiceParams &params)
{
    discard();
    ++m_generation;
    m_job = engine.submit(text, params, m_rules ? m_rules : PronunciationRules::current());
    // Wake the window thread as soon as audio is made; never touch this object from the worker.
    m_job->setNotifier([this] {
        if (!m_notifyPending.exchange(true))
            QMetaObject::invokeMethod(this, &SpeechStream::onNotify, Qt::QueuedConnection);
    });
    m_current = {};
    m_currentOffset = 0;
    m_pendingWords.clear();
    m_nextWord = 0;
    m_chunkBase = 0;
    m_written = 0;
    m_played = 0;
    m_paused = false;
    m_startedSent = false;
    m_firstAudioSent = false;
    if (!m_file)
        m_output.open();
    scheduleNow();
}

void SpeechStream::setParams(const VoiceParams &params)
{
    if (m_job)
        m_job->setParams(params);
}

void SpeechStream::discard()
{
    if (!m_job)
        return;
    m_job->cancel();
    m_job.reset();
    ++m_generation;
    m_timer.stop();
    m_output.close();
    m_current = {};
    m_pendingWords.clear();
    m_paused = false;
}

void SpeechStream::stop()
{
    const bool wasActive = isActive();
    discard();
    if (wasActive)
        emit finished();
}

void SpeechStream::pause()
{
    if (!m_job || m_paused)
        return;
    m_paused = true;
    m_output.suspend();
}

void SpeechStream::resume()
{
    if (!m_job || !m_paused)
        return;
    m_paused = false;
    m_output.resume();
    scheduleNow();
}

void SpeechStream::setGain(double gain)
{
    m_gain = std::clamp(gain, 0.0, 1.0);
}

void SpeechStream::setFileOutput(WavWriter *writer)
{
    m_file = writer;
}

void SpeechStream::onNotify()
{
    m_notifyPending = false;
    pump();
}

void SpeechStream::scheduleNow()
{
    if (!m_job)
        return;
    const bool realTime = !m_file && m_output.mode() != AudioMode::Fast;
    m_timer.start(realTime ? PollIntervalMs : 0);
}

qint64 SpeechStream::feed()
{
    qint64 handed = 0;
    QByteArray scaled;
    while (m_job) {
        if (m_currentOffset >= m_current.pcm.size()) {
            if (!m_job->take(m_current))
                break;
            m_currentOffset = 0;
            m_chunkBase = m_written;
            for (const WordMark &w : std::as_const(m_current.words))
                m_pendingWords.append({m_chunkBase + w.sample, w.position, w.length});
        }
        const qint64 room = m_file ? qint64(m_current.pcm.size()) : m_output.bytesFree();
        if (room <= 0)
            break;
        const qint64 bytes = qMin<qint64>(room, m_current.pcm.size() - m_currentOffset) & ~qint64(1);
        if (bytes <= 0)
            break;
        const char *data = m_current.pcm.constData() + m_currentOffset;
        if (m_gain < 1.0) {
            scaled = QByteArray(data, bytes);
            auto *s = reinterpret_cast<short *>(scaled.data());
            for (qint64 i = 0; i < bytes / 2; ++i)
                s[i] = short(std::lround(s[i] * m_gain));
            data = scaled.constData();
        }
        qint64 accepted;
        if (m_file)
            accepted = m_file->write(QByteArray::fromRawData(data, bytes)) ? bytes : 0;
        else
            accepted = m_output.write(data, bytes);
        if (accepted <= 0)
            break;
        m_currentOffset += int(accepted);
        m_written += accepted / AudioFormat::BytesPerSample;
        handed += accepted;
        if (!m_file && m_output.mode() == AudioMode::Fast)
            break; // one burst per turn, so word events interleave with the caller's work
    }
    return handed;
}

void SpeechStream::pump()
{
    if (!m_job)
        return;
    const quint64 generation = m_generation;
    // A stream paused before anything was heard starts when it is resumed.
    if (!m_startedSent && !m_paused) {
        m_startedSent = true;
        emit started();
        if (generation != m_generation)
            return; // a handler stopped or restarted this stream
    }
    if (m_paused) {
        m_timer.stop();
        return;
    }
    const qint64 handed = feed();
    if (m_file && m_file->hasFailed()) {
        // The file cannot take the audio: the job ends here, and the writer keeps the reason.
        discard();
        emit finished();
        return;
    }
    if (handed > 0 && !m_firstAudioSent) {
        m_firstAudioSent = true;
        emit firstAudio();
        if (generation != m_generation)
            return;
    }
    m_played = m_file ? m_written : m_output.playedSamples();
    int fired = 0;
    while (fired < m_pendingWords.size() && m_pendingWords.at(fired).sample <= m_played) {
        const WordMark w = m_pendingWords.at(fired++);
        emit word(w.position, w.length, w.sample);
        if (generation != m_generation)
            return;
        if (m_paused)
            break;
    }
    m_pendingWords.remove(0, fired);

    const bool allHanded = m_currentOffset >= m_current.pcm.size() && m_job->isFinished();
    if (allHanded && m_pendingWords.isEmpty() && (m_file || m_output.drained())) {
        m_job.reset();
        ++m_generation;
        m_timer.stop();
        m_output.close();
        emit finished();
        return;
    }
    const bool realTime = !m_file && m_output.mode() != AudioMode::Fast;
    if (realTime) {
        if (!m_timer.isActive() || m_timer.interval() != PollIntervalMs)
            m_timer.start(PollIntervalMs);
    } else if (handed > 0 || fired > 0 || m_job->queuedSamples() > 0 || allHanded) {
        if (!m_timer.isActive())
            m_timer.start(0);
    } else {
        m_timer.stop(); // waiting for the worker, which notifies
    }
}
