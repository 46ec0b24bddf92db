// test-links: parlanto_speech
#include "speech/document_reader.h"
#include "speech/text_decoder.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <iconv.h>

namespace {

const QString sample = u"Grüße, Ваня — 日本語 😀 end"_qs;

QByteArray utf16(const QString &text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

} // namespace

class TestTextDecoding : public QObject
{
    Q_OBJECT

private slots:
    void byteOrderMarks_data();
    void byteOrderMarks();
    void utf8WithoutMark();
    void utf16WithoutMark_data();
    void utf16WithoutMark();
    void localeEncoding();
    void localeEncodingOfTheRunningProcess();
    void windows1252Fallback();
    void legacyEncodings_data();
    void legacyEncodings();
    void lineEnds();
    void codePageDecoder();
    void largeFileLoadsWhole();
};

void TestTextDecoding::byteOrderMarks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("UTF-8") << QByteArray("\xEF\xBB\xBF") + sample.toUtf8() << sample;
    QTest::newRow("UTF-16 LE") << utf16(sample, QStringConverter::Utf16LE) << sample;
    QTest::newRow("UTF-16 BE") << utf16(sample, QStringConverter::Utf16BE) << sample;
    // Only the first mark is a mark; a second one is a (zero-width) character of the text.
    QTest::newRow("UTF-8, two marks") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF"
                                                    "a")
                                      << u"\uFEFFa"_qs;
    // The mark decides even for bytes that would be valid UTF-8 read otherwise.
    QTest::newRow("UTF-16 LE, ASCII text") << QByteArray("\xFF\xFE"
                                                         "h\0i\0",
                                                         6)
                                           << u"hi"_qs;
    QTest::newRow("UTF-16 LE, odd length") << QByteArray("\xFF\xFE"
                                                         "h\0i",
                                                         5)
                                           << u"h\uFFFD"_qs;
    QTest::newRow("mark only") << QByteArray("\xFE\xFF") << QString();
}

void TestTextDecoding::byteOrderMarks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(TextDecoding::decodePlainText(bytes, "KOI8-R"), expected);
}

void TestTextDecoding::utf8WithoutMark()
{
    // Valid UTF-8 wins over a legacy locale encoding that could also read the bytes.
    QCOMPARE(TextDecoding::decodePlainText(sample.toUtf8(), "KOI8-R"), sample);
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("plain ASCII"), "CP1251"), u"plain ASCII"_qs);
    QCOMPARE(TextDecoding::decodePlainText(QByteArray(), "UTF-8"), QString());
}

void TestTextDecoding::utf16WithoutMark_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const QString latin = u"Hello, Grüße aus Köln.\r\nSecond line."_qs;
    QStringEncoder le(QStringConverter::Utf16LE), be(QStringConverter::Utf16BE);
    QTest::newRow("LE") << QByteArray(le.encode(latin)) << u"Hello, Grüße aus Köln.\nSecond line."_qs;
    QTest::newRow("BE") << QByteArray(be.encode(latin)) << u"Hello, Grüße aus Köln.\nSecond line."_qs;
    QTest::newRow("LE, two letters") << QByteArray("H\0i\0", 4) << u"Hi"_qs;
    QTest::newRow("LE, mixed scripts") << QByteArray(le.encode(sample + u" and plain words to read"_qs))
                                       << sample + u" and plain words to read"_qs;
    // One NUL in UTF-8 text is not UTF-16.
    QTest::newRow("UTF-8 with a NUL")
        << QByteArray("Hello there\0 good morning.", 26)
        << QStringLiteral("Hello there") + QChar(0) + QStringLiteral(" good morning.");
    // A short text ending in a NUL, as a C string does.
    QTest::newRow("short text and its NUL") << QByteArray("abc\0", 4) << u"abc"_qs + QChar(0);
    // Every other byte NUL but an unpaired surrogate inside: not UTF-16 after all.
    QTest::newRow("broken UTF-16") << QByteArray("a\0b\0\x00\xDC", 6) << u"a\0b\0\0\u00DC"_qs;
}

void TestTextDecoding::utf16WithoutMark()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(TextDecoding::decodePlainText(bytes, "UTF-8"), expected);
}

