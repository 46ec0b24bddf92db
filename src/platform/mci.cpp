#include "platform/mci.h"

#include "platform/audio_format.h"
#include "platform/sound_device.h"
#include "platform/sound_sink.h"
#include "platform/wav_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>

namespace {

const QString ModePlaying = QStringLiteral("playing");
const QString ModePaused = QStringLiteral("paused");
const QString ModeStopped = QStringLiteral("stopped");
const QString ModeNotReady = QStringLiteral("not ready");

// One open file under its alias.
class MciDevice : public QObject
{
public:
    // `to` < 0: to the end.
    virtual int play(std::optional<qint64> from, qint64 to) = 0;
    virtual int pause() = 0;
    virtual int resume() = 0;
    virtual int stop() = 0;
    virtual int seek(qint64 ms) = 0;
    virtual qint64 lengthMs() const = 0;
    virtual qint64 positionMs() = 0;
    virtual QString mode() = 0;

    // Called when playback comes to its end by itself.
    std::function<void()> finished;

protected:
    void reportEnd()
    {
        if (finished)
            finished();
    }
};

// A WAV file held in memory in the sound layer's format and fed to its own output.
class WaveDevice final : public MciDevice
{
public:
    explicit WaveDevice(QVector<qint16> samples) : m_samples(std::move(samples))
    {
        m_feed.setInterval(10);
        connect(&m_feed, &QTimer::timeout, this, &WaveDevice::feed);
    }

    int play(std::optional<qint64> from, qint64 to) override
    {
        const qint64 start = from ? toSamples(*from) : positionSamples();
        const qint64 end = to < 0 ? m_samples.size() : toSamples(to);
        if (end < start)
            return MciError::OutOfRange;
        m_output.close();
        m_position = start;
        m_next = start;
        m_end = end;
        m_output.open();
        m_state = State::Playing;
        m_feed.start();
        feed();
        return MciError::None;
    }
    int pause() override
    {
        if (m_state == State::Playing) {
            m_output.suspend();
            m_state = State::Paused;
        }
        return MciError::None;
    }
    int resume() override
    {
        if (m_state == State::Paused) {
            m_output.resume();
            m_state = State::Playing;
        }
        return MciError::None;
    }
    int stop() override
    {
        m_position = positionSamples();
        halt();
        return MciError::None;
    }
    int seek(qint64 ms) override
    {
        halt();
        m_position = toSamples(ms);
        return MciError::None;
    }
    qint64 lengthMs() const override { return msOf(m_samples.size()); }
    qint64 positionMs() override { return msOf(positionSamples()); }
    QString mode() override
    {
        if (m_state == State::Playing)
            feed();
        switch (m_state) {
        case State::Playing:
            return ModePlaying;
        case State::Paused:
            return ModePaused;
        case State::Stopped:
            break;
        }
        return ModeStopped;
    }

private:
    enum class State
    {
        Stopped,
        Playing,
        Paused
    };

    // Rounded, so that a position sought in milliseconds reads back as sought.
    static qint64 msOf(qint64 samples)
    {
        return (samples * 1000 + AudioFormat::SampleRate / 2) / AudioFormat::SampleRate;
    }
    qint64 toSamples(qint64 ms) const
    {
        return qBound<qint64>(0, AudioFormat::msToSamples(ms), m_samples.size());
    }

    qint64 positionSamples()
    {
        if (m_state == State::Stopped)
            return m_position;
        return qMin(m_end, m_position + m_output.playedSamples());
    }

    void halt()
    {
        m_feed.stop();
        m_output.close();
        m_state = State::Stopped;
    }

