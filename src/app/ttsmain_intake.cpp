#include "app/ttsmain.h"

#include "desktop/intake_command.h"
#include "platform/program_folder.h"
#include "platform/single_instance.h"
#include "speech/document_reader.h"
#include "speech/voice_catalog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextEdit>

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
    return Intake::startFrom(commandLine, commandLine.size() > 1 && QFileInfo(commandLine).isFile());
}

// From a second start: hands its command line to the running instance.
void ttsmain::LinkAndSendMessage(const QString &commandLine)
{
    if (!m_instance)
        return;
    // The running instance has a working folder of its own: a path goes over in full.
    const QString command =
        App.StartMode == QLatin1String("explorer") ? QFileInfo(commandLine).absoluteFilePath() : commandLine;
    m_instance->send(command, HandOverTimeoutMs);
}

// The first instance reads the file or text it was started with, or ends on an end command.
void ttsmain::actOnStartMode(const QString &commandLine)
{
    using Kind = Intake::StartAction::Kind;
    const Intake::StartAction action = Intake::startAction(App.StartMode, commandLine);
    switch (action.kind) {
    case Kind::Nothing:
        return;
    case Kind::End:
        ExitAll();
        return;
    case Kind::ReadFile:
        if (!loadHandedFile(action.text))
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
    for (const QString &command : waiting)
        FormDDE_LinkExecute(command);
}

bool ttsmain::FormDDE_LinkExecute(const QString &command)
{
    using Intake::Command;
    switch (Intake::classify(command)) {
    case Command::ChangeVoice:
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
    case Command::FilePath:
        // A path that names no readable file leaves the document as it was, unread.
        Command6_Click();
        if (loadHandedFile(command))
            Command5_Click();
        break;
    }
    return true;
}

// Loads a handed-over document through the hidden text box; false leaves everything as it was
// (or, for a large document, means it is still being read and will be read aloud when shown).
bool ttsmain::loadHandedFile(const QString &path)
{
    // Only regular files: a device or a pipe named by a stray command would never end.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    // A large document is read aloud by its loader once its first pages are there.
    return openDocumentFile(path, DocumentSource::HandedOver);
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
        if (switched)
            App.speech.CurrentVoiceName = VoiceCatalog::nameWithoutSuffix(change.listText);
    }
    const int position = listPositionOfText(change.listText);
    if (position >= 0)
        Combo1->setCurrentIndex(position);
    ListClosed = true;
    saveVoiceHandOff(programFile(QLatin1String(VoiceHandOffFileName)), change.listText,
                     App.speech.SapiVersion);
}
