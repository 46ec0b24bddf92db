#include "app/ttsmain.h"

#include "platform/program_folder.h"
#include "platform/twips.h"
#include "speech/directss.h"
#include "speech/rate_pitch.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>

// The settings records "stts.ini" and "swin.ini" and the volume, rate and pitch bars.
//
// The bars run 0..100 with 100 at the top (see buildPanel); the value is the setting, whatever
// the engine's own units.

namespace {

const QString MaryListText = QStringLiteral("Mary (TTS4.0)");

// Font sizes a font dialog can give (Windows allows up to 1638 points); anything else in a
// record is damage and is not applied.
constexpr double MaxFontPoints = 1638.0;
// X11 window coordinates are 16-bit; a position beyond that is damage, not a place.
constexpr int MaxWindowCoordinate = 32767;

QString speechFile()
{
    return programFile(QLatin1String(SpeechSettingsFileName));
}

QString windowFile()
{
    return programFile(QLatin1String(WindowSettingsFileName));
}

} // namespace

// ---- Voices made current by the settings

// Inverse of the rate mapping, used whenever a voice becomes current: generation 4 reads the
// speed range from DirectSS1 and puts the bar where the engine's speed lies in it; generation 5
// puts it at Rate x 5 + 50. False when that cannot be done (a range of zero width); the bar
// then stays where it was.
bool ttsmain::rateBarFromVoice(int generation)
{
    if (generation == VoiceCatalog::Generation4 && DirectSS1) {
        TTS4MaxSpeed = DirectSS1->MaxSpeed();
        TTS4MinSpeed = DirectSS1->MinSpeed();
        const auto position = RatePitch::engineToPosition(DirectSS1->Speed(), TTS4MinSpeed, TTS4MaxSpeed);
        if (!position)
            return false;
        VScroll2->setValue(*position);
        return true;
    }
    if (generation == VoiceCatalog::Generation5 && NewsVoice1) {
        VScroll2->setValue(RatePitch::rate5ToPosition(NewsVoice1->Rate()));
        return true;
    }
    return false;
}

// Inverse of the pitch mapping for a generation-4 voice (generation 5 has no pitch).
bool ttsmain::pitchBarFromVoice4()
{
    if (!DirectSS1)
        return false;
    TTS4MaxPitch = DirectSS1->MaxPitch();
    TTS4MinPitch = DirectSS1->MinPitch();
    const auto position = RatePitch::engineToPosition(DirectSS1->Pitch(), TTS4MinPitch, TTS4MaxPitch);
    if (!position)
        return false;
    VScroll3->setValue(*position);
    return true;
}

// The first list entry whose text is exactly `listText`; -1 when there is none.
int ttsmain::listPositionOfText(const QString &listText) const
{
    for (int i = 0; i < Combo1->count(); ++i)
        if (Combo1->itemText(i) == listText)
            return i;
    return -1;
}

// Generation and index of the current voice from a list entry's item data.
void ttsmain::takeVoiceFromEntry(int position)
{
    const int itemData = Combo1->itemData(position).toInt();
    App.speech.SapiVersion = VoiceCatalog::generationOf(itemData);
    App.speech.CurrentEngineIndex = VoiceCatalog::indexOf(itemData);
}

// The voice of a settings record is not in the list (or there is no record and no default
// voice): the first entry becomes current, with its name in the caption.
void ttsmain::makeFirstEntryCurrent()
{
    makeEntryCurrent(0);
}

void ttsmain::makeEntryCurrent(int position)
{
    if (position < 0 || position >= Combo1->count())
        return;
    Combo1->setCurrentIndex(position);
    const QString text = Combo1->itemText(position);
    App.speech.CurrentVoiceName = VoiceCatalog::nameWithoutSuffix(text);
    setWindowTitle(text);
    takeVoiceFromEntry(position);
}

// The list position of the voice that speaks the locale's language (see VoiceCatalog).
int ttsmain::localeVoicePosition() const
{
    QStringList languages;
    for (int i = 0; i < Combo1->count(); ++i) {
        const int itemData = Combo1->itemData(i).toInt();
        const bool generation4 = VoiceCatalog::generationOf(itemData) == VoiceCatalog::Generation4;
        languages.append(generation4 && DirectSS1 ? DirectSS1->ModeLanguage(VoiceCatalog::indexOf(itemData))
                                                  : QString());
    }
    return VoiceCatalog::defaultVoicePosition(languages, QLocale().name());
}

