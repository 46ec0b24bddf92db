#include "cli/mp3_writer.h"

#include "cli/convert_plan.h"

#include <lame/lame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/tpropertymap.h>

#include <algorithm>

Mp3Encoder::Mp3Encoder(int bitrate, bool informationFrame, bool vbr)
{
    m_lame = lame_init();
    if (!m_lame) {
        m_error = QStringLiteral("the MP3 encoder cannot start");
        return;
    }
    lame_set_in_samplerate(m_lame, ConvertPlan::SampleRate);
    lame_set_num_channels(m_lame, 1);
    lame_set_mode(m_lame, MONO);
    lame_set_quality(m_lame, 7); // what 'lame -f' uses
    lame_set_bWriteVbrTag(m_lame, informationFrame ? 1 : 0);
    if (vbr) {
        lame_set_VBR(m_lame, vbr_default);
        lame_set_VBR_quality(m_lame, 6.0F);
        if (bitrate > 0)
            lame_set_VBR_max_bitrate_kbps(m_lame, bitrate);
    } else if (bitrate > 0) {
        lame_set_brate(m_lame, bitrate);
    }
    if (lame_init_params(m_lame) < 0) {
        lame_close(m_lame);
        m_lame = nullptr;
        m_error = QStringLiteral("the MP3 encoder does not take these settings");
    }
}

Mp3Encoder::~Mp3Encoder()
{
    if (m_lame)
        lame_close(m_lame);
}

bool Mp3Encoder::encode(const int16_t *samples, qint64 count, QByteArray &out)
{
    if (!m_lame)
        return false;
    while (count > 0) {
        const int n = int(std::min<qint64>(count, 1 << 16));
        const qsizetype at = out.size();
        const int room = n * 5 / 4 + 7200; // the most LAME asks for
        out.resize(at + room);
        const int bytes = lame_encode_buffer(m_lame, samples, samples, n,
                                             reinterpret_cast<unsigned char *>(out.data() + at), room);
        if (bytes < 0) {
            out.resize(at);
            m_error = QStringLiteral("the MP3 encoder failed");
            return false;
        }
        out.resize(at + bytes);
        samples += n;
        count -= n;
        m_samples += n;
    }
    return true;
}

bool Mp3Encoder::flush(QByteArray &out)
{
    if (!m_lame)
        return false;
    const qsizetype at = out.size();
    out.resize(at + 7200);
    const int bytes = lame_encode_flush(m_lame, reinterpret_cast<unsigned char *>(out.data() + at), 7200);
    out.resize(at + std::max(0, bytes));
    if (bytes < 0)
        m_error = QStringLiteral("the MP3 encoder failed");
    return bytes >= 0;
}

QByteArray Mp3Encoder::informationFrame()
{
    if (!m_lame)
        return {};
    QByteArray frame(8192, '\0');
    const size_t size =
        lame_get_lametag_frame(m_lame, reinterpret_cast<unsigned char *>(frame.data()), size_t(frame.size()));
    frame.resize(size <= size_t(frame.size()) ? qsizetype(size) : 0);
    return frame;
}

qint64 Mp3Encoder::decodedSamples() const
{
    return m_lame ? qint64(lame_get_frameNum(m_lame)) * lame_get_framesize(m_lame) : 0;
}

int Mp3Encoder::delay() const
{
    return m_lame ? lame_get_encoder_delay(m_lame) : 0;
}

QByteArray id3Tag(const AudioTags &tags)
{
    const auto text = [](const QString &s) { return TagLib::String(s.toStdString(), TagLib::String::UTF8); };
    TagLib::PropertyMap map;
    const auto add = [&](const char *key, const QString &value) {
        if (!value.isEmpty())
            map.insert(key, TagLib::StringList(text(value)));
    };
    add("TITLE", tags.title);
    add("ALBUM", tags.album);
    add("ARTIST", tags.artist);
    add("COMMENT", tags.comment);
    if (tags.track > 0)
        add("TRACKNUMBER", QStringLiteral("%1/%2").arg(tags.track).arg(tags.tracks));
    TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::UTF8);
    TagLib::ID3v2::Tag tag;
    tag.setProperties(map);
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

Mp3Writer::Mp3Writer(const QString &fileName, const EncoderSettings &settings, const AudioTags &tags)
    : EncodedWriter(fileName), m_encoder(settings.bitrate, fileName != QLatin1String("-"), settings.vbr),
      m_tags(tags)
{}

Mp3Writer::~Mp3Writer()
{
    close();
}

bool Mp3Writer::start()
{
    if (!m_encoder.isReady())
        return fail(m_encoder.errorString());
    if (!put(id3Tag(m_tags)))
        return false;
    m_streamStart = position();
    return true;
}

bool Mp3Writer::encode(const int16_t *samples, qint64 count)
{
    if (!m_encoder.encode(samples, count, m_buffer))
        return fail(m_encoder.errorString());
    const bool ok = put(m_buffer);
    m_buffer.clear();
    return ok;
}

bool Mp3Writer::finish()
{
    if (!m_encoder.flush(m_buffer))
        return fail(m_encoder.errorString());
    if (!put(m_buffer))
        return false;
    m_buffer.clear();
    const QByteArray frame = m_encoder.informationFrame();
    return frame.isEmpty() || !canSeek() || putAt(m_streamStart, frame);
}
