#pragma once

#include <QtGlobal>

// The one PCM format of both engines, the sound device and every WAV file written.
namespace AudioFormat {
constexpr int SampleRate = 22050;
constexpr int Channels = 1;
constexpr int BitsPerSample = 16;
constexpr int BytesPerSample = 2;

constexpr qint64 samplesToMs(qint64 samples)
{
    return samples * 1000 / SampleRate;
}
constexpr qint64 msToSamples(qint64 ms)
{
    return ms * SampleRate / 1000;
}
} // namespace AudioFormat
