// test-links: parlanto_speech
#include "cli/convert_plan.h"
#include "support/test_home.h"

#include <QProcess>
#include <QtTest>

using namespace ConvertPlan;

class TestConvertRules : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void subtitleTimes_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("srt");
        QTest::addColumn<QString>("lrc");
        QTest::newRow("zero") << qint64(0) << "00:00:00,000"
                              << "00:00.00";
        QTest::newRow("below a hundredth") << qint64(9) << "00:00:00,009"
                                           << "00:00.00";
        QTest::newRow("minutes") << qint64(61234) << "00:01:01,234"
                                 << "01:01.23";
        QTest::newRow("past an hour") << qint64(3723456) << "01:02:03,456"
                                      << "62:03.45";
        QTest::newRow("negative clamps") << qint64(-5) << "00:00:00,000"
                                         << "00:00.00";
    }
    void subtitleTimes()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, srt);
        QFETCH(QString, lrc);
        QCOMPARE(srtTime(ms), srt);
        QCOMPARE(lrcTime(ms), lrc);
    }

    void outputNames_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("output");
        QTest::newRow("beside the input") << "notes/a.txt"
                                          << ""
                                          << "mp3"
                                          << "notes/a.mp3";
        QTest::newRow("into a folder") << "notes/a.b.rtf"
                                       << "out"
                                       << "wav"
                                       << "out/a.b.wav";
        QTest::newRow("standard input") << "-"
                                        << ""
                                        << "wav"
                                        << "speech.wav";
        QTest::newRow("standard input to a folder") << "-"
                                                    << "out"
                                                    << "mp3"
                                                    << "out/speech.mp3";
    }
    void outputNames()
    {
        QFETCH(QString, input);
        QFETCH(QString, folder);
        QFETCH(QString, extension);
        QFETCH(QString, output);
        QCOMPARE(QDir::cleanPath(outputFor(input, folder, extension)), output);
        QCOMPARE(besideOutput(QStringLiteral("x/a.b.mp3"), QStringLiteral("srt")),
                 QStringLiteral("x/a.b.srt"));
    }

    // Sentences start with their first spoken word and last until the next; times never fall
    // back; the last ends with the audio.
    void cuesFollowWords()
    {
        const QString text = QStringLiteral("One two. Three!\n\nFour");
        const QList<Word> words{{0, 3, 0}, {4, 3, 22050}, {9, 5, 44100}, {17, 4, 33075}};
        const QList<Cue> sentences = cues(text, words, 88200, false);
        QCOMPARE(sentences.size(), 3);
        QCOMPARE(sentences.at(0).text, QStringLiteral("One two."));
        QCOMPARE(sentences.at(0).startMs, 0);
        QCOMPARE(sentences.at(0).endMs, 2000);
        QCOMPARE(sentences.at(1).text, QStringLiteral("Three!"));
        QCOMPARE(sentences.at(2).startMs, 2000); // the engine's mark went back: held
        QCOMPARE(sentences.at(2).endMs, 4000);
        const QList<Cue> perWord = cues(text, words, 88200, true);
        QCOMPARE(perWord.size(), 4);
        QCOMPARE(perWord.at(1).text, QStringLiteral("two"));
        QCOMPARE(perWord.at(1).startMs, 1000);
        QCOMPARE(perWord.at(1).endMs, 2000);
        QCOMPARE(srtText(perWord.mid(0, 1)), QStringLiteral("1\n00:00:00,000 --> 00:00:01,000\nOne\n\n"));
        QCOMPARE(lrcText(perWord.mid(0, 1), 88200), QStringLiteral("[00:00.00]One\n[00:04.00]\n"));
        QVERIFY(cues(text, {}, 100, false).isEmpty());
    }

    // A text spoken on several cores is cut into parts that cover it exactly, in order, each
    // ending where a sentence or paragraph ends (or, in a text without one, at a blank), and
    // none much longer than asked.
    void partsEndAtSentences_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("partChars");
        QTest::addColumn<int>("count");
        const QString sentences =
            QStringLiteral("The tide rose. Was the boat safe? Nobody knew! ").repeated(40);
        QTest::newRow("sentences") << sentences << 300 << 7;
        QTest::newRow("paragraphs without stops")
            << QStringLiteral("a line of words\n\nanother line of words\n\n").repeated(30) << 200 << 6;
        QTest::newRow("one endless sentence") << QStringLiteral("word ").repeated(500) << 1000 << 3;
        QTest::newRow("shorter than a part") << QStringLiteral("Just this.") << 2000 << 1;
    }
    void partsEndAtSentences()
    {
        QFETCH(QString, text);
        QFETCH(int, partChars);
        QFETCH(int, count);
        const QList<Part> cut = parts(text, partChars);
        QCOMPARE(cut.size(), count);
        int at = 0;
        for (const Part &part : cut) {
            QCOMPARE(part.start, at);
            QVERIFY(part.end > part.start && part.end - part.start < partChars + 400);
            at = part.end;
            if (at == text.size())
                break;
            QVERIFY(text.at(at - 1).isSpace());
            const QString body = text.left(at).trimmed();
            QVERIFY2(QStringLiteral(".?!").contains(body.back()) ||
                         text.mid(at - 2, 2) == QLatin1String("\n\n") || !text.contains(QLatin1Char('.')),
                     qPrintable(body.right(20)));
        }
        QCOMPARE(at, text.size());
    }

    // Usage errors exit with 2 and say what is wrong, before any speech engine loads.
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no input") << QStringList{} << "needs an input";
        QTest::newRow("unknown option") << QStringList{"--fast", "a.txt"} << "unknown option --fast";
        QTest::newRow("bad format") << QStringList{"--format", "ogg", "a.txt"} << "wav, mp3, opus or flac";
        QTest::newRow("bad bit rate")
            << QStringList{"--format", "mp3", "--bitrate", "33", "a.txt"} << "--bitrate takes";
        QTest::newRow("bit rate of flac")
            << QStringList{"--bitrate", "24", "-o", "a.flac", "a.txt"} << "--bitrate is for MP3 and Opus";
        QTest::newRow("vbr of opus") << QStringList{"--vbr", "--format", "opus", "a.txt"}
                                     << "--vbr is for MP3";
        QTest::newRow("chapters to standard output")
            << QStringList{"--chapters", "-o", "-", "a.txt"} << "cannot hold the files of --chapters";
        QTest::newRow("chapters into one file")
            << QStringList{"--chapters", "-o", "book.opus", "a.txt"} << "name the folder with --out-dir";
        QTest::newRow("two inputs to standard output")
            << QStringList{"-o", "-", "a.txt", "b.txt"} << "give one input";
        QTest::newRow("subtitles to standard output")
            << QStringList{"--srt", "-o", "-", "a.txt"} << "subtitles need an output file";
        QTest::newRow("bad chapter pattern") << QStringList{"--chapters", "--chapter-pattern", "(", "a.txt"}
                                             << "--chapter-pattern takes a regular expression";
        QTest::newRow("rate out of range") << QStringList{"--rate", "101", "a.txt"} << "0 to 100";
        QTest::newRow("no jobs") << QStringList{"--jobs", "0", "a.txt"} << "--jobs takes";
        QTest::newRow("missing value") << QStringList{"a.txt", "--voice"} << "--voice needs a value";
        QTest::newRow("-o for two") << QStringList{"-o", "x.wav", "a.txt", "b.txt"} << "use --out-dir";
        QTest::newRow("-o and --out-dir")
            << QStringList{"-o", "x.wav", "--out-dir", "d", "a.txt"} << "not both";
        QTest::newRow("words alone") << QStringList{"--words", "a.txt"} << "--lrc or --srt";
        QTest::newRow("stdin twice") << QStringList{"-", "-"} << "only once";
        QTest::newRow("same output") << QStringList{"a/x.txt", "b/x.rtf", "--out-dir", "o"}
                                     << "both be written";
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QProcess process;
        process.start(QStringLiteral(PARLANTO_CLI), QStringList{QStringLiteral("convert")} + args);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 2);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestConvertRules)
#include "test_convert_rules.moc"
