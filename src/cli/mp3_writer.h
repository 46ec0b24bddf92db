#pragma once

#include "platform/wav_writer.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>

struct lame_global_struct;

// Writes all of `bytes` to a file opened unbuffered. A write the disk takes only in part is
// tried again with the rest, so that a full disk tells its reason: Qt sets no error for a
// write that took part of the data.
bool writeWhole(QFile &file, const QByteArray &bytes);

// LAME set up as 'lame -f' encodes Parlanto's audio: 22050 Hz mono, 32 kbit/s unless told.
class Mp3Encoder
{
public:
    // Without the information frame the stream can be joined to others: each stream starts
    // with an empty bit reservoir, so streams encoded apart concatenate into one valid stream.
    Mp3Encoder(int bitrate, bool informationFrame);
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder &) = delete;
    Mp3Encoder &operator=(const Mp3Encoder &) = delete;

    bool isReady() const { return m_lame != nullptr; }
    QString errorString() const { return m_error; }
    // Append the MP3 bytes to `out`; false when the encoder fails.
    bool encode(const int16_t *samples, qint64 count, QByteArray &out);
    bool flush(QByteArray &out);
    // The frame that replaces the stream's first one, telling decoders the exact length.
    QByteArray informationFrame();
    qint64 samples() const { return m_samples; }
    // Samples a decoder gives for everything flushed: whole frames, delay and padding included.
    qint64 decodedSamples() const;
    int delay() const; // samples of silence the encoder puts before the audio

private:
    lame_global_struct *m_lame = nullptr;
    qint64 m_samples = 0;
    QString m_error;
};

// Encodes the audio to MP3 as it is made, in place of a WAV file: no temporary WAV.
class Mp3Writer : public WavWriter
{
public:
    Mp3Writer(const QString &fileName, int bitrate);
    ~Mp3Writer() override;

    bool open() override;
    bool write(const int16_t *samples, qint64 count) override;
    bool write(const QByteArray &pcm) override;
    bool close() override;
    bool hasFailed() const override { return m_failed; }
    QString errorString() const override { return m_error; }
    qint64 samples() const { return m_encoder.samples(); }

private:
    bool fail(const QString &why);
    bool put();

    QFile m_out;
    Mp3Encoder m_encoder;
    QByteArray m_buffer;
    bool m_failed = false;
    QString m_error;
};
