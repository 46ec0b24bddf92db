// test-links: parlanto_tools
#include "speech/text_decoder.h"
#include "tools/slide_rules.h"

#include <QTemporaryDir>
#include <QtTest>

#include <set>

namespace {

// The lines as the whole text decoded at once and split at its line ends.
QStringList linesOfWholeText(const QByteArray &bytes, const QByteArray &localeCodeset)
{
    const QString text = TextDecoding::decodePlainText(bytes, localeCodeset);
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    return lines;
}

} // namespace

class SlideRulesTest : public QObject
{
    Q_OBJECT
private slots:
    void wordFileLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("localeCodeset");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("caption");
        const QByteArray utf8 = "UTF-8";
        QTest::newRow("LF, as Linux editors write")
            << QByteArray("one\ntwo\nthree\n") << utf8 << QStringList{"one", "two", "three"} << "3 words";
        QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n") << utf8 << QStringList{"one", "two"}
                               << "2 words";
        QTest::newRow("CR") << QByteArray("one\rtwo\r") << utf8 << QStringList{"one", "two"} << "2 words";
        QTest::newRow("mixed ends") << QByteArray("a\r\nb\rc\nd") << utf8 << QStringList{"a", "b", "c", "d"}
                                    << "4 words";
        QTest::newRow("LF then CR ends two lines")
            << QByteArray("a\n\rb") << utf8 << QStringList{"a", "", "b"} << "3 words";
        QTest::newRow("final line without an end")
            << QByteArray("first\nlast") << utf8 << QStringList{"first", "last"} << "2 words";
        QTest::newRow("empty lines are entries")
            << QByteArray("a\n\n\r\n\rb\n") << utf8 << QStringList{"a", "", "", "", "b"} << "5 words";
        QTest::newRow("nothing trimmed")
            << QByteArray("  two words \t\n x") << utf8 << QStringList{"  two words \t", " x"} << "2 words";
        QTest::newRow("empty file") << QByteArray() << utf8 << QStringList{} << "0 word";
        QTest::newRow("one line") << QByteArray("only") << utf8 << QStringList{"only"} << "1 word";
        QTest::newRow("one line with its end")
            << QByteArray("only\r\n") << utf8 << QStringList{"only"} << "1 word";
        QTest::newRow("a lone line end") << QByteArray("\n") << utf8 << QStringList{""} << "1 word";
        QTest::newRow("two empty lines")
            << QByteArray("\r\n\r\n") << utf8 << QStringList{"", ""} << "2 words";
        QTest::newRow("UTF-8, several languages")
            << QByteArray("Grüße\nпривет\n日本語\nελληνικά") << utf8
            << QStringList{"Grüße", "привет", "日本語", "ελληνικά"} << "4 words";
        QTest::newRow("UTF-8 with a byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                                    "café\r\nnaïve")
                                                      << utf8 << QStringList{"café", "naïve"} << "2 words";
        QTest::newRow("UTF-16 LE with a byte-order mark") << QByteArray("\xFF\xFE"
                                                                        "a\0\r\0\n\0\xE9\0\n\0",
                                                                        12)
                                                          << utf8 << QStringList{"a", "é"} << "2 words";
        QTest::newRow("the locale's encoding")
            << QByteArray("\xF0\xD2\xC9\xD7\xC5\xD4\nda") << QByteArray("KOI8-R")
            << QStringList{"Привет", "da"} << "2 words";
        QTest::newRow("Windows-1252 when nothing else fits")
            << QByteArray("caf\xE9\rna\xEFve") << utf8 << QStringList{"café", "naïve"} << "2 words";
        QTest::newRow("UTF-16 BE with a byte-order mark")
            << QByteArray("\xFE\xFF\0a\0\r\0\n\0b", 10) << utf8 << QStringList{"a", "b"} << "2 words";
        QTest::newRow("UTF-16 LE without a mark")
            << QByteArray("a\0\n\0b\0\n\0", 8) << utf8 << QStringList{"a", "b"} << "2 words";
        QTest::newRow("NUL bytes in 8-bit text")
            << QByteArray("a\0\nb\0\n", 6) << utf8
            << QStringList{QString::fromUtf8("a\0", 2), QString::fromUtf8("b\0", 2)} << "2 words";
        QTest::newRow("a character cut off by the line end")
            << QByteArray("\xEF\xBB\xBF"
                          "a\xE6\x97\rb\xE6")
            << utf8 << QStringList{"a\uFFFD\uFFFD", "b\uFFFD"} << "2 words";
        QTest::newRow("a multi-byte locale encoding")
            << QByteArray("\x93\xFA\x96\x7B\r\n\x82\xA0") << QByteArray("SHIFT_JIS")
            << QStringList{"日本", "あ"} << "2 words";
    }
    void wordFileLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, localeCodeset);
        QFETCH(QStringList, lines);
        QFETCH(QString, caption);
        const QStringList got = SlideRules::wordLinesOfBytes(bytes, localeCodeset);
        QCOMPARE(got, lines);
        QCOMPARE(SlideRules::countCaption(got.size()), caption);
        QCOMPARE(SlideRules::hasWords(got.size()), got.size() >= 2);
        // Lines decoded one at a time are the lines of the whole text decoded at once.
        QCOMPARE(got, linesOfWholeText(bytes, localeCodeset));

        // The same bytes from a file; a missing file or a folder has no lines and says why.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        if (localeCodeset == "UTF-8") {
            const SlideRules::WordFile read = SlideRules::readWordFile(path);
            QCOMPARE(read.lines.toList(), lines);
            QVERIFY(read.error.isEmpty());
        }
        for (const QString &unreadable : {dir.filePath(QStringLiteral("gone.txt")), dir.path()}) {
            const SlideRules::WordFile read = SlideRules::readWordFile(unreadable);
            QVERIFY(read.lines.isEmpty());
            QVERIFY(read.error.contains(unreadable));
        }
    }

    // Any line of a long list, in any order, is the line the whole text has there.
    void randomAccessInALongList()
    {
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i)
            bytes += QByteArray::number(i) +
                     (i % 3 == 0   ? "\r\n"
                      : i % 3 == 1 ? "\r"
                                   : "\n") +
                     (i % 7 == 0 ? "\n" : "");
        const QStringList expected = linesOfWholeText(bytes, "UTF-8");
        const SlideRules::WordLines lines = SlideRules::WordLines::fromBytes(bytes, "UTF-8");
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = expected.size() - 1; i >= 0; i -= 7)
            QCOMPARE(lines.value(i), expected.at(i));
        QCOMPARE(lines.value(-1), QString());
        QCOMPARE(lines.value(expected.size()), QString());

        // Of a line too long to show, its start is shown, cut between characters.
        const qsizetype longest = SlideRules::WordLines::LongestLine;
        const QString e = QString::fromUtf16(u"\u00E9");
        const QByteArray longLine = "a" + e.repeated(longest).toUtf8() + "\nb";
        const SlideRules::WordLines cut = SlideRules::WordLines::fromBytes(longLine, "UTF-8");
        QCOMPARE(cut.size(), 2);
        QCOMPARE(cut.value(0), "a" + e.repeated((longest - 1) / 2));
        QCOMPARE(cut.value(1), QStringLiteral("b"));
    }

    void order_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("wordIndex");
        QTest::addColumn<int>("wordCount");
        QTest::addColumn<int>("newIndex"); // -1: the step only stops the run
        QTest::addColumn<QString>("progress");
        QTest::newRow("first tick shows word 1") << "tick" << 0 << 3 << 1 << "1/3 words";
        QTest::newRow("tick to the last word") << "tick" << 2 << 3 << 3 << "3/3 words";
        QTest::newRow("tick past the last word stops") << "tick" << 3 << 3 << -1 << "";
        QTest::newRow("tick on an empty list stops") << "tick" << 0 << 0 << -1 << "";
        QTest::newRow("previous from word 2") << "previous" << 2 << 3 << 1 << "1/3 words";
        QTest::newRow("previous on the first word only stops") << "previous" << 1 << 3 << -1 << "";
        QTest::newRow("previous before any word only stops") << "previous" << 0 << 3 << -1 << "";
        QTest::newRow("previous after a finished run") << "previous" << 4 << 3 << 3 << "3/3 words";
        QTest::newRow("next before any word shows the first") << "next" << 0 << 3 << 1 << "1/3 words";
        QTest::newRow("next to the last word") << "next" << 2 << 3 << 3 << "3/3 words";
        QTest::newRow("next on the last word only stops") << "next" << 3 << 3 << -1 << "";
        QTest::newRow("next after a finished run only stops") << "next" << 4 << 3 << -1 << "";
        QTest::newRow("next without a list only stops") << "next" << 0 << 0 << -1 << "";
    }
    void order()
    {
        QFETCH(QString, step);
        QFETCH(int, wordIndex);
        QFETCH(int, wordCount);
        QFETCH(int, newIndex);
        QFETCH(QString, progress);
        std::optional<int> got;
        if (step == QLatin1String("tick")) {
            const SlideRules::Tick tick = SlideRules::tick(wordIndex, wordCount);
            QCOMPARE(tick.wordIndex, wordIndex + 1);
            if (!tick.stop)
                got = tick.wordIndex;
        } else if (step == QLatin1String("previous")) {
            got = SlideRules::previousIndex(wordIndex);
        } else {
            got = SlideRules::nextIndex(wordIndex, wordCount);
        }
        QCOMPARE(got.value_or(-1), newIndex);
        if (got)
            QCOMPARE(SlideRules::progressText(*got, SlideRules::countCaption(wordCount)), progress);
    }

    // Random picks cover the list, stay in range and are independent: a word can come twice in
    // a row. Two generators seeded at different moments do not draw the same sequence.
    void randomOrder()
    {
        std::mt19937 generator = SlideRules::seededGenerator();
        std::set<int> seen;
        int repeats = 0;
        int last = 0;
        for (int i = 0; i < 3000; ++i) {
            const int pick = SlideRules::randomPick(generator, 3);
            QVERIFY(pick >= 1 && pick <= 3);
            seen.insert(pick);
            repeats += pick == last;
            last = pick;
        }
        QCOMPARE(int(seen.size()), 3);
        QVERIFY(repeats > 500 && repeats < 1500); // about a third of the picks
        QCOMPARE(SlideRules::randomPick(generator, 1), 1);
        QCOMPARE(SlideRules::randomPick(generator, 0), 0);

        std::mt19937 a = SlideRules::seededGenerator();
        std::mt19937 b = SlideRules::seededGenerator();
        QList<int> fromA, fromB;
        for (int i = 0; i < 20; ++i) {
            fromA.append(SlideRules::randomPick(a, 1000000));
            fromB.append(SlideRules::randomPick(b, 1000000));
        }
        QVERIFY(fromA != fromB);
    }

    void layout_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<int>("wordHeight");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("word");
        QTest::addColumn<QPoint>("frameAt");
        QTest::newRow("as designed") << QSize(640, 480) << 120 << QSize(600, 104) << QRect(0, 120, 640, 120)
                                     << QPoint(20, 272);
        QTest::newRow("wide and tall")
            << QSize(1920, 1080) << 120 << QSize(600, 104) << QRect(0, 270, 1920, 120) << QPoint(660, 872);
        QTest::newRow("narrower than the panel")
            << QSize(400, 300) << 80 << QSize(600, 104) << QRect(0, 75, 400, 80) << QPoint(-100, 92);
    }
    void layout()
    {
        QFETCH(QSize, window);
        QFETCH(int, wordHeight);
        QFETCH(QSize, frame);
        QFETCH(QRect, word);
        QFETCH(QPoint, frameAt);
        const SlideRules::Layout got = SlideRules::layout(window, wordHeight, frame);
        QCOMPARE(got.word, word);
        QCOMPARE(got.frame, frameAt);
    }

    void pathsAndEdit_data()
    {
        QTest::addColumn<QString>("answered");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("editable");
        QTest::newRow("plain") << "/home/u/lists/words.txt"
                               << "/home/u/lists/words.txt"
                               << "/home/u/lists/" << true;
        QTest::newRow("NULs and blanks") << QString::fromUtf16(u" /w/a.txt\0\0 ", 12) << "/w/a.txt"
                                         << "/w/" << true;
        QTest::newRow("capital extension") << "/w/a.TXT"
                                           << "/w/a.TXT"
                                           << "/w/" << false;
        QTest::newRow("no folder") << "a.txt"
                                   << "a.txt"
                                   << "" << true;
        QTest::newRow("other type") << "/w/list.csv"
                                    << "/w/list.csv"
                                    << "/w/" << false;
    }
    void pathsAndEdit()
    {
        QFETCH(QString, answered);
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(bool, editable);
        QCOMPARE(SlideRules::pathFromDialog(answered), path);
        QCOMPARE(SlideRules::wordFolderOf(path), folder);
        QCOMPARE(SlideRules::editAllowed(path + QStringLiteral("  ")), editable);
        QCOMPARE(SlideRules::dialogStartFolder(folder), folder);
        QCOMPARE(SlideRules::dialogStartFolder(QStringLiteral("c:\\")), QDir::homePath());
    }
};

QTEST_GUILESS_MAIN(SlideRulesTest)
#include "test_slide_rules.moc"