    void feed()
    {
        if (m_state == State::Stopped)
            return;
        while (m_next < m_end) {
            const qint64 room = m_output.bytesFree() / AudioFormat::BytesPerSample;
            const qint64 count = qMin(room, m_end - m_next);
            if (count <= 0)
                break;
            const qint64 taken =
                m_output.write(reinterpret_cast<const char *>(m_samples.constData() + m_next),
                               count * AudioFormat::BytesPerSample) /
                AudioFormat::BytesPerSample;
            if (taken <= 0)
                break;
            m_next += taken;
        }
        if (m_next >= m_end && m_state == State::Playing && m_output.drained()) {
            m_position = m_end;
            halt();
            reportEnd();
        }
    }

    QVector<qint16> m_samples;
    SoundOutput m_output;
    QTimer m_feed;
    State m_state = State::Stopped;
    qint64 m_position = 0; // where the current or last playback started, or where it stopped
    qint64 m_next = 0;     // next sample to hand to the output
    qint64 m_end = 0;      // sample at which the current playback ends
};

// A MIDI or AVI file played (sound only) by Qt's media player, in the sound device's library.
class MediaDevice final : public MciDevice
{
public:
    explicit MediaDevice(const SoundDeviceModule &module, const QString &fileName)
        : m_player(module.createMediaPlayback(fileName, configuredAudioMode() == AudioMode::Device,
                                              &MediaDevice::ended, this))
    {}
    bool usable() const { return m_player->usable(); }

    int play(std::optional<qint64> from, qint64 to) override
    {
        Q_UNUSED(to); // the player has no end mark; it plays to the end
        if (!m_player->ready())
            return MciError::DeviceNotReady;
        if (from)
            m_player->setPosition(*from);
        m_player->play();
        return MciError::None;
    }
    int pause() override
    {
        m_player->pause();
        return MciError::None;
    }
    int resume() override
    {
        if (m_player->state() == MediaPlayback::State::Paused)
            m_player->play();
        return MciError::None;
    }
    int stop() override
    {
        const qint64 at = m_player->position();
        m_player->pause();
        m_player->setPosition(at);
        return MciError::None;
    }
    int seek(qint64 ms) override
    {
        m_player->pause();
        m_player->setPosition(ms);
        return MciError::None;
    }
    qint64 lengthMs() const override { return qMax<qint64>(0, m_player->duration()); }
    qint64 positionMs() override { return qMax<qint64>(0, m_player->position()); }
    QString mode() override
    {
        if (!m_player->ready())
            return ModeNotReady;
        switch (m_player->state()) {
        case MediaPlayback::State::Playing:
            return ModePlaying;
        case MediaPlayback::State::Paused:
            return ModePaused;
        case MediaPlayback::State::Stopped:
            break;
        }
        return ModeStopped;
    }

private:
    static void ended(void *context) { static_cast<MediaDevice *>(context)->reportEnd(); }

