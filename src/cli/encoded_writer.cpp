#include "cli/encoded_writer.h"

#include <QFileInfo>

#include <unistd.h>

namespace {

// WAV as a stream: the header counts the data when the file can be rewritten at the end; on a
// pipe it says "as long as it goes on", as programs reading WAV from a pipe expect.
class WavStreamWriter final : public EncodedWriter
{
public:
    using EncodedWriter::EncodedWriter;
    ~WavStreamWriter() override { close(); }

protected:
    bool start() override { return put(WavWriter::header(quint32(WavWriter::MaxDataBytes))); }
    bool encode(const int16_t *samples, qint64 count) override
    {
        m_bytes += count * 2;
        if (m_bytes > WavWriter::MaxDataBytes)
            return fail(QStringLiteral("the audio is longer than a WAV file can hold"));
        return put(reinterpret_cast<const char *>(samples), count * 2);
    }
    bool finish() override { return !canSeek() || putAt(0, WavWriter::header(quint32(m_bytes))); }

private:
    qint64 m_bytes = 0;
};

} // namespace

QString formatName(AudioFormat format)
{
    switch (format) {
    case AudioFormat::Mp3:
        return QStringLiteral("mp3");
    case AudioFormat::Opus:
        return QStringLiteral("opus");
    case AudioFormat::Flac:
        return QStringLiteral("flac");
    case AudioFormat::Wav:
        break;
    }
    return QStringLiteral("wav");
}

std::optional<AudioFormat> formatNamed(const QString &name)
{
    for (const AudioFormat f : {AudioFormat::Wav, AudioFormat::Mp3, AudioFormat::Opus, AudioFormat::Flac})
        if (name.compare(formatName(f), Qt::CaseInsensitive) == 0)
            return f;
    return std::nullopt;
}

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

EncodedWriter::EncodedWriter(const QString &fileName)
    : WavWriter(QString()), m_out(fileName == QLatin1String("-") ? QString() : fileName),
      m_toStandardOutput(fileName == QLatin1String("-"))
{}

EncodedWriter::~EncodedWriter() = default;

bool EncodedWriter::open()
{
    const bool opened = m_toStandardOutput
                            ? m_out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)
                            : m_out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (!opened)
        return fail(m_out.errorString());
    return start();
}

bool EncodedWriter::write(const int16_t *samples, qint64 count)
{
    if (m_failed || !m_out.isOpen())
        return false;
    m_samples += count;
    return encode(samples, count);
}

bool EncodedWriter::write(const QByteArray &pcm)
{
    return write(reinterpret_cast<const int16_t *>(pcm.constData()), pcm.size() / 2);
}

bool EncodedWriter::close()
{
    if (!m_out.isOpen())
        return !m_failed;
    if (!m_failed && !m_finished) {
        m_finished = true;
        finish();
    }
    m_out.close();
    if (m_failed && !m_toStandardOutput && QFileInfo(m_out.fileName()).isFile())
        m_out.remove();
    return !m_failed;
}

bool EncodedWriter::seekTo(qint64 position)
{
    return canSeek() && m_out.seek(position);
}

bool EncodedWriter::putAt(qint64 position, const QByteArray &bytes)
{
    const qint64 end = m_out.pos();
    if (!seekTo(position) || !put(bytes) || !m_out.seek(end))
        return fail(m_out.errorString());
    return true;
}

bool EncodedWriter::put(const QByteArray &bytes)
{
    return m_failed ? false : writeWhole(m_out, bytes) || fail(m_out.errorString());
}

bool EncodedWriter::put(const char *data, qint64 size)
{
    return put(QByteArray::fromRawData(data, qsizetype(size)));
}

bool EncodedWriter::fail(const QString &why)
{
    if (!m_failed)
        m_error = why;
    m_failed = true;
    return false;
}

std::unique_ptr<EncodedWriter> makeAudioWriter(AudioFormat format, const QString &fileName,
                                               const EncoderSettings &settings, const AudioTags &tags)
{
    if (format == AudioFormat::Wav)
        return std::make_unique<WavStreamWriter>(fileName);
    return makeEncoderWriter(format, fileName, settings, tags);
}
