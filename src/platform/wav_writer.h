#pragma once

#include <QFile>
#include <QString>

#include <cstdint>

// Writes a 22050 Hz, 16-bit, mono PCM WAV file progressively. The header is written at
// once with zero sizes and patched on close, so a reader sees a valid file at the end.
class WavWriter
{
public:
    explicit WavWriter(const QString &fileName);
    ~WavWriter();
    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    bool open();
    bool isOpen() const { return m_file.isOpen(); }
    bool write(const int16_t *samples, qint64 count);
    bool write(const QByteArray &pcm);
    bool close(); // patches the sizes; false when any write failed
    qint64 dataBytes() const { return m_dataBytes; }
    QString errorString() const { return m_file.errorString(); }

    static QByteArray header(quint32 dataBytes);

private:
    QFile m_file;
    qint64 m_dataBytes = 0;
    bool m_failed = false;
};
