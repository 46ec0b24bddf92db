// What 1,000 pronunciation rules cost: the time from a speak call to the first audio of a 1 MB
// document with and without them (both engine families), and 'parlanto-cli convert' of 100,000
// characters with and without them. Each pair is measured in alternating order (BENCH_RUNS,
// default 3), and the load average is printed beside each figure: the machine may be busy
// with other work, and only figures measured under similar load compare fairly; the processor
// time of a conversion (its workers included) says more than its wall time on a busy machine.
//
// Rules change what is said, and a longer first sentence takes longer to make: the first audio
// with the rules is compared with that of the same document rewritten beforehand (the very
// words the engine then gets, without rules), which leaves the cost of the rules alone.
#include "bench_home.h"
#include "speech/pronounced_text.h"
#include "speech/pronunciation_rules.h"
#include "speech/speech_stream.h"
#include "speech/synth_engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int RuleCount = 1000;
constexpr int PatternCount = 10;

// Rules of the kinds users write: mostly words (names, abbreviations, units), a few patterns.
QString ruleFile()
{
    QString text =
        QStringLiteral("# made by bench_pronunciation\n"
                       "SQL = sequel\nGNOME = guh nome\n!Dr. = Doctor\nkm/h = kilometres per hour\n"
                       "/(\\d+) ?kg\\b/ = \\1 kilograms\n/\\bv(\\d+)\\.(\\d+)/ = version \\1 point \\2\n");
    for (int i = 2; i < PatternCount; ++i)
        text += QStringLiteral("/\\bcode%1-(\\d+)/ = code %1 number \\1\n").arg(i);
    for (int i = 0; text.count(u'\n') < RuleCount + 1; ++i)
        text += QStringLiteral("Surname%1 = Sir name %1\n").arg(i);
    return text;
}

// Prose with one sentence in `every` for the rules to change: first audio is measured where
// every other sentence has work for them, the conversion on ordinary prose where the rules
// are loaded and looked up at every word but seldom change one.
QString makeText(qsizetype characters, int every)
{
    const QString ruled =
        QStringLiteral("Dr. Surname42 stored 12 kg of SQL notes at 80 km/h on GNOME v2.4 before lunch. ");
    const QStringList plain = {
        QStringLiteral("The reader starts speaking at once, whatever the length of the text. "),
        QStringLiteral("A tired courier carried seventeen baskets of apples across the bridge. "),
        QStringLiteral("Nobody in the village remembered the price of bread in winter. "),
        QStringLiteral("The committee argued for hours over a map of the northern islands. ")};
    QString text;
    text.reserve(characters + ruled.size());
    for (int i = 0; text.size() < characters; ++i)
        text += i % every == 0 ? ruled : plain.at(i % plain.size());
    text.truncate(characters);
    return text;
}

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

double firstAudioMs(SynthEngine &engine, const VoiceParams &params, const QString &text,
                    const std::shared_ptr<const PronunciationRules> &rules)
{
    SpeechStream stream;
    stream.setPronunciation(rules);
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

QString cliPath()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/parlanto-cli");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("parlanto-cli"));
}

