// Documents: a 300-page PDF's text against poppler's own pdftotext (same run, load average
// beside), the first word heard after Open for documents of every size, and the memory a
// document takes in the main window against the size of its text.
#include "app/app_state.h"
#include "app/ttsmain.h"
#include "bench_home.h"
#include "platform/dialogs.h"
#include "speech/directss.h"
#include "speech/document_reader.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"
#include "support/document_fixtures.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A /proc/self/status figure in kB ("VmRSS", "VmHWM").
qint64 statusKb(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field)) + 1).trimmed().split(' ').first().toLongLong();
    return 0;
}

void resetPeakMemory()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The open dialog answers at once with the file, and notes when it "closed".
class OpenAnswer final : public Dialogs
{
public:
    QString file;
    QElapsedTimer closed;
    Answer message(QWidget *, const Message &) override { return Answer::No; }
    std::optional<FileAnswer> openFile(QWidget *, const FileRequest &) override
    {
        closed.start();
        return FileAnswer{file, 1};
    }
    std::optional<FileAnswer> saveFile(QWidget *, const FileRequest &) override { return std::nullopt; }
    std::optional<QFont> chooseFont(QWidget *, const QFont &, QColor &) override { return std::nullopt; }
    std::optional<QColor> chooseColour(QWidget *, const QColor &) override { return std::nullopt; }
    std::optional<QString> chooseFolder(QWidget *, const QString &, const QString &) override
    {
        return std::nullopt;
    }
};

struct OpenTiming
{
    double firstTextMs = -1;
    double firstWordMs = -1;
    double wholeMs = -1;
    qint64 characters = 0;
    double peakMb = 0;
};

// Open through the Open button; Speak as soon as the first text shows; time the first word
// heard, and the whole document's arrival.
OpenTiming openAndSpeak(ttsmain &w, OpenAnswer &dialogs, const QString &path)
{
    OpenTiming timing;
    w.Command6_Click();
    w.RichTextBox1->setPlainText(QString());
    {
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
    }
    const qint64 before = statusKb("VmRSS:");
    resetPeakMemory();
    dialogs.file = path;
    QEventLoop loop;
    bool spoke = false;
    const auto firstText = QObject::connect(w.RichTextBox1, &QPlainTextEdit::textChanged, &loop, [&] {
        if (spoke || w.RichTextBox1->document()->isEmpty())
            return;
        spoke = true;
        timing.firstTextMs = dialogs.closed.nsecsElapsed() / 1e6;
        w.Command5_Click();
    });
    const auto heard = [&] {
        if (timing.firstWordMs < 0)
            timing.firstWordMs = dialogs.closed.nsecsElapsed() / 1e6;
    };
    const auto a = QObject::connect(w.DirectSS1.get(), &DirectSS::WordPosition, &loop, heard);
    const auto b = QObject::connect(w.NewsVoice1.get(), &SpVoice::Word, &loop, heard);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (timing.wholeMs < 0 && !w.documentLoading() && spoke)
            timing.wholeMs = dialogs.closed.nsecsElapsed() / 1e6;
        if (timing.wholeMs >= 0 && timing.firstWordMs >= 0)
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    w.Command3_Click();
    loop.exec();
    QObject::disconnect(firstText);
    QObject::disconnect(a);
    QObject::disconnect(b);
    w.Command6_Click();
    timing.characters = w.RichTextBox1->document()->characterCount() - 1;
    timing.peakMb = double(statusKb("VmHWM:") - before) / 1024;
    return timing;
}

