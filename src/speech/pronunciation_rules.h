#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

class PronunciationMatcher;

// How the engines are to say a name, an abbreviation or a term. A rule file is UTF-8 text, one
// rule a line:
//   # a comment; blank lines are ignored
//   SQL = sequel                               whole words or a phrase, in any case
//   !Dr. = Doctor                              "!" first: the case must match
//   /(\d+) ?km\/h/ = \1 kilometres per hour    a regular expression; \1 .. \9 are its captures
//   [de]                                       the rules below apply to German voices only
//   [*]                                        and from here on to every voice again
struct PronunciationRule
{
    enum class Kind
    {
        Words,   // whole words: blanks in them match any blanks of the text
        Pattern, // a regular expression
    };
    Kind kind = Kind::Words;
    QString match;       // the words, or the pattern without its slashes
    QString replacement; // what the engine is given instead
    bool matchCase = false;
    QStringList languages; // the voices' languages it applies to; empty: every voice

    bool operator==(const PronunciationRule &other) const = default;
};

namespace Pronunciation {

// The file in the program folder whose rules apply to everything Parlanto says.
inline const QString UserFileName = QStringLiteral("pronunciation.txt");
// Rule files are read up to this size; a longer file is refused whole.
constexpr qint64 MaxFileBytes = 1024 * 1024;
// Regular expressions a set holds at most: each costs a pass over the text and compiled code,
// so the rest are skipped. Words rules cost one lookup per word of the text, however many.
constexpr int MaxPatterns = 1000;
// A rule line longer than this is refused: no name or term needs more.
constexpr int MaxLineLength = 2000;

// One line of a rule file as read.
struct Line
{
    enum class Kind
    {
        Blank,
        Comment,
        Section, // "[de]", "[de, fr]", "[*]"
        Rule,
        Bad,
    };
    Kind kind = Kind::Blank;
    PronunciationRule rule; // a rule line's rule (its languages left empty)
    QStringList languages;  // a section line's languages; empty for "[*]"
    QString problem;        // a bad line: what is wrong, in words for the user
};
Line parseLine(const QString &line);

// The line parseLine() reads back as `rule` (its languages are its section's business).
QString formatRule(const PronunciationRule &rule);
// The line that starts a section of `languages` ("[*]" for none).
QString formatSection(const QStringList &languages);
// What keeps `rule` from being used or written as a line; empty when nothing does.
QString ruleProblem(const PronunciationRule &rule);
// The languages a section line names, from the text a user typed ("de, fr"; "" or "*": all).
QStringList languagesFromText(const QString &text);

// Whether a rule for `languages` applies to a voice of `voiceLanguage`: "de" applies to "de"
// and "de-at", "en-us" to "en-us" only; no languages apply to every voice.
bool appliesTo(const QStringList &languages, const QString &voiceLanguage);

// A line of a rule file that was skipped, and why.
struct Problem
{
    QString file; // as the user knows it
    int line = 0; // from 1; 0 for the file as a whole
    QString message;
    QString text() const; // "pronunciation.txt, line 4: ..."
};

} // namespace Pronunciation

// A set of rules in the order they were read; later rules win over earlier ones for the same
// text. Held through a shared pointer to const once made: the engines' threads read it.
class PronunciationRules
{
public:
    PronunciationRules() = default;
    PronunciationRules(const PronunciationRules &other) : m_rules(other.m_rules), m_patterns(other.m_patterns)
    {}
    PronunciationRules &operator=(const PronunciationRules &) = delete;

    // Adds the rules of one file's text after those already held. Lines that are not rules
    // are skipped and, when `problems` is given, named there with `fileName` and their number.
    void addText(const QString &text, const QString &fileName,
                 QList<Pronunciation::Problem> *problems = nullptr);
    // Adds one rule; one with a problem (see ruleProblem), or a regular expression past
    // MaxPatterns, is skipped. False when skipped.
    bool add(const PronunciationRule &rule);

    const QList<PronunciationRule> &rules() const { return m_rules; }
    bool isEmpty() const { return m_rules.isEmpty(); }

    // The rules that apply to a voice of `language`, made ready to apply. Made once per
    // language and kept; safe to call from any thread.
    std::shared_ptr<const PronunciationMatcher> forLanguage(const QString &language) const;

    // The rules everything Parlanto says goes through; an empty set until one is given.
    static std::shared_ptr<const PronunciationRules> current();
    static void setCurrent(std::shared_ptr<const PronunciationRules> rules);

private:
    bool append(const PronunciationRule &rule); // false past MaxPatterns
    QList<PronunciationRule> m_rules;
    int m_patterns = 0;
    mutable std::mutex m_mutex;
    mutable QHash<QString, std::shared_ptr<const PronunciationMatcher>> m_matchers;
};
