#pragma once

#include <QString>
#include <QtGlobal>

// The sound device behind SoundOutput. It lives in a small library of its own (libparlanto_sound,
// src/sound_module), opened on the first stream that plays on the device, so that a program
// that never plays aloud (the command line writing files) never loads Qt Multimedia or a sound
// client library. Only Qt Core types cross this line.
class SoundSink
{
public:
    virtual ~SoundSink() = default;
    // Starts a stream asking for `bufferBytes` of buffer; false when the server refused it.
    virtual bool start(qsizetype bufferBytes) = 0;
    // Drops whatever is buffered and ends the stream.
    virtual void stop() = 0;
    virtual qint64 bytesFree() = 0;
    virtual qint64 write(const char *data, qint64 bytes) = 0;
    virtual qint64 processedUSecs() = 0;
    virtual bool idle() = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
};

// A MIDI or AVI file played, sound only, by Qt's media player (the media command strings'
// "sequencer" and "avivideo" devices).
class MediaPlayback
{
public:
    enum class State
    {
        Stopped,
        Playing,
        Paused
    };
    virtual ~MediaPlayback() = default;
    // The player has a back end and no error so far.
    virtual bool usable() const = 0;
    // The file is loaded and can play.
    virtual bool ready() const = 0;
    virtual State state() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void setPosition(qint64 ms) = 0;
    virtual qint64 position() const = 0;
    virtual qint64 duration() const = 0;
};

// What the library offers, through its one exported function.
struct SoundDeviceModule
{
    // True when the desktop has a default output device.
    bool (*haveOutputDevice)();
    // A sink for 16-bit PCM at the given rate and channel count on the default output.
    SoundSink *(*createSink)(int sampleRate, int channels);
    // Whether Qt's media player decodes anything at all (and AVI, when asked).
    bool (*mediaPlayerCanDecode)(bool avi);
    // A player for `fileName`, sounding on the default output when `audible`; `ended` is called
    // (on the calling thread) when playback reaches the end by itself.
    MediaPlayback *(*createMediaPlayback)(const QString &fileName, bool audible, void (*ended)(void *context),
                                          void *context);
};

#define PARLANTO_SOUND_MODULE_ENTRY "parlanto_sound_device_module"
using SoundDeviceModuleEntry = const SoundDeviceModule *(*)();
