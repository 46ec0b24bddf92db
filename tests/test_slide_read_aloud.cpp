#include "app/slide_read_aloud_host.h"
#include "app/ttsmain.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "tools/SlideReadAloud.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every control the full-window view hides, the panel last.
QList<QWidget *> panelControls(const SlideReadAloud &s)
{
    return {s.Command1, s.Command2, s.Command3, s.Command4, s.Command5, s.Command6,   s.Command7,
            s.Command8, s.Text1,    s.Label2,   s.Check1,   s.Check2,   s.SlideDelay, s.Frame1};
}

bool panelHidden(const SlideReadAloud &s)
{
    const QList<QWidget *> controls = panelControls(s);
    return std::all_of(controls.cbegin(), controls.cend(), [](QWidget *w) { return w->isHidden(); });
}

bool panelShown(const SlideReadAloud &s)
{
    const QList<QWidget *> controls = panelControls(s);
    return std::all_of(controls.cbegin(), controls.cend(), [](QWidget *w) { return w->isVisible(); });
}

void showActive(SlideReadAloud &s)
{
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s));
}

// Makes a voice of `generation` current in the main window.
void useGeneration(LoadedWindow &w, int generation)
{
    if (w.app.speech.SapiVersion == generation)
        return;
    const int position = listPosition(*w, generation);
    QVERIFY(position >= 0);
    pickVoice(*w, position);
    QCOMPARE(w.app.speech.SapiVersion, generation);
}

} // namespace

class SlideReadAloudTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_home.emplace();
        // An instance name of this process's own: other tests' windows may run at the same time.
        qputenv("PARLANTO_INSTANCE",
                QByteArray("slideTest") + QByteArray::number(QCoreApplication::applicationPid()));
        QVERIFY(m_words.isValid());
        // A word list as a Linux editor saves it: LF line ends, words in several languages.
        m_list = m_words.filePath(QStringLiteral("words.txt"));
        QVERIFY(writeFile(m_list, "Hello\nприве́т\n日本語\n"));
    }

    // Select, Begin with the slider at one second, Pause and Resume, the run's end, then
    // Previous and Next, with the words shown and spoken by the real eSpeak NG voice.
    void listOrderRun()
    {
        LoadedWindow w;
        useGeneration(w, 4);
        FakeDialogs dialogs;
        SlideReadAloud s(slideReadAloudHost(*w));
        showActive(s);

        QCOMPARE(s.windowTitle(), QStringLiteral("Slide read aloud words - Parlanto"));
        QCOMPARE(s.Label1->text(), QStringLiteral("Word"));
        QCOMPARE(s.SlideStatus, 1);
        QVERIFY(!s.Command3->isEnabled());
        QVERIFY(!s.Command4->isEnabled());
        QVERIFY(!s.Command8->isEnabled());
        // The word spans the window at a quarter of its height; the panel sits centred below it.
        QCOMPARE(s.Label1->geometry().left(), 0);
        QCOMPARE(s.Label1->width(), s.width());
        QCOMPARE(s.Label1->y(), s.height() / 4);
        QCOMPARE(s.Frame1->x(), (s.width() - s.Frame1->width()) / 2);
        QCOMPARE(s.Frame1->y(), s.height() - 2 * s.Frame1->height());

        dialogs.queueFile(m_list);
        QTest::mouseClick(s.Command5, Qt::LeftButton);
        QCOMPARE(dialogs.fileCalls().size(), 1);
        QCOMPARE(dialogs.fileCalls().last().request.title, QStringLiteral("Select A Word Text File"));
        QCOMPARE(dialogs.fileCalls().last().request.initialFolder, QDir::homePath());
        QCOMPARE(s.Text1->text(), m_list);
        QCOMPARE(s.Label2->text(), QStringLiteral("3 words"));
        QVERIFY(s.Command8->isEnabled());
        QCOMPARE(w.app.window.WordListFolder, m_words.path() + QLatin1Char('/'));

        // The slider to its minimum from the keyboard: one second between words.
        s.SlideDelay->setFocus();
        QTest::keyClick(s.SlideDelay, Qt::Key_Home);
        QCOMPARE(s.SlideDelay->value(), 1);

        QList<QPair<qint64, QString>> shown; // when each word was handed to the voice, and which
        QElapsedTimer clock;
        connect(w->TextToSpeech1.get(), &TextToSpeech::SpeakingStarted, &s, [&] {
            shown.append({clock.elapsed(), s.Label1->text()});
        });
        QSignalSpy done(w->TextToSpeech1.get(), &TextToSpeech::SpeakingDone);

        clock.start();
        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QCOMPARE(w.app.window.SlideDelay, 1); // the settings are saved at Begin
        QVERIFY(!s.Command2->isEnabled());
        QVERIFY(!s.Command5->isEnabled());
        QVERIFY(!s.Command8->isEnabled());
        QVERIFY(s.Command3->isEnabled());
        QVERIFY(s.Command4->isEnabled());
        QVERIFY(s.Text1->isReadOnly());
        QVERIFY(!s.Check1->isEnabled());
        QVERIFY(!s.Check2->isEnabled());
        QVERIFY(panelShown(s)); // "Full window" is not ticked

        QTRY_COMPARE(s.Label1->text(), QStringLiteral("Hello"));
        QCOMPARE(s.Label2->text(), QStringLiteral("1/3 words"));
        QTRY_COMPARE(shown.size(), 1);
        QVERIFY2(shown[0].first < 900, qPrintable(QString::number(shown[0].first)));
        QTRY_VERIFY(done.count() >= 1); // the whole word was spoken

        // Paused, nothing moves on for longer than the delay.
        QTest::mouseClick(s.Command4, Qt::LeftButton);
        QCOMPARE(s.Command4->text(), QStringLiteral("Res&ume"));
        QCOMPARE(s.SlideStatus, 2);
        QTest::qWait(1300);
        QCOMPARE(s.Label2->text(), QStringLiteral("1/3 words"));
        QCOMPARE(shown.size(), 1);

        // Resumed, the next word comes at once rather than after the delay.
        const qint64 resumedAt = clock.elapsed();
        QTest::mouseClick(s.Command4, Qt::LeftButton);
        QCOMPARE(s.Command4->text(), QStringLiteral("Pa&use"));
        QTRY_COMPARE(s.Label2->text(), QStringLiteral("2/3 words"));
        QCOMPARE(s.Label1->text(), QString::fromUtf8("приве́т"));
        QTRY_COMPARE(shown.size(), 2);
        QVERIFY2(shown[1].first - resumedAt < 900, qPrintable(QString::number(shown[1].first - resumedAt)));

        // The last word a delay later, and the run ends by itself one delay after it.
        QTRY_COMPARE(shown.size(), 3);
        QCOMPARE(shown[2].second, QString::fromUtf8("日本語"));
        QVERIFY2(shown[2].first - shown[1].first >= 950, qPrintable(QString::number(shown[2].first)));
        QCOMPARE(s.Label2->text(), QStringLiteral("3/3 words"));
        QVERIFY(s.SlideRunning);
        QTRY_VERIFY(!s.SlideRunning);
        QVERIFY(clock.elapsed() - shown[2].first >= 950);
        QCOMPARE(s.SlideStatus, 1);
        QVERIFY(s.Command2->isEnabled());
        QVERIFY(!s.Command3->isEnabled());
        QVERIFY(!s.Command4->isEnabled());
        QVERIFY(!s.Text1->isReadOnly());
        QCOMPARE(s.Label2->text(), QStringLiteral("3/3 words"));
        QCOMPARE(shown.size(), 3); // exactly the list, once

        // Previous and Next step through the list in file order, speaking each word.
        QTest::mouseClick(s.Command9, Qt::LeftButton);
        QCOMPARE(s.Label2->text(), QStringLiteral("3/3 words"));
        QTest::mouseClick(s.Command9, Qt::LeftButton);
        QCOMPARE(s.Label2->text(), QStringLiteral("2/3 words"));
        QCOMPARE(s.Label1->text(), QString::fromUtf8("приве́т"));
        QTest::mouseClick(s.Command9, Qt::LeftButton);
        QCOMPARE(s.Label1->text(), QStringLiteral("Hello"));
        QTRY_COMPARE(shown.last().second, QStringLiteral("Hello"));
        QTest::mouseClick(s.Command9, Qt::LeftButton); // on the first word: only stops
        QCOMPARE(s.Label2->text(), QStringLiteral("1/3 words"));
        QTest::mouseClick(s.Command10, Qt::LeftButton);
        QCOMPARE(s.Label2->text(), QStringLiteral("2/3 words"));
        QTRY_COMPARE(shown.last().second, QString::fromUtf8("приве́т"));
        QTest::mouseClick(s.Command10, Qt::LeftButton);
        QTest::mouseClick(s.Command10, Qt::LeftButton); // on the last word: only stops
        QCOMPARE(s.Label2->text(), QStringLiteral("3/3 words"));
        QCOMPARE(s.Label1->text(), QString::fromUtf8("日本語"));

        // Begin again starts from the first word; Next during the run stops it and steps on.
        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QTRY_COMPARE(s.Label2->text(), QStringLiteral("1/3 words"));
        QTest::mouseClick(s.Command10, Qt::LeftButton);
        QVERIFY(!s.SlideRunning);
        QCOMPARE(s.Label2->text(), QStringLiteral("2/3 words"));
        QVERIFY(s.Command2->isEnabled());

        // Moving the slider during a run sets the running gap at once.
        s.SlideDelay->setValue(5);
        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QTRY_COMPARE(s.Label2->text(), QStringLiteral("1/3 words"));
        QCOMPARE(s.SlideDelayMs, 5000);
        QTest::keyClick(s.SlideDelay, Qt::Key_Home);
        QTRY_COMPARE_WITH_TIMEOUT(s.Label2->text(), QStringLiteral("2/3 words"), 2000);
        QTest::mouseClick(s.Command3, Qt::LeftButton);
        QVERIFY(!s.SlideRunning);
        QTRY_VERIFY(!w->TextToSpeech1->isSpeaking());
    }

    // Random order in the full-window view, toggled by double clicks on the word and the window.
    void randomFullWindowRun()
    {
        LoadedWindow w;
        useGeneration(w, 4);
        FakeDialogs dialogs;
        SlideReadAloud s(slideReadAloudHost(*w));
        showActive(s);
        s.Text1->setText(m_list); // typed, not chosen: the word folder stays
        const QString folderBefore = w.app.window.WordListFolder;
        QTest::mouseClick(s.Check2, Qt::LeftButton);
        QVERIFY(s.Check2->isChecked());
        QTest::mouseClick(s.Check1, Qt::LeftButton);
        QVERIFY(s.Check1->isChecked());
        s.SlideDelay->setValue(1);

        QTest::mouseDClick(s.Label1, Qt::LeftButton); // no run: nothing happens
        QVERIFY(panelShown(s));

        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QCOMPARE(w.app.window.SlideRandom, 1);
        QCOMPARE(w.app.window.SlideFullWindow, 1);
        QCOMPARE(w.app.window.WordListFolder, folderBefore);
        QVERIFY(panelHidden(s));
        QVERIFY(s.Label1->isVisible());
        QCOMPARE(s.Label1->toolTip(), QStringLiteral("Double click to restore default window"));

        const QStringList list{QStringLiteral("Hello"), QString::fromUtf8("приве́т"),
                               QString::fromUtf8("日本語")};
        QTRY_COMPARE(s.Label2->text(), QStringLiteral("1/3 words"));
        QVERIFY(list.contains(s.Label1->text()));
        QCOMPARE(s.CurrentWord, s.Label1->text());

        QTest::mouseDClick(s.Label1, Qt::LeftButton);
        QVERIFY(panelShown(s));
        QCOMPARE(s.Label1->toolTip(), QStringLiteral("Double click to resotre full window"));
        QTest::mouseDClick(&s, Qt::LeftButton, {}, QPoint(5, 5)); // on the window, off the word
        QVERIFY(panelHidden(s));
        QCOMPARE(s.Label1->toolTip(), QStringLiteral("Double click to restore default window"));

        // Every pick is a word of the list; the run shows three and ends, controls back.
        QTRY_COMPARE(s.Label2->text(), QStringLiteral("2/3 words"));
        QVERIFY(list.contains(s.Label1->text()));
        QTRY_COMPARE(s.Label2->text(), QStringLiteral("3/3 words"));
        QVERIFY(list.contains(s.Label1->text()));
        QTRY_VERIFY(!s.SlideRunning);
        QVERIFY(panelShown(s));
        QVERIFY(s.Label1->toolTip().isEmpty());
    }

    // The messages of Begin, a list too short to read, Edit, and a generation-5 voice.
    void beginRefusalsEditAndFlite()
    {
        LoadedWindow w;
        FakeDialogs dialogs;
        FakeShell shell;
        SlideReadAloud s(slideReadAloudHost(*w));
        showActive(s);

        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().last().text, QStringLiteral("Please select a words file"));
        QCOMPARE(dialogs.messages().last().title, QStringLiteral("Parlanto"));

        const QString missing = m_words.filePath(QStringLiteral("gone.txt"));
        QTest::keyClicks(s.Text1, missing);
        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QCOMPARE(dialogs.messages().last().text, missing + QStringLiteral(" does not exist"));

        // One line: "1 word" at selection, then Begin refuses and counts no word.
        const QString one = m_words.filePath(QStringLiteral("one.txt"));
        QVERIFY(writeFile(one, "lonely\r\n"));
        dialogs.queueFile(QStringLiteral("  ") + one + QChar(u'\0'));
        QTest::mouseClick(s.Command5, Qt::LeftButton);
        QCOMPARE(s.Text1->text(), one);
        QCOMPARE(s.Label2->text(), QStringLiteral("1 word"));
        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QCOMPARE(dialogs.messages().last().text, one + QStringLiteral(" has no word"));
        QCOMPARE(s.Label2->text(), QStringLiteral("0 word"));
        QVERIFY(s.Command2->isEnabled());
        QVERIFY(!s.SlideRunning);
        // "0 word" is answered without reading the file again.
        QVERIFY(writeFile(one, "now\nthree\nwords\n"));
        QTest::mouseClick(s.Command2, Qt::LeftButton);
        QCOMPARE(dialogs.messages().last().text, one + QStringLiteral(" has no word"));
        QVERIFY(!s.SlideRunning);

        // Edit hands the file to the user's editor; it is offered for ".txt" names only.
        QTest::mouseClick(s.Command8, Qt::LeftButton);
        QCOMPARE(shell.opened(), QStringList{one});
        s.Text1->setText(m_words.filePath(QStringLiteral("list.TXT")));
        QVERIFY(!s.Command8->isEnabled());

        // With a generation-5 voice the words go to the talking clock's voice; Stop purges it.
        useGeneration(w, 5);
        dialogs.queueFile(m_list);
        QTest::mouseClick(s.Command5, Qt::LeftButton);
        QSignalSpy started(w->VoiceSayTime.get(), &SpVoice::StartStream);
        QSignalSpy ended(w->VoiceSayTime.get(), &SpVoice::EndStream);
        QTest::mouseClick(s.Command10, Qt::LeftButton);
        QCOMPARE(s.Label1->text(), QStringLiteral("Hello"));
        QTRY_COMPARE(started.count(), 1);
        QTest::mouseClick(s.Command3, Qt::LeftButton);
        QTRY_VERIFY(!w->VoiceSayTime->isSpeaking());
        QTRY_COMPARE(ended.count(), 1);
    }

    // Font, colour, delay and the two switches come back after a restart.
    void settingsRemembered()
    {
        QFile::remove(m_home->file(QStringLiteral("swin.ini"))); // start from the defaults
        FakeDialogs dialogs;
        QFont chosen(QStringLiteral("DejaVu Serif"), 48);
        chosen.setItalic(true);
        const QColor wordColour(200, 10, 30);
        const QColor backColour(240, 250, 200);
        {
            LoadedWindow w;
            SlideReadAloud s(slideReadAloudHost(*w));
            showActive(s);
            // The default: large type.
            QVERIFY(s.Label1->font().pointSize() >= 24);

            const QFont before = s.Label1->font();
            const QColor colourBefore = s.Label1->palette().color(QPalette::WindowText);
            dialogs.queueFont(chosen, wordColour);
            QTest::mouseClick(s.Command6, Qt::LeftButton);
            QCOMPARE(dialogs.fontCalls().size(), 1);
            QCOMPARE(dialogs.fontCalls().last().initial.pointSize(), before.pointSize());
            QCOMPARE(dialogs.fontCalls().last().initial.bold(), before.bold());
            QCOMPARE(dialogs.fontCalls().last().colour, colourBefore);
            QCOMPARE(s.Label1->font().pointSize(), 48);
            QVERIFY(s.Label1->font().italic());
            QVERIFY(!s.Label1->font().bold());
            QCOMPARE(s.Label1->palette().color(QPalette::WindowText), wordColour);

            dialogs.queueColour(backColour);
            QTest::mouseClick(s.Command7, Qt::LeftButton);
            QCOMPARE(s.Label1->palette().color(QPalette::Window), backColour);
            QCOMPARE(s.palette().color(QPalette::Window), backColour);

            QTest::mouseClick(s.Check1, Qt::LeftButton);
            QTest::mouseClick(s.Check2, Qt::LeftButton);
            s.SlideDelay->setValue(4);
            QTest::mouseClick(s.Command1, Qt::LeftButton); // "&Close" saves them
            QVERIFY(!s.isVisible());
            QCOMPARE(w.app.window.SlideDelay, 4);
            w->SaveWinSets();
        }
        LoadedWindow again;
        SlideReadAloud s(slideReadAloudHost(*again));
        QCOMPARE(s.SlideDelay->value(), 4);
        QVERIFY(s.Check1->isChecked());
        QVERIFY(s.Check2->isChecked());
        QCOMPARE(s.Label1->font().family(), chosen.family());
        QCOMPARE(s.Label1->font().pointSize(), 48);
        QVERIFY(s.Label1->font().italic());
        QVERIFY(!s.Label1->font().bold());
        QCOMPARE(s.Label1->palette().color(QPalette::WindowText), wordColour);
        QCOMPARE(s.Label1->palette().color(QPalette::Window), backColour);

        // Opened from the main window: one window, closed with its settings saved at exit.
        SlideReadAloud *opened = showSlideReadAloud(*again);
        QVERIFY(opened->isVisible());
        QCOMPARE(showSlideReadAloud(*again), opened);
        opened->SlideDelay->setValue(7);
        again->ExitAll();
        QVERIFY(!opened->isVisible());
        QCOMPARE(again.app.window.SlideDelay, 7);
    }

private:
    std::optional<TestHome> m_home;
    QTemporaryDir m_words;
    QString m_list;
};

QTEST_MAIN(SlideReadAloudTest)
#include "test_slide_read_aloud.moc"
