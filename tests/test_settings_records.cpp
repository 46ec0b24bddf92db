// test-links: parlanto_app
#include "app/settings_records.h"
#include "platform/record_codec.h"
#include "support/test_home.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <memory>

// Expected record bytes, put together field by field with QDataStream, not with the writer
// under test.
class Bytes
{
public:
    Bytes() : m_stream(&m_data, QIODevice::WriteOnly) { m_stream.setByteOrder(QDataStream::LittleEndian); }
    Bytes &integer(qint16 value)
    {
        m_stream << value;
        return *this;
    }
    Bytes &boolean(bool value) { return integer(value ? -1 : 0); }
    Bytes &longValue(qint32 value)
    {
        m_stream << value;
        return *this;
    }
    Bytes &string(const QByteArray &utf8)
    {
        m_stream << quint16(utf8.size());
        m_stream.writeRawData(utf8.constData(), int(utf8.size()));
        return *this;
    }
    QByteArray data() const { return m_data; }

private:
    QByteArray m_data;
    QDataStream m_stream;
};

static QByteArray utf8(const char16_t *text)
{
    return QString::fromUtf16(text).toUtf8();
}

static WindowDefaultsFromWindow designedWindow()
{
    WindowDefaultsFromWindow window;
    window.left = 0;
    window.top = 0;
    window.width = 12000;
    window.height = 9000;
    window.textBoxFont = QFont(QStringLiteral("Sans"), 8);
    window.textBoxFont.setItalic(true);
    window.slideFont = QFont(QStringLiteral("Serif"), 24, QFont::Bold);
    window.slideBackColour = QColor(Qt::white);
    window.slideTextColour = QColor(0, 0, 255);
    window.slideCharset = 1;
    return window;
}

// swin.ini as the defaults write it for locale 1033 and the window above.
static QByteArray defaultWindowBytes(const QByteArray &folder)
{
    return Bytes()
        .longValue(2)        // window state: maximised
        .boolean(true)       // visible
        .longValue(0)        // left
        .longValue(0)        // top
        .longValue(12000)    // width
        .longValue(9000)     // height
        .string(folder)      // open folder
        .string(folder)      // save folder
        .string(".txt")      // open file type
        .string(".mp3")      // save file type
        .boolean(true)       // text box shown
        .longValue(0)        // text box height
        .string("")          // font name: none outside East Asia
        .string("False")     // bold
        .boolean(true)       // italic
        .string("8")         // size
        .boolean(false)      // underline
        .boolean(false)      // strikethrough
        .longValue(1)        // charset
        .longValue(0)        // text colour
        .longValue(16777215) // back colour
        .boolean(true)       // watch clipboard
        .string("c:")        // batch drive
        .string("c:\\")      // batch source folder
        .string("c:\\")      // batch target folder
        .string("c:\\")      // word-list folder
        .longValue(2)        // slide delay
        .longValue(0)        // slide full window
        .longValue(0)        // slide random
        .longValue(16777215) // slide back colour
        .string("Serif")     // slide font name
        .string("True")      // slide bold
        .boolean(false)      // slide italic
        .string("24")        // slide size
        .boolean(false)      // slide underline
        .boolean(false)      // slide strikethrough
        .longValue(1)        // slide charset
        .longValue(0xFF0000) // slide text colour: blue, red in the low byte
        .data();
}

