// test-links: parlanto_speech
#include "platform/wav_writer.h"
#include "speech/directss.h"
#include "speech/flite_engine.h"
#include "speech/spvoice.h"
#include "speech/text_chunker.h"
#include "support/test_home.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// Writes a text into a WAV file through a generation-4 or -5 object, the file limited to
// `limit` bytes of audio; returns whether the file closed whole and why not.
struct FileRun
{
    bool ended = false;
    bool closed = false;
    QString error;
};

FileRun writeFile(int generation, const QString &path, const QString &text, qint64 limit)
{
    FileRun run;
    if (generation == 4) {
        DirectSS engine;
        WavWriter writer(path);
        if (!writer.open())
            return run;
        writer.setDataLimit(limit);
        engine.setAudioFile(&writer);
        QSignalSpy done(&engine, &DirectSS::TextDataDone);
        engine.TextData(0, 0, text);
        run.ended = done.wait(20000);
        run.closed = writer.close();
        run.error = writer.errorString();
    } else {
        SpVoice voice;
        SpFileStream stream;
        if (!stream.Open(path))
            return run;
        stream.writer()->setDataLimit(limit);
        voice.setAudioOutputStream(&stream);
        voice.Speak(text, SpVoice::SVSFlagsAsync);
        run.ended = voice.WaitUntilDone(20000);
        run.closed = stream.Close();
        run.error = stream.errorString();
    }
    return run;
}

// Speaks a text into a scratch file and returns the UTF-16 starts of the words reported.
QList<int> wordsOf(int generation, const QString &text)
{
    QList<int> starts;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("w.wav"));
    if (generation == 4) {
        DirectSS engine;
        WavWriter writer(path);
        writer.open();
        engine.setAudioFile(&writer);
        QObject::connect(&engine, &DirectSS::WordPosition,
                         [&](int, int, int byteoffset) { starts.append(byteoffset / 2); });
        QSignalSpy done(&engine, &DirectSS::TextDataDone);
        engine.TextData(0, 0, text);
        done.wait(20000);
    } else {
        SpVoice voice;
        SpFileStream stream;
        stream.Open(path);
        voice.setAudioOutputStream(&stream);
        QObject::connect(&voice, &SpVoice::Word,
                         [&](int, qint64, int position, int) { starts.append(position); });
        voice.Speak(text, SpVoice::SVSFlagsAsync);
        voice.WaitUntilDone(20000);
    }
    return starts;
}

bool isFlitePunctuation(char c)
{
    return c != '\0' && QByteArrayView("\"'`.,:;!?(){}[]").contains(c);
}

} // namespace

