// test-links: parlanto_speech
#include "speech/reading_progress.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"
#include "support/test_home.h"

#include <QtTest>

using namespace VoiceCatalog;
using namespace ReadingProgress;

class TestVoiceCatalog : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void itemDataRoundTrips()
    {
        QCOMPARE(encodeItemData(4, 1), 400001);
        QCOMPARE(encodeItemData(5, 0), 500000);
        QCOMPARE(encodeItemData(5, 12), 500012);
        for (int generation : {4, 5})
            for (int index : {0, 1, 7, 99, 12345, 99999}) {
                const int data = encodeItemData(generation, index);
                QCOMPARE(generationOf(data), generation);
                QCOMPARE(indexOf(data), index);
            }
        // No item (data 0) and nonsense data switch nothing: generation 0.
        QCOMPARE(generationOf(0), 0);
        QCOMPARE(indexOf(0), 0);
        QCOMPARE(generationOf(-400001), 0);
    }

    void entriesCarrySuffixesAndOrder()
    {
        QCOMPARE(suffix(4), QStringLiteral(" (TTS4.0)"));
        QCOMPARE(suffix(5).size(), SuffixLength);

        const auto four = generation4Entries(QStringList{"Afrikaans", "English (America)"});
        QCOMPARE(four.size(), 2);
        QCOMPARE(four[0].text, QStringLiteral("Afrikaans (TTS4.0)"));
        QCOMPARE(four[0].itemData, 400001);
        QCOMPARE(four[1].text, QStringLiteral("English (America) (TTS4.0)"));
        QCOMPARE(four[1].itemData, 400002);

        const auto five =
            generation5Entries({SpObjectToken("slt", "Flite slt"), SpObjectToken("awb", "Flite awb")});
        QCOMPARE(five.size(), 2);
        QCOMPARE(five[0].text, QStringLiteral("Flite slt (TTS5.0)"));
        QCOMPARE(five[0].itemData, 500000);
        QCOMPARE(five[1].itemData, 500001);

        QCOMPARE(nameWithoutSuffix(QStringLiteral("Flite slt (TTS5.0)")), QStringLiteral("Flite slt"));
        QCOMPARE(nameWithoutSuffix(QStringLiteral(" (TTS4.0)")), QString());
        QCOMPARE(nameWithoutSuffix(QStringLiteral("short")), QString());
    }

    void defaultVoiceFollowsTheLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("expected");
        // Languages in list order as eSpeak NG names them; "" = a voice without one (Flite).
        QTest::newRow("US English") << "en_US.UTF-8" << 3;
        QTest::newRow("British English") << "en_GB" << 2;
        QTest::newRow("German, country not listed") << "de_DE@euro" << 1;
        QTest::newRow("Portuguese, only a regional voice") << "pt_PT" << 5;
        QTest::newRow("language not listed") << "ja_JP" << 3;
        QTest::newRow("C locale") << "C" << 3;
        QTest::newRow("empty") << "" << 3;
    }
    void defaultVoiceFollowsTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(int, expected);
        const QStringList languages = {"af", "de", "en-gb", "en-us", "", "pt-br"};
        QCOMPARE(defaultVoicePosition(languages, locale), expected);
        // Without US English the first entry; an empty list has none.
        QCOMPARE(defaultVoicePosition({"af", "", "sv"}, QStringLiteral("ja_JP")), 0);
        QCOMPARE(defaultVoicePosition({}, QStringLiteral("en_US")), -1);
    }

    // What people type for a voice: the listed text, a whole name in any case, a language code,
    // or a part of one name; a part of several names gives them all.
    void typedVoiceNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("positions");
        QTest::newRow("listed text") << "English (America) (TTS4.0)" << QList<int>{0};
        QTest::newRow("name in another case") << "english (america)" << QList<int>{0};
        QTest::newRow("whole name before a longer one") << "GREEK" << QList<int>{3};
        QTest::newRow("part of one name") << "slt" << QList<int>{5};
        QTest::newRow("part, blanks around") << "  Slt " << QList<int>{5};
        QTest::newRow("language code: its first voice") << "en-us" << QList<int>{0};
        QTest::newRow("language code, other spelling") << "EN_GB" << QList<int>{2};
        QTest::newRow("language code before parts") << "en" << QList<int>{7};
        QTest::newRow("part of several") << "english" << QList<int>{0, 1, 2, 5, 6};
        QTest::newRow("suffix alone") << "(tts5.0)" << QList<int>{5, 6};
        QTest::newRow("listed Flite text") << "Flite awb (Scottish English, male) (TTS5.0)" << QList<int>{6};
        QTest::newRow("nothing like it") << "Klingon" << QList<int>{};
        QTest::newRow("empty") << "  " << QList<int>{};
    }

    void typedVoiceNames()
    {
        QFETCH(QString, typed);
        QFETCH(QList<int>, positions);
        const auto entries =
            generation4Entries(QStringList{"English (America)", "English (America, New York City)",
                                           "English (Great Britain)", "Greek", "Greek (Ancient)"}) +
            generation5Entries({SpObjectToken("slt", "Flite slt (US English, female)"),
                                SpObjectToken("awb", "Flite awb (Scottish English, male)")}) +
            QList<Entry>{{QStringLiteral("Anglo (TTS4.0)"), 400006}};
        const QStringList languages{"en-us", "en-us-nyc", "en-gb",          "el",
                                    "grc",   "en-us",     "en-gb-scotland", "en"};
        QCOMPARE(matchingVoices(entries, languages, typed), positions);
    }

    void dropDownWidthFollowsLongestEntry()
    {
        QCOMPARE(dropDownWidth({QString(44, u'x'), QStringLiteral("short")}), 355);
        QCOMPARE(dropDownWidth({}), 0);
        // 22 x 355 / 44 = 177.5 rounds to the even 178; 2 x 355/44 = 16.1 -> 16.
        QCOMPARE(dropDownWidth({QString(22, u'x')}), 178);
        QCOMPARE(dropDownWidth({QString(2, u'x')}), 16);
    }

    void errorNumbersAreClassified()
    {
        for (qint64 n : {0, 5, 430, 445})
            QCOMPARE(classifyError(n), ErrorClass::Ignored);
        QCOMPARE(classifyError(11), ErrorClass::DivisionByZero);
        for (qint64 n : {qint64(0x80004005), qint64(0x80120088), qint64(0x80040206), qint64(429)})
            QCOMPARE(classifyError(n), ErrorClass::Unusable);
        // The same COM codes as negative 32-bit numbers.
        QCOMPARE(classifyError(qint64(qint32(0x80004005))), ErrorClass::Unusable);
        for (qint64 n : {9, 91, 13, 6})
            QCOMPARE(classifyError(n), ErrorClass::Other);
        QCOMPARE(errorDescription(11), QStringLiteral("Division by zero"));
    }

    void generation4WordSelectsToTheNextSeparator()
    {
        const QString text = QStringLiteral("one two three");
        const int length = trimmedLength(text);
        QCOMPARE(length, 13);
        // Byte offset 8 = character 4: "two", slider at its end - 1.
        Highlight h = generation4Word(8, 0, text, length);
        QCOMPARE(h.start, 4);
        QCOMPARE(h.length, 3);
        QCOMPARE(h.sliderValue, std::optional<int>(6));
        // The last word has no separator after it: selected to the end.
        h = generation4Word(16, 0, text, length);
        QCOMPARE(h.start, 8);
        QCOMPARE(h.length, 6);
        QCOMPARE(h.sliderValue, std::optional<int>(13));
        // Offsets count from the reading start; odd byte offsets round half to even.
        h = generation4Word(1, 4, text, length); // 0.5 + 4 -> 4
        QCOMPARE(h.start, 4);
        h = generation4Word(3, 4, text, length); // 1.5 + 4 -> 6
        QCOMPARE(h.start, 6);
        QCOMPARE(h.length, 1);
        // Line breaks end a word too.
        const QString lines =
            QStringLiteral("ab\r\ncd\nef") + QChar(QChar::ParagraphSeparator) + QStringLiteral("g");
        h = generation4Word(8, 0, lines, lines.size());
        QCOMPARE(h.start, 4);
        QCOMPARE(h.length, 2);
        h = generation4Word(14, 0, lines, lines.size());
        QCOMPARE(h.length, 2);
    }

    void generation4WordSurvivesOddInput()
    {
        // Empty text: the word "ends" at 1.
        Highlight h = generation4Word(0, 0, QStringView(), 0);
        QCOMPARE(h.start, 0);
        QCOMPARE(h.length, 1);
        QCOMPARE(h.sliderValue, std::optional<int>(0));
        // An offset past the end is clamped to the text, never read beyond it.
        const QString text = QStringLiteral("abc");
        h = generation4Word(100, 0, text, 3);
        QCOMPARE(h.start, 3);
        QVERIFY(h.length >= 0);
        // A stale, shorter document length never gives a negative selection.
        h = generation4Word(4, 0, QStringLiteral("abcdef"), 1);
        QCOMPARE(h.start, 2);
        QCOMPARE(h.length, 0);
    }

    void generation4ScanStopsAtTheWord()
    {
        // Only the characters of the word and its separator are read.
        QString text = QStringLiteral("alpha beta ");
        text += QString(100000, u'x');
        int reads = 0;
        const auto charAt = [&](int i) {
            ++reads;
            return text[i];
        };
        const Highlight h = generation4Word(12, 0, int(text.size()), int(text.size()), charAt);
        QCOMPARE(h.start, 6);
        QCOMPARE(h.length, 4);
        QVERIFY(reads <= 5);
    }

    void generation5WordAndSlider()
    {
        Highlight h = generation5Word(4, 3, 10, 100);
        QCOMPARE(h.start, 14);
        QCOMPARE(h.length, 3);
        QCOMPARE(h.sliderValue, std::optional<int>(14));
        h = generation5Word(4, 3, 10, 13);
        QCOMPARE(h.sliderValue, std::nullopt);
        h = generation5Word(4, 3, 10, 14);
        QCOMPARE(h.sliderValue, std::optional<int>(14));
    }

    void trimmingCountsOnlySpaces()
    {
        QCOMPARE(trimmedLength(QStringLiteral("  one two  ")), 7);
        QCOMPARE(trimmedLength(QStringLiteral("\none\n")), 5);
        QCOMPARE(trimmedLength(QStringLiteral("     ")), 0);
        QCOMPARE(trimmedLength(QStringView()), 0);
        const QString s = QStringLiteral(" ab  ");
        QCOMPARE(endWithoutTrailingSpaces(int(s.size()), [&](int i) { return s[i]; }), 3);
    }

    void readingRestartsAtTheEnd()
    {
        // Generation 4 restarts within two characters of the trimmed end.
        QCOMPARE(readingStart(4, 10, 13), 10);
        QCOMPARE(readingStart(4, 11, 13), 0);
        QCOMPARE(readingStart(4, 13, 13), 0);
        // Generation 5 only at the end itself.
        QCOMPARE(readingStart(5, 12, 13), 12);
        QCOMPARE(readingStart(5, 13, 13), 0);
        QCOMPARE(readingStart(5, 0, 0), 0);
        QCOMPARE(readingStart(4, 0, 0), 0);
    }

    void elapsedTimeText()
    {
        QCOMPARE(elapsedText(0), QStringLiteral("00:00:00"));
        QCOMPARE(elapsedText(3725), QStringLiteral("01:02:05"));
        QCOMPARE(elapsedText(59), QStringLiteral("00:00:59"));
        QCOMPARE(elapsedText(3600 * 23 + 60 * 59 + 59), QStringLiteral("23:59:59"));
        // Each part keeps its last two digits.
        QCOMPARE(elapsedText(3600 * 123 + 7), QStringLiteral("23:00:07"));
        QCOMPARE(elapsedText(-5), QStringLiteral("00:00:00"));
    }

    void fullWidthDigitsBecomeAscii()
    {
        const QString in = QString::fromUtf16(u"第１２３章０９ x");
        const QString out = halfWidthDigits(in);
        QCOMPARE(out, QString::fromUtf16(u"第123章09 x"));
        QCOMPARE(out.size(), in.size());
    }
};

QTEST_GUILESS_MAIN(TestVoiceCatalog)
#include "test_voice_catalog.moc"
