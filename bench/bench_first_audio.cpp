// Time from a speak call to the first audio handed to the sound layer, for short and very
// long texts on both engine families. Prints medians of several warm runs.
#include "speech/speech_stream.h"
#include "speech/synth_engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

QString makeText(qsizetype bytes)
{
    const QString sentence =
        QStringLiteral("The reader starts speaking at once, whatever the length of the text. ");
    QString text;
    text.reserve(bytes + sentence.size());
    while (text.size() < bytes)
        text += sentence;
    text.truncate(bytes);
    return text;
}

double firstAudioMs(SynthEngine &engine, const VoiceParams &params, const QString &text)
{
    SpeechStream stream;
    QEventLoop loop;
    QElapsedTimer timer;
    double ms = -1;
    QObject::connect(&stream, &SpeechStream::firstAudio, &loop, [&] {
        ms = double(timer.nsecsElapsed()) / 1e6;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    timer.start();
    stream.start(engine, text, params);
    loop.exec();
    stream.discard();
    return ms;
}

// How late words are reported after their audio is due, on the real-time silent output:
// the played position when the word is reported, less the word's own start.
QList<double> wordLatenessMs(SynthEngine &engine, const VoiceParams &params, const QString &text)
{
    SpeechStream stream;
    QEventLoop loop;
    QList<double> lateness;
    QObject::connect(&stream, &SpeechStream::word, &loop, [&](int, int, qint64 sample) {
        lateness << double(stream.playedSamples() - sample) * 1000.0 / 22050.0;
    });
    QObject::connect(&stream, &SpeechStream::finished, &loop, &QEventLoop::quit);
    stream.start(engine, text, params);
    loop.exec();
    return lateness;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("PARLANTO_AUDIO", "null"); // real-time silent output: the path a listener takes
    QCoreApplication app(argc, argv);
    struct Family
    {
        const char *name;
        SynthEngine &engine;
        VoiceParams params;
        double targetMs;
    };
    VoiceParams espeakVoice{QStringLiteral("gmw/en-US"), 175, 50};
    for (const EngineVoice &v : SynthEngine::espeak().voices())
        if (v.language == QLatin1String("en-us"))
            espeakVoice.voice = v.id;
    const Family families[] = {
        {"eSpeak NG en-us", SynthEngine::espeak(), espeakVoice, 50.0},
        {"Flite slt", SynthEngine::flite(), VoiceParams{QStringLiteral("slt"), 0, 50}, 150.0}};
    const QString small = makeText(1000), large = makeText(1000 * 1000);
    for (const Family &family : families) {
        firstAudioMs(family.engine, family.params, small); // loads the voice
        QList<double> smallRuns, largeRuns;
        for (int i = 0; i < 7; ++i) {
            smallRuns << firstAudioMs(family.engine, family.params, small);
            largeRuns << firstAudioMs(family.engine, family.params, large);
        }
        const double s = median(smallRuns), l = median(largeRuns);
        std::printf(
            "first audio %-16s 1 kB: %6.1f ms   1 MB: %6.1f ms   ratio 1MB/1kB %.2f   (target <= %.0f ms)\n",
            family.name, s, l, l / s, family.targetMs);
        QList<double> late =
            wordLatenessMs(family.engine, family.params,
                           QStringLiteral("One two three four five six seven eight nine ten."));
        std::sort(late.begin(), late.end());
        if (!late.isEmpty())
            std::printf("word event after its audio %-16s median %.1f ms, worst %.1f ms over %lld words "
                        "(target <= 30 ms)\n",
                        family.name, median(late), late.last(), static_cast<long long>(late.size()));
    }
    return 0;
}
