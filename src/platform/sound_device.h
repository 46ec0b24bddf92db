#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class SoundSink;
struct SoundDeviceModule;

// How speech reaches the ear: PARLANTO_AUDIO=device (default) plays on the default output,
// null is a silent output that keeps real time, fast a silent output that takes audio as
// fast as it comes (tests). Without an output device, device falls back to null.
enum class AudioMode
{
    Device,
    Null,
    Fast
};
AudioMode configuredAudioMode();

// The sound device's library (see sound_sink.h), opened on the first call; null when it cannot
// be opened.
const SoundDeviceModule *soundDeviceModule();

// One output stream of 22050 Hz 16-bit mono PCM. Each speaking object has its own, so
// several can sound at once. Played position is counted in samples since open().
class SoundOutput
{
public:
    SoundOutput();
    ~SoundOutput();
    SoundOutput(const SoundOutput &) = delete;
    SoundOutput &operator=(const SoundOutput &) = delete;

    void open();  // starts a new stream at position 0
    void close(); // drops whatever is buffered, at once
    bool isOpen() const { return m_open; }
    AudioMode mode() const { return m_modeKnown ? m_mode : configuredAudioMode(); }

    qint64 bytesFree();
    qint64 write(const char *data, qint64 bytes);
    qint64 writtenSamples() const { return m_written; }
    qint64 playedSamples();
    // True once everything written has been played.
    bool drained();

    void suspend();
    void resume();

private:
    AudioMode m_mode = AudioMode::Null;
    bool m_modeKnown = false; // asking for the device waits for the sound server: only on first use
    bool m_open = false;
    bool m_suspended = false;
    qint64 m_written = 0;
    // Silent real-time clock: position at the mark plus the time since.
    qint64 m_markSamples = 0;
    QElapsedTimer m_sinceMark;
    std::unique_ptr<SoundSink> m_sink; // the device's stream, from the sound library
    bool m_streaming = false;
};
