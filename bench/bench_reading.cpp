// Times starting to read a 1 MB document against a short one, word highlights deep inside the
// large document, and the length recount after an edit. Run offscreen with PARLANTO_AUDIO=fast.
#include "app/app_state.h"
#include "app/ttsmain.h"
#include "bench_home.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QString document(qsizetype characters)
{
    const QString sentence =
        QStringLiteral("The quick brown fox jumps over the lazy dog near the river bank. ");
    QString text;
    text.reserve(characters + sentence.size());
    // Paragraphs of ten sentences, as a long document has them.
    for (int i = 0; text.size() < characters; ++i)
        text += (i % 10 == 9) ? sentence.trimmed() + QLatin1Char('\n') : sentence;
    return text;
}

// Milliseconds from the Speak action until the first word is highlighted.
double timeToFirstWord(ttsmain &w, const QString &text)
{
    w.RichTextBox1->setPlainText(text);
    {
        // A document is loaded well before Speak is pressed: let the editor finish its own
        // work on it first, so that only the Speak path is timed.
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
    }
    QEventLoop loop;
    const auto quit = [&] { loop.quit(); };
    auto a = QObject::connect(w.DirectSS1.get(), &DirectSS::WordPosition, &loop, quit);
    auto b = QObject::connect(w.NewsVoice1.get(), &SpVoice::Word, &loop, quit);
    QTimer::singleShot(30000, &loop, quit);
    QElapsedTimer timer;
    timer.start();
    w.Command5_Click();
    const double actionMs = timer.nsecsElapsed() / 1e6;
    loop.exec();
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("  (the Speak action itself: %.1f ms for %lld characters)\n", actionMs,
                static_cast<long long>(text.size()));
    QObject::disconnect(a);
    QObject::disconnect(b);
    w.Command6_Click();
    return ms;
}

int pick(ttsmain &w, int generation)
{
    for (int i = 0; i < w.Combo1->count(); ++i)
        if (VoiceCatalog::generationOf(w.Combo1->itemData(i).toInt()) == generation) {
            w.Command7_Click();
            w.Combo1->setCurrentIndex(i);
            w.Combo1_Click();
            return i;
        }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    useBenchHome(home, "bench");
    QApplication app(argc, argv);
    AppState state;
    ttsmain w(state);
    w.setProcessEnd([](int) {});
    if (w.Form_Load(QString()) != ttsmain::LoadResult::Running)
        return 1;

    const QString big = document(1024 * 1024);
    const QString small = document(200);
    for (int generation : {4, 5}) {
        if (pick(w, generation) < 0)
            continue;
        const double shortMs = timeToFirstWord(w, small);
        const double bigMs = timeToFirstWord(w, big);
        std::printf(
            "first word, generation %d: short text %.1f ms, 1 MB text %.1f ms (target: about equal)\n",
            generation, shortMs, bigMs);
    }

    // 10000 word highlights near the end of the 1 MB document.
    w.RichTextBox1->setPlainText(big);
    w.DocumentLength = int(big.size());
    w.SpeakStart = int(big.size()) - 20000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 10000; ++i)
        w.DirectSS1_WordPosition(0, 0, 2 * (i % 19000));
    std::printf("word highlight in a 1 MB text: %.1f us each (target < 100 us)\n",
                timer.nsecsElapsed() / 1e3 / 10000);

    // One edit and its recount.
    timer.restart();
    w.RichTextBox1->textCursor().insertText(QStringLiteral("x"));
    w.MonitorText1Len_Timer();
    std::printf("edit and recount in a 1 MB text: %.2f ms (target < 5 ms)\n", timer.nsecsElapsed() / 1e6);
    return 0;
}
