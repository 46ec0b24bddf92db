// test-links: parlanto_speech
#include "speech/document_reader.h"
#include "speech/rtf_reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString rtf(const char *source)
{
    return rtfToPlainText(QByteArrayView(source));
}

QString dataFile(const char *name)
{
    return QStringLiteral(PARLANTO_TEST_DATA "/") + QLatin1String(name);
}

} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT

private slots:
    void escapesSymbolsAndBreaks_data();
    void escapesSymbolsAndBreaks();
    void unicodeAndFallbacks_data();
    void unicodeAndFallbacks();
    void codePages_data();
    void codePages();
    void hiddenDestinations_data();
    void hiddenDestinations();
    void binaryData();
    void fields();
    void tables();
    void damagedInput_data();
    void damagedInput();
    void everyTruncationKeepsTheTextBeforeIt();
    void deepNesting();
    void wordProcessorFiles();
    void largeDocumentLoadsWhole();
    void fileRouting();
};

void TestRtfReader::escapesSymbolsAndBreaks_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("escaped braces and backslash") << QByteArray(R"({\rtf1 a\{b\}c\\d})") << u"a{b}c\\d"_qs;
    QTest::newRow("named punctuation")
        << QByteArray(R"({\rtf1 \lquote a\rquote  \ldblquote b\rdblquote  c\emdash d\endash e\bullet})")
        << u"\u2018a\u2019 \u201Cb\u201D c\u2014d\u2013e\u2022"_qs;
    QTest::newRow("non-breaking space, optional hyphen, non-breaking hyphen")
        << QByteArray(R"({\rtf1 1\~kg hy\-phen well\_known})") << u"1\u00A0kg hyphen well\u2011known"_qs;
    QTest::newRow("tab, line and paragraph")
        << QByteArray(R"({\rtf1 a\tab b\line c\par d})") << u"a\tb\nc\nd"_qs;
    QTest::newRow("backslash before a line end is a paragraph")
        << QByteArray("{\\rtf1 a\\\nb}") << u"a\nb"_qs;
    QTest::newRow("line ends in the source are not text")
        << QByteArray("{\\rtf1 one\r\ntwo\nthree}") << u"onetwothree"_qs;
    QTest::newRow("delimiter space belongs to the control word")
        << QByteArray(R"({\rtf1 a\b b\b0  c\i1x\i0 y})") << u"ab cxy"_qs;
    QTest::newRow("literal tab") << QByteArray("{\\rtf1 a\tb}") << u"a\tb"_qs;
    QTest::newRow("last paragraph mark ends the text") << QByteArray(R"({\rtf1 a\par b\par})") << u"a\nb"_qs;
    QTest::newRow("an empty last paragraph stays") << QByteArray(R"({\rtf1 a\par\par})") << u"a\n"_qs;
    QTest::newRow("section and page breaks end paragraphs")
        << QByteArray(R"({\rtf1 a\sect b\page c})") << u"a\nb\nc"_qs;
    QTest::newRow("unknown control words keep the text")
        << QByteArray(R"({\rtf1\foo12 a\barbaz-3 b})") << u"ab"_qs;
    QTest::newRow("text outside the document is ignored")
        << QByteArray(R"(junk{\rtf1 inside}after{\rtf1 more})") << u"inside"_qs;
}

void TestRtfReader::escapesSymbolsAndBreaks()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);
    QCOMPARE(rtfToPlainText(source), expected);
}

void TestRtfReader::unicodeAndFallbacks_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("uc0: no fallback") << QByteArray(R"({\rtf1\uc0\u1055\u1088\u1080 x})") << u"Приx"_qs;
    QTest::newRow("uc1 by default") << QByteArray(R"({\rtf1 \u1055?\u1088?x})") << u"Прx"_qs;
    QTest::newRow("uc2 skips two") << QByteArray(R"({\rtf1\uc2\u8364 EUR})") << u"€R"_qs;
    QTest::newRow("a hex byte is one fallback character")
        << QByteArray(R"({\rtf1\uc1\u8220\'93q\u8221\'94})") << u"\u201Cq\u201D"_qs;
    QTest::newRow("a control word is one fallback character")
        << QByteArray(R"({\rtf1\uc1\u8212\emdash x})") << u"\u2014x"_qs;
    QTest::newRow("uc is scoped to its group")
        << QByteArray(R"({\rtf1\uc2{\uc0\u1055 x}\u1088 yzw})") << u"Пxрw"_qs;
    QTest::newRow("a group boundary ends the fallback")
        << QByteArray(R"({\rtf1\uc3\u1055{ab}c})") << u"Пabc"_qs;
    QTest::newRow("negative values count from 65536")
        << QByteArray(R"({\rtf1\uc0\u-4064})") << QString(QChar(0xF020));
    QTest::newRow("surrogate pair") << QByteArray(R"({\rtf1\u-10179?\u-8704?})") << u"😀"_qs;
    QTest::newRow("a value past the 16-bit range") << QByteArray(R"({\rtf1\u128512?})") << u"😀"_qs;
    QTest::newRow("a half pair is not a character") << QByteArray(R"({\rtf1 a\u-10179?b})") << u"a\uFFFDb"_qs;
}

