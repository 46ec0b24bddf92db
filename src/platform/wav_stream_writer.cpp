#include "platform/wav_stream_writer.h"

#include "platform/audio_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

WavStreamWriter::WavStreamWriter(int descriptor) : WavWriter(QString()), m_descriptor(descriptor) {}

WavStreamWriter::~WavStreamWriter()
{
    close();
}

bool WavStreamWriter::fail(const QString &why)
{
    if (!m_failed) {
        m_failed = true;
        m_error = why;
    }
    return false;
}

bool WavStreamWriter::open()
{
    // Only a regular file whose writes land where the header was written can be patched:
    // not a pipe, a terminal, or a file opened for appending (">>").
    struct stat info = {};
    const int flags = ::fcntl(m_descriptor, F_GETFL);
    m_seekable = ::fstat(m_descriptor, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 &&
                 (flags & O_APPEND) == 0 && ::lseek(m_descriptor, 0, SEEK_CUR) == 0;
    if (!m_out.open(m_descriptor, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return fail(m_out.errorString());
    m_limit = m_seekable ? MaxDataBytes : UnknownDataBytes;
    m_dataBytes = 0;
    QByteArray head = header(m_seekable ? 0 : UnknownDataBytes);
    if (m_out.write(head) != head.size())
        return fail(m_out.errorString());
    return true;
}

bool WavStreamWriter::write(const int16_t *samples, qint64 count)
{
    if (!m_out.isOpen() || m_failed)
        return false;
    const qint64 bytes = count * AudioFormat::BytesPerSample;
    if (m_dataBytes + bytes > m_limit)
        return fail(m_seekable ? QStringLiteral("the sound would pass the 4 GiB a WAV file can hold")
                               : QStringLiteral("the sound would pass the 13 hours a WAV stream announces"));
    // A pipe or a device takes each piece as it comes: what reads it plays it at once.
    if (m_out.write(reinterpret_cast<const char *>(samples), bytes) != bytes ||
        (!m_seekable && !m_out.flush()))
        return fail(m_out.errorString());
    m_dataBytes += bytes;
    return true;
}

bool WavStreamWriter::write(const QByteArray &pcm)
{
    return write(reinterpret_cast<const int16_t *>(pcm.constData()),
                 pcm.size() / AudioFormat::BytesPerSample);
}

bool WavStreamWriter::close()
{
    if (!m_out.isOpen())
        return !m_failed;
    if (!m_failed && !m_out.flush())
        fail(m_out.errorString());
    if (!m_failed && m_seekable) {
        const QByteArray head = header(quint32(m_dataBytes));
        // Back to the end afterwards, for whatever the caller writes next.
        if (!m_out.seek(0) || m_out.write(head) != head.size() || !m_out.seek(head.size() + m_dataBytes) ||
            !m_out.flush())
            fail(m_out.errorString());
    }
    m_out.close();
    return !m_failed;
}
