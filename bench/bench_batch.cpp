// Times the batch window turning 20 text files of 5,000 characters into MP3 files with an
// eSpeak NG voice against a shell loop of espeak-ng -w and lame -f over the same files, with the
// same voice, rate and pitch, in the same run. BENCH_RUNS (default 3) repeats the pair, in
// alternating order, and the load average is printed beside each figure: the machine may be
// busy with other work, and only pairs measured under similar load compare fairly.
#include "app/app_state.h"
#include "app/batch_text2sound_host.h"
#include "app/ttsmain.h"
#include "bench_home.h"
#include "platform/dialogs.h"
#include "speech/directss.h"
#include "speech/synth_engine.h"
#include "speech/voice_catalog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int FileCount = 20;
constexpr int FileCharacters = 5000;
const QString VoicePrefix = QStringLiteral("English (America)");

// Notes every message instead of showing it.
class QuietDialogs final : public Dialogs
{
public:
    QStringList messages;
    Answer message(QWidget *, const Message &m) override
    {
        messages.append(m.text);
        return Answer::Ok;
    }
    std::optional<FileAnswer> openFile(QWidget *, const FileRequest &) override { return std::nullopt; }
    std::optional<FileAnswer> saveFile(QWidget *, const FileRequest &) override { return std::nullopt; }
    std::optional<QFont> chooseFont(QWidget *, const QFont &, QColor &) override { return std::nullopt; }
    std::optional<QColor> chooseColour(QWidget *, const QColor &) override { return std::nullopt; }
    std::optional<QString> chooseFolder(QWidget *, const QString &, const QString &) override
    {
        return std::nullopt;
    }
};

// Prose of varied sentences, the same for every run: a small generator picks the parts.
QString prose(int seed, int characters)
{
    static const QStringList subjects = {
        QStringLiteral("The old harbour master"),   QStringLiteral("A tired courier"),
        QStringLiteral("Our neighbour's daughter"), QStringLiteral("The committee"),
        QStringLiteral("Every careful reader"),     QStringLiteral("The baker on the corner"),
        QStringLiteral("A travelling musician"),    QStringLiteral("The night nurse"),
        QStringLiteral("Nobody in the village"),    QStringLiteral("The youngest engineer")};
    static const QStringList verbs = {QStringLiteral("quietly repaired"),
                                      QStringLiteral("wrote a long letter about"),
                                      QStringLiteral("argued for hours over"),
                                      QStringLiteral("never forgot"),
                                      QStringLiteral("carried"),
                                      QStringLiteral("painted"),
                                      QStringLiteral("counted twice"),
                                      QStringLiteral("laughed at"),
                                      QStringLiteral("measured"),
                                      QStringLiteral("read aloud")};
    static const QStringList objects = {QStringLiteral("the broken clock in the station hall"),
                                        QStringLiteral("seventeen baskets of apples"),
                                        QStringLiteral("a map of the northern islands"),
                                        QStringLiteral("the minutes of last Tuesday's meeting"),
                                        QStringLiteral("an umbrella nobody had claimed"),
                                        QStringLiteral("the bridge across the river"),
                                        QStringLiteral("three chapters of a forgotten novel"),
                                        QStringLiteral("the price of bread in winter"),
                                        QStringLiteral("a letter from the mayor"),
                                        QStringLiteral("the oldest tree in the park")};
    static const QStringList endings = {
        QStringLiteral("before the rain began"),      QStringLiteral("while the town slept"),
        QStringLiteral("because nobody else would"),  QStringLiteral("in spite of the cold"),
        QStringLiteral("on the first day of spring"), QStringLiteral("with surprising patience"),
        QStringLiteral("and then went home"),         QStringLiteral("for reasons of their own")};
    quint32 state = 2463534242u + quint32(seed) * 7919u;
    const auto next = [&state](qsizetype n) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return qsizetype(state % quint32(n));
    };
    QString text;
    int sentences = 0;
    while (text.size() < characters) {
        text += subjects.at(next(subjects.size())) + QLatin1Char(' ') + verbs.at(next(verbs.size())) +
                QLatin1Char(' ') + objects.at(next(objects.size())) + QLatin1Char(' ') +
                endings.at(next(endings.size())) +
                (next(5) == 0 ? QStringLiteral("? ") : QStringLiteral(". "));
        if (++sentences % 6 == 0)
            text += QStringLiteral("\n\n");
    }
    return text.left(characters);
}

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

struct Side
{
    double seconds = -1;
    double loadBefore = -1;
    double loadAfter = -1;
    bool ok = false;
};

Side shellLoop(const QString &sourceFolder, const QString &work, const QString &voice, int speed, int pitch)
{
    const QString script = QStringLiteral(
        "for f in \"$1\"/*.txt; do espeak-ng -v \"$3\" -s \"$4\" -p \"$5\" -w \"$2/x.wav\" -f \"$f\" "
        "&& lame -f \"$2/x.wav\" \"$2/$(basename \"$f\" .txt).mp3\" || exit 1; done");
    QProcess shell;
    shell.setStandardOutputFile(QProcess::nullDevice());
    shell.setStandardErrorFile(QProcess::nullDevice());
    Side side;
    side.loadBefore = loadAverage();
    QElapsedTimer clock;
    clock.start();
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), sourceFolder, work,
                                       voice, QString::number(speed), QString::number(pitch)});
    shell.waitForFinished(-1);
    side.seconds = clock.elapsed() / 1000.0;
    side.loadAfter = loadAverage();
    side.ok = shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0 &&
              QDir(work).entryList({QStringLiteral("*.mp3")}, QDir::Files).size() == FileCount;
    return side;
}

