#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Requests to the running Parlanto that are not reading commands: end it as "Exit all" does, or
// open one of its windows. They reach the running copy over the same socket as the reading
// commands, in a form that none of those can take: a reading command either starts with the
// 32-digit marker or is a file path, and no path holds a NUL character, so a control request
// starts with one.
namespace ControlCommand {

// The windows a request can open, by the names people and scripts give them.
enum class Window
{
    Batch,     // batch conversion of text files
    Converter, // WAV to MP3
    Clock,     // the talking clock's settings
    Slide,     // the slide reader
    Update,
    About,
    Help,
    Menu, // the popup menu window
};

struct Request
{
    enum class Kind
    {
        Quit,
        Open,
        SpeakClipboard, // read the clipboard's text aloud (a start option only)
    };
    Kind kind = Kind::Quit;
    Window window = Window::Menu;

    bool operator==(const Request &) const = default;
};

// "batch", "converter", "clock", "slide", "update", "about", "help", "menu", in that order.
const QStringList &windowNames();
std::optional<Window> windowNamed(const QString &name);

// The string sent to the running copy for a request.
QString command(const Request &request);
// The request a received string carries; nullopt for every other string, which is then a
// reading command or a path as before.
std::optional<Request> parse(const QString &received);

// A start with "--quit", "--open NAME" or "--speak-clipboard" as its whole command line (the
// arguments joined by blanks); nullopt for any other command line.
std::optional<Request> fromStartArguments(const QString &commandLine);

} // namespace ControlCommand
