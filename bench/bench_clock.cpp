// The talking clock's costs: opening and starting the bell (WAV read, conversion, first audio
// handed to the sound layer), a day of scheduler ticks, and reading a long WAV file.
#include "platform/mci.h"
#include "platform/program_folder.h"
#include "platform/wav_reader.h"
#include "tools/clock_schedule.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Ten minutes of 44100 Hz stereo, to be converted to 22050 Hz mono.
QString writeLongWav(const QString &path)
{
    const quint32 frames = 44100u * 600u;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + frames * 4);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(2) << quint32(44100) << quint32(44100 * 4) << quint16(4)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(frames * 4);
    QByteArray block(44100 * 4, '\x10');
    for (int s = 0; s < 600; ++s)
        out.writeRawData(block.constData(), int(block.size()));
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("PARLANTO_HOME", home.path().toLocal8Bit());
    qputenv("PARLANTO_AUDIO", "fast");
    QCoreApplication app(argc, argv);
    const QString bell = programFile(QStringLiteral("bell.wav"));

    QList<double> openPlay;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        mciSendString(QStringLiteral("open ") + bell + QStringLiteral(" alias b type waveaudio wait"));
        mciSendString(QStringLiteral("play b"));
        openPlay << double(timer.nsecsElapsed()) / 1e6;
        mciSendString(QStringLiteral("close b"));
    }
    std::printf("clock: bell open + play (1.5 s WAV) median %.2f ms\n", median(openPlay));

    ClockSettings settings = defaultClockSettings(home.path());
    settings.IntervalAlarmOn = 1;
    settings.IntervalMinutes = 7;
    const QDateTime start(QDate(2026, 3, 10), QTime(0, 0, 20));
    QElapsedTimer timer;
    timer.start();
    QString last = clockMinuteText(start.time());
    int said = 0;
    for (QDateTime now = start.addSecs(50); now < start.addDays(1); now = now.addSecs(50)) {
        const ClockTick tick = clockTick(settings, now, start, last, 5);
        said += tick.reason != ClockReason::None;
        last = tick.lastClockMinute;
    }
    std::printf("clock: a day of scheduler ticks (1728) %.2f ms, %d announcements\n",
                double(timer.nsecsElapsed()) / 1e6, said);

    const QString longWav = writeLongWav(home.filePath(QStringLiteral("long.wav")));
    timer.restart();
    const auto samples = readWavFile(longWav);
    std::printf("clock: 10 min 44.1 kHz stereo WAV read and converted in %.0f ms (%lld samples)\n",
                double(timer.nsecsElapsed()) / 1e6, samples ? qlonglong(samples->size()) : 0LL);
    return 0;
}
