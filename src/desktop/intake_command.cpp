#include "desktop/intake_command.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace Intake {

namespace {

bool hasPrefix(const QString &command, QLatin1StringView tail)
{
    return command.size() >= MarkerLength + tail.size() && command.startsWith(Marker) &&
           QStringView(command).mid(MarkerLength, tail.size()) == tail;
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

Command classify(const QString &command)
{
    if (command == endCommand())
        return Command::End;
    if (hasPrefix(command, QLatin1StringView("-4")))
        return Command::ChangeVoice;
    if (hasPrefix(command, QLatin1StringView("_3")))
        return Command::Stop;
    if (hasPrefix(command, QLatin1StringView("_2")))
        return Command::Toggle;
    if (hasPrefix(command, QLatin1StringView("_1")))
        return Command::Read;
    return Command::FilePath;
}

QString payload(const QString &command)
{
    return command.mid(PrefixLength);
}

QString startFrom(const QString &commandLine, bool namesExistingFile)
{
    if (commandLine.isEmpty())
        return QStringLiteral("program");
    if (commandLine.size() == 1)
        return QString();
    return namesExistingFile ? QStringLiteral("explorer") : QStringLiteral("internet");
}

bool looksLikePath(const QString &argument)
{
    if (argument.contains(QLatin1Char('\n')) || argument.contains(QLatin1Char('\r')))
        return false;
    if (argument.startsWith(QLatin1Char('/')) || argument.startsWith(QLatin1Char('~')))
        return true;
    if (!argument.contains(QLatin1Char('/')))
        return false;
    static const QRegularExpression blank(QStringLiteral("\\s"));
    static const QRegularExpression extension(QStringLiteral("\\.[A-Za-z0-9]{1,5}$"));
    return !argument.contains(blank) || argument.contains(extension);
}

QString expandHome(const QString &path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

StartAction startAction(const QString &startMode, const QString &commandLine)
{
    using Kind = StartAction::Kind;
    if (startMode == QLatin1String("explorer"))
        return {Kind::ReadFile, commandLine, false};
    if (startMode != QLatin1String("internet"))
        return {};
    if (hasPrefix(commandLine, QLatin1StringView("-")))
        return {Kind::End, QString(), true};
    if (hasPrefix(commandLine, QLatin1StringView("_")))
        return {Kind::ReadText, commandLine.mid(PrefixLength), true};
    if (looksLikePath(commandLine))
        return {Kind::MissingFile, commandLine, false};
    return {Kind::ReadText, commandLine, false};
}

QString handOverCommand(const QString &startMode, const QString &commandLine, const QString &absolutePath)
{
    using Kind = StartAction::Kind;
    switch (classify(commandLine)) {
    case Command::ChangeVoice:
    case Command::Stop:
    case Command::Toggle:
    case Command::Read:
    case Command::End:
        return commandLine;
    case Command::FilePath:
        break;
    }
    const StartAction action = startAction(startMode, commandLine);
    switch (action.kind) {
    case Kind::Nothing:
        return QString();
    case Kind::End:
        return endCommand();
    case Kind::ReadText:
        return readCommand(action.text);
    case Kind::ReadFile:
    case Kind::MissingFile:
        return absolutePath;
    }
    return QString();
}

VoiceChange parseVoiceChange(const QString &command)
{
    VoiceChange change;
    const QString rest = payload(command);
    if (!rest.isEmpty())
        change.generation = rest.at(0);
    const QString digits = rest.mid(1, 5);
    bool ok = digits.size() == 5;
    for (const QChar c : digits)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (ok)
        change.index = digits.toInt();
    change.listText = rest.mid(6);
    return change;
}

bool acceptableVoiceText(const QString &listText)
{
    return listText.size() <= MaxVoiceTextLength && !hasControlCharacter(listText);
}

bool acceptablePath(const QString &path)
{
    return !path.isEmpty() && path.toUtf8().size() <= MaxPathBytes && !hasControlCharacter(path);
}

QString readCommand(const QString &text)
{
    return Marker + QStringLiteral("_1") + text;
}

QString toggleCommand()
{
    return Marker + QStringLiteral("_2");
}

QString stopCommand()
{
    return Marker + QStringLiteral("_3");
}

QString voiceCommand(int generation, int index, const QString &listText)
{
    return Marker + QStringLiteral("-4") + QString::number(generation) +
           QStringLiteral("%1").arg(index, 5, 10, QLatin1Char('0')) + listText;
}

QString endCommand()
{
    return Marker + QStringLiteral("-");
}

} // namespace Intake