    std::unique_ptr<MediaPlayback> m_player;
};

// Open devices by alias, compared without regard to case.
std::map<QString, std::unique_ptr<MciDevice>> &openDevices()
{
    static std::map<QString, std::unique_ptr<MciDevice>> devices;
    // Devices hold sound outputs, which must go before the application object does.
    static const bool cleared = [] {
        qAddPostRoutine([] { openDevices().clear(); });
        return true;
    }();
    Q_UNUSED(cleared);
    return devices;
}

int openDevice(const MciCommand &command)
{
    auto &devices = openDevices();
    const QString key = command.alias.toLower();
    if (devices.count(key) != 0)
        return MciError::DuplicateAlias;
    const bool wave = command.deviceType == QLatin1String("waveaudio");
    if (!wave && command.deviceType != QLatin1String("sequencer") &&
        command.deviceType != QLatin1String("avivideo"))
        return MciError::InvalidDeviceName;
    if (!QFileInfo(command.device).isFile())
        return MciError::FileNotFound;
    if (wave) {
        auto samples = readWavFile(command.device);
        if (!samples)
            return MciError::InvalidFile;
        devices.emplace(key, std::make_unique<WaveDevice>(std::move(*samples)));
        return MciError::None;
    }
    const SoundDeviceModule *module = soundDeviceModule();
    if (!module || !module->mediaPlayerCanDecode(command.deviceType == QLatin1String("avivideo")))
        return MciError::CannotLoadDriver;
    auto media = std::make_unique<MediaDevice>(*module, command.device);
    if (!media->usable())
        return MciError::CannotLoadDriver;
    devices.emplace(key, std::move(media));
    return MciError::None;
}

int moveCdDoor(bool open)
{
    const QString path = cdromDevicePath();
    if (path.isEmpty())
        return MciError::InvalidDeviceName;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return MciError::Hardware;
    const int result = ::ioctl(fd, open ? CDROMEJECT : CDROMCLOSETRAY, 0);
    ::close(fd);
    return result == 0 ? MciError::None : MciError::Hardware;
}

// Runs the event loop (which feeds the sound) until the device has played to its end or is
// closed meanwhile.
void waitForEnd(MciDevice *device)
{
    if (device->mode() != ModePlaying)
        return;
    QEventLoop loop;
    QPointer<MciDevice> alive(device);
    device->finished = [&loop] { loop.quit(); };
    QObject::connect(device, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    if (alive)
        alive->finished = nullptr;
}

} // namespace

QString cdromDevicePath()
{
    if (QFileInfo::exists(QStringLiteral("/dev/cdrom")))
        return QStringLiteral("/dev/cdrom");
    QStringList drives = QDir(QStringLiteral("/dev")).entryList({QStringLiteral("sr*")}, QDir::System);
    drives.sort();
    return drives.isEmpty() ? QString() : QStringLiteral("/dev/") + drives.first();
}

int mciSendString(const QString &text, QString *answer)
{
    if (answer)
        answer->clear();
    const auto parsed = parseMciCommand(text);
    if (const int *error = std::get_if<int>(&parsed))
        return *error;
    const MciCommand &command = std::get<MciCommand>(parsed);
    using Verb = MciCommand::Verb;

    if (command.verb == Verb::Open)
        return openDevice(command);

    auto &devices = openDevices();
    const QString key = command.device.toLower();
    if (command.verb == Verb::Set && key == QLatin1String("cdaudio")) {
        if (command.item.startsWith(QLatin1String("door")))
            return moveCdDoor(command.item == QLatin1String("door open"));
        return MciError::None;
    }
    if (command.verb == Verb::Close && key == QLatin1String("all")) {
        devices.clear();
        return MciError::None;
    }
    const auto it = devices.find(key);
    if (it == devices.end())
        return MciError::InvalidDeviceName;
    MciDevice *device = it->second.get();

    switch (command.verb) {
    case Verb::Close:
        devices.erase(it);
        return MciError::None;
    case Verb::Play: {
        const int result = device->play(command.from, command.to ? *command.to : -1);
        if (result == MciError::None && command.wait)
            waitForEnd(device);
        return result;
    }
    case Verb::Pause:
        return device->pause();
    case Verb::Resume:
        return device->resume();
    case Verb::Stop:
        return device->stop();
    case Verb::Seek:
        switch (command.seekTarget) {
        case MciCommand::SeekTarget::Start:
            return device->seek(0);
        case MciCommand::SeekTarget::End:
            return device->seek(device->lengthMs());
        case MciCommand::SeekTarget::Position:
            break;
        }
        if (command.seekTo > device->lengthMs())
            return MciError::OutOfRange;
        return device->seek(command.seekTo);
    case Verb::Status: {
        QString value;
        if (command.item == QLatin1String("length"))
            value = QString::number(device->lengthMs());
        else if (command.item == QLatin1String("position"))
            value = QString::number(device->positionMs());
        else
            value = device->mode();
        if (answer)
            *answer = value;
        return MciError::None;
    }
    case Verb::Set:
        if (command.item.startsWith(QLatin1String("door")))
            return MciError::UnsupportedFunction;
        return MciError::None;
    case Verb::Open:
        break;
    }
    return MciError::UnrecognizedCommand;
}
