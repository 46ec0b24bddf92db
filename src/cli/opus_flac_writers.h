#pragma once

// Opus (in Ogg, through libopusenc) and FLAC (through libFLAC) files, each with the tags as
// Vorbis comments.

#include "cli/encoded_writer.h"

#include <vector>

// libFLAC's encoder type has no name of its own to declare.
#include <FLAC/stream_encoder.h>

struct OggOpusEnc;

// 24 kbit/s unless told, tuned for speech. The stream's serial number is a constant, so that
// the same audio makes the same file.
class OpusWriter final : public EncodedWriter
{
public:
    OpusWriter(const QString &fileName, const EncoderSettings &settings, const AudioTags &tags);
    ~OpusWriter() override;

protected:
    bool start() override;
    bool encode(const int16_t *samples, qint64 count) override;
    bool finish() override;

private:
    void release();

    OggOpusEnc *m_encoder = nullptr;
    int m_bitrate = 24;
    AudioTags m_tags;
};

// FLAC at the flac tool's default compression. The stream information at the start is
// completed at the end where the file can be rewritten.
class FlacWriter final : public EncodedWriter
{
public:
    FlacWriter(const QString &fileName, const AudioTags &tags);
    ~FlacWriter() override;

protected:
    bool start() override;
    bool encode(const int16_t *samples, qint64 count) override;
    bool finish() override;

private:
    void release();

    FLAC__StreamEncoder *m_encoder = nullptr;
    FLAC__StreamMetadata *m_comments = nullptr;
    AudioTags m_tags;
    std::vector<qint32> m_wide;
};
