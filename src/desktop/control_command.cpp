#include "desktop/control_command.h"

namespace ControlCommand {

namespace {

// The leading NUL, then a word that says what follows.
const QString Prefix = QStringLiteral("%1parlanto-control ").arg(QChar(0));

std::optional<Request> fromWords(const QStringList &words)
{
    if (words == QStringList{QStringLiteral("quit")})
        return Request{Request::Kind::Quit, Window::Menu};
    if (words.size() == 2 && words.first() == QLatin1String("open"))
        if (const auto window = windowNamed(words.at(1)))
            return Request{Request::Kind::Open, *window};
    return std::nullopt;
}

} // namespace

const QStringList &windowNames()
{
    static const QStringList names = {
        QStringLiteral("batch"), QStringLiteral("converter"), QStringLiteral("clock"),
        QStringLiteral("slide"), QStringLiteral("update"),    QStringLiteral("about"),
        QStringLiteral("help"),  QStringLiteral("menu"),
    };
    return names;
}

std::optional<Window> windowNamed(const QString &name)
{
    const qsizetype index = windowNames().indexOf(name);
    if (index < 0)
        return std::nullopt;
    return static_cast<Window>(index);
}

QString command(const Request &request)
{
    switch (request.kind) {
    case Request::Kind::Quit:
        return Prefix + QStringLiteral("quit");
    case Request::Kind::Open:
        return Prefix + QStringLiteral("open ") + windowNames().at(int(request.window));
    case Request::Kind::SpeakClipboard:
        break;
    }
    return QString();
}

std::optional<Request> parse(const QString &received)
{
    if (!received.startsWith(Prefix))
        return std::nullopt;
    return fromWords(received.mid(Prefix.size()).split(QLatin1Char(' ')));
}

std::optional<Request> fromStartArguments(const QString &commandLine)
{
    if (commandLine == QLatin1String("--quit"))
        return Request{Request::Kind::Quit, Window::Menu};
    if (commandLine == QLatin1String("--speak-clipboard"))
        return Request{Request::Kind::SpeakClipboard, Window::Menu};
    const QStringList words = commandLine.split(QLatin1Char(' '));
    if (words.size() == 2 && words.first() == QLatin1String("--open"))
        if (const auto window = windowNamed(words.at(1)))
            return Request{Request::Kind::Open, *window};
    return std::nullopt;
}

} // namespace ControlCommand
