#include "app/settings_records.h"
#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/main_window_fixture.h"
#include "support/record_bytes.h"
#include "support/test_home.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// stts.ini in the order of its field table.
QByteArray speechBytes(qint32 generation, qint32 index, const QString &name, qint32 rate, qint32 pitch)
{
    return RecordBytes()
        .longValue(generation)
        .longValue(index)
        .string(name)
        .longValue(rate)
        .longValue(pitch)
        .data();
}

// swin.ini in the order of its field table (38 fields).
QByteArray windowBytes(const WindowSettings &s)
{
    return RecordBytes()
        .longValue(s.WindowState)
        .boolean(s.Visible)
        .longValue(s.Left)
        .longValue(s.Top)
        .longValue(s.Width)
        .longValue(s.Height)
        .string(s.OpenFolder)
        .string(s.SaveFolder)
        .string(s.OpenFileType)
        .string(s.SaveFileType)
        .boolean(s.TextBoxShown)
        .longValue(s.TextBoxHeight)
        .string(s.FontName)
        .string(s.FontBold)
        .boolean(s.FontItalic)
        .string(s.FontSize)
        .boolean(s.FontUnderline)
        .boolean(s.FontStrikethrough)
        .longValue(s.FontCharset)
        .longValue(s.TextColour)
        .longValue(s.BackColour)
        .boolean(s.WatchClipboard)
        .string(s.BatchDrive)
        .string(s.BatchSourceFolder)
        .string(s.BatchTargetFolder)
        .string(s.WordListFolder)
        .longValue(s.SlideDelay)
        .longValue(s.SlideFullWindow)
        .longValue(s.SlideRandom)
        .longValue(s.SlideBackColour)
        .string(s.SlideFontName)
        .string(s.SlideBold)
        .boolean(s.SlideItalic)
        .string(s.SlideSize)
        .boolean(s.SlideUnderline)
        .boolean(s.SlideStrikethrough)
        .longValue(s.SlideCharset)
        .longValue(s.SlideTextColour)
        .data();
}

qint32 rgbLong(const QColor &colour)
{
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

QString speechPath()
{
    return programFile(QStringLiteral("stts.ini"));
}

QString windowPath()
{
    return programFile(QStringLiteral("swin.ini"));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A normal window record with the text box shown, as a user's window would leave it.
WindowSettings sampleWindow()
{
    WindowSettings s;
    s.WindowState = 0;
    s.Visible = true;
    s.Left = 2250;
    s.Top = 1350;
    s.Width = 10500;
    s.Height = 7500;
    s.OpenFolder = QStringLiteral("/srv/texts/");
    s.SaveFolder = QStringLiteral("/srv/audio/");
    s.OpenFileType = QStringLiteral(".rtf");
    s.SaveFileType = QStringLiteral(".wav");
    s.TextBoxShown = true;
    s.TextBoxHeight = 7500 - 1575 - 600; // window height less the panel and the margin
    s.FontName = QStringLiteral("DejaVu Serif");
    s.FontBold = QStringLiteral("True");
    s.FontItalic = true;
    s.FontSize = QStringLiteral("12");
    s.FontUnderline = true;
    s.FontStrikethrough = false;
    s.FontCharset = 0;
    s.TextColour = 0x1E140A; // rgb(10, 20, 30)
    s.BackColour = 0xE6F0FA; // rgb(250, 240, 230)
    s.WatchClipboard = false;
    s.BatchDrive = QStringLiteral("d:");
    s.BatchSourceFolder = QStringLiteral("d:\\in\\");
    s.BatchTargetFolder = QStringLiteral("d:\\out\\");
    s.WordListFolder = QStringLiteral("d:\\lists\\");
    s.SlideDelay = 5;
    s.SlideFullWindow = 1;
    s.SlideRandom = 1;
    s.SlideBackColour = 0x00FF00;
    s.SlideFontName = QStringLiteral("Serif");
    s.SlideBold = QStringLiteral("True");
    s.SlideItalic = true;
    s.SlideSize = QStringLiteral("24");
    s.SlideUnderline = true;
    s.SlideStrikethrough = true;
    s.SlideCharset = 0;
    s.SlideTextColour = 255;
    return s;
}

// A generation-4 engine that offers a voice called "Mary" as its second mode.
class WithMary : public DirectSS
{
public:
    QString ModeName(int index) const override
    {
        return index == 2 ? QStringLiteral("Mary") : DirectSS::ModeName(index);
    }
};

// Lowers the largest file this process may write, so that every save fails part-way.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
    bool m_ok = false;
};

// Files in the program folder other than the two records: a save must leave none behind.
QStringList strayFiles()
{
    QStringList names = QDir(programFolder()).entryList({QStringLiteral("s*.ini.*")}, QDir::Files);
    return names;
}

} // namespace