void TestRtfReader::unicodeAndFallbacks()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);
    QCOMPARE(rtfToPlainText(source), expected);
}

void TestRtfReader::codePages_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Windows-1252 by default")
        << QByteArray(R"({\rtf1\ansi caf\'e9 \'80 \'93q\'94})") << u"café € “q”"_qs;
    QTest::newRow("1251") << QByteArray(R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2})")
                          << u"Привет"_qs;
    QTest::newRow("932: byte pairs") << QByteArray(R"({\rtf1\ansi\ansicpg932 \'93\'fa\'96\'7b\'8c\'ea})")
                                     << u"日本語"_qs;
    // Writers put a trail byte that is a printable ASCII character as itself.
    QTest::newRow("932: literal trail bytes")
        << QByteArray(R"({\rtf1\ansi\ansicpg932 \'83e\'83L\'83X\'83g.})") << u"テキスト."_qs;
    QTest::newRow("932: escaped backslash as trail byte")
        << QByteArray(R"({\rtf1\ansi\ansicpg932 \'83\\})") << u"ソ"_qs;
    QTest::newRow("936") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'d6\'d0\'ce\'c4})") << u"中文"_qs;
    QTest::newRow("949") << QByteArray(R"({\rtf1\ansi\ansicpg949 \'c7\'d1})") << u"한"_qs;
    QTest::newRow("950") << QByteArray(R"({\rtf1\ansi\ansicpg950 \'a4\'a4})") << u"中"_qs;
    QTest::newRow("Mac Roman") << QByteArray(R"({\rtf1\mac caf\'8e})") << u"café"_qs;
    QTest::newRow("the font's character set picks the code page")
        << QByteArray(
               R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\froman\fcharset0 Times;}{\f1\fnil\fcharset128 )"
               R"(MS Mincho;}{\f2\fswiss\fcharset204 Arial;}}\f0 caf\'e9 {\f1 \'93\'fa} {\f2 \'c4\'e0} \'e9})")
        << u"café 日 Да é"_qs;
    QTest::newRow("font table without groups")
        << QByteArray(R"({\rtf1\ansi{\fonttbl\f0\fswiss Helvetica;\f1\fcharset161 Greek;}\f1\'e1\'e2})")
        << u"αβ"_qs;
    QTest::newRow("the default font applies until plain resets to it")
        << QByteArray(R"({\rtf1\ansi\deff1{\fonttbl{\f0 A;}{\f1\fcharset204 B;}}\'c4\f0\'c4\plain\'c4})")
        << u"ДÄД"_qs;
    QTest::newRow("cpg wins over the character set")
        << QByteArray(R"({\rtf1\ansi{\fonttbl{\f0\fcharset0\cpg1253 G;}}\f0\'e1})") << u"α"_qs;
    QTest::newRow("an unknown code page reads as 1252")
        << QByteArray(R"({\rtf1\ansi\ansicpg99999 caf\'e9})") << u"café"_qs;
    QTest::newRow("a byte the code page lacks")
        << QByteArray(R"({\rtf1\ansi\ansicpg1252 a\'81b})") << u"a\uFFFDb"_qs;
}

void TestRtfReader::codePages()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);
    QCOMPARE(rtfToPlainText(source), expected);
}