static WindowSettings changedWindow()
{
    WindowSettings s;
    s.WindowState = 1;
    s.Visible = false;
    s.Left = -480;
    s.Top = 300;
    s.Width = 15360;
    s.Height = 11520;
    s.OpenFolder = QStringLiteral("/home/u/Documents");
    s.SaveFolder = QString::fromUtf16(u"/home/u/\u00C9crits");
    s.OpenFileType = QStringLiteral(".rtf");
    s.SaveFileType = QStringLiteral(".wav");
    s.TextBoxShown = false;
    s.TextBoxHeight = 4215;
    s.FontName = QString::fromUtf16(u"\u5B8B\u4F53");
    s.FontBold = QStringLiteral("True");
    s.FontItalic = false;
    s.FontSize = QStringLiteral("10.5");
    s.FontUnderline = true;
    s.FontStrikethrough = true;
    s.FontCharset = 134;
    s.TextColour = 0x123456;
    s.BackColour = 0;
    s.WatchClipboard = false;
    s.BatchDrive = QString();
    s.BatchSourceFolder = QStringLiteral("/srv/in");
    s.BatchTargetFolder = QStringLiteral("/srv/out");
    s.WordListFolder = QStringLiteral("/home/u/lists");
    s.SlideDelay = 9;
    s.SlideFullWindow = 1;
    s.SlideRandom = 1;
    s.SlideBackColour = 0x00FF00;
    s.SlideFontName = QStringLiteral("Mono");
    s.SlideBold = QStringLiteral("False");
    s.SlideItalic = true;
    s.SlideSize = QStringLiteral("36");
    s.SlideUnderline = true;
    s.SlideStrikethrough = false;
    s.SlideCharset = 0;
    s.SlideTextColour = -1;
    return s;
}

static QByteArray changedWindowBytes()
{
    return Bytes()
        .longValue(1)
        .boolean(false)
        .longValue(-480)
        .longValue(300)
        .longValue(15360)
        .longValue(11520)
        .string("/home/u/Documents")
        .string(utf8(u"/home/u/\u00C9crits"))
        .string(".rtf")
        .string(".wav")
        .boolean(false)
        .longValue(4215)
        .string(utf8(u"\u5B8B\u4F53"))
        .string("True")
        .boolean(false)
        .string("10.5")
        .boolean(true)
        .boolean(true)
        .longValue(134)
        .longValue(0x123456)
        .longValue(0)
        .boolean(false)
        .string("")
        .string("/srv/in")
        .string("/srv/out")
        .string("/home/u/lists")
        .longValue(9)
        .longValue(1)
        .longValue(1)
        .longValue(0x00FF00)
        .string("Mono")
        .string("False")
        .boolean(true)
        .string("36")
        .boolean(true)
        .boolean(false)
        .longValue(0)
        .longValue(-1)
        .data();
}

class TestSettingsRecords : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;

