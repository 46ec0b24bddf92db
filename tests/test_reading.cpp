#include "app/ttsmain.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>

#include <climits>

namespace {

// The document as the user sees it, with the selection the window made.
struct Selection
{
    int start;
    int length;
    QString text;
};

Selection selectionOf(const ttsmain &w)
{
    const QTextCursor cursor = w.RichTextBox1->textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart(), cursor.selectedText()};
}

} // namespace

class TestReading : public QObject
{
    Q_OBJECT
    TestHome home;

    // A loaded window reading with an English voice of the given generation.
    static std::unique_ptr<LoadedWindow> windowWith(int generation)
    {
        auto w = std::make_unique<LoadedWindow>();
        const int row =
            listPosition(**w, generation, generation == 4 ? QStringLiteral("English") : QString());
        pickVoice(**w, row);
        // The blank that wakes a generation-5 voice has been spoken.
        [&] { QTRY_VERIFY(!(*w)->NewsVoice1->isSpeaking()); }();
        return w;
    }
    static void setText(ttsmain &w, const QString &text, int cursor = 0)
    {
        w.RichTextBox1->setPlainText(text);
        QTextCursor c = w.RichTextBox1->textCursor();
        c.setPosition(cursor);
        w.RichTextBox1->setTextCursor(c);
    }
    // Speaks the document and collects the selection after every word event.
    static QList<Selection> readToTheEnd(ttsmain &w)
    {
        QList<Selection> seen;
        const auto record = [&] { seen.append(selectionOf(w)); };
        // Connected after the window's own handlers, so they see the highlight already made.
        auto a = QObject::connect(w.DirectSS1.get(), &DirectSS::WordPosition, &w, record);
        auto b = QObject::connect(w.NewsVoice1.get(), &SpVoice::Word, &w, record);
        w.Command5_Click();
        if (QTest::currentTestFailed())
            return seen;
        [&] { QTRY_COMPARE_WITH_TIMEOUT(w.PlayStatus, 3, 60000); }();
        QObject::disconnect(a);
        QObject::disconnect(b);
        return seen;
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("readTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void readingRunsToTheEndOnBothGenerations_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("generation 4") << 4;
        QTest::newRow("generation 5") << 5;
    }
    void readingRunsToTheEndOnBothGenerations()
    {
        QFETCH(int, generation);
        auto w = windowWith(generation);
        ttsmain &win = **w;
        const QString text = QStringLiteral("one two three");
        setText(win, text);
        QTRY_COMPARE(win.cpvSlider1->maximum(), 13);

        QList<Selection> seen;
        const auto record = [&] { seen.append(selectionOf(win)); };
        connect(win.DirectSS1.get(), &DirectSS::WordPosition, &win, record);
        connect(win.NewsVoice1.get(), &SpVoice::Word, &win, record);
        win.Label13->setText(QStringLiteral("12:34:56"));
        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 1);
        QCOMPARE(win.Command5->text(), QStringLiteral("&Pause"));
        QCOMPARE(win.Command5->toolTip(), QStringLiteral("Pause speaking"));
        QCOMPARE(win.ReadingTime->interval(), 1000);
        QCOMPARE(win.SpeakStart, 0);
        QCOMPARE(win.SpokenText, text);
        QCOMPARE(win.DocumentLength, 13);
        // Only a generation-5 start shows the clock at zero again.
        QCOMPARE(win.Label13->text(),
                 generation == 5 ? QStringLiteral("00:00:00") : QStringLiteral("12:34:56"));

        QTRY_COMPARE_WITH_TIMEOUT(win.PlayStatus, 3, 60000);
        QCOMPARE(win.Command5->text(), QStringLiteral("S&peak"));
        QCOMPARE(win.Command5->toolTip(), QStringLiteral("Speak"));
        QVERIFY(!win.ReadingTime->isRunning());
        QCOMPARE(win.cpvSlider1->value(), 0);
        QCOMPARE(selectionOf(win).start, 0);
        QCOMPARE(selectionOf(win).length, 0);
        // Every word event selected a whole word, and the last one was reached.
        QVERIFY(!seen.isEmpty());
        for (const Selection &s : seen)
            QVERIFY2(QStringList({"one", "two", "three"}).contains(s.text), qPrintable(s.text));
        QCOMPARE(seen.last().text, QStringLiteral("three"));

        // Speaking again after the end starts from the top once more.
        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 1);
        QCOMPARE(win.SpeakStart, 0);
        QTRY_COMPARE_WITH_TIMEOUT(win.PlayStatus, 3, 60000);
    }

    void wordEventsMoveSelectionAndSlider()
    {
        LoadedWindow w;
        setText(*w, QStringLiteral("one two three"));
        QTRY_COMPARE(w->cpvSlider1->maximum(), 13);
        w->DocumentLength = 13;
        w->SpeakStart = 0;
        w->DirectSS1_WordPosition(0, 0, 8);
        QCOMPARE(selectionOf(*w).start, 4);
        QCOMPARE(selectionOf(*w).length, 3);
        QCOMPARE(w->cpvSlider1->value(), 6);
        // The last word has no separator after it: selected to the end.
        w->DirectSS1_WordPosition(0, 0, 16);
        QCOMPARE(selectionOf(*w).text, QStringLiteral("three"));
        QCOMPARE(w->cpvSlider1->value(), 13);
        // Generation 5 counts from the reading start too.
        w->SpeakStart = 4;
        w->NewsVoice1_Word(1, 0, 4, 5);
        QCOMPARE(selectionOf(*w).text, QStringLiteral("three"));
        QCOMPARE(w->cpvSlider1->value(), 8);
    }

    void nonLatinTextIsHighlightedOnItsWords_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::newRow("generation 4, Cyrillic")
            << 4 << QStringLiteral("Первое слово. Второе предложение здесь") << 14;
        QTest::newRow("generation 4, Greek") << 4 << QStringLiteral("Καλημέρα κόσμε και πάλι") << 0;
        QTest::newRow("generation 5, accents") << 5 << QStringLiteral("Un café naïve résumé today") << 3;
    }
    void nonLatinTextIsHighlightedOnItsWords()
    {
        QFETCH(int, generation);
        QFETCH(QString, text);
        QFETCH(int, cursor);
        auto w = windowWith(generation);
        setText(**w, text, cursor);
        const QList<Selection> seen = readToTheEnd(**w);
        QCOMPARE((*w)->SpeakStart, cursor);
        QVERIFY(!seen.isEmpty());
        const QStringList words = text.mid(cursor).split(u' ');
        for (const Selection &s : seen) {
            // A highlighted word is one of the words after the reading start, at its own place.
            QString word = s.text;
            QVERIFY2(words.contains(word), qPrintable(word));
            QCOMPARE(text.mid(s.start, s.length), word);
            QVERIFY(s.start >= cursor);
        }
    }

    void aCursorAtTheEndStartsFromTheTop()
    {
        struct Case
        {
            int generation;
            QString text;
            int cursor;
            int start;
        };
        const QList<Case> cases = {
            {4, QStringLiteral("one two three"), 10, 10},
            {4, QStringLiteral("one two three"), 11, 0}, // within two characters of the end
            {4, QStringLiteral("one two three   "), 11, 0},
            {5, QStringLiteral("one two three"), 12, 12},
            {5, QStringLiteral("one two three"), 13, 0},
        };
        for (int generation : {4, 5}) {
            auto w = windowWith(generation);
            for (const Case &c : cases) {
                if (c.generation != generation)
                    continue;
                setText(**w, c.text, c.cursor);
                (*w)->Command5_Click();
                QCOMPARE((*w)->SpeakStart, c.start);
                QCOMPARE((*w)->SpokenText, c.text.mid(c.start).trimmed());
                (*w)->Command6_Click();
                QCOMPARE((*w)->PlayStatus, 3);
            }
            // Leading blanks are spoken from the cursor itself, so words and highlight agree.
            setText(**w, QStringLiteral("  one two"), 0);
            (*w)->Command5_Click();
            QCOMPARE((*w)->SpokenText, QStringLiteral("  one two"));
            QCOMPARE((*w)->DocumentLength, 7);
            QTRY_COMPARE_WITH_TIMEOUT((*w)->PlayStatus, 3, 60000);
        }
    }

    void leadingBlanksStillHighlightTheLastWordWhole()
    {
        for (int generation : {4, 5}) {
            auto w = windowWith(generation);
            const QString text = QStringLiteral("      Leading blanks then words and a hotel.   ");
            setText(**w, text, 0);
            QStringList highlighted;
            QObject::connect((*w)->RichTextBox1, &QPlainTextEdit::selectionChanged, (*w)->RichTextBox1, [&] {
                const QString selected = (*w)->RichTextBox1->textCursor().selectedText();
                if (!selected.isEmpty())
                    highlighted.append(selected);
            });
            QTest::mouseClick((*w)->Command5, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT((*w)->PlayStatus, 3, 60000);
            QVERIFY(!highlighted.isEmpty());
            // The whole last word (Flite's word leaves the full stop out), not just its "h".
            QVERIFY2(highlighted.last().trimmed().startsWith(QStringLiteral("hotel")),
                     qPrintable(QString::number(generation) + QLatin1Char(' ') + highlighted.last()));
        }
    }

    // The user's way through a reading: typing, dragging the position slider with the mouse,
    // the Speak mnemonic, clicks on the button to pause and resume.
    void theUserReadsWithKeysClicksAndTheSlider()
    {
        auto w = windowWith(4);
        ttsmain &win = **w;
        win.show();
        win.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&win));
        const QString text =
            QStringLiteral("Typed words first, then the slider picks where the reading starts.");
        win.RichTextBox1->setFocus();
        QTest::keyClicks(win.RichTextBox1, text);
        QTRY_VERIFY(win.cpvSlider1->isEnabled()); // recounted after the typing pause
        QCOMPARE(win.cpvSlider1->maximum(), int(text.size()));

        const auto drag = [&](double fraction) {
            QSlider *slider = win.cpvSlider1;
            QStyleOptionSlider option;
            option.initFrom(slider);
            option.orientation = slider->orientation();
            option.minimum = slider->minimum();
            option.maximum = slider->maximum();
            option.sliderPosition = slider->sliderPosition();
            option.sliderValue = slider->value();
            option.subControls = QStyle::SC_SliderHandle;
            const QPoint from =
                slider->style()
                    ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
                    .center();
            const QPoint to(int(slider->width() * fraction), from.y());
            QTest::mousePress(slider, Qt::LeftButton, {}, from);
            QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(slider, &move);
            QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        };
        drag(0.5);
        const int chosen = win.cpvSlider1->value();
        QVERIFY(chosen > 10 && chosen < text.size() - 10);
        QCOMPARE(win.RichTextBox1->textCursor().position(), chosen);

        // A mnemonic clicks the button a moment later; the state is taken right after the click.
        int statusAfterClick = 0;
        int startAfterClick = -1;
        QObject::connect(win.Command5, &QToolButton::clicked, win.Command5, [&] {
            statusAfterClick = win.PlayStatus;
            startAfterClick = win.SpeakStart;
        });
        QTest::keyClick(win.RichTextBox1, Qt::Key_P, Qt::AltModifier); // S&peak
        QTRY_COMPARE(statusAfterClick, 1);
        QCOMPARE(startAfterClick, chosen);
        QTRY_COMPARE_WITH_TIMEOUT(win.PlayStatus, 3, 60000);

        drag(0.5);
        QTest::mouseClick(win.Command5, Qt::LeftButton);
        QCOMPARE(statusAfterClick, 1);
        QTest::mouseClick(win.Command5, Qt::LeftButton);
        QCOMPARE(win.PlayStatus, 2);
        QCOMPARE(win.Command5->text(), QStringLiteral("S&peak"));

        // Paused, the slider does not move the reading's start; Speak resumes, never restarts.
        const int cursorWhilePaused = win.RichTextBox1->textCursor().position();
        drag(0.1);
        QCOMPARE(win.RichTextBox1->textCursor().position(), cursorWhilePaused);
        QTest::mouseClick(win.Command5, Qt::LeftButton);
        QCOMPARE(win.PlayStatus, 1);
        QCOMPARE(win.SpeakStart, chosen);
        QTRY_COMPARE_WITH_TIMEOUT(win.PlayStatus, 3, 60000);
    }

    void emptyAndBlankTextsEndAtOnce()
    {
        for (int generation : {4, 5}) {
            auto w = windowWith(generation);
            for (const QString &text : {QString(), QStringLiteral("     ")}) {
                setText(**w, text, int(text.size()) / 2);
                (*w)->Command5_Click();
                QCOMPARE((*w)->SpokenText, QString());
                QCOMPARE((*w)->DocumentLength, 0);
                QTRY_COMPARE((*w)->PlayStatus, 3);
                QCOMPARE(selectionOf(**w).start, 0);
                QCOMPARE((*w)->Command5->text(), QStringLiteral("S&peak"));
                QVERIFY(!(*w)->ReadingTime->isRunning());
            }
        }
    }

    void pauseAndResume_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("generation 4") << 4;
        QTest::newRow("generation 5") << 5;
    }
    void pauseAndResume()
    {
        QFETCH(int, generation);
        auto w = windowWith(generation);
        ttsmain &win = **w;
        setText(win, QStringLiteral("Pausing in the middle of a sentence and going on later."));
        win.Command5_Click();
        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 2);
        QCOMPARE(win.Command5->text(), QStringLiteral("S&peak"));
        QVERIFY(!win.ReadingTime->isRunning());
        QCOMPARE(win.PauseMark, generation == 4 ? 99 : 0);
        if (generation == 4)
            QVERIFY(win.DirectSS1->isPaused());
        else
            QVERIFY(win.NewsVoice1->isPaused());
        // Paused, the reading does not go on by itself.
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(win.PlayStatus, 2);

        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 1);
        QCOMPARE(win.PauseMark, 0);
        QCOMPARE(win.Command5->text(), QStringLiteral("&Pause"));
        QCOMPARE(win.ReadingTime->interval(), 1000);
        QTRY_COMPARE_WITH_TIMEOUT(win.PlayStatus, 3, 60000);
        QCOMPARE(win.Command5->text(), QStringLiteral("S&peak"));
        QCOMPARE(win.cpvSlider1->value(), 0);
    }

    void stopWhilePaused_data() { pauseAndResume_data(); }
    void stopWhilePaused()
    {
        QFETCH(int, generation);
        auto w = windowWith(generation);
        ttsmain &win = **w;
        setText(win, QStringLiteral("Stopping a paused reading ends it for good."), 3);
        win.Command5_Click();
        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 2);
        win.Command6_Click();
        QCOMPARE(win.PlayStatus, 3);
        QCOMPARE(win.PauseMark, 0);
        QCOMPARE(win.Command5->text(), QStringLiteral("S&peak"));
        QTRY_VERIFY(!win.DirectSS1->isSpeaking() && !win.NewsVoice1->isSpeaking());
        QCOMPARE(win.PlayStatus, 3);
        QCOMPARE(selectionOf(win).start, 0);
        // A new reading starts normally.
        QVERIFY(!readToTheEnd(win).isEmpty());
    }

    void generation4EndWhilePausedStaysPaused()
    {
        auto w = windowWith(4);
        ttsmain &win = **w;
        setText(win, QStringLiteral("The engine reports the end of its text while the audio is paused."));
        win.Command5_Click();
        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 2);
        emit win.DirectSS1->TextDataDone(0, 0, 0);
        QCOMPARE(win.PlayStatus, 2);
        QCOMPARE(win.Command5->text(), QStringLiteral("S&peak"));
        // Resuming plays what is left, and the reading then ends idle.
        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 1);
        QTRY_COMPARE_WITH_TIMEOUT(win.PlayStatus, 3, 60000);
    }

    void elapsedTimeWhileReading()
    {
        auto w = windowWith(5);
        ttsmain &win = **w;
        setText(win, QStringLiteral("Timing a reading."));
        win.Command5_Click();
        win.ReadingStartTime = QDateTime::currentDateTime().addSecs(-3725);
        win.ReadingTime_Timer();
        QCOMPARE(win.Label13->text(), QStringLiteral("01:02:05"));
        win.Command6_Click();
    }

    void lengthIsRecountedAfterEdits()
    {
        LoadedWindow w;
        QVERIFY(!w->cpvSlider1->isEnabled());
        w->RichTextBox1->setPlainText(QStringLiteral("abc"));
        QCOMPARE(w->MonitorText1Len->interval(), 500);
        QTRY_COMPARE(w->DocumentLength, 3);
        QCOMPARE(w->cpvSlider1->maximum(), 3);
        QVERIFY(w->cpvSlider1->isEnabled());
        QVERIFY(!w->MonitorText1Len->isRunning());

        w->RichTextBox1->appendPlainText(QStringLiteral("defg"));
        QTRY_COMPARE(w->cpvSlider1->maximum(), 8); // "abc\ndefg"

        w->cpvSlider1->setValue(5);
        w->RichTextBox1->clear();
        QTRY_VERIFY(!w->cpvSlider1->isEnabled());
        QCOMPARE(w->cpvSlider1->value(), 0);
        QCOMPARE(w->cpvSlider1->maximum(), INT_MAX);
        QCOMPARE(w->DocumentLength, 0);
    }

    void placingTheStartWhileIdle()
    {
        auto w = windowWith(4);
        ttsmain &win = **w;
        win.resize(800, 560);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        setText(win, QStringLiteral("first line\nsecond line\nthird line"));
        QTRY_COMPARE(win.DocumentLength, 33);

        // Stepping the slider moves the text cursor.
        win.cpvSlider1->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(selectionOf(win).start, 33);
        win.cpvSlider1->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(selectionOf(win).start, 0);

        // A click in the text moves the slider to where the cursor lands.
        const QTextBlock second = win.RichTextBox1->document()->findBlockByNumber(1);
        QTextCursor at(second);
        at.setPosition(second.position() + 3);
        const QPoint point = win.RichTextBox1->cursorRect(at).center();
        QTest::mouseClick(win.RichTextBox1->viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(win.cpvSlider1->value(), selectionOf(win).start);
        QVERIFY(win.cpvSlider1->value() >= second.position());

        // Once a reading runs (here paused, so that no word event interferes), neither moves
        // the other.
        win.Command5_Click();
        win.Command5_Click();
        QCOMPARE(win.PlayStatus, 2);
        const int cursor = selectionOf(win).start;
        win.cpvSlider1->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(selectionOf(win).start, cursor);
        const int slider = win.cpvSlider1->value();
        QTest::mouseClick(win.RichTextBox1->viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(win.cpvSlider1->value(), slider);
        win.Command6_Click();
    }

    void activationFromOtherProgramsLeavesTheFocus()
    {
        // Focus is the behaviour here: a command from another program must not pull it into
        // the text box. The window's own focus child is checked, whichever window is active.
        auto w = windowWith(4);
        ttsmain &win = **w;
        win.Command7->setFocus();
        QCOMPARE(win.focusWidget(), win.Command7);
        win.ActivateMe = 99;
        win.Command6_Click();
        QCOMPARE(win.ActivateMe, 0);
        QCOMPARE(win.focusWidget(), win.Command7);
        win.Command6_Click();
        QCOMPARE(win.focusWidget(), win.RichTextBox1);
    }

    void fullWidthDigitsForTheSimplifiedChineseVoice()
    {
        LoadedWindow w;
        // The rule goes by the voice's name; token 0 stands in for such a voice.
        w->Combo1->addItem(QStringLiteral("Microsoft Simplified Chinese (TTS5.0)"), 500000);
        pickVoice(*w, w->Combo1->count() - 1);
        QCOMPARE(w.app.speech.SapiVersion, 5);
        setText(*w, QString::fromUtf16(u"Room １２０ on floor ９"));
        w->Command5_Click();
        QCOMPARE(w->SpokenText, QStringLiteral("Room 120 on floor 9"));
        w->Command6_Click();

        // Any other voice hears the digits as written.
        pickVoice(*w, listPosition(*w, 5));
        w->Command5_Click();
        QCOMPARE(w->SpokenText, QString::fromUtf16(u"Room １２０ on floor ９"));
        w->Command6_Click();
    }

    void theSpeakActionCanBeCalledFromOutside()
    {
        auto w = windowWith(5);
        setText(**w, QStringLiteral("Called from the tray."));
        (*w)->StopSpeak_DblClick();
        QCOMPARE((*w)->PlayStatus, 1);
        (*w)->StopSpeak_DblClick();
        QCOMPARE((*w)->PlayStatus, 2);
        (*w)->Command6_Click();
    }
};

QTEST_MAIN(TestReading)
#include "test_reading.moc"
