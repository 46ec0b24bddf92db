#include "app/ttsmain.h"

#include "speech/directss.h"
#include "speech/reading_progress.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include <climits>

// Reading the document aloud: Speak / Pause / Resume / Stop, the engines' start and end
// events, and the progress shown while reading (word highlight, slider, elapsed time).

namespace {
constexpr int ReadingClockInterval = 1000;
constexpr int RecountDelay = 500;
constexpr int UserPauseMark = 99;
} // namespace

// ---- The document, read without copying it

int ttsmain::textLength() const
{
    return RichTextBox1->document()->characterCount() - 1;
}

QChar ttsmain::characterAt(int position) const
{
    return RichTextBox1->document()->characterAt(position);
}

int ttsmain::textCursorPosition() const
{
    return RichTextBox1->textCursor().selectionStart();
}

void ttsmain::setTextCursor(int position)
{
    selectText(position, 0);
}

void ttsmain::selectText(int start, int length)
{
    const int end = textLength();
    start = std::clamp(start, 0, end);
    QTextCursor cursor(RichTextBox1->document());
    cursor.setPosition(start);
    cursor.setPosition(std::clamp(start + std::max(0, length), start, end), QTextCursor::KeepAnchor);
    RichTextBox1->setTextCursor(cursor);
}

// ---- Button faces

void ttsmain::showSpeakFace()
{
    Command5->setText(QStringLiteral("S&peak"));
    Command5->setToolTip(QStringLiteral("Speak"));
    Command5->setIcon(m_speakPicture);
    m_pauseFaceShown = false;
}

void ttsmain::showPauseFace()
{
    Command5->setText(QStringLiteral("&Pause"));
    Command5->setToolTip(QStringLiteral("Pause speaking"));
    Command5->setIcon(m_pausePicture);
    m_pauseFaceShown = true;
}

void ttsmain::focusTextUnlessActivated()
{
    if (ActivateMe != 0)
        ActivateMe = 0;
    else
        RichTextBox1->setFocus();
}

// ---- Speak / Pause / Resume and Stop

void ttsmain::StopSpeak_DblClick()
{
    Command5_Click();
}

void ttsmain::Command5_Click()
{
    focusTextUnlessActivated();
    const int generation = App.speech.SapiVersion;
    switch (PlayStatus) {
    case 1:
        if (generation == VoiceCatalog::Generation4 && DirectSS1) {
            PauseMark = UserPauseMark;
            DirectSS1->AudioPause();
        } else if (generation == VoiceCatalog::Generation5 && NewsVoice1) {
            NewsVoice1->Pause();
        } else {
            break;
        }
        ReadingTime->setInterval(0);
        showSpeakFace();
        PlayStatus = 2;
        break;
    case 2:
        if (generation == VoiceCatalog::Generation4 && DirectSS1) {
            DirectSS1->AudioResume();
            PauseMark = 0;
        } else if (generation == VoiceCatalog::Generation5 && NewsVoice1) {
            NewsVoice1->Resume();
        } else {
            break;
        }
        ReadingTime->setInterval(ReadingClockInterval);
        showPauseFace();
        PlayStatus = 1;
        break;
    case 3:
        startReading();
        break;
    default:
        break;
    }
}

void ttsmain::startReading()
{
    const int generation = App.speech.SapiVersion;
    const auto charAt = [this](int i) { return characterAt(i); };
    const int length = textLength();
    DocumentLength = ReadingProgress::trimmedLength(length, charAt);
    const int cursor = textCursorPosition();
    const int start = ReadingProgress::readingStart(generation, cursor, DocumentLength);
    if (start != cursor)
        setTextCursor(start);

    RichTextBox1->setFocus();
    SpeakStart = textCursorPosition();
    // From the cursor itself, so that speech and highlight count from the same character.
    const int end = std::max(SpeakStart, ReadingProgress::endWithoutTrailingSpaces(length, charAt));
    QTextCursor spoken(RichTextBox1->document());
    spoken.setPosition(SpeakStart);
    spoken.setPosition(end, QTextCursor::KeepAnchor);
    SpokenText = spoken.selectedText();
    SpokenText.replace(QChar::ParagraphSeparator, u'\n');
    SpokenText.replace(QChar::LineSeparator, u'\n');

    bool queued = false;
    if (generation == VoiceCatalog::Generation4 && DirectSS1) {
        DirectSS1->TextData(0, 0, SpokenText);
        queued = true;
    } else if (generation == VoiceCatalog::Generation5 && NewsVoice1) {
        if (VoiceCatalog::nameWithoutSuffix(Combo1->currentText()) ==
            QLatin1String("Microsoft Simplified Chinese"))
            SpokenText = ReadingProgress::halfWidthDigits(SpokenText);
        NewsVoice1->Speak(QString(), SpVoice::SVSFPurgeBeforeSpeak);
        queued = NewsVoice1->Speak(SpokenText, SpVoice::SVSFlagsAsync) != 0;
    }

    ReadingStartTime = QDateTime::currentDateTime();
    ReadingTime->setInterval(ReadingClockInterval);
    if (generation == VoiceCatalog::Generation5)
        Label13->setText(QStringLiteral("00:00:00"));
    showPauseFace();
    PlayStatus = 1;
    // An empty text (or no current voice) gives the engine no stream to report the end of:
    // the reading ends here as the end event would end it.
    if (!queued)
        onReadingEnded();
}

