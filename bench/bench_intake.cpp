// Times a second start of Parlanto handing text to the running window, from starting the
// second process to the first audio of that text; then the largest read command the window
// takes (lines, and one paragraph without a line end): how long the window is busy with it
// and how much memory it grows by. Run offscreen with PARLANTO_AUDIO=fast.
#include "app/app_state.h"
#include "app/ttsmain.h"
#include "bench_home.h"
#include "desktop/intake_command.h"
#include "platform/single_instance.h"
#include "speech/directss.h"
#include "speech/voice_catalog.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>
#include <vector>

namespace {

// The process's peak resident memory so far, in MB.
long peakMegabytes()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            std::sscanf(line + 6, "%ld", &kb);
    std::fclose(status);
    return kb / 1024;
}

// This thread's processor time in seconds: what the wall time would be on an idle machine.
double threadSeconds()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct Busy
{
    double wall = -1;
    double processor = 0;
};

// Sends the command from another thread and measures the window's work on it: until it has
// answered and the events the command left behind (drawing the new text) have run.
Busy handOver(const QString &command)
{
    SingleInstance sender;
    QElapsedTimer timer;
    timer.start();
    const double processorStart = threadSeconds();
    auto pending = std::async(std::launch::async, [&] { return sender.send(command, 60000); });
    while (pending.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    Busy busy;
    if (pending.get()) {
        busy.wall = double(timer.nsecsElapsed()) / 1e9;
        busy.processor = threadSeconds() - processorStart;
    }
    return busy;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    useBenchHome(home, "benchIntake");
    QApplication app(argc, argv);
    AppState state;
    ttsmain w(state);
    w.setProcessEnd([](int) {});
    if (w.Form_Load(QString()) != ttsmain::LoadResult::Running)
        return 1;
    for (int i = 0; i < w.Combo1->count(); ++i)
        if (w.Combo1->itemText(i).startsWith(QLatin1String("English (America)"))) {
            w.Command7_Click();
            w.Combo1->setCurrentIndex(i);
            w.Combo1_Click();
            break;
        }

    // The program sits beside this benchmark's folder in the build tree.
    const QString parlanto =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../src/parlanto"));
    std::vector<double> runs;
    for (int run = 0; run < 7; ++run) {
        QEventLoop loop;
        const auto quit = [&] { loop.quit(); };
        auto started = QObject::connect(w.DirectSS1.get(), &DirectSS::AudioStart, &loop, quit);
        QTimer::singleShot(10000, &loop, quit);
        QProcess second;
        QElapsedTimer timer;
        timer.start();
        second.start(parlanto,
                     {Intake::readCommand(QStringLiteral("Good morning, this is run %1.").arg(run))});
        loop.exec();
        runs.push_back(timer.nsecsElapsed() / 1e6);
        QObject::disconnect(started);
        second.waitForFinished(5000);
        w.Command6_Click();
    }
    std::sort(runs.begin(), runs.end());
    std::printf("second start to first audio of the handed-over text: median %.1f ms, best %.1f ms "
                "(target < 150 ms)\n",
                runs[runs.size() / 2], runs.front());

    // The largest read command, as lines and as one paragraph: the window answers only once
    // the text is in its box, so the answer's delay is how long the window was busy.
    const int payloadBytes = SingleInstance::MaxCommandBytes - Intake::PrefixLength;
    for (const bool lines : {true, false}) {
        const QString sentence = lines ? QStringLiteral("A line of a long text handed over at once.\n")
                                       : QStringLiteral("A sentence of one long paragraph handed over. ");
        QString text;
        while (text.size() < payloadBytes)
            text += sentence;
        text.truncate(payloadBytes);
        const long before = peakMegabytes();
        const Busy busy = handOver(Intake::readCommand(text));
        w.Command6_Click();
        std::printf("read command of %d KB (%s): window busy %.2f s, %.2f s of processor time (target "
                    "< 0.5 s), peak memory +%ld MB\n",
                    SingleInstance::MaxCommandBytes / 1024, lines ? "lines" : "one paragraph", busy.wall,
                    busy.processor, peakMegabytes() - before);
    }
    return 0;
}
