#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// Error numbers the media command interpreter answers, numbered as the multimedia command
// strings number them. 0 means success.
namespace MciError {
constexpr int None = 0;
constexpr int UnrecognizedKeyword = 259;
constexpr int UnrecognizedCommand = 261;
constexpr int Hardware = 262;
constexpr int InvalidDeviceName = 263;
constexpr int CannotLoadDriver = 266;
constexpr int MissingCommandString = 267;
constexpr int MissingStringArgument = 269;
constexpr int BadInteger = 270;
constexpr int MissingParameter = 273;
constexpr int UnsupportedFunction = 274;
constexpr int FileNotFound = 275;
constexpr int DeviceNotReady = 276;
constexpr int OutOfRange = 282;
constexpr int DeviceTypeRequired = 287;
constexpr int DuplicateAlias = 289;
constexpr int MissingDeviceName = 292;
constexpr int NoClosingQuote = 294;
constexpr int InvalidFile = 296;
} // namespace MciError

// One command string taken apart. Words are separated by blanks; a word in double quotes may
// hold blanks. Verbs and keywords are matched in any case.
struct MciCommand
{
    enum class Verb
    {
        Open,
        Close,
        Play,
        Pause,
        Resume,
        Stop,
        Seek,
        Status,
        Set
    };
    enum class SeekTarget
    {
        Position,
        Start,
        End
    };

    Verb verb = Verb::Open;
    QString device;     // the file name (open) or the alias; "all" for close all
    QString alias;      // open: the alias (the file name when none is given)
    QString deviceType; // open: "waveaudio", "sequencer" or "avivideo", lower case
    bool wait = false;
    std::optional<qint64> from; // play: start, in milliseconds
    std::optional<qint64> to;   // play: end, in milliseconds
    SeekTarget seekTarget = SeekTarget::Position;
    qint64 seekTo = 0;
    QString item; // status: "length", "position" or "mode"; set: "door open", "door closed",
                  // "time format milliseconds"
};

// The words of a command string; nothing when a quote is left open.
std::optional<QStringList> splitMciWords(const QString &command);

// The command, or the error number of what is wrong with it.
std::variant<MciCommand, int> parseMciCommand(const QString &command);
