#pragma once

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

// What the library offers, through its one exported function.
struct SoundDeviceModule
{
    // True when the desktop has a default output device.
    bool (*haveOutputDevice)();
    // A sink for 16-bit PCM at the given rate and channel count on the default output.
    SoundSink *(*createSink)(int sampleRate, int channels);
};

#define PARLANTO_SOUND_MODULE_ENTRY "parlanto_sound_device_module"
using SoundDeviceModuleEntry = const SoundDeviceModule *(*)();