// ---- Speech settings

// Builds the speech defaults (no "stts.ini") and makes the default voice current.
void ttsmain::InitTTSSets()
{
    using namespace VoiceCatalog;
    SpeechSettings &speech = App.speech;

    // At the first start the index is 0: nothing is selected and the voice stays unset.
    const int position = speech.CurrentEngineIndex - 1;
    Combo1->setCurrentIndex(position >= 0 && position < Combo1->count() ? position : -1);
    if (Combo1->currentIndex() >= 0)
        takeVoiceFromEntry(Combo1->currentIndex());

    // The preferred default voice; without it the voice of the user's language, so that a
    // voice is always current and reads the user's texts with the right rules.
    const int mary = listPositionOfText(MaryListText);
    if (mary >= 0) {
        Combo1->setCurrentIndex(mary);
        speech.CurrentVoiceName = nameWithoutSuffix(MaryListText);
        takeVoiceFromEntry(mary);
    } else if (speech.SapiVersion == 0) {
        makeEntryCurrent(localeVoicePosition());
    }

    const QString listText = Combo1->currentText();
    if (speech.SapiVersion == Generation4) {
        // A generation-4 voice: select its mode in both objects, put its speed and pitch on the
        // bars. Each step that fails (a mode that cannot be selected, a zero range) is skipped.
        if (DirectSS1)
            DirectSS1->Select(speech.CurrentEngineIndex);
        if (TextToSpeech1)
            TextToSpeech1->Select(speech.CurrentEngineIndex);
        speech.CurrentVoiceName = nameWithoutSuffix(listText);
        setWindowTitle(listText);
        if (rateBarFromVoice(Generation4)) {
            speech.RatePosition = VScroll2->value();
            Label5->setText(QString::number(speech.RatePosition));
        }
        if (pitchBarFromVoice4()) {
            speech.PitchPosition = VScroll3->value();
            Label3->setText(QString::number(speech.PitchPosition));
        }
    } else if (speech.SapiVersion == Generation5) {
        // A generation-5 voice: the reading and clock voices take it, the rate bar follows it.
        takeVoiceFromEntry(Combo1->currentIndex());
        speech.CurrentVoiceName = nameWithoutSuffix(listText);
        const QList<SpObjectToken> tokens = SpVoice::GetVoices();
        if (speech.CurrentEngineIndex < tokens.size()) {
            if (NewsVoice1)
                NewsVoice1->setVoice(tokens[speech.CurrentEngineIndex]);
            if (VoiceSayTime)
                VoiceSayTime->setVoice(tokens[speech.CurrentEngineIndex]);
        }
        if (rateBarFromVoice(Generation5)) {
            speech.RatePosition = VScroll2->value();
            Label5->setText(QString::number(speech.RatePosition));
        }
        if (NewsVoice1 && VoiceSayTime)
            VoiceSayTime->setRate(NewsVoice1->Rate());
    }
}