void TestTextDecoding::localeEncoding()
{
    // "Привет" in KOI8-R is not valid UTF-8.
    const QByteArray koi8("\xF0\xD2\xC9\xD7\xC5\xD4");
    QCOMPARE(TextDecoding::decodePlainText(koi8, "KOI8-R"), u"Привет"_qs);
    // Shift JIS in a Japanese locale.
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("\x93\xFA\x96\x7B"), "SHIFT_JIS"), u"日本"_qs);
    // Bytes the locale's encoding cannot read: Windows-1252.
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("caf\xE9 \x93q\x94"), "EUC-JP"), u"café “q”"_qs);
    // A UTF-8 or ASCII locale has nothing to add after the UTF-8 test: the encoding is
    // recognised from the bytes themselves (see legacyEncodings).
    QCOMPARE(TextDecoding::decodePlainText(koi8, "UTF-8"), u"Привет"_qs);
    QCOMPARE(TextDecoding::decodePlainText(koi8, "ANSI_X3.4-1968"), u"Привет"_qs);
    // A codeset iconv does not know is passed over.
    QCOMPARE(TextDecoding::decodePlainText(koi8, "NO-SUCH-CODESET"), u"Привет"_qs);
}

void TestTextDecoding::localeEncodingOfTheRunningProcess()
{
    // Build a KOI8-R locale of our own, so that the test does not depend on installed locales.
    const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    if (localedef.isEmpty())
        QSKIP("localedef is not installed");
    QTemporaryDir locales;
    QVERIFY(locales.isValid());
    QProcess build;
    build.start(localedef, {QStringLiteral("-i"), QStringLiteral("ru_RU"), QStringLiteral("-f"),
                            QStringLiteral("KOI8-R"), locales.filePath(QStringLiteral("ru_RU.KOI8-R"))});
    if (!build.waitForFinished(60000) || build.exitCode() != 0)
        QSKIP("the system has no ru_RU locale source to build from");

    const QByteArray oldPath = qgetenv("LOCPATH");
    const std::string oldLocale = std::setlocale(LC_CTYPE, nullptr);
    qputenv("LOCPATH", locales.path().toLocal8Bit());
    const bool switched = std::setlocale(LC_CTYPE, "ru_RU.KOI8-R") != nullptr;
    const QByteArray codeset = TextDecoding::localeCodeset();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("koi8.txt"));
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write("\xF0\xD2\xC9\xD7\xC5\xD4\n") == 7;
    file.close();
    const DocumentText document = readDocumentFile(path);

    std::setlocale(LC_CTYPE, oldLocale.c_str());
    if (oldPath.isNull())
        qunsetenv("LOCPATH");
    else
        qputenv("LOCPATH", oldPath);

    if (!switched)
        QSKIP("the locale that was built cannot be selected");
    QCOMPARE(codeset, QByteArray("KOI8-R"));
    QVERIFY(written);
    QVERIFY(document.ok);
    QCOMPARE(document.text, u"Привет\n"_qs);
}

void TestTextDecoding::windows1252Fallback()
{
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("caf\xE9 \x80 \x85 \x96"), "UTF-8"), u"café € … –"_qs);
    // Invalid UTF-8 anywhere sends the whole file to the fallback: no mixing.
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("\xC3\xA9 and \xE9"), "UTF-8"), u"Ã© and é"_qs);
    // A UTF-8 sequence cut at the end of the file is not valid UTF-8 either.
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("ab\xE2\x82"), "UTF-8"), u"abâ‚"_qs);
    // Bytes 1252 leaves undefined.
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("a\x81z"), "UTF-8"), u"a\uFFFDz"_qs);
}

// Files in the legacy encodings people still have, in a UTF-8 locale: recognised from their
// bytes (uchardet), not read as Windows-1252.
void TestTextDecoding::legacyEncodings_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QString>("text");
    const QString russian =
        u"Съешь же ещё этих мягких французских булок, да выпей чаю.\r\nШирокая электрификация."_qs;
    QTest::newRow("Windows-1251") << QByteArray("CP1251") << russian;
    QTest::newRow("KOI8-R") << QByteArray("KOI8-R") << russian;
    const QString japanese = u"いろはにほへと ちりぬるを わかよたれそ つねならむ。日本語の文章です。"_qs;
    QTest::newRow("Shift JIS") << QByteArray("SHIFT_JIS") << japanese;
    QTest::newRow("EUC-JP") << QByteArray("EUC-JP") << japanese;
    QTest::newRow("EUC-KR") << QByteArray("EUC-KR")
                            << u"다람쥐 헌 쳇바퀴에 타고파. 키스의 고유조건은 입술끼리 만나야 하고."_qs;
    QTest::newRow("GB18030") << QByteArray("GB18030") << u"我能吞下玻璃而不伤身体。天地玄黄，宇宙洪荒。"_qs;
    QTest::newRow("Big5") << QByteArray("BIG5") << u"我能吞下玻璃而不傷身體。天地玄黃，宇宙洪荒。"_qs;
    QTest::newRow("Windows-1252") << QByteArray("CP1252")
                                  << u"Ça coûte très cher, à bientôt: naïve façade, “déjà vu”."_qs;
    QTest::newRow("Windows-1250") << QByteArray("CP1250") << u"Zażółć gęślą jaźń, źdźbło w Łodzi."_qs;
    QTest::newRow("Windows-1253") << QByteArray("CP1253") << u"Ξεσκεπάζω την ψυχοφθόρα βδελυγμία."_qs;
}