void TestRtfReader::hiddenDestinations_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("tables of fonts, colours and styles, and document information")
        << QByteArray(R"({\rtf1{\fonttbl{\f0 Times;}}{\colortbl;\red255\green0\blue0;})"
                      R"({\stylesheet{\s0 Normal;}{\s1 Heading 1;}}{\info{\title T}{\author A}}Body})")
        << u"Body"_qs;
    QTest::newRow("optional destinations nobody knows")
        << QByteArray(R"({\rtf1 a{\*\madeup secret {b}}c})") << u"ac"_qs;
    QTest::newRow("starred destinations inside skipped ones")
        << QByteArray(R"({\rtf1{\info{\*\company X{\*\y z}}}a{\*\generator Writer 1.0;}b})") << u"ab"_qs;
    QTest::newRow("picture hex data")
        << QByteArray(R"({\rtf1 a{\pict\pngblip\picw4\pich4 89504e47{\*\blipuid 0011}0d0a}b})") << u"ab"_qs;
    QTest::newRow("object with its result")
        << QByteArray(R"({\rtf1 a{\object\objemb{\*\objdata 0102}{\result X}}b})") << u"ab"_qs;
    QTest::newRow("headers and footers")
        << QByteArray(R"({\rtf1{\header \pard Head\par}{\footerl Foot}{\headerf First}Text})") << u"Text"_qs;
    QTest::newRow("footnote") << QByteArray(R"({\rtf1 Word{\super\chftn{\footnote \pard\chftn Note.}} next})")
                              << u"Word next"_qs;
    QTest::newRow("list numbering text")
        << QByteArray(R"({\rtf1{\listtext\'b7\tab}Item\par{\pntext 1.\tab}Two})") << u"Item\nTwo"_qs;
    QTest::newRow("hidden text") << QByteArray(R"({\rtf1 a{\v secret}b\v hidden\v0 c\v d\plain e})")
                                 << u"abce"_qs;
    QTest::newRow("upr shows the Unicode twin")
        << QByteArray(R"({\rtf1 {\upr{\'3f\'3f}{\*\ud{\uc0\u1044\u1072}}}!})") << u"Да!"_qs;
    QTest::newRow("paragraph marks inside a skipped group")
        << QByteArray(R"({\rtf1 a{\*\x \par\par}b})") << u"ab"_qs;
    QTest::newRow("escaped braces inside a skipped group")
        << QByteArray(R"({\rtf1 a{\*\x \{ \} \\}b})") << u"ab"_qs;
}

void TestRtfReader::hiddenDestinations()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);
    QCOMPARE(rtfToPlainText(source), expected);
}

void TestRtfReader::binaryData()
{
    // Binary data may hold braces and backslashes; none of it is RTF.
    QCOMPARE(rtf(R"({\rtf1 a{\pict\bin6 }{\}\\}b})"), u"ab"_qs);
    QCOMPARE(rtf(R"({\rtf1 a\bin3 xyzb})"), u"ab"_qs);
    QByteArray withZeros("{\\rtf1 a{\\pict\\bin4 ");
    withZeros.append(QByteArray("\0{\0}", 4)).append("}b}");
    QCOMPARE(rtfToPlainText(withZeros), u"ab"_qs);
    // Binary data is one fallback character after \u.
    QCOMPARE(rtf(R"({\rtf1\uc1\u1055\bin2 ??x})"), u"Пx"_qs);
    // A length past the end of the file.
    QCOMPARE(rtf(R"({\rtf1 kept\bin999999 abc)"), u"kept"_qs);
    QCOMPARE(rtf(R"({\rtf1 kept\bin-5 x})"), u"keptx"_qs);
}

void TestRtfReader::fields()
{
    const char *hyperlink = "{\\rtf1 See {\\field{\\*\\fldinst { HYPERLINK \"http://x.example/\" }}"
                            "{\\fldrslt {\\ul page}}}.}";
    QCOMPARE(rtf(hyperlink), u"See page."_qs);
    // Some writers mark the result \* too; it is still the field's visible text.
    QCOMPARE(rtf(R"({\rtf1 {\field{\*\fldinst PAGE}{\*\fldrslt 7}}})"), u"7"_qs);
    QCOMPARE(rtf(R"({\rtf1 {\field{\fldinst DATE}{\fldrslt today}}})"), u"today"_qs);
    // A field inside a field's result.
    QCOMPARE(rtf(R"({\rtf1 {\field{\*\fldinst A}{\fldrslt x{\field{\*\fldinst B}{\fldrslt y}}z}}})"),
             u"xyz"_qs);
    QCOMPARE(rtf(R"({\rtf1 a{\field{\*\fldinst SYMBOL 183}}b})"), u"ab"_qs);
}