// Reads "stts.ini" and makes its voice current with its rate and pitch.
void ttsmain::LoadTTSSets()
{
    using namespace VoiceCatalog;
    SpeechSettings &speech = App.speech;

    // A damaged record reads as far as its data goes; the rest is zero or empty.
    speech = loadSpeechSettings(speechFile()).value_or(SpeechSettings{});
    // The recorded voice names the window even before it is found in the list.
    const QString recorded = speech.CurrentVoiceName + QStringLiteral(" (TTS") +
                             QString::number(speech.SapiVersion) + QStringLiteral(".0)");
    setWindowTitle(recorded);
    // The recorded voice becomes current when it is listed, else the first entry.
    const int entry = listPositionOfText(recorded);
    if (entry >= 0) {
        Combo1->setCurrentIndex(entry);
        takeVoiceFromEntry(entry);
    } else {
        makeFirstEntryCurrent();
    }

    // The bars take values 0..100 only; a damaged position is applied as the bar has it.
    const auto setBars = [&] {
        VScroll2->setValue(speech.RatePosition);
        speech.RatePosition = VScroll2->value();
        Label5->setText(QString::number(speech.RatePosition));
        VScroll3->setValue(speech.PitchPosition);
        speech.PitchPosition = VScroll3->value();
        Label3->setText(QString::number(speech.PitchPosition));
    };

    if (speech.SapiVersion == Generation4) {
        // Its mode, the engine ranges, the bars from the record and the engine from the bars.
        if (DirectSS1)
            DirectSS1->Select(speech.CurrentEngineIndex);
        if (TextToSpeech1)
            TextToSpeech1->Select(speech.CurrentEngineIndex);
        if (DirectSS1) {
            TTS4MaxSpeed = DirectSS1->MaxSpeed();
            TTS4MinSpeed = DirectSS1->MinSpeed();
            TTS4MaxPitch = DirectSS1->MaxPitch();
            TTS4MinPitch = DirectSS1->MinPitch();
        }
        setBars();
        if (DirectSS1) {
            const int speed = RatePitch::positionToEngine(speech.RatePosition, TTS4MinSpeed, TTS4MaxSpeed);
            DirectSS1->setSpeed(speed);
            if (TextToSpeech1)
                TextToSpeech1->setSpeed(speed);
            DirectSS1->setPitch(
                RatePitch::positionToEngine(speech.PitchPosition, TTS4MinPitch, TTS4MaxPitch));
        }
    } else if (speech.SapiVersion == Generation5) {
        // Its token for the reading and clock voices, the bars from the record, the rate from
        // the bar.
        const QList<SpObjectToken> tokens = SpVoice::GetVoices();
        if (speech.CurrentEngineIndex < tokens.size()) {
            if (NewsVoice1)
                NewsVoice1->setVoice(tokens[speech.CurrentEngineIndex]);
            if (VoiceSayTime)
                VoiceSayTime->setVoice(tokens[speech.CurrentEngineIndex]);
        }
        setBars();
        const int rate = RatePitch::positionToRate5(speech.RatePosition);
        if (NewsVoice1)
            NewsVoice1->setRate(rate);
        if (VoiceSayTime)
            VoiceSayTime->setRate(rate);
        const int position = SAPI4VoiceCount + speech.CurrentEngineIndex;
        if (position < Combo1->count())
            Combo1->setCurrentIndex(position);
    }
}

// Writes "stts.ini". A failed write leaves the previous file whole; the next save retries.
void ttsmain::SaveTTSSets()
{
    saveSpeechSettings(speechFile(), App.speech);
}

// ---- Window settings

// Builds the window defaults (no "swin.ini").
void ttsmain::InitWinSets()
{
    WindowDefaultsFromWindow designed;
    designed.left = pixelsToTwips(x());
    designed.top = pixelsToTwips(y());
    designed.width = pixelsToTwips(frameGeometry().width());
    designed.height = pixelsToTwips(frameGeometry().height());
    makeTextBox();
    designed.textBoxFont = RichTextBox1->font();
    designed.slideFont = Label15->font();
    designed.slideBackColour = Label15->palette().color(QPalette::Window);
    designed.slideTextColour = Label15->palette().color(QPalette::WindowText);
    App.window = defaultWindowSettings(userDefaultLocaleId(), programFolder(), designed);

    applyTextBoxFont(App.window);
    QTextCursor start = RichTextBox1->textCursor();
    start.setPosition(0);
    RichTextBox1->setTextCursor(start);
    QPalette palette = RichTextBox1->palette();
    palette.setColor(QPalette::Text, colourFromLong(App.window.TextColour));
    palette.setColor(QPalette::Base, colourFromLong(App.window.BackColour));
    RichTextBox1->setPalette(palette);
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
}

// Reads "swin.ini" and applies placement, text box, font and colours.
void ttsmain::LoadWinSets()
{
    // A damaged record reads as far as its data goes. The steps below work from this copy:
    // the layout rewrites the window size fields of the live record as the window changes.
    const WindowSettings record =
        loadWindowSettings(windowFile()).value_or(decodeWindowSettings(QByteArray()));
    App.window = record;

    // A text box recorded hidden goes out of sight with the check box cleared.
    if (!record.TextBoxShown) {
        Check1->setChecked(false);
        Check1->setToolTip(QStringLiteral("Show text box"));
    }
    if (RichTextBox1)
        applyTextBoxRecord(record);
    else
        m_textBoxRecord = record;
    // Empty batch fields become drive C: (capital C here, where the defaults have a small one).
    if (App.window.BatchDrive.isEmpty())
        App.window.BatchDrive = QStringLiteral("C:");
    if (App.window.BatchSourceFolder.isEmpty())
        App.window.BatchSourceFolder = QStringLiteral("C:\\");
    if (App.window.BatchTargetFolder.isEmpty())
        App.window.BatchTargetFolder = QStringLiteral("C:\\");
    // Place, size and state of the window.
    placeWindow(record);
    // The last start-up step shows the window if the record says so; a window recorded
    // hidden stays in the tray, when by then there is a tray to bring it back from.
    App.window.Visible = record.Visible;
    if (!App.window.Visible)
        hide();
}

