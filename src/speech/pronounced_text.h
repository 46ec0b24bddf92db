#pragma once

#include "speech/pronunciation_rules.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringView>

// A text as the engines are to say it, with the way back to the text the user sees: every
// position of `text` leads to the original characters it stands for, so that the word
// highlight, the slider, subtitles and word positions keep pointing at the user's own words.
struct PronouncedText
{
    // A run of `text` and the original characters it stands for. Copied runs (text the rules
    // left alone, and the captures a pattern's replacement repeats) map character for
    // character; a replacement's own words stand for the whole original span.
    struct Piece
    {
        int spokenStart = 0;
        int spokenLength = 0;
        int originalStart = 0;
        int originalLength = 0;
        bool copied = true;
        bool operator==(const Piece &other) const = default;
    };
    QString text;
    QList<Piece> pieces; // in the order of `text`, covering it without gaps

    struct Span
    {
        int start = 0;
        int length = 0;
        bool operator==(const Span &other) const = default;
    };
    // The original characters that text[start, start + length) stands for.
    Span originalSpan(int start, int length) const;
};

// The rules for one voice language, ready to apply (see PronunciationRules::forLanguage).
class PronunciationMatcher
{
public:
    explicit PronunciationMatcher(const QList<PronunciationRule> &rules);
    bool isEmpty() const { return m_words.isEmpty() && m_patterns.isEmpty(); }

    // A match found in a text: [start, end) replaced by rule `order` (its place in the set).
    struct Match
    {
        int start = 0;
        int end = 0;
        int order = 0;
        int rule = -1;        // index into m_words or m_patterns
        bool pattern = false; // which of the two
        QList<int> captures;  // a pattern's capture starts and ends, group 0 first
    };
    void findWords(QStringView text, QList<Match> &out) const;
    void findPatterns(const QString &text, QList<Match> &out) const;
    // Appends the replacement of `match` to `out` (spoken positions after `out.text`).
    void replace(const Match &match, QStringView original, PronouncedText &out) const;
    // How long the replacement of `match` is, to keep the output bounded.
    int replacementLength(const Match &match) const;

private:
    struct Words
    {
        QString key;       // the words with single blanks between them
        QString foldedKey; // the same in folded case, for rules of any case
        QString replacement;
        bool matchCase = false;
        bool startsWithWord = false; // the key begins and ends with letters or digits: the
        bool endsWithWord = false;   // text must not go on with letters or digits there
        int lead = 0;                // characters before the key's first word
        int order = 0;
    };
    struct Part
    {
        QString text;   // literal text, or
        int group = -1; // the capture with this number
    };
    struct Pattern
    {
        QRegularExpression expression;
        QList<Part> replacement;
        int order = 0;
    };
    int wordsEnd(const Words &words, QStringView text, QStringView folded, int start) const;

    QList<Words> m_words;
    // Words rules by their first word (folded); rules without letters or digits by their first
    // character. One lookup per word of the text, whatever the number of rules.
    QHash<QString, QList<int>> m_byFirstWord;
    QHash<QChar, QList<int>> m_byFirstMark;
    QList<Pattern> m_patterns;
};

namespace Pronunciation {

// A pattern as the matcher compiles it: any case unless `matchCase`, Unicode classes, ^ and $
// at line ends, and a cap on backtracking so that no pattern can hang the reader.
QRegularExpression compilePattern(const QString &pattern, bool matchCase);
// Why `pattern` does not compile ("missing closing parenthesis at character 7"); empty when it does.
QString patternProblem(const QString &pattern, bool matchCase);

// The output of a rewrite is at most this many times the input, plus ReplacementSlack
// characters: replacements past that leave the original text as it stands.
constexpr int MaxGrowth = 4;
constexpr int ReplacementSlack = 1024;

} // namespace Pronunciation

// Applies the rules to a text in one pass: at each position the longest match wins (the later
// rule when two are as long), a replacement is never matched again, a match of nothing is
// ignored, and the output stays within Pronunciation::MaxGrowth times the input. Without
// rules (or with none that match) the text comes back as it is.
PronouncedText pronounce(const PronunciationMatcher *rules, QStringView original);
