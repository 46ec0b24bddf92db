#include "speech/spvoice.h"

#include "speech/synth_engine.h"

#include <QEventLoop>
#include <QTimer>

bool SpFileStream::Open(const QString &fileName, int mode)
{
    Q_UNUSED(mode); // every mode Parlanto uses creates the file anew
    Close();
    m_fileName = fileName;
    m_error.clear();
    m_writer = std::make_unique<WavWriter>(fileName);
    if (!m_writer->open()) {
        m_error = m_writer->errorString();
        m_writer.reset();
        return false;
    }
    return true;
}

bool SpFileStream::Open(std::unique_ptr<WavWriter> writer)
{
    Close();
    m_error.clear();
    m_writer = std::move(writer);
    if (!m_writer || !m_writer->open()) {
        m_error = m_writer ? m_writer->errorString() : QString();
        m_writer.reset();
        return false;
    }
    return true;
}

bool SpFileStream::Close()
{
    if (!m_writer)
        return true;
    const bool ok = m_writer->close();
    if (!ok)
        m_error = m_writer->errorString();
    m_writer.reset();
    return ok;
}

SpVoice::SpVoice(QObject *parent) : QObject(parent)
{
    const QList<SpObjectToken> tokens = GetVoices();
    if (!tokens.isEmpty())
        m_voice = tokens.first();
    connect(&m_stream, &SpeechStream::started, this, [this] { emit StartStream(m_current, 0); });
    connect(&m_stream, &SpeechStream::word, this, [this](int position, int length, qint64 sample) {
        emit Word(m_current, m_stream.playedSamples() * 2, position, length);
        emit WordSample(position, length, sample);
    });
    connect(&m_stream, &SpeechStream::finished, this, &SpVoice::onStreamFinished);
}

SpVoice::~SpVoice()
{
    m_queue.clear();
    m_stream.discard();
}

QList<SpObjectToken> SpVoice::GetVoices(const QString &required, const QString &optional)
{
    Q_UNUSED(required);
    Q_UNUSED(optional);
    QList<SpObjectToken> tokens;
    for (const EngineVoice &v : SynthEngine::flite().voices())
        tokens.append(SpObjectToken(v.id, v.name));
    return tokens;
}

bool SpVoice::setVoice(const SpObjectToken &token)
{
    if (!GetVoices().contains(token))
        return false;
    m_voice = token;
    pushParameters();
    return true;
}

void SpVoice::setRate(int rate)
{
    m_rate = qBound(-10, rate, 10);
    pushParameters();
}

void SpVoice::setVolume(int volume)
{
    m_volume = qBound(0, volume, 100);
    m_stream.setGain(m_volume / 100.0);
}

VoiceParams SpVoice::params() const
{
    VoiceParams params;
    params.voice = m_voice.Id();
    params.rate = m_rate;
    return params;
}

void SpVoice::pushParameters()
{
    m_stream.setParams(params());
}

int SpVoice::Speak(const QString &text, int flags)
{
    if (flags & SVSFPurgeBeforeSpeak) {
        m_queue.clear();
        m_stream.stop(); // emits the end of what was playing, if anything
    }
    if (text.isEmpty())
        return 0;
    const int number = ++m_streamNumber;
    m_queue.append({number, text});
    if (!m_stream.isActive())
        startNext();
    if (!(flags & SVSFlagsAsync))
        WaitUntilDone(-1);
    return number;
}

void SpVoice::startNext()
{
    if (m_queue.isEmpty())
        return;
    const auto [number, text] = m_queue.takeFirst();
    m_current = number;
    m_stream.setFileOutput(m_output ? m_output->writer() : nullptr);
    m_stream.start(SynthEngine::flite(), text, params());
}

void SpVoice::onStreamFinished()
{
    const int number = m_current;
    emit EndStream(number, m_stream.playedSamples() * 2);
    if (!m_stream.isActive())
        startNext();
}

void SpVoice::Pause()
{
    m_stream.pause();
}

void SpVoice::Resume()
{
    m_stream.resume();
}

bool SpVoice::isSpeaking() const
{
    return m_stream.isActive() || !m_queue.isEmpty();
}

bool SpVoice::isPaused() const
{
    return m_stream.isPaused();
}

void SpVoice::setAudioOutputStream(SpFileStream *stream)
{
    m_output = stream;
}

bool SpVoice::WaitUntilDone(int milliseconds)
{
    if (!isSpeaking())
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto done = connect(this, &SpVoice::EndStream, &loop, [&] {
        if (!isSpeaking())
            loop.quit();
    });
    if (milliseconds >= 0)
        timeout.start(milliseconds);
    loop.exec();
    disconnect(done);
    return !isSpeaking();
}
