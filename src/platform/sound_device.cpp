#include "platform/sound_device.h"

#include "platform/audio_format.h"
#include "platform/program_module.h"
#include "platform/sound_sink.h"

namespace {
// How far ahead of the ear the silent real-time output accepts audio.
constexpr qint64 NullBufferSamples = AudioFormat::SampleRate / 2;
// How much the fast output takes per write, so that word events still interleave.
constexpr qint64 FastBurstBytes = AudioFormat::SampleRate * AudioFormat::BytesPerSample;
constexpr qsizetype DeviceBufferBytes = AudioFormat::SampleRate * AudioFormat::BytesPerSample / 4;

bool haveOutputDevice()
{
    static const bool have = [] {
        const SoundDeviceModule *module = soundDeviceModule();
        return module && module->haveOutputDevice();
    }();
    return have;
}
} // namespace

const SoundDeviceModule *soundDeviceModule()
{
    static const SoundDeviceModule *const module = []() -> const SoundDeviceModule * {
        const auto entry = reinterpret_cast<SoundDeviceModuleEntry>(
            programModuleFunction(QStringLiteral("libparlanto_sound.so"), PARLANTO_SOUND_MODULE_ENTRY));
        return entry ? entry() : nullptr;
    }();
    return module;
}

AudioMode configuredAudioMode()
{
    const QByteArray value = qgetenv("PARLANTO_AUDIO").trimmed().toLower();
    if (value == "fast")
        return AudioMode::Fast;
    if (value == "null")
        return AudioMode::Null;
    if (haveOutputDevice())
        return AudioMode::Device;
    // Say once why nothing is heard; reading, highlighting and files still work.
    static const bool told = [] {
        qWarning("Parlanto: no sound output device (is PulseAudio or PipeWire running?); speaking silently.");
        return true;
    }();
    Q_UNUSED(told);
    return AudioMode::Null;
}

SoundOutput::SoundOutput() = default;

SoundOutput::~SoundOutput()
{
    close();
}

void SoundOutput::open()
{
    close();
    if (!m_modeKnown) {
        m_mode = configuredAudioMode();
        m_modeKnown = true;
    }
    m_written = 0;
    m_markSamples = 0;
    m_suspended = false;
    m_open = true;
    if (m_mode == AudioMode::Device) {
        if (!m_sink)
            m_sink.reset(soundDeviceModule()->createSink(AudioFormat::SampleRate, AudioFormat::Channels));
        // Ask for the full buffer on every start. Qt's PulseAudio sink keeps the size the server
        // granted as its next request, and the server grants about three quarters of a request
        // when it adjusts the latency, so a reused sink would shrink its buffer at each stream
        // until playback starves into a slow, low buzz.
        m_streaming = m_sink->start(DeviceBufferBytes);
        if (!m_streaming) {
            // No sound server after all: keep time silently so every event still arrives.
            m_sink.reset();
            m_mode = AudioMode::Null;
        }
    }
    m_sinceMark.start();
}

void SoundOutput::close()
{
    if (m_sink && m_streaming)
        m_sink->stop();
    m_streaming = false;
    m_open = false;
}

qint64 SoundOutput::bytesFree()
{
    if (!m_open)
        return 0;
    switch (m_mode) {
    case AudioMode::Device:
        return m_suspended ? 0 : m_sink->bytesFree();
    case AudioMode::Null:
        if (m_suspended)
            return 0;
        return qMax<qint64>(0, playedSamples() + NullBufferSamples - m_written) * AudioFormat::BytesPerSample;
    case AudioMode::Fast:
        return m_suspended ? 0 : FastBurstBytes;
    }
    return 0;
}

qint64 SoundOutput::write(const char *data, qint64 bytes)
{
    if (!m_open || bytes <= 0)
        return 0;
    bytes -= bytes % AudioFormat::BytesPerSample;
    qint64 accepted = bytes;
    if (m_mode == AudioMode::Device) {
        accepted = m_sink->write(data, bytes);
        if (accepted < 0)
            accepted = 0;
        accepted -= accepted % AudioFormat::BytesPerSample;
    } else if (m_mode == AudioMode::Null && m_written == playedSamples()) {
        // The clock waited for audio; it runs again from now.
        m_markSamples = m_written;
        m_sinceMark.restart();
    }
    m_written += accepted / AudioFormat::BytesPerSample;
    return accepted;
}

qint64 SoundOutput::playedSamples()
{
    switch (m_mode) {
    case AudioMode::Device: {
        if (!m_sink)
            return m_written;
        const qint64 processed = m_sink->processedUSecs() * AudioFormat::SampleRate / 1000000;
        return qMin(processed, m_written);
    }
    case AudioMode::Null: {
        if (m_suspended)
            return m_markSamples;
        const qint64 now = m_markSamples + AudioFormat::msToSamples(m_sinceMark.elapsed());
        if (now >= m_written) {
            // Caught up: hold the clock at the end of what was written.
            m_markSamples = m_written;
            m_sinceMark.restart();
            return m_written;
        }
        return now;
    }
    case AudioMode::Fast:
        return m_written;
    }
    return m_written;
}

bool SoundOutput::drained()
{
    if (m_mode == AudioMode::Device && m_sink)
        return playedSamples() >= m_written || m_sink->idle();
    return playedSamples() >= m_written;
}

void SoundOutput::suspend()
{
    if (m_suspended || !m_open)
        return;
    if (m_mode == AudioMode::Null) {
        m_markSamples = playedSamples();
        m_sinceMark.restart();
    }
    m_suspended = true;
    if (m_sink && m_streaming)
        m_sink->suspend();
}

void SoundOutput::resume()
{
    if (!m_suspended)
        return;
    m_suspended = false;
    if (m_mode == AudioMode::Null)
        m_sinceMark.restart();
    if (m_sink && m_streaming)
        m_sink->resume();
}
