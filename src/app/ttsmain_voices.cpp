#include "app/ttsmain.h"

#include "platform/dialogs.h"
#include "platform/program_folder.h"
#include "platform/shell.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScrollBar>
#include <QToolButton>

using VoiceCatalog::ErrorClass;

namespace {

const QString PleaseAnswer =
    QStringLiteral("Please click No to continue or click Yes to end this appliaction");

QString errorTail(int number, const QString &description)
{
    return QStringLiteral("Error number:") + QString::number(number) + QStringLiteral(" Error description:") +
           description + QStringLiteral("  .") + PleaseAnswer;
}

} // namespace

// ---- The list

void ttsmain::GetEngines4()
{
    SAPI4VoiceCount = 0;
    if (!DirectSS1)
        return;
    const auto entries = VoiceCatalog::generation4Entries(*DirectSS1);
    for (const auto &entry : entries)
        Combo1->addItem(entry.text, entry.itemData);
    SAPI4VoiceCount = int(entries.size());
}

void ttsmain::GetEngines5()
{
    SAPI5VoiceCount = 0;
    if (!NewsVoice1)
        return;
    const auto entries = VoiceCatalog::generation5Entries(SpVoice::GetVoices());
    for (Token = 0; Token < entries.size(); ++Token) {
        Combo1->addItem(entries[Token].text);
        Combo1->setItemData(Combo1->count() - 1, entries[Token].itemData);
    }
    SAPI5VoiceCount = int(entries.size());
}

void ttsmain::Command7_Click()
{
    RestorePrevious = false;
    PrevListIndex = Combo1->currentIndex();
    PrevListText = Combo1->currentText();
    PrevEngineIndex = VoiceCatalog::indexOf(Combo1->currentData().toInt());
    PrevSapiVersion = App.speech.SapiVersion;
    PrevRate = VScroll2->value();
    PrevPitch = VScroll3->value();
    ListClosed = false;

    Combo1->move(Command7->pos());
    Combo1->show();
    Combo1->raise();

    QStringList texts;
    for (int i = 0; i < Combo1->count(); ++i)
        texts.append(Combo1->itemText(i));
    Combo1->view()->setMinimumWidth(VoiceCatalog::dropDownWidth(texts));

    Combo1->setFocus();
    Combo1->showPopup();
}

// ---- Applying a pick

void ttsmain::Combo1_Click()
{
    Combo1->hidePopup();
    Combo1->hide();
    if (StartTTS4Engine == -1)
        return;
    Command6_Click();
    if (ListClosed)
        return;
    applyPick(RestorePrevious);
}

void ttsmain::applyPick(bool restoring)
{
    for (;;) {
        if (RestorePrevious)
            Combo1->setCurrentIndex(PrevListIndex);
        const int position = Combo1->currentIndex();
        const std::optional<VoiceError> error = switchToListPosition(position);
        if (!error)
            break;

        ListClosed = true;
        const int generation = VoiceCatalog::generationOf(Combo1->itemData(position).toInt());
        const QString listText = Combo1->currentText();
        const QString reportTitle = QStringLiteral("SAPI Version ") + QString::number(generation) +
                                    QStringLiteral(". Please send the following error message to") +
                                    vendorSupport();
        const ErrorClass kind = VoiceCatalog::classifyError(error->number);
        if (kind == ErrorClass::Ignored)
            break;

        Dialogs::Answer answer;
        if (kind == ErrorClass::Unusable) {
            answer = msgBox(this,
                            listText + QStringLiteral(" is not reliable, so it can not be used.") +
                                QStringLiteral(" ") + errorTail(error->number, error->description),
                            Dialogs::Buttons::YesNo, Dialogs::Icon::Question,
                            QStringLiteral("Parlanto--") + QStringLiteral("SAPI Version ") +
                                QString::number(generation),
                            1);
        } else {
            answer =
                msgBox(this, listText + QStringLiteral(" ") + errorTail(error->number, error->description),
                       Dialogs::Buttons::YesNo, Dialogs::Icon::Question, reportTitle, 1);
        }
        if (answer == Dialogs::Answer::Yes) {
            ExitAll();
            return;
        }
        if (kind == ErrorClass::DivisionByZero)
            return; // the selection stays as it is
        if (kind == ErrorClass::Unusable && DirectSS1)
            DirectSS1->setInitialized(1);
        // Put the previous voice back; if that fails as well, leave it there.
        if (restoring)
            return;
        RestorePrevious = true;
        restoring = true;
    }

    ListClosed = true;
    // The new voice speaks at the volume the bar shows.
    VScroll1_Change();
    writeVoiceHandOff();
}

std::optional<ttsmain::VoiceError> ttsmain::switchToListPosition(int position)
{
    const int itemData = position >= 0 ? Combo1->itemData(position).toInt() : 0;
    const QString listText = position >= 0 ? Combo1->itemText(position) : QString();
    return switchVoice(VoiceCatalog::generationOf(itemData), VoiceCatalog::indexOf(itemData), listText);
}

// Makes the voice `index` of `generation` current in every speaking object, moves the rate and
// pitch bars to it and shows `listText` as the caption. Any other generation changes nothing.
std::optional<ttsmain::VoiceError> ttsmain::switchVoice(int generation, int index, const QString &listText)
{
    using namespace VoiceCatalog;
    const auto fail = [](int number) { return VoiceError{number, errorDescription(number)}; };
    SpeechSettings &speech = App.speech;

    if (generation == Generation4) {
        if (!DirectSS1)
            return fail(ErrorObjectMissing);
        if (!DirectSS1->Select(index) || (TextToSpeech1 && !TextToSpeech1->Select(index)))
            return fail(ErrorEngineUnusable);
        speech.CurrentEngineIndex = index;
        speech.SapiVersion = Generation4;
        if (!rateBarFromVoice(Generation4) || !pitchBarFromVoice4())
            return fail(ErrorDivisionByZero);
        speech.RatePosition = VScroll2->value();
        speech.PitchPosition = VScroll3->value();
        Combo1->setToolTip(listText);
        setWindowTitle(listText);
        speech.CurrentVoiceName = nameWithoutSuffix(listText);
    } else if (generation == Generation5) {
        speech.CurrentEngineIndex = index;
        if (!NewsVoice1)
            return fail(ErrorObjectMissing);
        const QList<SpObjectToken> tokens = SpVoice::GetVoices();
        if (index >= tokens.size())
            return fail(ErrorSubscriptOutOfRange);
        if (!NewsVoice1->setVoice(tokens[index]))
            return fail(ErrorEngineUnusable);
        NewsVoice1->Speak(QStringLiteral(" "), SpVoice::SVSFlagsAsync);
        if (VoiceSayTime)
            VoiceSayTime->setVoice(tokens[index]);
        speech.SapiVersion = Generation5;
        rateBarFromVoice(Generation5);
        speech.RatePosition = VScroll2->value();
        speech.PitchPosition = VScroll3->value();
        setWindowTitle(listText);
        speech.CurrentVoiceName = nameWithoutSuffix(listText);
    }
    return std::nullopt;
}

// "IEVoiceName.ini": the list text and the generation, for the browser add-in.
void ttsmain::writeVoiceHandOff()
{
    saveVoiceHandOff(programFile(QLatin1String(VoiceHandOffFileName)), Combo1->currentText(),
                     App.speech.SapiVersion);
}

// ---- Download page

void ttsmain::Label8_DblClick()
{
    openWithDesktop(this, vendorSite() + QStringLiteral("/download.htm"));
}

void ttsmain::Label10_DblClick()
{
    openWithDesktop(this, vendorSite() + QStringLiteral("/download.htm"));
}
