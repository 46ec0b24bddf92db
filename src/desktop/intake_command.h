#pragma once

#include <QString>

#include <optional>

// The command strings other programs hand to Parlanto, on the command line of a start or sent
// to the running instance: a fixed 32-digit marker, a separator at position 33 ("_" or "-"), a
// command digit at 34 and the payload from 35 on. Anything without a known prefix is a path.
namespace Intake {

inline const QString Marker = QStringLiteral("9E04B7C2A61D4F3385E0C7D29B1A6F48");
constexpr int MarkerLength = 32;
constexpr int PrefixLength = 34;

// What the running instance does with a command.
enum class Command
{
    ChangeVoice, // marker "-4": switch to the voice in the payload
    Stop,        // marker "_3"
    Toggle,      // marker "_2": speak / pause / resume, as the Speak button
    Read,        // marker "_1": stop, put the payload in the document, speak
    FilePath,    // anything else: load the whole command as a file and read it
};
Command classify(const QString &command);

// The payload: the command from position 35 to the end ("" when shorter).
QString payload(const QString &command);

// How a start classifies its command line: "program" when empty, "" for a single character,
// "explorer" when it names an existing file, "internet" otherwise.
QString startFrom(const QString &commandLine, bool namesExistingFile);

// What a first instance does with its command line once it is up.
struct StartAction
{
    enum class Kind
    {
        Nothing,
        ReadFile, // load `text` as a file path, then read
        ReadText, // put `text` in the document, then read
        End,      // end the program at once
    };
    Kind kind = Kind::Nothing;
    QString text;
    bool fromOtherProgram = false; // the marker was present: the focus stays where it is
};
// Only the first 33 characters count here: marker "_" reads from position 35 on (34 is
// skipped whatever it holds), marker "-" ends, any other text is read as it stands.
StartAction startAction(const QString &startMode, const QString &commandLine);

// A change-voice command's payload: generation digit at 35, five-digit index at 36-40, the
// voice's list text (name and suffix) from 41 on. A malformed index gives no index; the list
// text is taken whatever it is, as the window shows it either way.
struct VoiceChange
{
    QChar generation;
    std::optional<int> index;
    QString listText;
};
VoiceChange parseVoiceChange(const QString &command);

// Builders for senders (parlanto-cli send, add-ins).
QString readCommand(const QString &text);
QString toggleCommand();
QString stopCommand();
QString voiceCommand(int generation, int index, const QString &listText);
QString endCommand();

} // namespace Intake