void TestTextDecoding::legacyEncodings()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QString, text);
    QByteArray bytes;
    iconv_t cd = iconv_open(encoding.constData(), "UTF-8");
    QVERIFY(cd != reinterpret_cast<iconv_t>(-1));
    QByteArray utf8 = text.toUtf8();
    bytes.resize(utf8.size() * 4);
    char *in = utf8.data(), *out = bytes.data();
    size_t inLeft = size_t(utf8.size()), outLeft = size_t(bytes.size());
    QVERIFY(iconv(cd, &in, &inLeft, &out, &outLeft) != size_t(-1));
    iconv_close(cd);
    bytes.truncate(bytes.size() - qsizetype(outLeft));

    QString expected = text;
    expected.replace(u"\r\n"_qs, u"\n"_qs);
    QCOMPARE(TextDecoding::decodePlainText(bytes, "UTF-8"), expected);
    // Handed on in pieces (a large file shown while it is read), the same text.
    QString joined;
    TextDecoding::decodePlainTextInPieces(bytes, "UTF-8", 7, [&](const QString &piece) { joined += piece; });
    QCOMPARE(joined, expected);
}

void TestTextDecoding::lineEnds()
{
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("a\r\nb\rc\nd\r\n\r\n"), "UTF-8"),
             u"a\nb\nc\nd\n\n"_qs);
    QCOMPARE(TextDecoding::decodePlainText(utf16(u"x\r\ny"_qs, QStringConverter::Utf16BE), "UTF-8"),
             u"x\ny"_qs);
    QCOMPARE(TextDecoding::decodePlainText(QByteArray("\xE9\r\n"), "UTF-8"), u"é\n"_qs);

    // In pieces, a CR LF split between two pieces is still one line end, and a character split
    // between them is still one character.
    for (const QByteArray &bytes :
         {QByteArray("ab\r\ncd\r\r\nGr\xC3\xBC\xC3\x9F\xE6\x97\xA5\xF0\x9F\x98\x80\r"),
          utf16(u"x\r\ny\r\n😀z"_qs, QStringConverter::Utf16LE)}) {
        const QString whole = TextDecoding::decodePlainText(bytes, "UTF-8");
        for (qsizetype size : {16, 17, 18, 20}) {
            QString joined;
            TextDecoding::decodePlainTextInPieces(bytes, "UTF-8", size,
                                                  [&](const QString &piece) { joined += piece; });
            QCOMPARE(joined, whole);
        }
    }
}

void TestTextDecoding::codePageDecoder()
{
    TextDecoding::CodePageDecoder decoder;
    QString text;
    decoder.decode(1251, "\xC4\xE0 ", text);
    decoder.decode(932, "\x83\x65\x83\x4C", text);
    decoder.decode(1253, "\xE1", text);
    QCOMPARE(text, u"Да テキα"_qs);

    // A lead byte without its trail byte, and a code page nobody knows (read as 1252).
    text.clear();
    decoder.decode(932, "a\x83", text);
    decoder.decode(123456, "\xE9", text);
    QCOMPARE(text, u"a\uFFFDé"_qs);

    QCOMPARE(TextDecoding::codePageForCharset(204), 1251);
    QCOMPARE(TextDecoding::codePageForCharset(128), 932);
    QCOMPARE(TextDecoding::codePageForCharset(0), 0);
}

void TestTextDecoding::largeFileLoadsWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto check = [&](const char *name, QStringConverter::Encoding encoding, const QByteArray &mark) {
        const QString path = dir.filePath(QLatin1String(name));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QStringEncoder encoder(encoding);
        file.write(mark);
        int lines = 0;
        while (file.size() < 10 * 1024 * 1024) {
            file.write(encoder.encode(QStringLiteral("Line %1: Grüße, Ваня — 日本語\r\n").arg(lines)));
            ++lines;
        }
        file.close();

        const DocumentText document = readDocumentFile(path);
        QVERIFY(document.ok);
        QStringList read = document.text.split(u'\n');
        QCOMPARE(read.takeLast(), QString()); // the last line's end
        QCOMPARE(read.size(), lines);
        for (int i : {0, 1, lines / 2, lines - 1})
            QCOMPARE(read.at(i), QStringLiteral("Line %1: Grüße, Ваня — 日本語").arg(i));
    };
    check("large-utf8.txt", QStringConverter::Utf8, QByteArray());
    check("large-utf16.txt", QStringConverter::Utf16LE, QByteArray("\xFF\xFE"));
}

QTEST_GUILESS_MAIN(TestTextDecoding)
#include "test_text_decoding.moc"
