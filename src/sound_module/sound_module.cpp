// libparlanto_sound: the default sound output through Qt Multimedia, opened by SoundOutput
// on first use (see platform/sound_sink.h).
#include "platform/sound_sink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QAudioSink>
#include <QMediaDevices>
#include <QMediaFormat>
#include <QMediaPlayer>
#include <QUrl>

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

// Whether Qt's media player has a back end that decodes anything (and AVI, when asked). On
// Qt 6.4 the GStreamer back end crashes while making a player when GStreamer's base plugins
// are missing; they also provide every demuxer, so an empty list of decodable formats tells.
bool mediaPlayerCanDecode(bool avi)
{
    static const QList<QMediaFormat::FileFormat> formats =
        QMediaFormat().supportedFileFormats(QMediaFormat::Decode);
    return !formats.isEmpty() && (!avi || formats.contains(QMediaFormat::AVI));
}

class QtMediaPlayback final : public MediaPlayback
{
public:
    QtMediaPlayback(const QString &fileName, bool audible, void (*ended)(void *), void *context)
    {
        if (audible) {
            m_audio = std::make_unique<QAudioOutput>();
            m_player.setAudioOutput(m_audio.get());
        }
        QObject::connect(&m_player, &QMediaPlayer::mediaStatusChanged, &m_player,
                         [ended, context](QMediaPlayer::MediaStatus status) {
                             if (status == QMediaPlayer::EndOfMedia)
                                 ended(context);
                         });
        m_player.setSource(QUrl::fromLocalFile(fileName));
    }

    bool usable() const override
    {
        return m_player.isAvailable() && m_player.error() == QMediaPlayer::NoError;
    }
    bool ready() const override
    {
        const auto status = m_player.mediaStatus();
        return m_player.error() == QMediaPlayer::NoError && status != QMediaPlayer::NoMedia &&
               status != QMediaPlayer::LoadingMedia && status != QMediaPlayer::InvalidMedia;
    }
    State state() const override
    {
        switch (m_player.playbackState()) {
        case QMediaPlayer::PlayingState:
            return State::Playing;
        case QMediaPlayer::PausedState:
            return State::Paused;
        case QMediaPlayer::StoppedState:
            break;
        }
        return State::Stopped;
    }
    void play() override { m_player.play(); }
    void pause() override { m_player.pause(); }
    void setPosition(qint64 ms) override { m_player.setPosition(ms); }
    qint64 position() const override { return m_player.position(); }
    qint64 duration() const override { return m_player.duration(); }

private:
    // The output goes after the player that sounds on it.
    std::unique_ptr<QAudioOutput> m_audio;
    QMediaPlayer m_player;
};

MediaPlayback *createMediaPlayback(const QString &fileName, bool audible, void (*ended)(void *),
                                   void *context)
{
    return new QtMediaPlayback(fileName, audible, ended, context);
}

} // namespace

extern "C" Q_DECL_EXPORT const SoundDeviceModule *parlanto_sound_device_module()
{
    static const SoundDeviceModule module{haveOutputDevice, createSink, mediaPlayerCanDecode,
                                          createMediaPlayback};
    return &module;
}
