#include "audio/parlocx.h"

#include "platform/registry.h"
#include "platform/wav_writer.h"
#include "speech/synth_engine.h"

const QString Parlocx::WaveEndKey = QStringLiteral(
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ttsparlWaveEnd.exe");
const QString Parlocx::WaveEndName = QStringLiteral("WaveEnd");

void Parlocx::ensureWaveEndKey()
{
    if (!Registry::value(WaveEndKey, WaveEndName).isValid())
        setWaveEnd(WaveEndConsumed);
}

int Parlocx::waveEnd()
{
    return Registry::value(WaveEndKey, WaveEndName, 0).toInt();
}

void Parlocx::setWaveEnd(int value)
{
    Registry::setValue(WaveEndKey, WaveEndName, value);
}

Parlocx::Parlocx(QObject *parent) : QObject(parent)
{
    connect(&m_stream, &SpeechStream::finished, this, &Parlocx::onFinished);
}

Parlocx::~Parlocx()
{
    Stop();
    Close();
}

void Parlocx::RecordToFile(const QString &text, const QString &wavPath, const QString &voiceName, int speed,
                           int pitch, int realTime)
{
    Q_UNUSED(realTime);
    Stop();
    Close();
    m_error.clear();
    m_path = wavPath;

    VoiceParams params;
    for (const EngineVoice &voice : SynthEngine::espeak().voices())
        if (voice.name == voiceName)
            params.voice = voice.id;
    if (params.voice.isEmpty()) {
        fail(QStringLiteral("the voice \"%1\" is not installed").arg(voiceName));
        return;
    }
    params.rate = speed;
    params.pitch = pitch;

    m_writer = std::make_unique<WavWriter>(wavPath);
    if (!m_writer->open()) {
        fail(m_writer->errorString());
        m_writer.reset();
        return;
    }
    setWaveEnd(WaveEndRunning);
    m_stream.setFileOutput(m_writer.get());
    m_stream.start(SynthEngine::espeak(), text, params);
}

void Parlocx::onFinished()
{
    if (!m_writer)
        return;
    m_stream.setFileOutput(nullptr);
    const bool written = m_writer->close(); // a failed file is removed by the writer
    const QString reason = m_writer->errorString();
    m_writer.reset();
    if (written)
        setWaveEnd(WaveEndFinished);
    else
        fail(reason);
    emit RecordingEnded();
}

void Parlocx::Stop()
{
    m_stream.discard();
    m_stream.setFileOutput(nullptr);
    if (m_writer)
        m_writer->close();
}

void Parlocx::Close()
{
    m_writer.reset();
}

void Parlocx::fail(const QString &reason)
{
    m_error = reason.isEmpty() ? QStringLiteral("the sound file could not be written") : reason;
}
