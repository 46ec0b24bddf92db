// eSpeak NG's sound output, as Parlanto uses it: not at all. Parlanto takes eSpeak NG's samples
// and plays them itself, yet the library brings its own playback library along, and with it the
// PulseAudio and ALSA clients, D-Bus, X11, systemd and five codecs: some 25 libraries that take
// ~4 ms to load and a few MB of memory. This library answers to the playback library's name and is
// loaded before eSpeak NG, which then links to it instead. It opens no device: a playback eSpeak NG
// were asked to do itself would fail with an audio error instead of sounding.
#include <cstddef>
#include <cstdint>

#define EXPORTED extern "C" __attribute__((visibility("default")))

struct audio_object;

EXPORTED audio_object *create_audio_device_object(const char *, const char *, const char *)
{
    return nullptr;
}

EXPORTED int audio_object_open(audio_object *, int, uint32_t, uint8_t)
{
    return -1;
}

EXPORTED void audio_object_close(audio_object *) {}

EXPORTED void audio_object_destroy(audio_object *) {}

EXPORTED int audio_object_write(audio_object *, const void *, size_t)
{
    return -1;
}

EXPORTED int audio_object_drain(audio_object *)
{
    return 0;
}

EXPORTED int audio_object_flush(audio_object *)
{
    return 0;
}

EXPORTED const char *audio_object_strerror(audio_object *, int)
{
    return "eSpeak NG's own sound output is not used";
}
