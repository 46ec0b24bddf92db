#include "platform/mci_command.h"

#include <QHash>

namespace {

using Verb = MciCommand::Verb;

std::optional<Verb> verbOf(const QString &word)
{
    static const QHash<QString, Verb> verbs = {
        {QStringLiteral("open"), Verb::Open},     {QStringLiteral("close"), Verb::Close},
        {QStringLiteral("play"), Verb::Play},     {QStringLiteral("pause"), Verb::Pause},
        {QStringLiteral("resume"), Verb::Resume}, {QStringLiteral("stop"), Verb::Stop},
        {QStringLiteral("seek"), Verb::Seek},     {QStringLiteral("status"), Verb::Status},
        {QStringLiteral("set"), Verb::Set},
    };
    const auto it = verbs.find(word.toLower());
    if (it == verbs.end())
        return std::nullopt;
    return *it;
}

// A time in milliseconds: a decimal number, its fraction dropped. Negative numbers and
// anything else are refused.
std::optional<qint64> timeValue(const QString &word)
{
    bool ok = false;
    const double value = word.toDouble(&ok);
    if (!ok || value < 0 || value > 9.0e15)
        return std::nullopt;
    return qint64(value);
}

// Walks the keywords after the device name.
class Keywords
{
public:
    Keywords(const QStringList &words, int first) : m_words(words), m_pos(first) {}
    bool atEnd() const { return m_pos >= m_words.size(); }
    QString next() { return m_words.at(m_pos++).toLower(); }
    std::optional<QString> argument()
    {
        if (atEnd())
            return std::nullopt;
        return m_words.at(m_pos++);
    }

private:
    const QStringList &m_words;
    int m_pos;
};

bool isFlag(const QString &keyword, MciCommand &command)
{
    if (keyword == QLatin1String("wait")) {
        command.wait = true;
        return true;
    }
    // No callback window exists, so notify is accepted and has no effect.
    return keyword == QLatin1String("notify");
}

} // namespace

std::optional<QStringList> splitMciWords(const QString &command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (const QChar c : command) {
        if (quoted) {
            if (c == QLatin1Char('"'))
                quoted = false;
            else
                word += c;
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.append(word);
    return words;
}

std::variant<MciCommand, int> parseMciCommand(const QString &text)
{
    const auto split = splitMciWords(text);
    if (!split)
        return MciError::NoClosingQuote;
    const QStringList &words = *split;
    if (words.isEmpty())
        return MciError::MissingCommandString;
    const auto verb = verbOf(words.first());
    if (!verb)
        return MciError::UnrecognizedCommand;
    if (words.size() < 2)
        return MciError::MissingDeviceName;

    MciCommand command;
    command.verb = *verb;
    command.device = words.at(1);
    Keywords keywords(words, 2);

    switch (*verb) {
    case Verb::Open:
        while (!keywords.atEnd()) {
            const QString keyword = keywords.next();
            if (isFlag(keyword, command) || keyword == QLatin1String("shareable"))
                continue;
            if (keyword != QLatin1String("alias") && keyword != QLatin1String("type"))
                return MciError::UnrecognizedKeyword;
            const auto value = keywords.argument();
            if (!value || value->isEmpty())
                return MciError::MissingStringArgument;
            if (keyword == QLatin1String("alias"))
                command.alias = *value;
            else
                command.deviceType = value->toLower();
        }
        if (command.alias.isEmpty())
            command.alias = command.device;
        if (command.deviceType.isEmpty())
            return MciError::DeviceTypeRequired;
        return command;

    case Verb::Play:
        while (!keywords.atEnd()) {
            const QString keyword = keywords.next();
            if (isFlag(keyword, command))
                continue;
            if (keyword != QLatin1String("from") && keyword != QLatin1String("to"))
                return MciError::UnrecognizedKeyword;
            const auto value = keywords.argument();
            if (!value)
                return MciError::MissingParameter;
            const auto time = timeValue(*value);
            if (!time)
                return MciError::BadInteger;
            (keyword == QLatin1String("from") ? command.from : command.to) = time;
        }
        return command;

    case Verb::Seek: {
        bool haveTarget = false;
        while (!keywords.atEnd()) {
            const QString keyword = keywords.next();
            if (isFlag(keyword, command))
                continue;
            if (keyword != QLatin1String("to"))
                return MciError::UnrecognizedKeyword;
            const auto value = keywords.argument();
            if (!value)
                return MciError::MissingParameter;
            haveTarget = true;
            if (value->compare(QLatin1String("start"), Qt::CaseInsensitive) == 0) {
                command.seekTarget = MciCommand::SeekTarget::Start;
            } else if (value->compare(QLatin1String("end"), Qt::CaseInsensitive) == 0) {
                command.seekTarget = MciCommand::SeekTarget::End;
            } else {
                const auto time = timeValue(*value);
                if (!time)
                    return MciError::BadInteger;
                command.seekTarget = MciCommand::SeekTarget::Position;
                command.seekTo = *time;
            }
        }
        if (!haveTarget)
            return MciError::MissingParameter;
        return command;
    }

    case Verb::Status:
        while (!keywords.atEnd()) {
            const QString keyword = keywords.next();
            if (isFlag(keyword, command))
                continue;
            if (!command.item.isEmpty())
                return MciError::UnrecognizedKeyword;
            if (keyword != QLatin1String("length") && keyword != QLatin1String("position") &&
                keyword != QLatin1String("mode"))
                return MciError::UnrecognizedKeyword;
            command.item = keyword;
        }
        if (command.item.isEmpty())
            return MciError::MissingParameter;
        return command;

    case Verb::Set: {
        QStringList rest;
        while (!keywords.atEnd()) {
            const QString keyword = keywords.next();
            if (!isFlag(keyword, command))
                rest.append(keyword);
        }
        const QString item = rest.join(QLatin1Char(' '));
        if (item == QLatin1String("door open") || item == QLatin1String("door closed")) {
            command.item = item;
        } else if (item == QLatin1String("time format milliseconds") ||
                   item == QLatin1String("time format ms")) {
            command.item = QStringLiteral("time format milliseconds");
        } else {
            return rest.isEmpty() ? MciError::MissingParameter : MciError::UnrecognizedKeyword;
        }
        return command;
    }

    case Verb::Close:
    case Verb::Pause:
    case Verb::Resume:
    case Verb::Stop:
        while (!keywords.atEnd()) {
            if (!isFlag(keywords.next(), command))
                return MciError::UnrecognizedKeyword;
        }
        return command;
    }
    return MciError::UnrecognizedCommand;
}
