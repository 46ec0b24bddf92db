#pragma once

#include "platform/wav_writer.h"
#include "speech/speech_stream.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// A generation-5 voice token: one Flite voice.
class SpObjectToken
{
public:
    SpObjectToken() = default;
    SpObjectToken(QString id, QString description)
        : m_id(std::move(id)), m_description(std::move(description))
    {}
    QString GetDescription(int locale = 0) const
    {
        Q_UNUSED(locale);
        return m_description;
    }
    QString Id() const { return m_id; }
    bool isNull() const { return m_id.isEmpty(); }
    bool operator==(const SpObjectToken &other) const { return m_id == other.m_id; }

private:
    QString m_id;
    QString m_description;
};

// A WAV file as an audio output stream (22050 Hz, 16-bit, mono).
class SpFileStream
{
public:
    enum Mode
    {
        SSFMOpenForRead = 0,
        SSFMOpenReadWrite = 1,
        SSFMCreate = 2,
        SSFMCreateForWrite = 3
    };
    SpFileStream() = default;
    bool Open(const QString &fileName, int mode = SSFMCreateForWrite);
    // Takes a sink of its own (an encoder, say) in place of a WAV file; opens it.
    bool Open(std::unique_ptr<WavWriter> writer);
    bool Close(); // false (and the partial file gone) when the file could not be written whole
    bool isOpen() const { return m_writer && m_writer->isOpen(); }
    QString errorString() const { return m_error; } // why the last Open or Close failed
    QString fileName() const { return m_fileName; }
    WavWriter *writer() { return m_writer.get(); }

private:
    QString m_fileName;
    QString m_error;
    std::unique_ptr<WavWriter> m_writer;
};

// Generation-5 voice object on Flite.
class SpVoice : public QObject
{
    Q_OBJECT
public:
    enum SpeechVoiceSpeakFlags
    {
        SVSFDefault = 0,
        SVSFlagsAsync = 1,
        SVSFPurgeBeforeSpeak = 2
    };

    explicit SpVoice(QObject *parent = nullptr);
    ~SpVoice() override;

    static QList<SpObjectToken> GetVoices(const QString &required = {}, const QString &optional = {});

    SpObjectToken Voice() const { return m_voice; }
    bool setVoice(const SpObjectToken &token); // false for a token that is not installed
    int Rate() const { return m_rate; }
    void setRate(int rate); // clamped to -10..10
    int Volume() const { return m_volume; }
    void setVolume(int volume); // clamped to 0..100

    // Returns the stream number (0 when nothing was queued). Flag 1 speaks asynchronously,
    // flag 2 first discards whatever is queued or playing.
    int Speak(const QString &text, int flags = SVSFDefault);
    void Pause();
    void Resume();
    bool isSpeaking() const;
    bool isPaused() const;

    // While set, speech goes into the stream's file as fast as it can be made.
    void setAudioOutputStream(SpFileStream *stream);
    SpFileStream *AudioOutputStream() const { return m_output; }

    // Runs the event loop until the current stream ends or the time runs out (-1: no limit).
    bool WaitUntilDone(int milliseconds = -1);

signals:
    void StartStream(int streamNumber, qint64 streamPosition);
    void EndStream(int streamNumber, qint64 streamPosition);
    void Word(int streamNumber, qint64 streamPosition, int characterPosition, int length);
    // The same word with the stream sample at which it starts.
    void WordSample(int position, int length, qint64 sample);

private:
    VoiceParams params() const;
    void pushParameters();
    void startNext();
    void onStreamFinished();

    SpObjectToken m_voice;
    int m_current = 0;
    QList<QPair<int, QString>> m_queue;
    int m_rate = 0;
    int m_volume = 100;
    int m_streamNumber = 0;
    SpFileStream *m_output = nullptr;
    SpeechStream m_stream;
};