void ttsmain::Command6_Click()
{
    PauseMark = 0;
    if (App.speech.SapiVersion == VoiceCatalog::Generation4 && DirectSS1) {
        DirectSS1->AudioReset();
    } else if (App.speech.SapiVersion == VoiceCatalog::Generation5 && NewsVoice1) {
        NewsVoice1->Resume();
        NewsVoice1->Speak(QString(), SpVoice::SVSFPurgeBeforeSpeak);
    }
    showSpeakFace();
    PlayStatus = 3;
    focusTextUnlessActivated();
}

// ---- Engine events

bool ttsmain::readerPaused() const
{
    const int generation = App.speech.SapiVersion;
    if (generation == VoiceCatalog::Generation4 && DirectSS1)
        return DirectSS1->isPaused();
    if (generation == VoiceCatalog::Generation5 && NewsVoice1)
        return NewsVoice1->isPaused();
    return false;
}

void ttsmain::onReadingStarted()
{
    // A start reported for audio the user already holds paused is not a resume.
    if (PlayStatus == 2 && readerPaused())
        return;
    showPauseFace();
    PlayStatus = 1;
}

void ttsmain::onReadingEnded()
{
    ReadingTime->setInterval(0);
    if (PauseMark == UserPauseMark) {
        // The audio stopped because the user paused.
        showSpeakFace();
        PlayStatus = 2;
        return;
    }
    if (continueIntoLoadedText())
        return;
    cpvSlider1->setValue(0);
    setTextCursor(0);
    showSpeakFace();
    PlayStatus = 3;
}

void ttsmain::DirectSS1_AudioStart(int, int)
{
    onReadingStarted();
}

void ttsmain::DirectSS1_TextDataStarted(int, int)
{
    onReadingStarted();
}

void ttsmain::DirectSS1_AudioStop(int, int)
{
    onReadingEnded();
}

void ttsmain::DirectSS1_TextDataDone(int, int, int)
{
    onReadingEnded();
}

void ttsmain::NewsVoice1_StartStream(int, qint64)
{
    onReadingStarted();
}

void ttsmain::NewsVoice1_EndStream(int, qint64)
{
    onReadingEnded();
}

// ---- Word highlight

void ttsmain::DirectSS1_WordPosition(int, int, int byteoffset)
{
    // The word end is searched up to the text's end less its trailing blanks: the trimmed
    // length would fall short by the leading blanks and cut the last words.
    const auto charAt = [this](int i) { return characterAt(i); };
    const int length = textLength();
    const auto word = ReadingProgress::generation4Word(
        byteoffset, SpeakStart, length, ReadingProgress::endWithoutTrailingSpaces(length, charAt), charAt);
    selectText(word.start, word.length);
    if (word.sliderValue)
        cpvSlider1->setValue(*word.sliderValue);
}

void ttsmain::NewsVoice1_Word(int, qint64, int characterPosition, int length)
{
    const auto word =
        ReadingProgress::generation5Word(characterPosition, length, SpeakStart, cpvSlider1->maximum());
    selectText(word.start, word.length);
    if (word.sliderValue)
        cpvSlider1->setValue(*word.sliderValue);
}

// ---- Elapsed time

void ttsmain::ReadingTime_Timer()
{
    Label13->setText(ReadingProgress::elapsedText(ReadingStartTime.secsTo(QDateTime::currentDateTime())));
}

// ---- Document length and the slider

void ttsmain::RichTextBox1_Change()
{
    MonitorText1Len->setInterval(RecountDelay);
}

void ttsmain::MonitorText1Len_Timer()
{
    MonitorText1Len->setInterval(0);
    DocumentLength = textLength();
    if (DocumentLength > 0) {
        cpvSlider1->setMaximum(DocumentLength);
        cpvSlider1->setEnabled(true);
    } else {
        cpvSlider1->setMaximum(INT_MAX);
        cpvSlider1->setValue(0);
        cpvSlider1->setEnabled(false);
    }
}

void ttsmain::cpvSlider1_Scroll(int)
{
    if (DocumentLength > 0 && PlayStatus == 3) {
        cpvSlider1->setMaximum(DocumentLength);
        setTextCursor(cpvSlider1->sliderPosition());
    }
}

void ttsmain::cpvSlider1_Change()
{
    if (DocumentLength > 0 && PlayStatus == 3) {
        cpvSlider1->setMaximum(DocumentLength);
        setTextCursor(cpvSlider1->sliderPosition());
    }
}

void ttsmain::cpvSlider1_MouseUp()
{
    if (PlayStatus == 3)
        setTextCursor(cpvSlider1->value());
}

void ttsmain::RichTextBox1_MouseDown(Qt::MouseButton button, int clickedPosition)
{
    if (button != Qt::LeftButton || DocumentLength <= 0 || PlayStatus != 3)
        return;
    cpvSlider1->setMaximum(DocumentLength);
    cpvSlider1->setValue(clickedPosition);
}
