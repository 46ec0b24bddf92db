#include "platform/wav_writer.h"

#include "platform/audio_format.h"

#include <QFileInfo>
#include <QtEndian>

namespace {
void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}
void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

// Qt gives no reason for a write the disk took only in part (a full disk): "Unknown error".
// Tried once more, the write takes nothing and fails with the reason ("No space left on
// device"), which the error string then tells.
bool writeAll(QFile &file, const char *data, qint64 size)
{
    if (file.write(data, size) == size)
        return true;
    file.write(data, size);
    return false;
}

bool flushAll(QFile &file)
{
    if (file.flush())
        return true;
    file.flush();
    return false;
}
} // namespace

WavWriter::WavWriter(const QString &fileName) : m_file(fileName) {}

WavWriter::~WavWriter()
{
    close();
}

QByteArray WavWriter::header(quint32 dataBytes)
{
    QByteArray out;
    out.reserve(44);
    out.append("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, AudioFormat::Channels);
    put32(out, AudioFormat::SampleRate);
    put32(out, AudioFormat::SampleRate * AudioFormat::Channels * AudioFormat::BytesPerSample);
    put16(out, AudioFormat::Channels * AudioFormat::BytesPerSample);
    put16(out, AudioFormat::BitsPerSample);
    out.append("data", 4);
    put32(out, dataBytes);
    return out;
}

QString WavWriter::errorString() const
{
    return m_error.isEmpty() ? m_file.errorString() : m_error;
}

bool WavWriter::open()
{
    m_error.clear();
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    m_dataBytes = 0;
    m_failed = !writeAll(m_file, header(0).constData(), 44);
    return !m_failed;
}

bool WavWriter::write(const int16_t *samples, qint64 count)
{
    if (!m_file.isOpen() || m_failed)
        return false;
    const qint64 bytes = count * AudioFormat::BytesPerSample;
    if (m_dataBytes + bytes > m_limit) {
        m_failed = true;
        m_error = QStringLiteral("the sound would pass the 4 GiB a WAV file can hold");
        return false;
    }
    if (!writeAll(m_file, reinterpret_cast<const char *>(samples), bytes)) {
        m_failed = true;
        m_error = m_file.errorString();
        return false;
    }
    m_dataBytes += bytes;
    return true;
}

bool WavWriter::write(const QByteArray &pcm)
{
    return write(reinterpret_cast<const int16_t *>(pcm.constData()),
                 pcm.size() / AudioFormat::BytesPerSample);
}

bool WavWriter::close()
{
    if (!m_file.isOpen())
        return !m_failed;
    if (!m_failed && (!flushAll(m_file) || !m_file.seek(0) ||
                      !writeAll(m_file, header(quint32(m_dataBytes)).constData(), 44) || !flushAll(m_file)))
        m_failed = true;
    if (m_failed && m_error.isEmpty())
        m_error = m_file.errorString();
    m_file.close();
    // Only a file of our own is removed: never a device such as /dev/full.
    if (m_failed && QFileInfo(m_file.fileName()).isFile())
        m_file.remove();
    return !m_failed;
}
