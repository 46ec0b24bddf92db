#include "cli/mp3_writer.h"

#include "cli/convert_plan.h"

#include <lame/lame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <chrono>

LameEncoder::LameEncoder(int bitrate, bool informationFrame, bool vbr, bool reservoir)
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
    lame_set_disable_reservoir(m_lame, reservoir ? 0 : 1);
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

LameEncoder::~LameEncoder()
{
    if (m_lame)
        lame_close(m_lame);
}

bool LameEncoder::encode(const int16_t *samples, qint64 count, QByteArray &out)
{
    if (!m_lame)
        return false;
    while (count > 0) {
        // LAME keeps a float copy of each call's samples as large as the largest call: taken
        // 8,192 at a time that stays small, and the frames are the same.
        const int n = int(std::min<qint64>(count, 1 << 13));
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

bool LameEncoder::flush(QByteArray &out)
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

QByteArray LameEncoder::informationFrame()
{
    if (!m_lame)
        return {};
    QByteArray frame(8192, '\0');
    const size_t size =
        lame_get_lametag_frame(m_lame, reinterpret_cast<unsigned char *>(frame.data()), size_t(frame.size()));
    frame.resize(size <= size_t(frame.size()) ? qsizetype(size) : 0);
    return frame;
}

qint64 LameEncoder::decodedSamples() const
{
    return m_lame ? qint64(lame_get_frameNum(m_lame)) * lame_get_framesize(m_lame) : 0;
}

int LameEncoder::delay() const
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

namespace {

constexpr qint64 FrameSamples = 576;               // an MPEG-2 layer III frame at 22050 Hz
constexpr qint64 StretchFrames = 512;              // about 13 s of audio
constexpr qint64 MarginSamples = 8 * FrameSamples; // heard before and after a stretch

// The length of the MPEG audio frame that starts at `at`; 0 when there is none.
qsizetype frameLength(const QByteArray &bytes, qsizetype at)
{
    if (bytes.size() - at < 4)
        return 0;
    const auto b = [&](qsizetype i) { return quint8(bytes.at(at + i)); };
    if (b(0) != 0xFF || (b(1) & 0xE0) != 0xE0 || ((b(1) >> 1) & 3) != 1)
        return 0; // not layer III
    const bool mpeg1 = (b(1) >> 3) & 1;
    static constexpr int Mpeg1Rates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr int Mpeg2Rates[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    static constexpr int Mpeg1Hz[] = {44100, 48000, 32000, 0};
    const int kbps = (mpeg1 ? Mpeg1Rates : Mpeg2Rates)[b(2) >> 4];
    int hz = Mpeg1Hz[(b(2) >> 2) & 3];
    if (!mpeg1)
        hz /= ((b(1) >> 4) & 1) ? 2 : 4; // MPEG-2, or MPEG 2.5
    if (kbps == 0 || hz == 0)
        return 0;
    return qsizetype((mpeg1 ? 144000 : 72000) * kbps / hz + ((b(2) >> 1) & 1));
}

// Encodes samples[0, size) and keeps `keep` frames after the first `skip` (all the rest when
// `keep` is negative); nothing when the encoder fails.
std::optional<QByteArray> encodeStretch(std::vector<int16_t> samples, int bitrate, qint64 skip, qint64 keep)
{
    LameEncoder encoder(bitrate, false, false, false);
    QByteArray out;
    if (!encoder.encode(samples.data(), qint64(samples.size()), out) || !encoder.flush(out))
        return std::nullopt;
    qsizetype at = 0, begin = -1;
    for (qint64 frame = 0; at < out.size(); ++frame) {
        if (frame == skip)
            begin = at;
        if (keep >= 0 && frame == skip + keep)
            break;
        const qsizetype length = frameLength(out, at);
        if (length == 0)
            return std::nullopt;
        at += length;
    }
    return begin < 0 ? QByteArray() : out.mid(begin, std::min(at, out.size()) - begin);
}

} // namespace

Mp3Writer::Mp3Writer(const QString &fileName, const EncoderSettings &settings, const AudioTags &tags)
    : EncodedWriter(fileName), m_tags(tags), m_chunked(!settings.vbr), m_bitrate(settings.bitrate),
      m_threads(std::max(1, settings.threads))
{
    if (!m_chunked)
        m_encoder.emplace(settings.bitrate, fileName != QLatin1String("-"), true);
}

Mp3Writer::~Mp3Writer()
{
    close();
    for (auto &stretch : m_stretches)
        stretch.wait();
}

bool Mp3Writer::start()
{
    // The stretches' encoders are made as they are needed: one made now tells at once whether
    // LAME takes the settings.
    if (m_chunked) {
        if (const LameEncoder probe(m_bitrate, false, false, false); !probe.isReady())
            return fail(probe.errorString());
        m_pcm.reserve(size_t(StretchFrames * FrameSamples + 2 * MarginSamples));
    } else if (!m_encoder->isReady()) {
        return fail(m_encoder->errorString());
    }
    if (!put(id3Tag(m_tags)))
        return false;
    m_streamStart = position();
    return true;
}

void Mp3Writer::dispatch(bool last)
{
    const qint64 from = std::max<qint64>(0, m_nextStretch - MarginSamples);
    const qint64 available = m_pcmStart + qint64(m_pcm.size());
    const qint64 end = last ? available : m_nextStretch + StretchFrames * FrameSamples;
    const qint64 to = last ? available : end + MarginSamples;
    std::vector<int16_t> samples(m_pcm.begin() + (from - m_pcmStart), m_pcm.begin() + (to - m_pcmStart));
    const qint64 skip = (m_nextStretch - from) / FrameSamples;
    const qint64 keep = last ? -1 : StretchFrames;
    if (m_threads > 1)
        m_stretches.push_back(
            std::async(std::launch::async, encodeStretch, std::move(samples), m_bitrate, skip, keep));
    else {
        std::promise<std::optional<QByteArray>> done;
        done.set_value(encodeStretch(std::move(samples), m_bitrate, skip, keep));
        m_stretches.push_back(done.get_future());
    }
    m_nextStretch = end;
    // What the next stretch hears before it stays; the rest goes.
    const qint64 keepFrom = std::max<qint64>(m_pcmStart, m_nextStretch - MarginSamples);
    m_pcm.erase(m_pcm.begin(), m_pcm.begin() + (keepFrom - m_pcmStart));
    m_pcmStart = keepFrom;
}

bool Mp3Writer::writeReady(bool wait)
{
    while (!m_stretches.empty()) {
        auto &front = m_stretches.front();
        if (!wait && m_stretches.size() <= size_t(m_threads) &&
            front.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return true;
        const std::optional<QByteArray> bytes = front.get();
        m_stretches.pop_front();
        if (!bytes)
            return fail(QStringLiteral("the MP3 encoder failed"));
        if (!put(*bytes))
            return false;
    }
    return true;
}

bool Mp3Writer::encode(const int16_t *samples, qint64 count)
{
    if (m_chunked) {
        // Taken in no further than the next stretch needs, however much comes at once: what is
        // held here stays one stretch and its margins.
        while (count > 0) {
            const qint64 needed = m_nextStretch + StretchFrames * FrameSamples + MarginSamples -
                                  (m_pcmStart + qint64(m_pcm.size()));
            const qint64 n = std::min(count, needed);
            m_pcm.insert(m_pcm.end(), samples, samples + n);
            samples += n;
            count -= n;
            if (n == needed) {
                dispatch(false);
                if (!writeReady(false))
                    return false;
            }
        }
        return true;
    }
    if (!m_encoder->encode(samples, count, m_buffer))
        return fail(m_encoder->errorString());
    const bool ok = put(m_buffer);
    m_buffer.clear();
    return ok;
}

bool Mp3Writer::finish()
{
    if (m_chunked) {
        dispatch(true);
        return writeReady(true);
    }
    if (!m_encoder->flush(m_buffer))
        return fail(m_encoder->errorString());
    if (!put(m_buffer))
        return false;
    m_buffer.clear();
    const QByteArray frame = m_encoder->informationFrame();
    return frame.isEmpty() || !canSeek() || putAt(m_streamStart, frame);
}
