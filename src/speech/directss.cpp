#include "speech/directss.h"

#include "speech/espeak_engine.h"

namespace {

QList<EngineVoice> espeakVoices()
{
    return SynthEngine::espeak().voices();
}

VoiceParams espeakParams(int mode, int speed, int pitch)
{
    const QList<EngineVoice> voices = espeakVoices();
    VoiceParams params;
    if (mode >= 1 && mode <= voices.size())
        params.voice = voices.at(mode - 1).id;
    params.rate = speed;
    params.pitch = pitch;
    return params;
}

} // namespace

DirectSS::DirectSS(QObject *parent) : QObject(parent)
{
    connect(&m_stream, &SpeechStream::started, this, &DirectSS::onStreamStarted);
    connect(&m_stream, &SpeechStream::finished, this, &DirectSS::onStreamFinished);
    connect(&m_stream, &SpeechStream::word, this, [this](int position, int length, qint64 sample) {
        emit WordPosition(0, 0, position * 2);
        emit WordSample(position, length, sample);
    });
}

DirectSS::~DirectSS() = default;

int DirectSS::CountEngines() const
{
    return int(espeakVoices().size());
}

QString DirectSS::ModeName(int index) const
{
    const QList<EngineVoice> voices = espeakVoices();
    if (index < 1 || index > voices.size())
        return {};
    return voices.at(index - 1).name;
}

QString DirectSS::ModeLanguage(int index) const
{
    const QList<EngineVoice> voices = espeakVoices();
    if (index < 1 || index > voices.size())
        return {};
    return voices.at(index - 1).language;
}

bool DirectSS::Select(int index)
{
    if (index < 1 || index > CountEngines())
        return false;
    m_mode = index;
    pushParameters();
    return true;
}

void DirectSS::setSpeed(int speed)
{
    m_speed = qBound(MinSpeed(), speed, MaxSpeed());
    pushParameters();
}

int DirectSS::MinSpeed() const
{
    return EspeakEngine::MinRate;
}

int DirectSS::MaxSpeed() const
{
    return EspeakEngine::MaxRate;
}

void DirectSS::setPitch(int pitch)
{
    m_pitch = qBound(MinPitch(), pitch, MaxPitch());
    pushParameters();
}

int DirectSS::MinPitch() const
{
    return 0;
}

int DirectSS::MaxPitch() const
{
    return 100;
}

void DirectSS::setLeftChannelVolume(int volume)
{
    m_left = qBound(0, volume, 65535);
    m_stream.setGain(qMax(m_left, m_right) / 65535.0);
}

void DirectSS::setRightChannelVolume(int volume)
{
    m_right = qBound(0, volume, 65535);
    m_stream.setGain(qMax(m_left, m_right) / 65535.0);
}

void DirectSS::pushParameters()
{
    m_stream.setParams(espeakParams(m_mode, m_speed, m_pitch));
}

void DirectSS::TextData(int characterSet, int flags, const QString &text)
{
    Q_UNUSED(characterSet);
    Q_UNUSED(flags);
    m_stream.start(SynthEngine::espeak(), text, espeakParams(m_mode, m_speed, m_pitch));
}

void DirectSS::AudioPause()
{
    if (!m_stream.isActive() || m_stream.isPaused())
        return;
    m_stream.pause();
    // The audio device stops: listeners hear about it as they would at the end.
    emit AudioStop(0, 0);
}

void DirectSS::AudioResume()
{
    if (!m_stream.isActive() || !m_stream.isPaused())
        return;
    m_stream.resume();
    emit AudioStart(0, 0);
}

void DirectSS::AudioReset()
{
    m_stream.stop();
}

bool DirectSS::isSpeaking() const
{
    return m_stream.isActive();
}

bool DirectSS::isPaused() const
{
    return m_stream.isPaused();
}

void DirectSS::onStreamStarted()
{
    emit AudioStart(0, 0);
    emit TextDataStarted(0, 0);
}

void DirectSS::onStreamFinished()
{
    emit AudioStop(0, 0);
    emit TextDataDone(0, 0, 0);
}

TextToSpeech::TextToSpeech(QObject *parent) : QObject(parent)
{
    connect(&m_stream, &SpeechStream::started, this, &TextToSpeech::SpeakingStarted);
    connect(&m_stream, &SpeechStream::finished, this, &TextToSpeech::SpeakingDone);
}

TextToSpeech::~TextToSpeech() = default;

bool TextToSpeech::Select(int index)
{
    if (index < 1 || index > int(espeakVoices().size()))
        return false;
    m_mode = index;
    pushParameters();
    return true;
}

void TextToSpeech::setSpeed(int speed)
{
    m_speed = qBound(EspeakEngine::MinRate, speed, EspeakEngine::MaxRate);
    pushParameters();
}

void TextToSpeech::pushParameters()
{
    m_stream.setParams(espeakParams(m_mode, m_speed, 50));
}

void TextToSpeech::Speak(const QString &text)
{
    m_stream.start(SynthEngine::espeak(), text, espeakParams(m_mode, m_speed, 50));
}

void TextToSpeech::StopSpeaking()
{
    m_stream.stop();
}

bool TextToSpeech::isSpeaking() const
{
    return m_stream.isActive();
}