void TestRtfReader::tables()
{
    QCOMPARE(rtf(R"({\rtf1\trowd\cellx1000\cellx2000\pard\intbl Name\cell Age\cell\row)"
                 R"(\trowd\cellx1000\cellx2000\pard\intbl Ann\cell 42\cell\row\pard After\par})"),
             u"Name\tAge\nAnn\t42\nAfter"_qs);
    // Word puts each cell's text and the row end in groups of their own.
    QCOMPARE(rtf(R"({\rtf1{\trowd\cellx1000\cellx2000 {a\cell}{b\cell}{\row}}})"), u"a\tb"_qs);
    QCOMPARE(rtf(R"({\rtf1 x\cell y\cell{\*\nesttableprops\trowd\nestrow}z\row end})"), u"x\ty\tz\nend"_qs);
    QCOMPARE(rtf(R"({\rtf1 a\cell b\nestcell c\nestcell{\*\nesttableprops\nestrow}\cell\row})"),
             u"a\tb\tc\t"_qs);
}

void TestRtfReader::damagedInput_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("no group at all") << QByteArray("just words") << QString();
    QTest::newRow("missing closing braces")
        << QByteArray(R"({\rtf1 one{\b two{\i three)") << u"onetwothree"_qs;
    QTest::newRow("cut after a backslash") << QByteArray("{\\rtf1 text\\") << u"text"_qs;
    QTest::newRow("cut inside a hex byte") << QByteArray(R"({\rtf1 text\'e)") << u"text"_qs;
    QTest::newRow("bad hex digits") << QByteArray(R"({\rtf1 a\'zzb\'4g})") << u"azzbg"_qs;
    QTest::newRow("cut inside a skipped group") << QByteArray(R"({\rtf1 a{\fonttbl{\f0 Ti)") << u"a"_qs;
    QTest::newRow("a stray closing brace ends the document") << QByteArray(R"({\rtf1 a}}b})") << u"a"_qs;
    QTest::newRow("huge parameters") << QByteArray(R"({\rtf1{\uc99999999999\u99999999999 x}a\ansicpg-7 b})")
                                     << u"ab"_qs;
    QTest::newRow("very long control word")
        << QByteArray("{\\rtf1 a\\" + QByteArray(5000, 'x') + " b}") << u"ab"_qs;
    QTest::newRow("zero bytes") << QByteArray("{\\rtf1 a\0b\\'00c}", 16) << u"abc"_qs;
    QTest::newRow("star before text") << QByteArray(R"({\rtf1 a{\*b}c})") << u"ac"_qs;
}

void TestRtfReader::damagedInput()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, expected);
    QCOMPARE(rtfToPlainText(source), expected);
}

void TestRtfReader::everyTruncationKeepsTheTextBeforeIt()
{
    QFile file(dataFile("abiword_link_picture_list.rtf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    const QString full = rtfToPlainText(whole);
    QVERIFY(full.contains(u"Second item"_qs));
    // A cut inside a control word may change the last character read (\u82 for \u8220), no more.
    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        const QString partial = rtfToPlainText(QByteArrayView(whole).first(cut));
        if (!full.startsWith(partial.chopped(qMin<qsizetype>(1, partial.size()))))
            QFAIL(qPrintable(QStringLiteral("cut at %1 gave \"%2\"").arg(cut).arg(partial)));
    }
}

void TestRtfReader::deepNesting()
{
    constexpr int depth = 100000;
    const QByteArray open = QByteArray("{\\rtf1 ") + QByteArray(depth, '{');
    QCOMPARE(rtfToPlainText(open + "deep" + QByteArray(depth, '}') + " after}"), u"deep after"_qs);
    // Never closed.
    QCOMPARE(rtfToPlainText(open + "deep"), u"deep"_qs);
    // Every level different from the one around it, and the \uc of each level put back on the way out.
    QByteArray alternating("{\\rtf1\\uc0 ");
    for (int i = 0; i < depth; ++i)
        alternating.append(i % 2 ? "{\\uc1 " : "{\\uc0 ");
    alternating.append("\\u1055 x");
    for (int i = 0; i < depth; ++i)
        alternating.append('}');
    alternating.append("\\u1088 y}");
    // The innermost level (odd) has \uc1: the x is a fallback. The outermost has \uc0.
    QCOMPARE(rtfToPlainText(alternating), u"Прy"_qs);
}

void TestRtfReader::wordProcessorFiles()
{
    // Written by AbiWord 3.0 from HTML pages: headings, styles, a table, Unicode text.
    DocumentText formatting = readDocumentFile(dataFile("abiword_formatting_table.rtf"));
    QVERIFY(formatting.ok);
    QCOMPARE(formatting.text, u"Reading “aloud” — a test\n"
                              "The first paragraph has bold, italic and underlined words.\n"
                              "Prices: 5 € or £4; a dash – here; it’s fine.\n"
                              "Кириллица и 日本語のテキスト.\n"
                              "Name\tAge\n"
                              "Ann\t42\n"
                              "\n"
                              "Last line.\n"
                              "\n"
                              "\n"_qs);

    // A hyperlink field, a PNG picture, a bulleted list and escaped characters.
    DocumentText links = readDocumentFile(dataFile("abiword_link_picture_list.rtf"));
    QVERIFY(links.ok);
    QCOMPARE(links.text, u"Visit our web page today.\n"
                         "A picture sits here.\n"
                         "First item\n"
                         "Second item\n"
                         "Braces {like these} and a back\\slash.\n"
                         "\n"
                         "\n"_qs);

    // In the style of Microsoft Word: generator, style and list tables, document information,
    // header and footer, a footnote, a Cyrillic font and \upr font names.
    DocumentText word = readDocumentFile(dataFile("word_style_letter.rtf"));
    QVERIFY(word.ok);
    QCOMPARE(word.text, u"Dear Ms Ivanova,\n"
                        "Thank you for your letter of 3 May \u2014 it arrived on time.\n"
                        "Ваше письмо получено.\n"
                        "Agenda:\n"
                        "Welcome\n"
                        "Reports\n"
                        "Item\tCost\n"
                        "Paper\t\u20AC12.50\n"
                        "Yours sincerely,\n"
                        "J.\u00A0Smith"_qs);
}

void TestRtfReader::largeDocumentLoadsWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("large.rtf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times;}}\n");
    int lines = 0;
    while (file.size() < 10 * 1024 * 1024) {
        file.write(
            QStringLiteral("{\\b Line %1}: caf\\'e9 \\u8364? and \\{braces\\}\\par\n").arg(lines).toLatin1());
        ++lines;
    }
    file.write("}");
    file.close();

    const DocumentText document = readDocumentFile(path);
    QVERIFY(document.ok);
    const QStringList read = document.text.split(u'\n');
    QCOMPARE(read.size(), lines);
    for (int i : {0, 1, lines / 2, lines - 1})
        QCOMPARE(read.at(i), QStringLiteral("Line %1: café € and {braces}").arg(i));
}

