#pragma once

#include "speech/speech_stream.h"

#include <QObject>
#include <QString>
#include <QStringList>

class WavWriter;

// Generation-4 speech objects on eSpeak NG. A "mode" is one eSpeak NG voice, numbered
// from 1 in the library's listing order.
class DirectSS : public QObject
{
    Q_OBJECT
public:
    explicit DirectSS(QObject *parent = nullptr);
    ~DirectSS() override;

    void setInitialized(int value) { m_initialized = value; }
    int initialized() const { return m_initialized; }

    virtual int CountEngines() const;
    virtual QString ModeName(int index) const;     // 1-based; empty when out of range
    virtual QString ModeLanguage(int index) const; // "en-us"; empty when out of range
    virtual bool Select(int index);                // false when the mode does not exist
    int CurrentMode() const { return m_mode; }

    virtual int Speed() const { return m_speed; }
    virtual void setSpeed(int speed);
    virtual int MinSpeed() const;
    virtual int MaxSpeed() const;
    virtual int Pitch() const { return m_pitch; }
    virtual void setPitch(int pitch);
    virtual int MinPitch() const;
    virtual int MaxPitch() const;

    // Channel volumes 0..65535, applied as a gain on the output.
    int LeftChannelVolume() const { return m_left; }
    void setLeftChannelVolume(int volume);
    int RightChannelVolume() const { return m_right; }
    void setRightChannelVolume(int volume);

    // Speaks text asynchronously; anything already playing is replaced.
    void TextData(int characterSet, int flags, const QString &text);
    void AudioPause();
    void AudioResume();
    void AudioReset(); // stops at once and discards everything queued

    bool isSpeaking() const;
    bool isPaused() const;
    // While set, speech goes into the file as fast as it can be made instead of the speaker.
    void setAudioFile(WavWriter *writer) { m_stream.setFileOutput(writer); }

signals:
    void AudioStart(int hi, int lo);
    void AudioStop(int hi, int lo);
    void TextDataStarted(int hi, int lo);
    void TextDataDone(int hi, int lo, int flags);
    // byteoffset = 2 x the UTF-16 offset of the word within the text last submitted.
    void WordPosition(int hi, int lo, int byteoffset);
    // The same word with its length and the stream sample at which it starts.
    void WordSample(int position, int length, qint64 sample);

private:
    void pushParameters();
    void onStreamStarted();
    void onStreamFinished();

    int m_initialized = 0;
    int m_mode = 1;
    int m_speed = 175;
    int m_pitch = 50;
    int m_left = 65535;
    int m_right = 65535;
    SpeechStream m_stream;
};

// The simpler generation-4 control, used by the talking clock and the slide reader.
class TextToSpeech : public QObject
{
    Q_OBJECT
public:
    explicit TextToSpeech(QObject *parent = nullptr);
    ~TextToSpeech() override;

    void setInitialized(int value) { m_initialized = value; }
    bool Select(int index);
    int CurrentMode() const { return m_mode; }
    int Speed() const { return m_speed; }
    void setSpeed(int speed);
    void Speak(const QString &text);
    void StopSpeaking();
    bool isSpeaking() const;

signals:
    void SpeakingStarted();
    void SpeakingDone();

private:
    void pushParameters();
    int m_initialized = 0;
    int m_mode = 1;
    int m_speed = 175;
    SpeechStream m_stream;
};
