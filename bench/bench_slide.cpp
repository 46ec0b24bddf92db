// Times loading a word list of a million lines; measures the memory and time a list at the size
// limit costs (250 MB of empty lines, and 250 MB in one long line); and when the slide reader
// shows each word of a three-word run with a delay of two seconds against when it should (0.1,
// 2.1, 4.1 s, end 6.1 s).
#include "app/app_state.h"
#include "app/slide_read_aloud_host.h"
#include "app/ttsmain.h"
#include "tools/SlideReadAloud.h"
#include "tools/slide_rules.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

namespace {

constexpr int ListLines = 1000000;

bool writeList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray words[] = {"apple\n", "Grüße\n", "привет\n", "日本語\n", "a longer phrase here\n"};
    QByteArray all;
    for (int i = 0; i < ListLines; ++i)
        all += words[i % 5];
    return file.write(all) == all.size();
}

struct LoadTime
{
    double wall = 1e9; // seconds, best of three
    double cpu = 1e9;  // processor seconds of this process, best of three
};

// Wall and processor time: on a busy machine the wall time also counts other programs' turns.
LoadTime timeLoad(const QString &path)
{
    LoadTime best;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        const SlideRules::WordFile file = SlideRules::readWordFile(path);
        best.cpu = std::min(best.cpu, double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        best.wall = std::min(best.wall, timer.nsecsElapsed() / 1e9);
        if (file.lines.size() != ListLines)
            return LoadTime{-1, -1};
    }
    return best;
}

// The process's resident size, or its peak since the last resetPeak(), in bytes.
qint64 residentBytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atoll(line.c_str() + std::strlen(field)) * 1024;
    return -1;
}

bool resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear.flush());
}

// A list of `size` bytes, `line` over and over (the last one cut to fit), then `tail`.
bool writeRepeated(const QString &path, qint64 size, const QByteArray &line, const QByteArray &tail = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    size -= tail.size();
    const QByteArray block = line.repeated(qMax<qsizetype>(1, (1 << 20) / line.size()));
    for (qint64 left = size; left > 0;) {
        const qint64 piece = qMin<qint64>(left, block.size());
        if (file.write(block.constData(), piece) != piece)
            return false;
        left -= piece;
    }
    return file.write(tail) == tail.size();
}

// Peak growth of the resident size and the wall time of reading the list at `path`.
bool measureLargeList(const QString &path, const char *what, qint64 expectedLines)
{
    const qint64 size = QFile(path).size();
    if (!resetPeak())
        return false;
    const qint64 before = residentBytes("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    qint64 lines = 0;
    {
        const SlideRules::WordFile file = SlideRules::readWordFile(path);
        lines = file.lines.size();
        if (!file.error.isEmpty())
            return false;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const qint64 growth = residentBytes("VmHWM:") - before;
    if (lines != expectedLines) {
        std::fprintf(stderr, "%s: %lld lines instead of %lld\n", what, static_cast<long long>(lines),
                     static_cast<long long>(expectedLines));
        return false;
    }
    std::printf("word list %s, %lld MB: %.2f s (%.2f s processor time, on a worker thread while the window "
                "paints), peak memory growth %.2f x the file (target <= 3)\n",
                what, static_cast<long long>(size >> 20), seconds, cpu, double(growth) / double(size));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // Settings go to a folder of the bench's own, never the user's.
    qputenv("PARLANTO_HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("PARLANTO_AUDIO"))
        qputenv("PARLANTO_AUDIO", "null");
    QApplication app(argc, argv);

    const QString big = dir.filePath(QStringLiteral("big.txt"));
    if (!writeList(big)) {
        std::fprintf(stderr, "cannot write the word list\n");
        return 1;
    }
    const LoadTime load = timeLoad(big);
    if (load.wall < 0) {
        std::fprintf(stderr, "word list load: wrong line count\n");
        return 1;
    }
    std::printf(
        "word list load %d lines (%lld bytes): %.3f s, %.3f s processor time (target well under 1 s)\n",
        ListLines, static_cast<long long>(QFile(big).size()), load.wall, load.cpu);

    // A list at the size limit: one byte per line, and one long line (then one short one).
    constexpr qint64 LimitListBytes = 250LL << 20;
    const QString large = dir.filePath(QStringLiteral("large.txt"));
    if (!writeRepeated(large, LimitListBytes, "\n") ||
        !measureLargeList(large, "of empty lines", LimitListBytes))
        return 1;
    if (!writeRepeated(large, LimitListBytes, "x", "\ny") || !measureLargeList(large, "in one long line", 2))
        return 1;
    QFile::remove(large);

    AppState state;
    ttsmain main(state);
    main.setProcessEnd([](int) {});
    if (main.Form_Load(QString()) != ttsmain::LoadResult::Running)
        return 1;
    const QString three = dir.filePath(QStringLiteral("three.txt"));
    QFile file(three);
    if (!file.open(QIODevice::WriteOnly) || file.write("one\ntwo\nthree\n") != 14)
        return 1;
    file.close();

    SlideReadAloud slide(slideReadAloudHost(main));
    slide.show();
    slide.Text1->setText(three);
    slide.SlideDelay->setValue(2);
    QList<double> moments;
    QElapsedTimer clock;
    QEventLoop loop;
    // Connected after the window's own handler: runs once the word is on screen.
    QObject::connect(slide.seriation, &QTimer::timeout, &slide, [&] {
        moments.append(clock.nsecsElapsed() / 1e9);
        if (!slide.SlideRunning)
            loop.quit();
    });
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    clock.start();
    slide.Command2->click();
    loop.exec();
    const double expected[] = {0.1, 2.1, 4.1, 6.1};
    if (moments.size() != 4) {
        std::fprintf(stderr, "slide run: %lld ticks instead of 4\n", static_cast<long long>(moments.size()));
        return 1;
    }
    double worst = 0;
    for (int i = 0; i < 4; ++i)
        worst = std::max(worst, std::abs(moments[i] - expected[i]));
    std::printf("slide run 3 words, delay 2: words at %.3f, %.3f, %.3f s, end at %.3f s; worst deviation "
                "%.0f ms (target <= 150 ms)\n",
                moments[0], moments[1], moments[2], moments[3], worst * 1000);
    return 0;
}
