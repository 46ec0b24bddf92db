#pragma once

#include <QFile>
#include <QString>

#include <cstdint>

// Writes a 22050 Hz, 16-bit, mono PCM WAV file progressively. The header is written at
// once with zero sizes and patched on close, so a reader sees a valid file at the end.
// A write that fails (a full disk, a device that takes nothing, or audio past what the
// header's 32-bit sizes can describe) fails every later write too, and close() then removes
// the partial file, so a broken file never passes for a finished one.
class WavWriter
{
public:
    // The RIFF header counts the data plus 36 header bytes in 32 bits; whole samples only.
    static constexpr qint64 MaxDataBytes = (0xFFFFFFFFLL - 36) & ~qint64(1);

    explicit WavWriter(const QString &fileName);
    virtual ~WavWriter();
    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    // Virtual so that another sink (an encoder) can take the audio in the file's place.
    virtual bool open();
    bool isOpen() const { return m_file.isOpen(); }
    virtual bool write(const int16_t *samples, qint64 count);
    virtual bool write(const QByteArray &pcm);
    virtual bool close(); // patches the sizes; false (and the file removed) when any write failed
    virtual bool hasFailed() const { return m_failed; }
    qint64 dataBytes() const { return m_dataBytes; }
    virtual QString errorString() const;
    // Lowers the size limit, so that tests can reach it without writing gigabytes.
    void setDataLimit(qint64 bytes) { m_limit = qMin(bytes, MaxDataBytes); }

    static QByteArray header(quint32 dataBytes);

private:
    QFile m_file;
    qint64 m_dataBytes = 0;
    qint64 m_limit = MaxDataBytes;
    bool m_failed = false;
    QString m_error;
};
