#include "speech/pronunciation_rules.h"

#include "speech/pronounced_text.h"

#include <QRegularExpression>

namespace Pronunciation {

namespace {

bool isLanguageCode(const QString &code)
{
    static const QRegularExpression shape(QStringLiteral("^[a-z0-9]{1,8}(-[a-z0-9]{1,8})*$"));
    return shape.match(code).hasMatch();
}

// The end of a pattern written between slashes from `line[0]`: the first slash that no
// backslash escapes; -1 when there is none.
int closingSlash(const QString &line)
{
    for (int i = 1; i < line.size(); ++i) {
        if (line.at(i) == u'\\')
            ++i;
        else if (line.at(i) == u'/')
            return i;
    }
    return -1;
}

// The highest capture a pattern's replacement names (\1 .. \9), 0 for none.
int highestGroup(const QString &replacement)
{
    int highest = 0;
    for (int i = 0; i + 1 < replacement.size(); ++i) {
        if (replacement.at(i) != u'\\')
            continue;
        const QChar next = replacement.at(i + 1);
        if (next.isDigit() && next.unicode() < 0x80)
            highest = qMax(highest, next.digitValue());
        ++i;
    }
    return highest;
}

bool hasLineBreak(const QString &text)
{
    for (QChar c : text)
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    return false;
}

} // namespace

QStringList languagesFromText(const QString &text)
{
    QStringList languages;
    for (QString code : text.split(u',', Qt::SkipEmptyParts)) {
        code = code.trimmed().toLower().replace(u'_', u'-');
        if (code.isEmpty() || code == QLatin1String("*"))
            continue;
        if (!languages.contains(code))
            languages.append(code);
    }
    return languages;
}

QString formatSection(const QStringList &languages)
{
    return QLatin1Char('[') +
           (languages.isEmpty() ? QStringLiteral("*") : languages.join(QStringLiteral(", "))) +
           QLatin1Char(']');
}

QString formatRule(const PronunciationRule &rule)
{
    QString line = rule.matchCase ? QStringLiteral("!") : QString();
    if (rule.kind == PronunciationRule::Kind::Pattern) {
        // A slash inside the pattern would end it: written as \/, which means the same.
        QString pattern;
        for (int i = 0; i < rule.match.size(); ++i) {
            const QChar c = rule.match.at(i);
            if (c == u'\\' && i + 1 < rule.match.size()) {
                pattern += c;
                pattern += rule.match.at(++i);
                continue;
            }
            if (c == u'/')
                pattern += u'\\';
            pattern += c;
        }
        line += QLatin1Char('/') + pattern + QLatin1Char('/');
    } else {
        line += rule.match.simplified();
    }
    line += QStringLiteral(" =");
    if (!rule.replacement.trimmed().isEmpty())
        line += QLatin1Char(' ') + rule.replacement.trimmed();
    return line;
}

QString ruleProblem(const PronunciationRule &rule)
{
    for (const QString &language : rule.languages)
        if (!isLanguageCode(language))
            return QStringLiteral("\"%1\" is not a language code such as de or en-us").arg(language);
    if (hasLineBreak(rule.match) || hasLineBreak(rule.replacement))
        return QStringLiteral("a rule is one line: it cannot hold a line break");
    if (formatRule(rule).size() > MaxLineLength)
        return QStringLiteral("the rule is longer than %1 characters").arg(MaxLineLength);
    if (rule.kind == PronunciationRule::Kind::Pattern) {
        if (rule.match.isEmpty())
            return QStringLiteral("the pattern is empty");
        const QString problem = patternProblem(rule.match, rule.matchCase);
        if (!problem.isEmpty())
            return QStringLiteral("the regular expression does not compile: %1").arg(problem);
        const int groups = compilePattern(rule.match, rule.matchCase).captureCount();
        const int named = highestGroup(rule.replacement);
        if (named > groups)
            return QStringLiteral("\\%1 names a capture the pattern does not have").arg(named);
        return {};
    }
    const QString words = rule.match.simplified();
    if (words.isEmpty())
        return QStringLiteral("there are no words to the left of \"=\"");
    if (words.contains(u'='))
        return QStringLiteral("words with \"=\" in them need a regular expression");
    const QChar first = words.at(0);
    if (first == u'#' || first == u'!' || first == u'/' || first == u'[')
        return QStringLiteral("words that begin with %1 need a regular expression").arg(first);
    return {};
}

Line parseLine(const QString &text)
{
    Line line;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return line;
    if (trimmed.startsWith(u'#')) {
        line.kind = Line::Kind::Comment;
        return line;
    }
    line.kind = Line::Kind::Bad;
    if (trimmed.size() > MaxLineLength) {
        line.problem = QStringLiteral("the line is longer than %1 characters").arg(MaxLineLength);
        return line;
    }
    if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
        const QString inside = trimmed.mid(1, trimmed.size() - 2).trimmed();
        line.languages = languagesFromText(inside);
        bool ok = !inside.isEmpty();
        for (const QString &language : std::as_const(line.languages))
            ok = ok && isLanguageCode(language);
        if (!ok) {
            line.problem = QStringLiteral("\"%1\" names no language: write a code such as [de] or [en-us], "
                                          "or [*] for every voice")
                               .arg(trimmed);
            return line;
        }
        line.kind = Line::Kind::Section;
        return line;
    }

