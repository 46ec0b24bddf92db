#include "app/ttsmain.h"

#include "desktop/handed_file.h"
#include "desktop/intake_command.h"
#include "platform/bounded_file.h"
#include "platform/dialogs.h"
#include "platform/program_folder.h"
#include "platform/single_instance.h"
#include "speech/voice_catalog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>

#include <utility>

// Text and commands from other programs: the start-up argument, the hand-over from a second
// start to the running instance, the running instance's receiver and the browser's voice pick.

namespace {
// A second start waits this long for the running instance's answer, then ends either way.
constexpr int HandOverTimeoutMs = 3000;
// Commands from other programs leave the keyboard focus alone for one Speak or Stop action.
constexpr int ActivatedByOtherProgram = 99;
} // namespace

QString ttsmain::StartFrom(const QString &commandLine) const
{
    // A text the file system cannot even look up (a sentence longer than a file name may be)
    // names nothing; a path it cannot look up is reported as unreadable.
    const BoundedFile::Outcome kind = commandLine.size() > 1
                                          ? BoundedFile::probe(Intake::expandHome(commandLine))
                                          : BoundedFile::Outcome::Missing;
    const bool namesSomething =
        kind != BoundedFile::Outcome::Missing &&
        (kind != BoundedFile::Outcome::Unreadable || Intake::looksLikePath(commandLine));
    return Intake::startFrom(commandLine, namesSomething);
}

// From a second start: hands over what a first start would act on. False when the running
// instance could not be reached or refused the command.
bool ttsmain::LinkAndSendMessage(const QString &commandLine)
{
    if (!m_instance)
        return false;
    // The running instance has a working folder of its own: a path goes over in full.
    const QString command = Intake::handOverCommand(
        App.StartMode, commandLine, QFileInfo(Intake::expandHome(commandLine)).absoluteFilePath());
    if (command.isEmpty())
        return true;
    return m_instance->send(command, HandOverTimeoutMs);
}

// The first instance reads the file or text it was started with, or ends on an end command.
void ttsmain::actOnStartMode(const QString &commandLine)
{
    using Kind = Intake::StartAction::Kind;
    const Intake::StartAction action = Intake::startAction(App.StartMode, commandLine);
    // Reading, and ending (which writes the window record), need the text box now.
    if (action.kind != Kind::Nothing)
        makeTextBox();
    switch (action.kind) {
    case Kind::Nothing:
        return;
    case Kind::End:
        ExitAll();
        return;
    case Kind::ReadFile:
    case Kind::MissingFile:
        if (loadHandedFile(Intake::expandHome(action.text)) != HandOver::Loaded)
            return;
        break;
    case Kind::ReadText:
        if (action.fromOtherProgram)
            ActivateMe = ActivatedByOtherProgram;
        RichTextBox1->setPlainText(action.text);
        break;
    }
    Command5_Click();
}

// Commands can arrive while start-up still runs; they wait until the window is ready.
void ttsmain::listenForCommands()
{
    m_instance->setHandler([this](const QString &command) {
        if (!m_takingCommands) {
            m_waitingCommands.append(command);
            return true;
        }
        return FormDDE_LinkExecute(command);
    });
}

void ttsmain::startTakingCommands()
{
    m_takingCommands = true;
    const QStringList waiting = std::exchange(m_waitingCommands, {});
    if (!waiting.isEmpty())
        makeTextBox();
    for (const QString &command : waiting)
        FormDDE_LinkExecute(command);
}

bool ttsmain::FormDDE_LinkExecute(const QString &command)
{
    if (takeControlCommand(command))
        return true;
    using Intake::Command;
    switch (Intake::classify(command)) {
    case Command::ChangeVoice:
        if (!Intake::acceptableVoiceText(Intake::parseVoiceChange(command).listText))
            return false;
        ActivateMe = ActivatedByOtherProgram;
        ChangeVoiceFromIE(command);
        break;
    case Command::Stop:
        ActivateMe = ActivatedByOtherProgram;
        Command6_Click();
        break;
    case Command::Toggle:
        ActivateMe = ActivatedByOtherProgram;
        Command5_Click();
        break;
    case Command::Read:
        ActivateMe = ActivatedByOtherProgram;
        Command6_Click();
        RichTextBox1->setPlainText(Intake::payload(command));
        Command5_Click();
        break;
    case Command::End:
        // After the answer has gone back: the end takes the receiver with it.
        QTimer::singleShot(0, this, [this] {
            if (!processEnded())
                ExitAll();
        });
        break;
    case Command::FilePath:
        if (!Intake::acceptablePath(command))
            return false;
        // A path that names no readable file leaves the document as it was, unread.
        Command6_Click();
        switch (loadHandedFile(command)) {
        case HandOver::Refused:
            return false;
        case HandOver::Loading:
            break;
        case HandOver::Loaded:
            Command5_Click();
            break;
        }
        break;
    }
    return true;
}

// Loads a handed-over document the way Open does (a large one is read on while it is spoken);
// a file that cannot be read is refused with a message and leaves everything as it was.
ttsmain::HandOver ttsmain::loadHandedFile(const QString &path)
{
    if (const QString refused = HandedFile::refusal(path); !refused.isEmpty()) {
        HandedFile::release(path);
        reportHandOverFailure(refused);
        return HandOver::Refused;
    }
    if (openDocumentFile(path, DocumentSource::HandedOver))
        return HandOver::Loaded;
    // A large document is read aloud by its loader once its first pages are there.
    return documentLoading() ? HandOver::Loading : HandOver::Refused;
}

// A hand-over that failed is told in a message box once the command has been answered, one
// box at a time: a flood of bad commands cannot stack up windows. The terminal, if any, hears
// of it as well.
void ttsmain::reportHandOverFailure(const QString &why)
{
    std::fprintf(stderr, "parlanto: %s\n", qPrintable(why));
    if (m_handOverMessageOpen)
        return;
    m_handOverMessageOpen = true;
    QTimer::singleShot(0, this, [this, why] {
        msgBox(this, why, Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        m_handOverMessageOpen = false;
    });
}

// The browser add-in's voice pick: the same switch as a pick in the voice list, then the
// choice written to "IEVoiceName.ini" for the add-in to show.
void ttsmain::ChangeVoiceFromIE(const QString &command)
{
    Command6_Click();
    const Intake::VoiceChange change = Intake::parseVoiceChange(command);
    const int generation = change.generation == QLatin1Char('4')   ? VoiceCatalog::Generation4
                           : change.generation == QLatin1Char('5') ? VoiceCatalog::Generation5
                                                                   : 0;
    if (generation != 0) {
        // A malformed or unknown index leaves the engines as they were; the caption, the list
        // and the hand-off file still show the text that came. The recorded voice name only
        // follows a switch that took place, so the next start finds the voice in use.
        const bool switched = change.index && !switchVoice(generation, *change.index, change.listText);
        setWindowTitle(change.listText);
        if (switched) {
            App.speech.CurrentVoiceName = VoiceCatalog::nameWithoutSuffix(change.listText);
            // As after a pick in the list: the new voice speaks at the volume the bar shows.
            VScroll1_Change();
        }
    }
    const int position = listPositionOfText(change.listText);
    if (position >= 0)
        Combo1->setCurrentIndex(position);
    ListClosed = true;
    saveVoiceHandOff(programFile(QLatin1String(VoiceHandOffFileName)), change.listText,
                     App.speech.SapiVersion);
}
