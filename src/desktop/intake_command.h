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

// What a command may put in a caption, a list or a record: a voice's list text is a short
// name. Longer texts, or names holding control characters, are refused, since a window title
// of megabytes is more than the display server takes.
constexpr int MaxVoiceTextLength = 256;
// A file command longer than the longest path the system opens names no file.
constexpr int MaxPathBytes = 4096;

// What the running instance does with a command.
enum class Command
{
    ChangeVoice, // marker "-4": switch to the voice in the payload
    Stop,        // marker "_3"
    Toggle,      // marker "_2": speak / pause / resume, as the Speak button
    Read,        // marker "_1": stop, put the payload in the document, speak
    End,         // the marker and "-" alone: end the program, as at start-up
    FilePath,    // anything else: load the whole command as a file and read it
};
Command classify(const QString &command);

// The payload: the command from position 35 to the end ("" when shorter).
QString payload(const QString &command);

// How a start classifies its command line: "program" when empty, "" for a single character,
// "explorer" when it names something in the file system, "internet" otherwise.
QString startFrom(const QString &commandLine, bool namesExistingFile);

// Whether an argument that names nothing was meant as a file: a single line that starts with
// "/" or "~", or that holds a "/" and either no blank or ends in a file-name extension
// (".txt"). Sentences such as "Mix 1/2 cup of flour." are text.
bool looksLikePath(const QString &argument);

// "~" and "~/..." name the home folder, as a shell would have expanded them.
QString expandHome(const QString &path);

// What a start does with its command line once it is up.
struct StartAction
{
    enum class Kind
    {
        Nothing,
        ReadFile,    // load `text` as a file path, then read
        ReadText,    // put `text` in the document, then read
        End,         // end the program at once
        MissingFile, // `text` was meant as a file that does not exist: say so
    };
    Kind kind = Kind::Nothing;
    QString text;
    bool fromOtherProgram = false; // the marker was present: the focus stays where it is
};
// Only the first 33 characters count here: marker "_" reads from position 35 on (34 is
// skipped whatever it holds), marker "-" ends, any other text is read as it stands unless it
// looks like a path (see looksLikePath).
StartAction startAction(const QString &startMode, const QString &commandLine);

// What a later start sends to the running instance so that it does what a first start does
// with the same command line: the commands the running instance knows go over as they are, a
// file (or a missing one, for the running window to report) by its absolute path, the end
// marker as the end command, any other text as a read command. Empty: send nothing.
QString handOverCommand(const QString &startMode, const QString &commandLine, const QString &absolutePath);

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

// False for a list text too long for a caption (see MaxVoiceTextLength) or holding control
// characters: such a command is refused whole.
bool acceptableVoiceText(const QString &listText);
// False for a file command that cannot be a path: empty, too long or with control characters.
bool acceptablePath(const QString &path);

// Builders for senders (parlanto-cli send, add-ins).
QString readCommand(const QString &text);
QString toggleCommand();
QString stopCommand();
QString voiceCommand(int generation, int index, const QString &listText);
QString endCommand();

} // namespace Intake