Side batchWindow(BatchText2Sound &batch, AppState &state, QuietDialogs &dialogs, const QString &target)
{
    Side side;
    batch.File1->selectAll();
    const qsizetype messagesBefore = dialogs.messages.size();
    side.loadBefore = loadAverage();
    QElapsedTimer clock;
    clock.start();
    batch.Command2->click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!state.job.Running)
            loop.quit();
    });
    poll.start(5);
    if (state.job.Running)
        loop.exec();
    side.seconds = clock.elapsed() / 1000.0;
    side.loadAfter = loadAverage();
    side.ok = dialogs.messages.size() == messagesBefore + 1 &&
              dialogs.messages.last() == QStringLiteral("Converting is complete") &&
              batch.Label3->text() == QStringLiteral("%1/%1").arg(FileCount) &&
              QDir(target).entryList({QStringLiteral("*.mp3")}, QDir::Files).size() == FileCount;
    return side;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    useBenchHome(home, "benchBatch");
    QApplication app(argc, argv);
    QuietDialogs dialogs;
    Dialogs::install(&dialogs);
    AppState state;
    ttsmain w(state);
    if (w.Form_Load(QString()) != ttsmain::LoadResult::Running)
        return 1;

    int row = -1;
    for (int i = 0; i < w.Combo1->count() && row < 0; ++i)
        if (VoiceCatalog::generationOf(w.Combo1->itemData(i).toInt()) == VoiceCatalog::Generation4 &&
            w.Combo1->itemText(i).startsWith(VoicePrefix))
            row = i;
    if (row < 0) {
        std::printf("batch bench: no eSpeak NG voice \"%s\"\n", qPrintable(VoicePrefix));
        return 1;
    }
    w.Command7_Click();
    w.Combo1->setCurrentIndex(row);
    w.Combo1_Click();
    // The shell loop speaks with the very voice, rate and pitch the window hands the recorder.
    QString voiceId;
    const QString voiceName = w.Combo1->currentText().chopped(9);
    for (const EngineVoice &voice : SynthEngine::espeak().voices())
        if (voice.name == voiceName)
            voiceId = voice.id;
    const int speed = w.DirectSS1->Speed();
    const int pitch = w.DirectSS1->Pitch();

    const QString source = home.filePath(QStringLiteral("texts"));
    const QString target = home.filePath(QStringLiteral("batch out"));
    const QString shellOut = home.filePath(QStringLiteral("shell out"));
    for (const QString &folder : {source, target, shellOut})
        QDir().mkpath(folder);
    for (int i = 1; i <= FileCount; ++i) {
        QFile file(source + QStringLiteral("/chapter %1.txt").arg(i, 2, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(prose(i, FileCharacters).toUtf8());
    }

    BatchText2Sound *batch = showBatchText2Sound(w);
    batch->setDir1Path(source);
    batch->Text1->setText(target);
    if (batch->File1->count() != FileCount)
        return 1;

    std::printf("batch of %d files x %d chars to MP3, voice %s (espeak-ng -v %s -s %d -p %d)\n", FileCount,
                FileCharacters, qPrintable(voiceName), qPrintable(voiceId), speed, pitch);
    const int runs = qMax(
        1, qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 3);
    QList<double> ratios;
    for (int run = 1; run <= runs; ++run) {
        for (const QString &folder : {target, shellOut})
            for (const QString &name : QDir(folder).entryList(QDir::Files))
                QFile::remove(folder + QLatin1Char('/') + name);
        Side shell, window;
        if (run % 2 == 1) {
            shell = shellLoop(source, shellOut, voiceId, speed, pitch);
            window = batchWindow(*batch, state, dialogs, target);
        } else {
            window = batchWindow(*batch, state, dialogs, target);
            shell = shellLoop(source, shellOut, voiceId, speed, pitch);
        }
        const double ratio = window.seconds / shell.seconds;
        ratios << ratio;
        std::printf("run %d: batch window %.2fs (load %.2f -> %.2f)%s; shell loop espeak-ng -w && lame -f "
                    "%.2fs (load %.2f -> %.2f)%s; ratio %.2f (target <= 1.1)\n",
                    run, window.seconds, window.loadBefore, window.loadAfter,
                    window.ok ? "" : " [the batch did not convert every file]", shell.seconds,
                    shell.loadBefore, shell.loadAfter, shell.ok ? "" : " [the shell loop failed]", ratio);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("batch window / shell loop: median ratio %.2f over %d runs (target <= 1.1)\n",
                ratios.at(ratios.size() / 2), runs);
    Dialogs::install(nullptr);
    return 0;
}
