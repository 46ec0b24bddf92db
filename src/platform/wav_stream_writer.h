#pragma once

#include "platform/wav_writer.h"

#include <QFile>

// Writes the WAV to a descriptor that is already open, standard output say, as the audio is
// made. Where the descriptor can go back to the header (a regular file written from its start)
// the sizes are set on close, as in a file of our own. On a pipe the header announces the
// length sox itself writes to pipes, which readers of a stream (sox, ffmpeg, aplay) take as
// "until the stream ends"; the audio then stops with an error before it would pass that length.
class WavStreamWriter final : public WavWriter
{
public:
    // About 13.5 hours of audio.
    static constexpr quint32 UnknownDataBytes = 0x7ffff000;

    explicit WavStreamWriter(int descriptor);
    ~WavStreamWriter() override;

    bool open() override;
    bool write(const int16_t *samples, qint64 count) override;
    bool write(const QByteArray &pcm) override;
    bool close() override; // the descriptor itself stays open
    bool hasFailed() const override { return m_failed; }
    QString errorString() const override { return m_error; }
    // True when the sizes in the header will be exact.
    bool seekable() const { return m_seekable; }

private:
    bool fail(const QString &why);

    int m_descriptor;
    QFile m_out;
    bool m_seekable = false;
    bool m_failed = false;
    qint64 m_dataBytes = 0;
    qint64 m_limit = 0;
    QString m_error;
};