private slots:
    void initTestCase() { home = std::make_unique<TestHome>(); }

    void speechRecordBytes()
    {
        SpeechSettings s;
        QCOMPARE(encode(s), Bytes().longValue(0).longValue(0).string("").longValue(0).longValue(0).data());

        s.SapiVersion = 5;
        s.CurrentEngineIndex = 2;
        s.CurrentVoiceName = QStringLiteral("English (America)");
        s.RatePosition = 50;
        s.PitchPosition = 100;
        const QByteArray expected =
            Bytes().longValue(5).longValue(2).string("English (America)").longValue(50).longValue(100).data();
        QCOMPARE(expected.size(), 4 + 4 + 2 + 17 + 4 + 4);
        QCOMPARE(encode(s), expected);
        QCOMPARE(decodeSpeechSettings(expected), s);

        const QString path = home->file(QString::fromLatin1(SpeechSettingsFileName));
        QVERIFY(saveSpeechSettings(path, s));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), expected);
        QCOMPARE(loadSpeechSettings(path), std::optional<SpeechSettings>(s));
    }

    void windowRecordBytes()
    {
        const QString folder = QStringLiteral("/home/u/.local/share/parlanto");
        const WindowSettings defaults = defaultWindowSettings(1033, folder, designedWindow());
        QCOMPARE(encode(defaults), defaultWindowBytes(folder.toUtf8()));
        QCOMPARE(decodeWindowSettings(defaultWindowBytes(folder.toUtf8())), defaults);

        const WindowSettings changed = changedWindow();
        QCOMPARE(encode(changed), changedWindowBytes());
        QCOMPARE(decodeWindowSettings(changedWindowBytes()), changed);

        const QString path = home->file(QString::fromLatin1(WindowSettingsFileName));
        QVERIFY(saveWindowSettings(path, defaults));
        QVERIFY(saveWindowSettings(path, changed)); // a shorter or longer record replaces it whole
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), changedWindowBytes());
        QCOMPARE(loadWindowSettings(path), std::optional<WindowSettings>(changed));
    }

    void localeDefaults_data()
    {
        QTest::addColumn<int>("localeId");
        QTest::addColumn<QString>("fontName");
        QTest::addColumn<int>("charset");
        QTest::addColumn<QString>("size");
        QTest::newRow("korean") << 1042 << QString::fromUtf16(u"\uAD74\uB9BC") << 129 << "9";
        QTest::newRow("taiwan") << 1028 << QString::fromUtf16(u"\u65B0\u7D30\u660E\u9AD4") << 136 << "9";
        QTest::newRow("japanese") << 1041
                                  << QString::fromUtf16(u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF") << 128
                                  << "9";
        QTest::newRow("prc") << 2052 << QString::fromUtf16(u"\u5B8B\u4F53") << 134 << "9";
        QTest::newRow("english") << 1033 << QString() << 1 << "8";
        QTest::newRow("unknown") << 0 << QString() << 1 << "8";
    }
    void localeDefaults()
    {
        QFETCH(int, localeId);
        QFETCH(QString, fontName);
        QFETCH(int, charset);
        QFETCH(QString, size);
        const WindowSettings s = defaultWindowSettings(localeId, QStringLiteral("/p"), designedWindow());
        QCOMPARE(s.FontName, fontName);
        QCOMPARE(s.FontCharset, charset);
        QCOMPARE(s.FontSize, size);
        // The name reaches the file as its locale bytes, the length counting bytes.
        const QByteArray record = encode(s);
        const QByteArray name = fontName.toUtf8();
        QVERIFY(record.contains(Bytes().string(name).string("False").data()));
    }

    void damagedRecordsDecodeAsFarAsTheyGo()
    {
        // Empty: every field zero, false or empty.
        const WindowSettings empty = decodeWindowSettings(QByteArray());
        QCOMPARE(empty.WindowState, 0);
        QVERIFY(!empty.Visible);
        QVERIFY(!empty.TextBoxShown);
        QVERIFY(!empty.WatchClipboard);
        QCOMPARE(empty.BackColour, 0);
        QCOMPARE(empty.SlideDelay, 0);
        QCOMPARE(empty.FontCharset, 0);
        QVERIFY(empty.OpenFolder.isEmpty());
        QCOMPARE(decodeSpeechSettings(QByteArray()), SpeechSettings());

        // Cut inside the font name: earlier fields intact, the name keeps what is there,
        // everything later is zero or empty.
        const QByteArray full = changedWindowBytes();
        const QByteArray head = Bytes()
                                    .longValue(1)
                                    .boolean(false)
                                    .longValue(-480)
                                    .longValue(300)
                                    .longValue(15360)
                                    .longValue(11520)
                                    .string("/home/u/Documents")
                                    .string(utf8(u"/home/u/\u00C9crits"))
                                    .string(".rtf")
                                    .string(".wav")
                                    .boolean(false)
                                    .longValue(4215)
                                    .data();
        QVERIFY(full.startsWith(head));
        const WindowSettings cut =
            decodeWindowSettings(full.left(head.size() + 2 + 3)); // first character only
        QCOMPARE(cut.Height, 11520);
        QCOMPARE(cut.SaveFileType, QStringLiteral(".wav"));
        QCOMPARE(cut.TextBoxHeight, 4215);
        QCOMPARE(cut.FontName, QString::fromUtf16(u"\u5B8B"));
        QVERIFY(cut.FontBold.isEmpty());
        QCOMPARE(cut.FontCharset, 0);
        QCOMPARE(cut.SlideTextColour, 0);

        // Extra bytes after the record are ignored.
        QCOMPARE(decodeWindowSettings(full + QByteArray(100, '\x7F')), changedWindow());

        // Garbage of every length decodes without harm.
        QRandomGenerator random(7);
        for (int length = 0; length < 300; ++length) {
            QByteArray data(length, Qt::Uninitialized);
            for (char &byte : data)
                byte = char(random.bounded(256));
            const WindowSettings w = decodeWindowSettings(data);
            QVERIFY(w.SlideFontName.size() <= length);
            decodeSpeechSettings(data);
            decodeVoiceHandOff(data);
        }
    }

    void filesOnDisk()
    {
        QVERIFY(!loadSpeechSettings(home->file(QStringLiteral("missing.ini"))));
        QVERIFY(!loadWindowSettings(home->file(QStringLiteral("missing.ini"))));

        // A present but empty file is a record of zeros, not the defaults.
        const QString emptyFile = home->file(QStringLiteral("empty.ini"));
        QFile file(emptyFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const auto loaded = loadWindowSettings(emptyFile);
        QVERIFY(loaded);
        QCOMPARE(loaded->WindowState, 0);
        QVERIFY(loaded->BatchDrive.isEmpty());
    }

    void voiceHandOffRecord()
    {
        const QByteArray expected = Bytes().string("Mary (TTS4.0)").string("4").data();
        QCOMPARE(encodeVoiceHandOff(QStringLiteral("Mary (TTS4.0)"), 4), expected);
        QCOMPARE(decodeVoiceHandOff(expected),
                 (VoiceHandOff{QStringLiteral("Mary (TTS4.0)"), QStringLiteral("4")}));

        const QString path = home->file(QString::fromLatin1(VoiceHandOffFileName));
        QVERIFY(saveVoiceHandOff(path, QStringLiteral("Mary (TTS4.0)"), 4));
        QVERIFY(saveVoiceHandOff(path, QStringLiteral("slt (TTS5.0)"), 5));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), Bytes().string("slt (TTS5.0)").string("5").data());
        QCOMPARE(loadVoiceHandOff(path)->generation, QStringLiteral("5"));

        // A voice name of megabytes (handed over by another program) is cut at the writer: the
        // record stays small and readable, the generation after it intact, and the speech
        // record that keeps the same name round-trips the same way.
        const QString huge = QStringLiteral("Mary ").repeated(1024 * 1024) + QStringLiteral(" (TTS5.0)");
        QVERIFY(saveVoiceHandOff(path, huge, 5));
        QVERIFY(QFileInfo(path).size() <= MaxRecordFileBytes);
        const std::optional<VoiceHandOff> handOff = loadVoiceHandOff(path);
        QVERIFY(handOff);
        QCOMPARE(handOff->listText, huge.left(MaxRecordTextBytes));
        QCOMPARE(handOff->generation, QStringLiteral("5"));
        const QString speechPath = home->file(QString::fromLatin1(SpeechSettingsFileName));
        QVERIFY(saveSpeechSettings(speechPath, SpeechSettings{5, 1, huge, 60, 40}));
        QCOMPARE(loadSpeechSettings(speechPath),
                 std::optional(SpeechSettings{5, 1, huge.left(MaxRecordTextBytes), 60, 40}));
    }

    void conversions()
    {
        QCOMPARE(colourToLong(QColor(0x12, 0x34, 0x56)), 0x563412);
        QCOMPARE(colourFromLong(0x563412), QColor(0x12, 0x34, 0x56));
        QCOMPARE(colourFromLong(16777215), QColor(Qt::white));
        QCOMPARE(colourToLong(QColor()), 0);
        QCOMPARE(booleanText(true), QStringLiteral("True"));
        QVERIFY(booleanFromText(QStringLiteral("true")));
        QVERIFY(booleanFromText(QStringLiteral("-1")));
        QVERIFY(!booleanFromText(QStringLiteral("False")));
        QVERIFY(!booleanFromText(QString()));
        QCOMPARE(pointSizeText(9), QStringLiteral("9"));
        QCOMPARE(pointSizeText(8.25), QStringLiteral("8.25"));
        QCOMPARE(pointSizeFromText(QStringLiteral("10.5")), 10.5);
        QCOMPARE(pointSizeFromText(QStringLiteral("big")), 0.0);
        QCOMPARE(pointSizeFromText(QStringLiteral("-3")), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestSettingsRecords)
#include "test_settings_records.moc"