void printOpen(const char *what, const OpenTiming &t)
{
    const double textMb = double(t.characters) * 2 / (1024 * 1024);
    std::printf(
        "Open %s (load %s): first text %.0f ms, first word heard %.0f ms (target <= 1000 ms), whole "
        "document %.0f ms; %lld characters (%.1f MB as UTF-16), memory peak while opening +%.1f MB = %.1fx "
        "the text (target <= 5x)\n",
        what, qPrintable(loadAverage()), t.firstTextMs, t.firstWordMs, t.wholeMs,
        static_cast<long long>(t.characters), textMb, t.peakMb, textMb > 0 ? t.peakMb / textMb : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    useBenchHome(home, "benchDocuments");
    qputenv("PARLANTO_AUDIO", "null"); // real-time silent output: the path a listener takes
    QApplication app(argc, argv);
    QTemporaryDir files;
    const QString pdf = files.filePath(QStringLiteral("book.pdf"));
    if (!writeFile(pdf, Fixture::writeLongPdf(300))) {
        std::fprintf(stderr, "cannot write the test PDF\n");
        return 1;
    }

    // ---- The text of a 300-page PDF: Parlanto's reader against pdftotext.
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    double oursBest = 1e9, oursCpu = 0, theirsBest = 1e9, theirsCpu = 0;
    qsizetype characters = 0;
    int pages = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        const double cpu = cpuSeconds();
        timer.start();
        const DocumentText document = readDocumentFile(pdf);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!document.ok) {
            std::fprintf(stderr, "reading the PDF failed: %s\n", qPrintable(document.error));
            return 1;
        }
        characters = document.text.size();
        if (seconds < oursBest) {
            oursBest = seconds;
            oursCpu = cpuSeconds() - cpu;
        }
        if (pdftotext.isEmpty())
            continue;
        QProcess process;
        const double childCpu = childCpuSeconds();
        timer.restart();
        process.start(pdftotext, {pdf, files.filePath(QStringLiteral("book.txt"))});
        process.waitForFinished(120000);
        const double theirs = timer.nsecsElapsed() / 1e9;
        if (theirs < theirsBest) {
            theirsBest = theirs;
            theirsCpu = childCpuSeconds() - childCpu;
        }
    }
    {
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        info.waitForFinished(30000);
        for (const QByteArray &line : info.readAllStandardOutput().split('\n'))
            if (line.startsWith("Pages:"))
                pages = line.mid(6).trimmed().toInt();
    }
    if (pdftotext.isEmpty())
        std::printf(
            "PDF text, %d pages (load %s): Parlanto %.2f s (cpu %.2f s), %lld characters; pdftotext is not "
            "installed (poppler-utils)\n",
            pages, qPrintable(loadAverage()), oursBest, oursCpu, static_cast<long long>(characters));
    else
        std::printf(
            "PDF text, %d pages (load %s): Parlanto %.2f s (cpu %.2f s), pdftotext %.2f s (cpu %.2f s), "
            "ratio %.2f (target <= 1.2), %lld characters\n",
            pages, qPrintable(loadAverage()), oursBest, oursCpu, theirsBest, theirsCpu, oursBest / theirsBest,
            static_cast<long long>(characters));

    // ---- First word heard after Open, and memory, in the main window.
    OpenAnswer dialogs;
    Dialogs::install(&dialogs);
    AppState state;
    ttsmain w(state);
    w.setProcessEnd([](int) {});
    if (w.Form_Load(QString()) != ttsmain::LoadResult::Running)
        return 1;
    for (int i = 0; i < w.Combo1->count(); ++i)
        if (VoiceCatalog::generationOf(w.Combo1->itemData(i).toInt()) == VoiceCatalog::Generation4 &&
            w.Combo1->itemText(i).startsWith(QLatin1String("English"))) {
            w.Command7_Click();
            w.Combo1->setCurrentIndex(i);
            w.Combo1_Click();
            break;
        }

    // Libraries set themselves up on their first document (poppler's tables, Qt's text layout):
    // open a small document of each kind first, so that the figures are the document's own.
    const QString small = files.filePath(QStringLiteral("small.pdf"));
    writeFile(small, Fixture::writePdf(Fixture::sampleBook()));
    openAndSpeak(w, dialogs, small);
    const QString smallEpub = files.filePath(QStringLiteral("small.epub"));
    writeFile(smallEpub, Fixture::writeEpub(Fixture::sampleBook(), 3));
    openAndSpeak(w, dialogs, smallEpub);

    printOpen("300-page PDF", openAndSpeak(w, dialogs, pdf));
    printOpen("300-page PDF again", openAndSpeak(w, dialogs, pdf));

    Fixture::Book book = Fixture::sampleBook();
    const QList<Fixture::Block> chapter = book.blocks;
    for (int copy = 1; copy < 300; ++copy)
        book.blocks += chapter;
    const QString epub = files.filePath(QStringLiteral("book.epub"));
    writeFile(epub, Fixture::writeEpub(book, 3));
    printOpen("EPUB of 600 chapters", openAndSpeak(w, dialogs, epub));

    const QString text = files.filePath(QStringLiteral("book.txt"));
    {
        QFile file(text);
        if (file.open(QIODevice::WriteOnly)) {
            const QByteArray paragraph = Fixture::expectedText(Fixture::sampleBook()).toUtf8() + "\n\n";
            while (file.size() < 100 * 1024 * 1024)
                file.write(paragraph);
        }
    }
    printOpen("100 MB text file", openAndSpeak(w, dialogs, text));
    Dialogs::install(nullptr);
    return 0;
}