// The text box's place, height, font and colours from a window record.
void ttsmain::applyTextBoxRecord(const WindowSettings &record)
{
    if (!record.TextBoxShown)
        RichTextBox1->move(twipsToPixels(99999), RichTextBox1->y());
    // The recorded text box height, when it is a height a window can have.
    const int boxHeight = twipsToPixels(record.TextBoxHeight);
    if (boxHeight >= 0 && boxHeight <= MaxWindowCoordinate)
        RichTextBox1->resize(RichTextBox1->width(), boxHeight);
    applyTextBoxFont(record);
    QPalette palette = RichTextBox1->palette();
    palette.setColor(QPalette::Base, colourFromLong(record.BackColour));
    palette.setColor(QPalette::Text, colourFromLong(record.TextColour));
    RichTextBox1->setPalette(palette);
}

// Font fields of a record onto the text box; a field that cannot apply (an empty name, a size
// that is no number) is left out. Qt chooses glyphs by script, so the character set is only
// kept in the record.
void ttsmain::applyTextBoxFont(const WindowSettings &settings)
{
    QFont font = RichTextBox1->font();
    if (!settings.FontName.isEmpty())
        font.setFamily(settings.FontName);
    const double points = pointSizeFromText(settings.FontSize);
    if (points > 0 && points <= MaxFontPoints)
        font.setPointSizeF(points);
    font.setBold(booleanFromText(settings.FontBold));
    font.setItalic(settings.FontItalic);
    font.setUnderline(settings.FontUnderline);
    font.setStrikeOut(settings.FontStrikethrough);
    RichTextBox1->setFont(font);
}

// Window placement by the recorded state: 0 normal, 1 minimised at the recorded place,
// 2 maximised over the recorded place. Sizes are the window's outer size, frame included, as
// the layout records them; positions are where the frame goes. A window system may place
// windows itself (Wayland does): placement is then a request only.
void ttsmain::placeWindow(const WindowSettings &settings)
{
    const auto moveTo = [&] {
        const int left = twipsToPixels(settings.Left);
        const int top = twipsToPixels(settings.Top);
        if (std::abs(left) <= MaxWindowCoordinate && std::abs(top) <= MaxWindowCoordinate)
            move(left, top);
    };
    const auto resizeTo = [&] {
        int width = twipsToPixels(settings.Width);
        int height = twipsToPixels(settings.Height);
        if (width <= 0 || height <= 0)
            return;
        // A size beyond the whole desktop (a record from larger screens, or damage) is made to fit.
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            width = std::min(width, screen->virtualSize().width());
            height = std::min(height, screen->virtualSize().height());
        }
        // The frame's share is known once the window has been framed; until then the frame is
        // taken off when it becomes known (fitPendingOuterSize).
        const QSize frame = frameGeometry().size() - size();
        resize(std::max(1, width - frame.width()), std::max(1, height - frame.height()));
        m_pendingOuterSize.reset();
        if (frame.isNull())
            m_pendingOuterSize = QSize(width, height);
    };
    const Qt::WindowStates restored = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (settings.WindowState) {
    case 0:
        moveTo();
        resizeTo();
        setWindowState(restored);
        break;
    case 1:
        moveTo();
        resizeTo();
        setWindowState(restored | Qt::WindowMinimized);
        break;
    case 2:
        resizeTo();
        moveTo();
        setWindowState(restored | Qt::WindowMaximized);
        break;
    default:
        break; // not a state: the window stays as designed
    }
}

