// Parlanto's own fuzz driver, for builds without libFuzzer: feeds a target mutated copies of its
// seeds for a short budget. A crash leaves the input that caused it in a file beside the
// program; an input that takes too long is written there too and ends the run as a failure.
//
//   fuzz_pdf [--seconds N] [--seed N]     mutate for N seconds (default 3)
//   fuzz_pdf FILE...                      run the target once on each file (to replay a crash)
#include "fuzz/fuzzing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

// The input in work, for the crash handler.
QByteArray current;
char crashPath[4096];

void writeCurrent(const char *path)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    const char *data = current.constData();
    size_t left = size_t(current.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0)
            break;
        data += written;
        left -= size_t(written);
    }
    ::close(fd);
}

void onCrash(int signal)
{
    writeCurrent(crashPath);
    static const char message[] = "fuzz: the input that crashed is saved beside the program (crash-*.bin)\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class Mutator
{
public:
    Mutator(QList<QByteArray> seeds, QList<QByteArray> words, quint64 seed)
        : m_seeds(std::move(seeds)), m_words(std::move(words)), m_random(quint32(seed ^ (seed >> 32)))
    {}

    QByteArray next()
    {
        QByteArray data = m_seeds.at(int(m_random.bounded(quint32(m_seeds.size()))));
        const int steps = 1 + int(m_random.bounded(8u));
        for (int i = 0; i < steps; ++i)
            mutate(data);
        return data;
    }

private:
    quint32 below(qsizetype n) { return n <= 0 ? 0 : m_random.bounded(quint32(n)); }

    void mutate(QByteArray &data)
    {
        // The first byte of a container target says which part the rest is: keep it.
        const qsizetype from = data.size() > 1 ? 1 : 0;
        const qsizetype size = data.size() - from;
        switch (m_random.bounded(9u)) {
        case 0: // flip a bit
            if (size > 0)
                data[from + below(size)] ^= char(1u << below(8));
            break;
        case 1: // a byte of any value, or one that parsers look for
            if (size > 0) {
                static const char special[] = {0,   '\xFF', '\x7F', '\x80', '<',  '>', '{',
                                               '}', '\\',   '&',    ' ',    '\n', '0', '9'};
                data[from + below(size)] =
                    m_random.bounded(2u) ? char(below(256)) : special[below(sizeof special)];
            }
            break;
        case 2: // cut a run out
            if (size > 0) {
                const qsizetype at = from + below(size);
                data.remove(at, 1 + below(std::min<qsizetype>(data.size() - at, 256)));
            }
            break;
        case 3: // repeat a run
            if (size > 0 && data.size() < 4 * 1024 * 1024) {
                const qsizetype at = from + below(size);
                const QByteArray run = data.mid(at, 1 + below(64));
                data.insert(from + below(size + 1), run.repeated(1 + int(below(4))));
            }
            break;
        case 4: // a word of the format
            if (!m_words.isEmpty())
                data.insert(from + below(size + 1), m_words.at(int(below(m_words.size()))));
            break;
        case 5: // cut the end off
            if (size > 1)
                data.truncate(from + below(size));
            break;
        case 6: // a piece of another seed
        {
            const QByteArray &other = m_seeds.at(int(below(m_seeds.size())));
            if (other.size() > 1) {
                const qsizetype at = 1 + below(other.size() - 1);
                data.insert(from + below(size + 1), other.mid(at, 1 + below(512)));
            }
            break;
        }
        case 7: // a number made large, small or negative
        {
            static const char *numbers[] = {"0", "-1", "4294967295", "2147483648", "99999999999999999999",
                                            "-0"};
            data.insert(from + below(size + 1), numbers[below(6)]);
            break;
        }
        default: // swap two bytes
            if (size > 1) {
                const qsizetype a = from + below(size), b = from + below(size);
                std::swap(data[a], data[b]);
            }
            break;
        }
    }

    QList<QByteArray> m_seeds;
    QList<QByteArray> m_words;
    QRandomGenerator m_random;
};

// Ends the process when one input runs far longer than any should (a hang), saving it first.
class Watchdog
{
public:
    explicit Watchdog(const QString &slowPath) : m_slowPath(QFile::encodeName(slowPath))
    {
        m_thread = std::thread([this] { watch(); });
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    void started()
    {
        std::lock_guard lock(m_mutex);
        ++m_input;
        m_changed.notify_all();
    }

private:
    static constexpr auto Limit = std::chrono::seconds(20);

    void watch()
    {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            const quint64 input = m_input;
            if (!m_changed.wait_for(lock, Limit, [&] { return m_stop || m_input != input; }) && input != 0) {
                writeCurrent(m_slowPath.constData());
                std::fprintf(stderr, "fuzz: one input took more than %lld s; it is saved in %s\n",
                             static_cast<long long>(Limit.count()), m_slowPath.constData());
                std::_Exit(1);
            }
        }
    }

    QByteArray m_slowPath;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    quint64 m_input = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the PDF seeds are written with Qt's own fonts
    QStringList files;
    double seconds = 3;
    quint64 seed = quint64(std::chrono::steady_clock::now().time_since_epoch().count());
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--seconds") && i + 1 < arguments.size())
            seconds = arguments[++i].toDouble();
        else if (arguments[i] == QLatin1String("--seed") && i + 1 < arguments.size())
            seed = arguments[++i].toULongLong();
        else
            files.append(arguments[i]);
    }

    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString folder = QCoreApplication::applicationDirPath();
    qsnprintf(
        crashPath, sizeof crashPath, "%s",
        QFile::encodeName(folder + QStringLiteral("/crash-") + name + QStringLiteral(".bin")).constData());
    for (const int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL})
        std::signal(signal, onCrash);

    if (!files.isEmpty()) {
        for (const QString &path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return 2;
            current = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(current.constData()),
                                   size_t(current.size()));
        }
        return 0;
    }

    const QList<QByteArray> seeds = fuzzSeeds();
    if (seeds.isEmpty()) {
        std::fprintf(stderr, "fuzz: no seeds\n");
        return 2;
    }
    Mutator mutator(seeds, fuzzDictionary(), seed);
    Watchdog watchdog(folder + QStringLiteral("/slow-") + name + QStringLiteral(".bin"));
    QElapsedTimer clock;
    clock.start();
    qint64 runs = 0;
    // Every seed as it is first, then mutations until the budget is spent.
    for (const QByteArray &input : seeds) {
        current = input;
        watchdog.started();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(current.constData()),
                               size_t(current.size()));
        ++runs;
    }
    while (clock.elapsed() < qint64(seconds * 1000)) {
        current = mutator.next();
        watchdog.started();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(current.constData()),
                               size_t(current.size()));
        ++runs;
    }
    std::printf("%s: %lld inputs in %.1f s (seed %llu), no crash\n", qPrintable(name),
                static_cast<long long>(runs), double(clock.elapsed()) / 1000,
                static_cast<unsigned long long>(seed));
    return 0;
}
