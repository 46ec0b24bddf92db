#include "desktop/intake_command.h"

namespace Intake {

namespace {

bool hasPrefix(const QString &command, QLatin1StringView tail)
{
    return command.size() >= MarkerLength + tail.size() && command.startsWith(Marker) &&
           QStringView(command).mid(MarkerLength, tail.size()) == tail;
}

} // namespace

Command classify(const QString &command)
{
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
    return {Kind::ReadText, commandLine, false};
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