class TestSpeechFaults : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void failedWritesEndTheJob_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("fullDevice");
        QTest::addColumn<QString>("reason");
        QTest::newRow("eSpeak NG, full device") << 4 << true << "No space left";
        QTest::newRow("Flite, full device") << 5 << true << "No space left";
        QTest::newRow("eSpeak NG, past the size limit") << 4 << false << "4 GiB";
        QTest::newRow("Flite, past the size limit") << 5 << false << "4 GiB";
    }

    // A file that cannot take the audio ends the job with the reason, and no partial file
    // is left to pass for a finished one.
    void failedWritesEndTheJob()
    {
        QFETCH(int, generation);
        QFETCH(bool, fullDevice);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = fullDevice ? QStringLiteral("/dev/full") : dir.filePath(QStringLiteral("a.wav"));
        if (fullDevice && !QFile::exists(path))
            QSKIP("no /dev/full here");
        QString text;
        for (int i = 0; i < 30; ++i)
            text += QStringLiteral("This sentence is long enough to fill a small file. ");
        const FileRun run = writeFile(generation, path, text, fullDevice ? WavWriter::MaxDataBytes : 100000);
        QVERIFY2(run.ended, "the job never ended");
        QVERIFY(!run.closed);
        QVERIFY2(run.error.contains(reason), qPrintable(run.error));
        if (fullDevice)
            QVERIFY(QFile::exists(path)); // a device is never removed
        else
            QVERIFY(!QFile::exists(path));
    }

    void lineEndsInsideAParagraphAreBlanks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("engineText");
        QTest::addColumn<QList<int>>("chunkEnds");
        QTest::newRow("wrapped sentence") << "One two\nthree four.\nFive six."
                                          << "One two three four. Five six." << QList<int>{20, 29};
        QTest::newRow("windows line ends") << "One two\r\nthree. Four\r\n\r\nFive"
                                           << "One two  three. Four\r\n\r\nFive" << QList<int>{16, 24, 28};
        QTest::newRow("blank line with blanks") << "Title\n  \t\nBody text\n"
                                                << "Title\n  \t\nBody text " << QList<int>{10, 20};
        QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << "a b"
                             << QList<int>{3};
        QTest::newRow("old mac line ends") << "a\rb\r\rc"
                                           << "a b\r\rc" << QList<int>{5, 6};
    }

    // Hard-wrapped prose is one paragraph to the engines; blank lines and sentence ends still
    // end a piece, and no offset moves.
    void lineEndsInsideAParagraphAreBlanks()
    {
        QFETCH(QString, text);
        QFETCH(QString, engineText);
        QFETCH(QList<int>, chunkEnds);
        QCOMPARE(TextChunker::engineText(text), engineText);
        QList<int> ends;
        for (int start = 0; start < engineText.size();)
            ends.append(start = TextChunker::chunkEnd(engineText, start, TextChunker::ChunkLimit));
        QCOMPARE(ends, chunkEnds);
    }

    // Wrapped at every few words or not at all, a paragraph sounds the same.
    void wrappedProseIsSpokenWithoutPausesAtLineEnds()
    {
        const QString flat =
            QStringLiteral("The licence grants you the right to copy and share the work with "
                           "others, provided that this notice travels with every copy you make.");
        QString wrapped = flat;
        for (int i = 20; i < wrapped.size(); i += 20) {
            const int blank = int(wrapped.indexOf(u' ', i));
            if (blank < 0)
                break;
            wrapped[blank] = u'\n';
            i = blank;
        }
        QTemporaryDir dir;
        for (const int generation : {4, 5}) {
            const QString a = dir.filePath(QStringLiteral("flat.wav")),
                          b = dir.filePath(QStringLiteral("wrapped.wav"));
            QVERIFY(writeFile(generation, a, flat, WavWriter::MaxDataBytes).closed);
            QVERIFY(writeFile(generation, b, wrapped, WavWriter::MaxDataBytes).closed);
            // eSpeak NG varies by a few samples from one run to the next.
            QVERIFY2(std::abs(double(QFileInfo(b).size()) / double(QFileInfo(a).size()) - 1) < 0.005,
                     qPrintable(QStringLiteral("%1 / %2").arg(QFileInfo(b).size()).arg(QFileInfo(a).size())));
            QCOMPARE(wordsOf(generation, wrapped), wordsOf(generation, flat));
        }
    }

    void nulCharactersAreBlanksToTheEngines_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("eSpeak NG") << 4;
        QTest::newRow("Flite") << 5;
    }

    void nulCharactersAreBlanksToTheEngines()
    {
        QFETCH(int, generation);
        const QString text =
            QStringLiteral("Hello there") + QChar(0) + QStringLiteral(" good morning to you.");
        const QList<int> starts = wordsOf(generation, text);
        QVERIFY2(starts.contains(int(text.indexOf(QLatin1String("morning")))),
                 qPrintable(QString::number(starts.size())));
        QVERIFY(starts.contains(int(text.indexOf(QLatin1String("you")))));
    }

    // Random texts rich in punctuation: the stand-in keeps every offset and every other
    // character, and never holds a run of punctuation long enough to hurt libflite.
    void fliteStandInBoundsPunctuationRuns()
    {
        const QString alphabet = QStringLiteral(".,!?:;)(]}[{\"'`-a1 \n\u2026\u201d\u00e9\u4e2d");
        QRandomGenerator random(19);
        for (int round = 0; round < 2000; ++round) {
            QString text;
            const int length = int(random.bounded(1, 700));
            // Long runs of one character as well as mixed ones.
            while (text.size() < length) {
                const QChar c = alphabet.at(int(random.bounded(int(alphabet.size()))));
                text += QString(int(random.bounded(1, random.bounded(2) ? 3 : 500)), c);
            }
            const QByteArray ascii = FliteEngine::asciiStandIn(text);
            QCOMPARE(ascii.size(), text.size());
            int run = 0;
            for (qsizetype i = 0; i < ascii.size(); ++i) {
                const char c = ascii.at(i);
                run = isFlitePunctuation(c) ? run + 1 : 0;
                QVERIFY2(run <= FliteEngine::MaxPunctuationRun, qPrintable(text));
                QVERIFY(uchar(c) >= 0x20 || c == '\n' || c == '\t' || c == '\r');
                if (text.at(i).isLetterOrNumber() && text.at(i).unicode() < 0x80)
                    QCOMPARE(c, char(text.at(i).unicode()));
            }
        }
    }

    // The texts that used to crash the program in libflite are spoken to the end.
    void punctuationRunsAreSpokenWithFlite()
    {
        QRandomGenerator random(7);
        QStringList texts{QStringLiteral("Hi. ") + QString(400, u'.') + QStringLiteral(" After the dots."),
                          QStringLiteral("Mixed ") + QStringLiteral(".,!?:;)]}").repeated(60) +
                              QStringLiteral(" end")};
        for (int i = 0; i < 3; ++i) {
            QString text = QStringLiteral("Word");
            while (text.size() < 600)
                text += QString(int(random.bounded(1, 400)),
                                QStringLiteral(".,!?:;)]}").at(int(random.bounded(9)))) +
                        QStringLiteral(" x");
            texts.append(text);
        }
        for (const QString &text : std::as_const(texts)) {
            const QList<int> starts = wordsOf(5, text);
            QVERIFY(!starts.isEmpty());
            QCOMPARE(starts.last(), int(text.lastIndexOf(QLatin1Char(' ')) + 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestSpeechFaults)
#include "test_speech_faults.moc"
