// libparlanto_sound: the default sound output through Qt Multimedia, opened by SoundOutput
// on first use (see platform/sound_sink.h).
#include "platform/sound_sink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <memory>

namespace {

QtMessageHandler previousHandler = nullptr;

// Without a sound server Qt complains on every look-up; the silent output takes over, so the
// complaint tells the user nothing.
void quietSoundServerMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("PulseAudioService:")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

bool haveOutputDevice()
{
    previousHandler = qInstallMessageHandler(quietSoundServerMessages);
    return !QMediaDevices::defaultAudioOutput().isNull();
}

class QtSoundSink final : public SoundSink
{
public:
    explicit QtSoundSink(const QAudioFormat &format) : m_sink(QMediaDevices::defaultAudioOutput(), format) {}

    bool start(qsizetype bufferBytes) override
    {
        m_sink.setBufferSize(bufferBytes);
        m_io = m_sink.start();
        return m_io && m_sink.error() == QAudio::NoError;
    }
    void stop() override
    {
        if (!m_io)
            return;
        m_sink.reset();
        m_sink.stop();
        m_io = nullptr;
    }
    qint64 bytesFree() override { return m_sink.bytesFree(); }
    qint64 write(const char *data, qint64 bytes) override { return m_io ? m_io->write(data, bytes) : 0; }
    qint64 processedUSecs() override { return m_sink.processedUSecs(); }
    bool idle() override { return m_sink.state() == QAudio::IdleState; }
    void suspend() override
    {
        if (m_io)
            m_sink.suspend();
    }
    void resume() override
    {
        if (m_io)
            m_sink.resume();
    }

private:
    QAudioSink m_sink;
    QIODevice *m_io = nullptr;
};

SoundSink *createSink(int sampleRate, int channels)
{
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    return new QtSoundSink(format);
}

} // namespace

extern "C" Q_DECL_EXPORT const SoundDeviceModule *parlanto_sound_device_module()
{
    static const SoundDeviceModule module{haveOutputDevice, createSink};
    return &module;
}