    PronunciationRule &rule = line.rule;
    QString rest = trimmed;
    if (rest.startsWith(u'!')) {
        rule.matchCase = true;
        rest = rest.mid(1).trimmed();
    }
    QString after;
    if (rest.startsWith(u'/')) {
        const int end = closingSlash(rest);
        if (end < 0) {
            line.problem = QStringLiteral("the pattern has no closing /");
            return line;
        }
        rule.kind = PronunciationRule::Kind::Pattern;
        rule.match = rest.mid(1, end - 1);
        after = rest.mid(end + 1).trimmed();
        if (!after.startsWith(u'=')) {
            line.problem = QStringLiteral("\"=\" must follow the pattern's closing /");
            return line;
        }
        after = after.mid(1);
    } else {
        const qsizetype equals = rest.indexOf(u'=');
        if (equals < 0) {
            line.problem = QStringLiteral("there is no \"=\" between the words and what to say");
            return line;
        }
        rule.match = rest.left(equals).simplified();
        after = rest.mid(equals + 1);
    }
    rule.replacement = after.trimmed();
    line.problem = ruleProblem(rule);
    if (line.problem.isEmpty())
        line.kind = Line::Kind::Rule;
    return line;
}

bool appliesTo(const QStringList &languages, const QString &voiceLanguage)
{
    if (languages.isEmpty())
        return true;
    const QString voice = voiceLanguage.toLower().replace(u'_', u'-');
    for (const QString &language : languages)
        if (voice == language || voice.startsWith(language + QLatin1Char('-')))
            return true;
    return false;
}

QString Problem::text() const
{
    if (line > 0)
        return QStringLiteral("%1, line %2: %3").arg(file).arg(line).arg(message);
    return QStringLiteral("%1: %2").arg(file, message);
}

} // namespace Pronunciation

void PronunciationRules::addText(const QString &text, const QString &fileName,
                                 QList<Pronunciation::Problem> *problems)
{
    using Pronunciation::Line;
    QStringList languages;
    int number = 0;
    const QStringView all = text.startsWith(QChar(0xFEFF)) ? QStringView(text).mid(1) : QStringView(text);
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = start;
        while (end < all.size() && all.at(end) != u'\n' && all.at(end) != u'\r')
            ++end;
        ++number;
        const Line line = Pronunciation::parseLine(all.mid(start, end - start).toString());
        if (line.kind == Line::Kind::Section) {
            languages = line.languages;
        } else if (line.kind == Line::Kind::Rule) {
            PronunciationRule rule = line.rule;
            rule.languages = languages;
            if (!append(rule) && problems)
                problems->append({fileName, number,
                                  QStringLiteral("only the first %1 regular expressions are used")
                                      .arg(Pronunciation::MaxPatterns)});
        } else if (line.kind == Line::Kind::Bad && problems) {
            problems->append({fileName, number, line.problem});
        }
        if (end >= all.size())
            break;
        start = end + ((all.at(end) == u'\r' && end + 1 < all.size() && all.at(end + 1) == u'\n') ? 2 : 1);
    }
    std::lock_guard lock(m_mutex);
    m_matchers.clear();
}

bool PronunciationRules::add(const PronunciationRule &rule)
{
    if (!Pronunciation::ruleProblem(rule).isEmpty() || !append(rule))
        return false;
    std::lock_guard lock(m_mutex);
    m_matchers.clear();
    return true;
}

bool PronunciationRules::append(const PronunciationRule &rule)
{
    const bool pattern = rule.kind == PronunciationRule::Kind::Pattern;
    if (pattern && m_patterns >= Pronunciation::MaxPatterns)
        return false;
    m_patterns += pattern ? 1 : 0;
    m_rules.append(rule);
    return true;
}

std::shared_ptr<const PronunciationMatcher> PronunciationRules::forLanguage(const QString &language) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_matchers.constFind(language);
    if (found != m_matchers.constEnd())
        return *found;
    QList<PronunciationRule> applying;
    for (const PronunciationRule &rule : m_rules)
        if (Pronunciation::appliesTo(rule.languages, language))
            applying.append(rule);
    auto matcher = std::make_shared<const PronunciationMatcher>(applying);
    m_matchers.insert(language, matcher);
    return matcher;
}

namespace {

std::mutex currentMutex;
std::shared_ptr<const PronunciationRules> currentRules;

} // namespace

std::shared_ptr<const PronunciationRules> PronunciationRules::current()
{
    std::lock_guard lock(currentMutex);
    if (!currentRules)
        currentRules = std::make_shared<const PronunciationRules>();
    return currentRules;
}

void PronunciationRules::setCurrent(std::shared_ptr<const PronunciationRules> rules)
{
    std::lock_guard lock(currentMutex);
    currentRules = std::move(rules);
}