class TestSettingsApply : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("settingsTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void init()
    {
        for (const QString &name : QDir(home.path()).entryList({QStringLiteral("s*.ini*")}, QDir::Files))
            QFile::remove(home.file(name));
    }

    void firstStartWithoutMarySpeaksTheUsersLanguage()
    {
        const QList<QPair<QString, QString>> cases = {
            {QStringLiteral("en_US"), QStringLiteral("English (America) (TTS4.0)")},
            {QStringLiteral("de_DE"), QStringLiteral("German (TTS4.0)")},
            {QStringLiteral("C"), QStringLiteral("English (America) (TTS4.0)")},
        };
        for (const auto &[locale, voice] : cases) {
            QLocale::setDefault(QLocale(locale));
            LoadedWindow w;
            QLocale::setDefault(QLocale::system());
            QVERIFY(w->Combo1->findText(QStringLiteral("Mary (TTS4.0)")) < 0);
            QCOMPARE(w->Combo1->currentText(), voice);
            QCOMPARE(w->windowTitle(), voice);
            QCOMPARE(w.app.speech.SapiVersion, 4);
            QCOMPARE(w.app.speech.CurrentVoiceName, voice.chopped(9));
            QCOMPARE(w->DirectSS1->CurrentMode(), w.app.speech.CurrentEngineIndex);
            QCOMPARE(w->DirectSS1->ModeName(w->DirectSS1->CurrentMode()), voice.chopped(9));
            // Nothing is written before the first save.
            QVERIFY(!QFile::exists(speechPath()));
            QVERIFY(!QFile::exists(windowPath()));
        }
    }

    void firstStartPrefersMary()
    {
        SpeechFactory factory = SpeechFactory::standard();
        factory.makeDirectSS = [] { return std::make_unique<WithMary>(); };
        LoadedWindow w(factory);
        QCOMPARE(w->Combo1->currentText(), QStringLiteral("Mary (TTS4.0)"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Mary (TTS4.0)"));
        QCOMPARE(w.app.speech.SapiVersion, 4);
        QCOMPARE(w.app.speech.CurrentEngineIndex, 2);
        QCOMPARE(w.app.speech.CurrentVoiceName, QStringLiteral("Mary"));
        QCOMPARE(w->DirectSS1->CurrentMode(), 2);
        QCOMPARE(w->TextToSpeech1->CurrentMode(), 2);
    }

    void defaultsSavedPeriodicallyAndReadBack()
    {
        QByteArray speechWritten;
        WindowSettings expected;
        {
            LoadedWindow w;
            QVERIFY(w->isMaximized());
            w->SaveSettings->Timer(); // the periodic save

            // The engine's own speed 175 of 80..450 and pitch 50 of 0..100 set the bars.
            const QString current = w->Combo1->currentText();
            QCOMPARE(w->VScroll2->value(), 26);
            QCOMPARE(w->Label5->text(), QStringLiteral("26"));
            QCOMPARE(w->VScroll3->value(), 50);
            QCOMPARE(w->Label3->text(), QStringLiteral("50"));
            speechWritten = readFile(speechPath());
            QCOMPARE(speechWritten,
                     speechBytes(4, w.app.speech.CurrentEngineIndex, current.chopped(9), 26, 50));

            // The locale's character set and size (East Asian locales: their own set, size 9).
            const QHash<int, int> eastAsianCharsets = {{1042, 129}, {1028, 136}, {1041, 128}, {2052, 134}};
            const int locale = userDefaultLocaleId();
            expected.WindowState = 2;
            expected.Visible = true;
            expected.Left = w->x() * 15;
            expected.Top = w->y() * 15;
            expected.Width = w->frameGeometry().width() * 15;
            expected.Height = w->frameGeometry().height() * 15;
            expected.OpenFolder = home.path();
            expected.SaveFolder = home.path();
            expected.OpenFileType = QStringLiteral(".txt");
            expected.SaveFileType = QStringLiteral(".mp3");
            expected.TextBoxShown = true;
            expected.TextBoxHeight = qRound((expected.Height - 1575 - 600) / 15.0) * 15;
            expected.FontName = w->RichTextBox1->font().family();
            expected.FontBold = QStringLiteral("False");
            expected.FontItalic = false;
            expected.FontSize =
                eastAsianCharsets.contains(locale) ? QStringLiteral("9") : QStringLiteral("8");
            expected.FontUnderline = false;
            expected.FontStrikethrough = false;
            expected.FontCharset = eastAsianCharsets.value(locale, 1);
            expected.TextColour = 0;
            expected.BackColour = 16777215;
            expected.WatchClipboard = true;
            expected.BatchDrive = QStringLiteral("c:");
            expected.BatchSourceFolder = QStringLiteral("c:\\");
            expected.BatchTargetFolder = QStringLiteral("c:\\");
            expected.WordListFolder = QStringLiteral("c:\\");
            expected.SlideDelay = 2;
            expected.SlideFullWindow = 0;
            expected.SlideRandom = 0;
            expected.SlideBackColour = rgbLong(w->Label15->palette().color(QPalette::Window));
            expected.SlideFontName = w->Label15->font().family();
            expected.SlideBold = QStringLiteral("False");
            expected.SlideItalic = false;
            expected.SlideSize = QString::number(w->Label15->font().pointSizeF());
            expected.SlideUnderline = false;
            expected.SlideStrikethrough = false;
            expected.SlideCharset = 1;
            expected.SlideTextColour = rgbLong(w->Label15->palette().color(QPalette::WindowText));
            QCOMPARE(readFile(windowPath()), windowBytes(expected));
            QCOMPARE(w->RichTextBox1->palette().color(QPalette::Base), QColor(Qt::white));
            QCOMPARE(w->RichTextBox1->palette().color(QPalette::Text), QColor(Qt::black));
        }

        // A new window takes everything back and writes the same record again. (The size a
        // maximised window keeps for later is its own: the offscreen platform does not
        // maximise, so it is taken from the window here. The normal case is checked exactly
        // in the test below.)
        LoadedWindow w;
        QCOMPARE(w->windowTitle(), w->Combo1->currentText());
        QCOMPARE(w->VScroll2->value(), 26);
        QCOMPARE(w->DirectSS1->Speed(), 176); // bar 26 of 80..450
        QVERIFY(w->isMaximized());
        QCOMPARE(w.app.window.BatchDrive, QStringLiteral("c:")); // only empty fields are mapped
        w->SaveSettings->Timer();
        QCOMPARE(readFile(speechPath()), speechWritten);
        expected.Width = w->frameGeometry().width() * 15;
        expected.Height = w->frameGeometry().height() * 15;
        expected.TextBoxHeight = qRound((expected.Height - 1575 - 600) / 15.0) * 15;
        QCOMPARE(readFile(windowPath()), windowBytes(expected));
    }

    void changedStateSavedAtExitAndReadBack()
    {
        const QList<SpObjectToken> tokens = SpVoice::GetVoices();
        QVERIFY(tokens.size() >= 2);
        WindowSettings expected = sampleWindow();
        QString listText;
        {
            LoadedWindow w;
            const int row = listPosition(*w, 5) + 1;
            listText = w->Combo1->itemText(row);
            pickVoice(*w, row);
            QTRY_VERIFY(!w->NewsVoice1->isSpeaking());
            w->VScroll2->setValue(70);
            w->VScroll3->setValue(40);

            // The record holds the frame's place and the outer size.
            w->setWindowState(Qt::WindowNoState);
            const QSize frame = w->frameGeometry().size() - w->size();
            w->move(150, 90);
            w->resize(QSize(700, 500) - frame);
            QTRY_COMPARE(w->frameGeometry(), QRect(150, 90, 700, 500));
            QFont font(QStringLiteral("DejaVu Serif"));
            font.setPointSize(12);
            font.setBold(true);
            font.setItalic(true);
            font.setUnderline(true);
            w->RichTextBox1->setFont(font);
            QPalette palette = w->RichTextBox1->palette();
            palette.setColor(QPalette::Text, QColor(10, 20, 30));
            palette.setColor(QPalette::Base, QColor(250, 240, 230));
            w->RichTextBox1->setPalette(palette);
            // The fields other windows own, changed in memory by them.
            WindowSettings &record = w.app.window;
            const WindowSettings sample = sampleWindow();
            record.OpenFolder = sample.OpenFolder;
            record.SaveFolder = sample.SaveFolder;
            record.OpenFileType = sample.OpenFileType;
            record.SaveFileType = sample.SaveFileType;
            record.FontCharset = sample.FontCharset;
            record.WatchClipboard = sample.WatchClipboard;
            record.BatchDrive = sample.BatchDrive;
            record.BatchSourceFolder = sample.BatchSourceFolder;
            record.BatchTargetFolder = sample.BatchTargetFolder;
            record.WordListFolder = sample.WordListFolder;
            record.SlideDelay = sample.SlideDelay;
            record.SlideFullWindow = sample.SlideFullWindow;
            record.SlideRandom = sample.SlideRandom;
            record.SlideBackColour = sample.SlideBackColour;
            record.SlideFontName = sample.SlideFontName;
            record.SlideBold = sample.SlideBold;
            record.SlideItalic = sample.SlideItalic;
            record.SlideSize = sample.SlideSize;
            record.SlideUnderline = sample.SlideUnderline;
            record.SlideStrikethrough = sample.SlideStrikethrough;
            record.SlideCharset = sample.SlideCharset;
            record.SlideTextColour = sample.SlideTextColour;

            w->ExitAll();
            QCOMPARE(w.endCalls, 1);
            QCOMPARE(readFile(speechPath()), speechBytes(5, 1, listText.chopped(9), 70, 40));
            QCOMPARE(readFile(windowPath()), windowBytes(expected));
            QVERIFY(strayFiles().isEmpty());
        }

        LoadedWindow w;
        QCOMPARE(w->windowTitle(), listText);
        QCOMPARE(w->Combo1->currentText(), listText);
        QCOMPARE(w.app.speech.SapiVersion, 5);
        QCOMPARE(w.app.speech.CurrentEngineIndex, 1);
        QCOMPARE(w->NewsVoice1->Voice(), tokens[1]);
        QCOMPARE(w->VoiceSayTime->Voice(), tokens[1]);
        QCOMPARE(w->NewsVoice1->Rate(), 4); // 70 / 5 - 10
        QCOMPARE(w->VoiceSayTime->Rate(), 4);
        QCOMPARE(w->VScroll2->value(), 70);
        QCOMPARE(w->Label5->text(), QStringLiteral("70"));
        QCOMPARE(w->VScroll3->value(), 40);
        QCOMPARE(w->Label3->text(), QStringLiteral("40"));
        QCOMPARE(w->windowState(), Qt::WindowNoState);
        QVERIFY(w->isVisible());
        QTRY_COMPARE(w->frameGeometry(), QRect(150, 90, 700, 500));
        const QFont font = w->RichTextBox1->font();
        QCOMPARE(font.family(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(font.pointSize(), 12);
        QVERIFY(font.bold() && font.italic() && font.underline() && !font.strikeOut());
        QCOMPARE(w->RichTextBox1->palette().color(QPalette::Text), QColor(10, 20, 30));
        QCOMPARE(w->RichTextBox1->palette().color(QPalette::Base), QColor(250, 240, 230));
        QCOMPARE(w.app.window, expected);
    }

    void generation4VoiceComesBackWithItsSpeedAndPitch()
    {
        QString listText;
        {
            LoadedWindow w;
            pickVoice(*w, 1);
            listText = w->Combo1->itemText(1);
            w->VScroll2->setValue(60);
            w->VScroll3->setValue(30);
            w->SaveSettings->Timer();
            QCOMPARE(readFile(speechPath()), speechBytes(4, 2, listText.chopped(9), 60, 30));
        }
        LoadedWindow w;
        QCOMPARE(w->windowTitle(), listText);
        QCOMPARE(w->Combo1->currentIndex(), 1);
        QCOMPARE(w->DirectSS1->CurrentMode(), 2);
        QCOMPARE(w->TextToSpeech1->CurrentMode(), 2);
        QCOMPARE(w->DirectSS1->Speed(), 302); // 60 of 80..450
        QCOMPARE(w->TextToSpeech1->Speed(), 302);
        QCOMPARE(w->DirectSS1->Pitch(), 30); // 30 of 0..100
        QCOMPARE(w->Label5->text(), QStringLiteral("60"));
        QCOMPARE(w->Label3->text(), QStringLiteral("30"));
    }

    void aVoiceNoLongerInstalledFallsBackToTheFirstEntry()
    {
        writeFile(speechPath(), speechBytes(5, 3, QStringLiteral("Retired Voice"), 80, 20));
        LoadedWindow w;
        const QString first = w->Combo1->itemText(0);
        QCOMPARE(w->windowTitle(), first);
        QCOMPARE(w->Combo1->currentIndex(), 0);
        QCOMPARE(w.app.speech.CurrentVoiceName, first.chopped(9));
        QCOMPARE(w.app.speech.SapiVersion, 4);
        QCOMPARE(w.app.speech.CurrentEngineIndex, 1);
        // The recorded bar positions apply to the voice that is current now.
        QCOMPARE(w->VScroll2->value(), 80);
        QCOMPARE(w->DirectSS1->Speed(), 376); // 80 of 80..450
    }

    void damagedRecordsNeverStopTheStart_data()
    {
        QTest::addColumn<QByteArray>("speech");
        QTest::addColumn<QByteArray>("window");

        const QByteArray speech = speechBytes(4, 2, QStringLiteral("whatever"), 10, 90);
        const QByteArray window = windowBytes(sampleWindow());
        QRandomGenerator random(7);
        QByteArray noise(600, Qt::Uninitialized);
        for (char &byte : noise)
            byte = char(random.bounded(256));

        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("short") << speech.left(6) << window.left(25);
        QTest::newRow("string cut off") << speech.left(12) << window.left(30);
        QTest::newRow("noise") << noise.left(40) << noise;
        QTest::newRow("all ones") << QByteArray(300, '\xFF') << QByteArray(3000, '\xFF');
        QTest::newRow("trailing bytes")
            << speech + QByteArray(4096, '\xFF') << window + QByteArray(4096, '\x7F');
    }

    void damagedRecordsNeverStopTheStart()
    {
        QFETCH(QByteArray, speech);
        QFETCH(QByteArray, window);
        writeFile(speechPath(), speech);
        writeFile(windowPath(), window);

        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        QCOMPARE(w.endCalls, 0);
        // Some voice is current, and the caption names it.
        QVERIFY(w->Combo1->currentIndex() >= 0);
        QCOMPARE(w->windowTitle(), w->Combo1->currentText());
        QVERIFY(w->VScroll2->value() >= 0 && w->VScroll2->value() <= 100);
        // A window never grows beyond the desktop.
        const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
        QVERIFY(w->width() <= desktop.width() && w->height() <= desktop.height());
        // Starting does not rewrite the files: nothing is lost before the first save.
        QCOMPARE(readFile(speechPath()), speech);
        QCOMPARE(readFile(windowPath()), window);

        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        if (tag == QLatin1String("trailing bytes")) {
            WindowSettings sample = sampleWindow();
            QCOMPARE(w.app.window.OpenFolder, sample.OpenFolder);
            QCOMPARE(w.app.window.SlideTextColour, sample.SlideTextColour);
            QCOMPARE(w.app.window.SlideDelay, sample.SlideDelay);
            QCOMPARE(w->RichTextBox1->font().family(), sample.FontName);
        }
        if (tag == QLatin1String("short") || tag == QLatin1String("empty") ||
            tag == QLatin1String("string cut off")) {
            // Fields past the data are empty or zero; the steps they would feed are skipped.
            QVERIFY(w.app.window.OpenFileType.isEmpty());
            QVERIFY(w.app.window.WordListFolder.isEmpty());
            QVERIFY(w.app.window.SlideFontName.isEmpty());
            QCOMPARE(w.app.window.SlideDelay, 0);
            QVERIFY(!w.app.window.WatchClipboard);
            QCOMPARE(w->RichTextBox1->font().family(), QPlainTextEdit().font().family());
            QCOMPARE(w.app.window.BatchDrive, QStringLiteral("C:"));
            // The voice record ends before its name: the first entry stands in.
            QCOMPARE(w->Combo1->currentIndex(), 0);
        }
        // The next save writes a whole, readable record again.
        w->SaveSettings->Timer();
        QCOMPARE(decodeWindowSettings(readFile(windowPath())).BatchDrive, w.app.window.BatchDrive);
        QCOMPARE(decodeSpeechSettings(readFile(speechPath())), w.app.speech);
    }

    void hiddenTextBoxStartsOutOfSight()
    {
        WindowSettings low = sampleWindow();
        low.Height = 2000;
        low.TextBoxShown = false;
        writeFile(windowPath(), windowBytes(low));
        LoadedWindow w;
        QVERIFY(w->isVisible());
        QCOMPARE(w->RichTextBox1->x(), 6667); // 99999 twips
        QVERIFY(!w->Check1->isChecked());
        QCOMPARE(w->Check1->toolTip(), QStringLiteral("Show text box"));
        QVERIFY(!w.app.window.TextBoxShown);
    }

    void savedMinimisedRestoresMinimisedInPlace()
    {
        WindowSettings minimised = sampleWindow();
        minimised.WindowState = 1;
        minimised.Left = 1500;
        minimised.Top = 900;
        writeFile(windowPath(), windowBytes(minimised));
        LoadedWindow w;
        QVERIFY(w->windowState() & Qt::WindowMinimized);
        QCOMPARE(w->pos(), QPoint(100, 60));
        QCOMPARE(w.app.window.WindowState, 1);

        // Saved again while minimised, the place is the recorded one, not the window's.
        w->move(300, 300);
        w->SaveSettings->Timer();
        const WindowSettings saved = decodeWindowSettings(readFile(windowPath()));
        QCOMPARE(saved.WindowState, 1);
        QCOMPARE(saved.Left, 1500);
        QCOMPARE(saved.Top, 900);
    }

    void emptyBatchFieldsComeBackAsDriveC()
    {
        WindowSettings record = sampleWindow();
        record.BatchDrive.clear();
        record.BatchSourceFolder.clear();
        record.BatchTargetFolder.clear();
        record.WordListFolder.clear();
        writeFile(windowPath(), windowBytes(record));
        LoadedWindow w;
        QCOMPARE(w.app.window.BatchDrive, QStringLiteral("C:"));
        QCOMPARE(w.app.window.BatchSourceFolder, QStringLiteral("C:\\"));
        QCOMPARE(w.app.window.BatchTargetFolder, QStringLiteral("C:\\"));
        QVERIFY(w.app.window.WordListFolder.isEmpty()); // not a batch field
    }

    void anInterruptedSaveKeepsTheOldRecords()
    {
        const QByteArray oldSpeech = speechBytes(4, 1, QStringLiteral("Old"), 10, 20);
        const QByteArray oldWindow = windowBytes(sampleWindow());
        writeFile(speechPath(), oldSpeech);
        writeFile(windowPath(), oldWindow);
        // Left over by a save that was cut short: removed at the next start.
        writeFile(speechPath() + QStringLiteral(".a1B2c3"), QByteArray(3, '\x05'));

        LoadedWindow w;
        QCOMPARE(w->RichTextBox1->font().family(), QStringLiteral("DejaVu Serif"));
        w->VScroll2->setValue(90);
        {
            // Every write fails after 8 bytes: both saves fail part-way.
            FileSizeLimit limit(8);
            QVERIFY(limit.ok());
            w->SaveSettings->Timer();
            w->ExitAll();
        }
        QCOMPARE(readFile(speechPath()), oldSpeech);
        QCOMPARE(readFile(windowPath()), oldWindow);
        QCOMPARE(strayFiles(), QStringList());

        // The next save that can write replaces both whole.
        w->SaveSettings->Timer();
        QCOMPARE(decodeSpeechSettings(readFile(speechPath())).RatePosition, 90);
        QCOMPARE(decodeWindowSettings(readFile(windowPath())).OpenFolder, sampleWindow().OpenFolder);
    }

    void closingWritesNothingButExitWritesBoth()
    {
        for (const bool tray : {false, true}) {
            init();
            {
                LoadedWindow w(SpeechFactory::standard(), QString(),
                               [tray](ttsmain &window) { window.setTrayReachable([tray] { return tray; }); });
                QVERIFY(!w->close());
                w->show();
                w->Command9_Click();
                QVERIFY(!QFile::exists(speechPath()));
                QVERIFY(!QFile::exists(windowPath()));

                w->ExitAll();
                QVERIFY(QFile::exists(speechPath()));
                QVERIFY(QFile::exists(windowPath()));
                // Closed to the tray: the next start stays there. Without a tray it was
                // only minimised, and comes back minimised.
                const WindowSettings saved = decodeWindowSettings(readFile(windowPath()));
                QCOMPARE(saved.Visible, !tray);
                QCOMPARE(saved.WindowState, 1);
            }
            // A record saying hidden is only obeyed where the tray can bring the window back.
            WindowSettings hidden = decodeWindowSettings(readFile(windowPath()));
            hidden.Visible = false;
            writeFile(windowPath(), encode(hidden));
            LoadedWindow again(SpeechFactory::standard(), QString(),
                               [tray](ttsmain &window) { window.setTrayReachable([tray] { return tray; }); });
            QCOMPARE(again->isVisible(), !tray);
        }
    }
};

QTEST_MAIN(TestSettingsApply)
#include "test_settings_apply.moc"
