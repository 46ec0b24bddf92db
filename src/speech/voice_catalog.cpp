#include "speech/voice_catalog.h"

#include "platform/rounding.h"
#include "speech/directss.h"
#include "speech/spvoice.h"

#include <algorithm>

namespace VoiceCatalog {

QString suffix(int generation)
{
    return QStringLiteral(" (TTS%1.0)").arg(generation);
}

int encodeItemData(int generation, int index)
{
    return generation * 100000 + index;
}

int generationOf(int itemData)
{
    const QString digits = QString::number(itemData);
    return digits.left(1).toInt(); // "-" reads as 0
}

int indexOf(int itemData)
{
    return QString::number(itemData).right(5).toInt();
}

QString nameWithoutSuffix(const QString &listText)
{
    if (listText.size() < SuffixLength)
        return {};
    return listText.left(listText.size() - SuffixLength);
}

QList<Entry> generation4Entries(const QStringList &modeNames)
{
    QList<Entry> entries;
    entries.reserve(modeNames.size());
    for (int i = 0; i < modeNames.size(); ++i)
        entries.append({modeNames[i] + suffix(Generation4), encodeItemData(Generation4, i + 1)});
    return entries;
}

QList<Entry> generation4Entries(const DirectSS &engine)
{
    QStringList names;
    const int count = engine.CountEngines();
    for (int i = 1; i <= count; ++i)
        names.append(engine.ModeName(i));
    return generation4Entries(names);
}

QList<Entry> generation5Entries(const QList<SpObjectToken> &tokens)
{
    QList<Entry> entries;
    entries.reserve(tokens.size());
    for (int i = 0; i < tokens.size(); ++i)
        entries.append({tokens[i].GetDescription(0) + suffix(Generation5), encodeItemData(Generation5, i)});
    return entries;
}

int defaultVoicePosition(const QStringList &languages, const QString &localeName)
{
    if (languages.isEmpty())
        return -1;
    // "de_DE.UTF-8@euro" -> "de-de" and "de".
    const QString full = localeName.section(QLatin1Char('.'), 0, 0)
                             .section(QLatin1Char('@'), 0, 0)
                             .replace(QLatin1Char('_'), QLatin1Char('-'))
                             .toLower();
    const QString language = full.section(QLatin1Char('-'), 0, 0);
    const auto firstWhere = [&](auto matches) {
        for (int i = 0; i < languages.size(); ++i)
            if (!languages[i].isEmpty() && matches(languages[i].toLower()))
                return i;
        return -1;
    };
    const QString family = language + QLatin1Char('-');
    for (const int found :
         {firstWhere([&](const QString &l) { return l == full; }),
          firstWhere([&](const QString &l) { return l == language; }),
          firstWhere([&](const QString &l) { return !language.isEmpty() && l.startsWith(family); }),
          firstWhere([](const QString &l) { return l == QLatin1String("en-us"); })})
        if (found >= 0)
            return found;
    return 0;
}

QList<int> matchingVoices(const QList<Entry> &entries, const QStringList &languages, const QString &typed)
{
    const QString wanted = typed.trimmed();
    if (wanted.isEmpty())
        return {};
    const auto where = [&](auto matches) {
        QList<int> positions;
        for (int i = 0; i < entries.size(); ++i)
            if (matches(i))
                positions.append(i);
        return positions;
    };
    const auto sameText = [&](const QString &text) { return text.compare(wanted, Qt::CaseInsensitive) == 0; };
    for (const QList<int> &found :
         {where([&](int i) { return entries[i].text == wanted; }), where([&](int i) {
              return sameText(entries[i].text) || sameText(nameWithoutSuffix(entries[i].text));
          })})
        if (!found.isEmpty())
            return found;
    const QString code = QString(wanted).replace(QLatin1Char('_'), QLatin1Char('-'));
    const QList<int> speakers = where([&](int i) {
        return !languages.value(i).isEmpty() && languages.value(i).compare(code, Qt::CaseInsensitive) == 0;
    });
    if (!speakers.isEmpty())
        return {speakers.first()};
    return where([&](int i) { return entries[i].text.contains(wanted, Qt::CaseInsensitive); });
}

int dropDownWidth(const QStringList &entryTexts)
{
    qsizetype longest = 0;
    for (const QString &text : entryTexts)
        longest = std::max(longest, text.size());
    return roundHalfEven(double(longest) * 355.0 / 44.0);
}

ErrorClass classifyError(qint64 number)
{
    // COM error numbers arrive either as unsigned codes or as negative 32-bit numbers.
    switch (quint32(number)) {
    case 0:
    case 5:
    case 430:
    case 445:
        return ErrorClass::Ignored;
    case 11:
        return ErrorClass::DivisionByZero;
    case 0x80004005:
    case 0x80120088:
    case 0x80040206:
    case 429:
        return ErrorClass::Unusable;
    default:
        return ErrorClass::Other;
    }
}

QString errorDescription(int number)
{
    switch (number) {
    case ErrorInvalidCall:
        return QStringLiteral("Invalid procedure call or argument");
    case ErrorSubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case ErrorDivisionByZero:
        return QStringLiteral("Division by zero");
    case ErrorObjectMissing:
        return QStringLiteral("Object variable not set");
    case ErrorEngineUnusable:
        return QStringLiteral("engine unusable");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

} // namespace VoiceCatalog
