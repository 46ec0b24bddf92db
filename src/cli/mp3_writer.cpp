#include "cli/mp3_writer.h"

#include "cli/convert_plan.h"

#include <QFileInfo>

#include <lame/lame.h>

#include <algorithm>

bool writeWhole(QFile &file, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = file.write(data, left);
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

Mp3Encoder::Mp3Encoder(int bitrate, bool informationFrame)
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
    if (bitrate > 0)
        lame_set_brate(m_lame, bitrate);
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

Mp3Writer::Mp3Writer(const QString &fileName, int bitrate)
    : WavWriter(fileName), m_out(fileName), m_encoder(bitrate, true)
{}

Mp3Writer::~Mp3Writer()
{
    close();
}

bool Mp3Writer::open()
{
    if (!m_encoder.isReady())
        return fail(m_encoder.errorString());
    if (!m_out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return fail(m_out.errorString());
    return true;
}

bool Mp3Writer::write(const int16_t *samples, qint64 count)
{
    if (m_failed || !m_out.isOpen())
        return false;
    if (!m_encoder.encode(samples, count, m_buffer))
        return fail(m_encoder.errorString());
    return put();
}

bool Mp3Writer::write(const QByteArray &pcm)
{
    return write(reinterpret_cast<const int16_t *>(pcm.constData()), pcm.size() / 2);
}

bool Mp3Writer::close()
{
    if (!m_out.isOpen())
        return !m_failed;
    if (!m_failed && (!m_encoder.flush(m_buffer) || !put()))
        fail(m_encoder.errorString());
    if (!m_failed) {
        const QByteArray frame = m_encoder.informationFrame();
        if (!frame.isEmpty() && (!m_out.seek(0) || !writeWhole(m_out, frame)))
            fail(m_out.errorString());
    }
    m_out.close();
    if (m_failed && QFileInfo(m_out.fileName()).isFile())
        m_out.remove();
    return !m_failed;
}

bool Mp3Writer::fail(const QString &why)
{
    if (!m_failed)
        m_error = why;
    m_failed = true;
    return false;
}

bool Mp3Writer::put()
{
    if (!writeWhole(m_out, m_buffer)) {
        m_buffer.clear();
        return fail(m_out.errorString());
    }
    m_buffer.clear();
    return true;
}
