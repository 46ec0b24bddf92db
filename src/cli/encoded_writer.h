#pragma once

// The audio files 'parlanto-cli convert' writes besides plain WAV: each takes the 22050 Hz mono
// samples as they are made and encodes them into its file (or standard output) at once, with
// the tags that name the book, the chapter and the voice.

#include "platform/wav_writer.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

enum class AudioFormat
{
    Wav,
    Mp3,
    Opus,
    Flac,
};

// "wav", "mp3", "opus", "flac": the option's value and the file name's extension.
QString formatName(AudioFormat format);
std::optional<AudioFormat> formatNamed(const QString &name);

// What names a file in a player: its title, the book (album) it belongs to, the book's author,
// its place among the book's files and a comment (the voice that reads it).
struct AudioTags
{
    QString title, album, artist, comment;
    int track = 0, tracks = 0;
};

struct EncoderSettings
{
    int bitrate = 0; // kbit/s; 0: the format's own default
    bool vbr = false;
    int threads = 1; // that may encode at the same time
};

// Writes all of `bytes` to a file opened unbuffered. A write the disk takes only in part is
// tried again with the rest, so that a full disk tells its reason: Qt sets no error for a
// write that took part of the data.
bool writeWhole(QFile &file, const QByteArray &bytes);

// A file ("-": standard output) that an encoder writes as the samples come. A file it could not
// complete is removed when it is closed.
class EncodedWriter : public WavWriter
{
public:
    explicit EncodedWriter(const QString &fileName);
    ~EncodedWriter() override;

    bool open() override;
    bool write(const int16_t *samples, qint64 count) override;
    bool write(const QByteArray &pcm) override;
    bool close() override;
    bool hasFailed() const override { return m_failed; }
    QString errorString() const override { return m_error; }
    qint64 samples() const { return m_samples; }

    // Writes at the start of the stream (standard output when it is a pipe cannot: false).
    bool putAt(qint64 position, const QByteArray &bytes);
    bool put(const QByteArray &bytes);
    bool put(const char *data, qint64 size);
    bool canSeek() const { return !m_out.isSequential(); }
    bool seekTo(qint64 position);
    qint64 position() const { return m_out.pos(); }
    bool fail(const QString &why);

protected:
    virtual bool start() = 0;
    virtual bool encode(const int16_t *samples, qint64 count) = 0;
    virtual bool finish() = 0; // the rest of the stream after the last samples
    // The file's own error, for a write that failed.
    QString outputError() const { return m_out.errorString(); }

private:
    QFile m_out;
    bool m_toStandardOutput = false;
    qint64 m_samples = 0;
    bool m_failed = false;
    bool m_finished = false;
    QString m_error;
};

// The writer of a format, to a file or to standard output ("-").
std::unique_ptr<EncodedWriter> makeAudioWriter(AudioFormat format, const QString &fileName,
                                               const EncoderSettings &settings, const AudioTags &tags);

// The writer of an encoded format (MP3, Opus, FLAC). The encoders are built into
// libparlanto_encoders with LAME, libopusenc, libFLAC and TagLib, which the command line opens
// on first use: a command that writes none of them loads none of those libraries.
std::unique_ptr<EncodedWriter> makeEncoderWriter(AudioFormat format, const QString &fileName,
                                                 const EncoderSettings &settings, const AudioTags &tags);