void TestRtfReader::fileRouting()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto write = [&](const char *name, const QByteArray &bytes) {
        QFile file(dir.filePath(QLatin1String(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write test file");
        return file.fileName();
    };
    // Rich text by content, whatever the name.
    QCOMPARE(readDocumentFile(write("upper.RTF", R"({\rtf1 Rich\par})")).text, u"Rich"_qs);
    QCOMPARE(readDocumentFile(write("note.txt", R"(  {\rtf1 Rich\par})")).text, u"Rich"_qs);
    // A damaged header in a .rtf file is still rich text; plain words in one are plain text.
    QCOMPARE(readDocumentFile(write("damaged.rtf", R"({\rtg1 Rich\par})")).text, u"Rich"_qs);
    QCOMPARE(readDocumentFile(write("plain.rtf", "plain {words}\r\n")).text, u"plain {words}\n"_qs);
    // Plain text keeps what looks like RTF control words.
    QCOMPARE(readDocumentFile(write("code.txt", R"(a \par b {c})")).text, uR"(a \par b {c})"_qs);

    const DocumentText missing = readDocumentFile(dir.filePath(QStringLiteral("absent.rtf")));
    QVERIFY(!missing.ok);
    QVERIFY(missing.text.isEmpty());
    QVERIFY2(missing.error.contains(u"does not exist"_qs) && missing.error.contains(u"absent.rtf"_qs),
             qPrintable(missing.error));

    const DocumentText folder = readDocumentFile(dir.path());
    QVERIFY(!folder.ok);
    QVERIFY2(folder.error.contains(u"folder"_qs), qPrintable(folder.error));

    const DocumentText device = readDocumentFile(QStringLiteral("/dev/zero"));
    QVERIFY(!device.ok);
    QVERIFY2(device.error.contains(u"not a regular file"_qs), qPrintable(device.error));

    QVERIFY(!readDocumentFile(QString()).ok);

    const QString locked = write("locked.txt", "secret");
    QFile::setPermissions(locked, QFileDevice::Permissions());
    QFile probe(locked);
    if (probe.open(QIODevice::ReadOnly))
        QSKIP("this user reads files without read permission (root)");
    const DocumentText unreadable = readDocumentFile(locked);
    QVERIFY(!unreadable.ok);
    QVERIFY2(unreadable.error.contains(u"cannot be read"_qs), qPrintable(unreadable.error));
}

QTEST_GUILESS_MAIN(TestRtfReader)
#include "test_rtf_reader.moc"
