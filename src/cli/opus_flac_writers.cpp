#include "cli/opus_flac_writers.h"

#include "cli/convert_plan.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <opus/opusenc.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int OggSerialNumber = 0x50726c74;
// At 24 kbit/s, complexity 7 and above cost three times what 6 does for speech that sounds
// alike: the encoder would take many times longer than the speech itself.
constexpr int SpeechComplexity = 6;

// The tags as Vorbis comments, in a fixed order.
std::vector<std::pair<QByteArray, QByteArray>> vorbisComments(const AudioTags &tags)
{
    std::vector<std::pair<QByteArray, QByteArray>> comments;
    const auto add = [&](const char *key, const QString &value) {
        if (!value.isEmpty())
            comments.emplace_back(key, value.toUtf8());
    };
    add("TITLE", tags.title);
    add("ALBUM", tags.album);
    add("ARTIST", tags.artist);
    if (tags.track > 0) {
        add("TRACKNUMBER", QString::number(tags.track));
        add("TRACKTOTAL", QString::number(tags.tracks));
    }
    add("COMMENT", tags.comment);
    return comments;
}

} // namespace

OpusWriter::OpusWriter(const QString &fileName, const EncoderSettings &settings, const AudioTags &tags)
    : EncodedWriter(fileName), m_bitrate(settings.bitrate > 0 ? settings.bitrate : 24), m_tags(tags)
{}

OpusWriter::~OpusWriter()
{
    close();
    release();
}

void OpusWriter::release()
{
    if (m_encoder)
        ope_encoder_destroy(m_encoder);
    m_encoder = nullptr;
}

bool OpusWriter::start()
{
    OggOpusComments *comments = ope_comments_create();
    if (!comments)
        return fail(QStringLiteral("the Opus encoder cannot start"));
    for (const auto &[key, value] : vorbisComments(m_tags))
        ope_comments_add(comments, key.constData(), value.constData());
    OpusEncCallbacks callbacks{};
    callbacks.write = [](void *self, const unsigned char *data, opus_int32 size) {
        return static_cast<OpusWriter *>(self)->put(reinterpret_cast<const char *>(data), size) ? 0 : 1;
    };
    callbacks.close = [](void *) { return 0; };
    int error = 0;
    m_encoder =
        ope_encoder_create_callbacks(&callbacks, this, comments, ConvertPlan::SampleRate, 1, 0, &error);
    ope_comments_destroy(comments);
    if (!m_encoder)
        return fail(
            QStringLiteral("the Opus encoder cannot start: %1").arg(QString::fromUtf8(ope_strerror(error))));
    if (ope_encoder_ctl(m_encoder, OPE_SET_SERIALNO(OggSerialNumber)) != OPE_OK ||
        ope_encoder_ctl(m_encoder, OPUS_SET_BITRATE(m_bitrate * 1000)) != OPE_OK ||
        ope_encoder_ctl(m_encoder, OPUS_SET_COMPLEXITY(SpeechComplexity)) != OPE_OK)
        return fail(QStringLiteral("the Opus encoder does not take these settings"));
    return true;
}

bool OpusWriter::encode(const int16_t *samples, qint64 count)
{
    while (count > 0) {
        const int n = int(std::min<qint64>(count, 1 << 16));
        const int result = ope_encoder_write(m_encoder, samples, n);
        if (hasFailed())
            return false;
        if (result != OPE_OK)
            return fail(
                QStringLiteral("the Opus encoder failed: %1").arg(QString::fromUtf8(ope_strerror(result))));
        samples += n;
        count -= n;
    }
    return true;
}

bool OpusWriter::finish()
{
    const int result = ope_encoder_drain(m_encoder);
    if (hasFailed())
        return false;
    if (result != OPE_OK)
        return fail(
            QStringLiteral("the Opus encoder failed: %1").arg(QString::fromUtf8(ope_strerror(result))));
    return true;
}

FlacWriter::FlacWriter(const QString &fileName, const AudioTags &tags) : EncodedWriter(fileName), m_tags(tags)
{}

FlacWriter::~FlacWriter()
{
    close();
    release();
}

void FlacWriter::release()
{
    if (m_encoder)
        FLAC__stream_encoder_delete(m_encoder);
    m_encoder = nullptr;
    if (m_comments)
        FLAC__metadata_object_delete(m_comments);
    m_comments = nullptr;
}

bool FlacWriter::start()
{
    m_encoder = FLAC__stream_encoder_new();
    if (!m_encoder)
        return fail(QStringLiteral("the FLAC encoder cannot start"));
    FLAC__stream_encoder_set_channels(m_encoder, 1);
    FLAC__stream_encoder_set_bits_per_sample(m_encoder, 16);
    FLAC__stream_encoder_set_sample_rate(m_encoder, ConvertPlan::SampleRate);
    FLAC__stream_encoder_set_compression_level(m_encoder, 5);
    // The encoder reads the comments when it starts and again when it finishes: they stay until then.
    m_comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    FLAC__StreamMetadata *comments = m_comments;
    for (const auto &[key, value] : vorbisComments(m_tags)) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, key.constData(),
                                                                           value.constData()))
            FLAC__metadata_object_vorbiscomment_append_comment(comments, entry, false);
    }
    FLAC__StreamMetadata *blocks[] = {comments};
    FLAC__stream_encoder_set_metadata(m_encoder, blocks, 1);
    const auto write = [](const FLAC__StreamEncoder *, const FLAC__byte buffer[], size_t bytes, uint32_t,
                          uint32_t, void *self) {
        return static_cast<FlacWriter *>(self)->put(reinterpret_cast<const char *>(buffer), qint64(bytes))
                   ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                   : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    };
    const auto seek = [](const FLAC__StreamEncoder *, FLAC__uint64 offset, void *self) {
        auto *writer = static_cast<FlacWriter *>(self);
        if (!writer->canSeek())
            return FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
        return writer->seekTo(qint64(offset)) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                              : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    };
    const auto tell = [](const FLAC__StreamEncoder *, FLAC__uint64 *offset, void *self) {
        auto *writer = static_cast<FlacWriter *>(self);
        if (!writer->canSeek())
            return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
        *offset = FLAC__uint64(writer->position());
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    };
    const FLAC__StreamEncoderInitStatus status =
        FLAC__stream_encoder_init_stream(m_encoder, write, seek, tell, nullptr, this);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
        return fail(QStringLiteral("the FLAC encoder cannot start: %1")
                        .arg(QString::fromLatin1(FLAC__StreamEncoderInitStatusString[status])));
    return true;
}

bool FlacWriter::encode(const int16_t *samples, qint64 count)
{
    while (count > 0) {
        const qint64 n = std::min<qint64>(count, 1 << 14);
        m_wide.assign(samples, samples + n);
        if (!FLAC__stream_encoder_process_interleaved(
                m_encoder, reinterpret_cast<const FLAC__int32 *>(m_wide.data()), uint32_t(n)))
            return hasFailed() ? false : fail(QStringLiteral("the FLAC encoder failed"));
        samples += n;
        count -= n;
    }
    return true;
}

bool FlacWriter::finish()
{
    if (!FLAC__stream_encoder_finish(m_encoder) && !hasFailed())
        return fail(QStringLiteral("the FLAC encoder failed"));
    return !hasFailed();
}
