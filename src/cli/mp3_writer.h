#pragma once

#include "cli/encoded_writer.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <deque>
#include <future>
#include <optional>
#include <vector>

struct lame_global_struct;

// LAME set up as 'lame -f' encodes Parlanto's audio: 22050 Hz mono, 32 kbit/s unless told; with
// `vbr`, a variable bit rate for the quality of speech (at most the bit rate told).
class LameEncoder
{
public:
    // Without the information frame the stream can be joined to others: each stream starts
    // with an empty bit reservoir, so streams encoded apart concatenate into one valid stream.
    // Without the bit reservoir every frame holds its own data, so that frames of streams
    // encoded apart can be put side by side.
    LameEncoder(int bitrate, bool informationFrame, bool vbr = false, bool reservoir = true);
    ~LameEncoder();
    LameEncoder(const LameEncoder &) = delete;
    LameEncoder &operator=(const LameEncoder &) = delete;

    bool isReady() const { return m_lame != nullptr; }
    QString errorString() const { return m_error; }
    // Append the MP3 bytes to `out`; false when the encoder fails.
    bool encode(const int16_t *samples, qint64 count, QByteArray &out);
    bool flush(QByteArray &out);
    // The frame that replaces the stream's first one, telling decoders the exact length.
    QByteArray informationFrame();
    qint64 samples() const { return m_samples; }
    // Samples a decoder gives for everything flushed: whole frames, delay and padding included.
    qint64 decodedSamples() const;
    int delay() const; // samples of silence the encoder puts before the audio

private:
    lame_global_struct *m_lame = nullptr;
    qint64 m_samples = 0;
    QString m_error;
};

// Encodes the audio to MP3 as it is made, in place of a WAV file: no temporary WAV. The file
// opens with an ID3v2.4 tag.
//
// At a constant bit rate the stream is encoded in stretches of a fixed number of frames on
// threads of their own (up to one more than `settings.threads` at once, so that taking in the
// speech seldom waits; with one, here): each stretch by an encoder of its own that also hears
// a few frames before and after it, so that its frames join their neighbours' without a seam,
// and keeps only its own frames. The stretches do not depend on the number of threads, so
// neither do the bytes. With a variable bit rate one encoder takes the whole stream, and the
// information frame after the tag tells players the exact length (on a pipe, which cannot be
// rewritten, there is none).
class Mp3Writer final : public EncodedWriter
{
public:
    Mp3Writer(const QString &fileName, const EncoderSettings &settings, const AudioTags &tags);
    ~Mp3Writer() override;

protected:
    bool start() override;
    bool encode(const int16_t *samples, qint64 count) override;
    bool finish() override;

private:
    void dispatch(bool last);
    bool writeReady(bool wait);

    std::optional<LameEncoder> m_encoder; // with a variable bit rate only
    AudioTags m_tags;
    QByteArray m_buffer;
    qint64 m_streamStart = 0;
    bool m_chunked = false;
    int m_bitrate = 0;
    int m_threads = 1;
    std::vector<int16_t> m_pcm; // the samples from m_pcmStart on
    qint64 m_pcmStart = 0;
    qint64 m_nextStretch = 0;                                       // where the next stretch to encode begins
    std::deque<std::future<std::optional<QByteArray>>> m_stretches; // encoding, in order
};

// The ID3v2.4 tag that opens an MP3 file.
QByteArray id3Tag(const AudioTags &tags);