double childProcessorSeconds()
{
    struct rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing
{
    double seconds = -1;
    double processor = -1; // of the converter and its workers
};

// How long 'parlanto-cli convert' takes for `input`; -1 when it fails.
Timing convertTiming(const QString &cli, const QStringList &extra, const QString &input,
                     const QString &output)
{
    const double processorBefore = childProcessorSeconds();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(cli, QStringList{QStringLiteral("convert"), QStringLiteral("--voice"),
                                   QStringLiteral("English (America) (TTS4.0)"), QStringLiteral("-o"), output}
                           << extra << input);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return {double(clock.nsecsElapsed()) / 1e9, childProcessorSeconds() - processorBefore};
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    useBenchHome(home, "benchPronunciation");
    qputenv("PARLANTO_AUDIO", "null"); // real-time silent output: the path a listener takes
    QCoreApplication app(argc, argv);
    const int runs = qMax(
        1, qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 3);

    const QString rulesText = ruleFile();
    auto rules = std::make_shared<PronunciationRules>();
    QList<Pronunciation::Problem> problems;
    rules->addText(rulesText, QStringLiteral("rules.txt"), &problems);
    if (!problems.isEmpty() || rules->rules().size() != RuleCount) {
        std::fprintf(stderr, "bench_pronunciation: the rule file is not as meant (%lld rules)\n",
                     static_cast<long long>(rules->rules().size()));
        return 1;
    }
    const auto none = std::make_shared<const PronunciationRules>();

    // Rewriting alone, on the whole megabyte: the cost the reader spreads over the reading.
    const QString large = makeText(1000 * 1000, 2);
    QString rewritten;
    {
        QElapsedTimer clock;
        clock.start();
        rewritten = pronounce(rules->forLanguage(QStringLiteral("en-us")).get(), large).text;
        std::printf(
            "rewrite 1 MB with %d rules (%d patterns): %.1f ms, %lld -> %lld characters (load %.2f)\n",
            RuleCount, PatternCount, double(clock.nsecsElapsed()) / 1e6, static_cast<long long>(large.size()),
            static_cast<long long>(rewritten.size()), loadAverage());
    }

    VoiceParams espeakVoice{QStringLiteral("gmw/en-US"), 175, 50};
    for (const EngineVoice &v : SynthEngine::espeak().voices())
        if (v.language == QLatin1String("en-us"))
            espeakVoice.voice = v.id;
    struct Family
    {
        const char *name;
        SynthEngine &engine;
        VoiceParams params;
    };
    const Family families[] = {
        {"eSpeak NG en-us", SynthEngine::espeak(), espeakVoice},
        {"Flite slt", SynthEngine::flite(), VoiceParams{QStringLiteral("slt"), 0, 50}}};
    for (const Family &family : families) {
        firstAudioMs(family.engine, family.params, large, rules); // loads the voice
        QList<double> without, with, same;
        const double loadBefore = loadAverage();
        for (int i = 0; i < 7 * runs; ++i) {
            const bool sameFirst = i % 2 == 0;
            if (sameFirst)
                same << firstAudioMs(family.engine, family.params, rewritten, none);
            with << firstAudioMs(family.engine, family.params, large, rules);
            if (!sameFirst)
                same << firstAudioMs(family.engine, family.params, rewritten, none);
            without << firstAudioMs(family.engine, family.params, large, none);
        }
        const double a = median(without), b = median(with), c = median(same);
        std::printf("first audio 1 MB %-16s with %d rules %6.1f ms, the same words without rules %6.1f ms, "
                    "ratio %.2f (target: the same); the document as written %6.1f ms (load %.2f -> %.2f)\n",
                    family.name, RuleCount, b, c, b / c, a, loadBefore, loadAverage());
    }

    // parlanto-cli convert of 100,000 characters, with the rules as a --dict file.
    const QString cli = cliPath();
    if (cli.isEmpty()) {
        std::printf("convert 100k: parlanto-cli not found, skipped\n");
        return 0;
    }
    const QString work = home.filePath(QStringLiteral("work"));
    QDir().mkpath(work);
    const QString input = work + QStringLiteral("/100k.txt"), dict = work + QStringLiteral("/rules.txt");
    for (const auto &[path, text] : {std::pair{input, makeText(100000, 20)}, std::pair{dict, rulesText}}) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
            return 1;
    }
    const QStringList withDict{QStringLiteral("--dict"), dict};
    for (int run = 1; run <= runs; ++run) {
        const double loadBefore = loadAverage();
        Timing plain, ruled;
        if (run % 2) {
            plain = convertTiming(cli, {}, input, work + QStringLiteral("/a.wav"));
            ruled = convertTiming(cli, withDict, input, work + QStringLiteral("/b.wav"));
        } else {
            ruled = convertTiming(cli, withDict, input, work + QStringLiteral("/b.wav"));
            plain = convertTiming(cli, {}, input, work + QStringLiteral("/a.wav"));
        }
        std::printf("convert 100k eSpeak NG, run %d: without rules %.2f s (cpu %.2f s), with %d rules %.2f s "
                    "(cpu %.2f s), ratio %.2f, cpu ratio %.2f (target <= 1.10) (load %.2f -> %.2f)\n",
                    run, plain.seconds, plain.processor, RuleCount, ruled.seconds, ruled.processor,
                    ruled.seconds / plain.seconds, ruled.processor / plain.processor, loadBefore,
                    loadAverage());
    }
    return 0;
}