// Meets a recorded outer size once the window system has framed the window: at the first show,
// or when a window manager reports its frame later (a move of the frame). Left alone when the
// window has been resized meanwhile or is maximised.
void ttsmain::fitPendingOuterSize()
{
    if (!m_pendingOuterSize)
        return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull())
        return;
    const QSize outer = *m_pendingOuterSize;
    m_pendingOuterSize.reset();
    const QSize placed(std::max(1, outer.width()), std::max(1, outer.height()));
    if (size() != placed || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    resize(std::max(1, outer.width() - frame.width()), std::max(1, outer.height() - frame.height()));
}

void ttsmain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    fitPendingOuterSize();
}

void ttsmain::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    fitPendingOuterSize();
}

// What the window knows better than the record: shown or not, its place unless minimised, the
// text box height, font and colours. The size and state follow the layout all the time.
void ttsmain::refreshWindowSettings()
{
    WindowSettings &window = App.window;
    window.Visible = isVisible();
    if (!(windowState() & Qt::WindowMinimized)) {
        window.Left = pixelsToTwips(x());
        window.Top = pixelsToTwips(y());
    }
    // Before the text box is made its fields are the record's still.
    if (!RichTextBox1)
        return;
    window.TextBoxHeight = pixelsToTwips(RichTextBox1->height());
    const QFont font = RichTextBox1->font();
    window.FontName = font.family();
    window.FontSize = pointSizeText(font.pointSizeF());
    window.FontBold = booleanText(font.bold());
    window.FontItalic = font.italic();
    window.FontUnderline = font.underline();
    window.FontStrikethrough = font.strikeOut();
    window.TextColour = colourToLong(RichTextBox1->palette().color(QPalette::Text));
    window.BackColour = colourToLong(RichTextBox1->palette().color(QPalette::Base));
}

// Writes "swin.ini". A failed write leaves the previous file whole; the next save retries.
void ttsmain::SaveWinSets()
{
    refreshWindowSettings();
    saveWindowSettings(windowFile(), App.window);
}

// The periodic save, every 15 s.
void ttsmain::SaveSettings_Timer()
{
    SaveTTSSets();
    SaveWinSets();
}

// ---- The bars

// Volume bar moved: applies it to the current reading voice only (the talking clock and the
// audio-file writer keep their own volume).
void ttsmain::VScroll1_Change()
{
    const int volume = VScroll1->value();
    if (App.speech.SapiVersion == VoiceCatalog::Generation4 && DirectSS1) {
        DirectSS1->setLeftChannelVolume(RatePitch::positionToChannelVolume(volume));
        DirectSS1->setRightChannelVolume(DirectSS1->LeftChannelVolume());
    } else if (App.speech.SapiVersion == VoiceCatalog::Generation5 && NewsVoice1) {
        NewsVoice1->setVolume(volume);
    }
    Label1->setText(QString::number(volume));
}

// Rate bar moved: applies it to the current voice. Ignored during start-up, where the settings
// set the bar, label and engine themselves.
void ttsmain::VScroll2_Change()
{
    if (StartTTS4Speed == -1)
        return;
    const int position = VScroll2->value();
    if (App.speech.SapiVersion == VoiceCatalog::Generation4) {
        Label5->setText(QString::number(position));
        App.speech.RatePosition = position;
        if (DirectSS1) {
            DirectSS1->setSpeed(RatePitch::positionToEngine(position, TTS4MinSpeed, TTS4MaxSpeed));
            if (TextToSpeech1)
                TextToSpeech1->setSpeed(DirectSS1->Speed());
        }
    } else if (App.speech.SapiVersion == VoiceCatalog::Generation5) {
        if (NewsVoice1) {
            NewsVoice1->setRate(RatePitch::positionToRate5(position));
            if (VoiceSayTime)
                VoiceSayTime->setRate(NewsVoice1->Rate());
        }
        Label5->setText(QString::number(position));
        App.speech.RatePosition = position;
    }
}

// Pitch bar moved: applies it to a generation-4 voice; generation 5 has no pitch, so there the
// bar and its label only move. Ignored during start-up.
void ttsmain::VScroll3_Change()
{
    if (StartTTS4Pitch == -1)
        return;
    const int position = VScroll3->value();
    Label3->setText(QString::number(position));
    App.speech.PitchPosition = position;
    if (App.speech.SapiVersion == VoiceCatalog::Generation4 && DirectSS1)
        DirectSS1->setPitch(RatePitch::positionToEngine(position, TTS4MinPitch, TTS4MaxPitch));
}
