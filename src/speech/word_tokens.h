#pragma once

#include <QString>
#include <QVector>

// The words of a piece of text as the reader highlights them: runs of non-blank characters,
// with each CJK ideograph or kana on its own (those scripts put no blanks between words), and
// with punctuation around a word left out. Offsets are UTF-16 positions in the text given.
struct WordToken
{
    int start = 0;
    int length = 0;
};

QVector<WordToken> wordTokens(const QString &text);

// Turns an engine's irregular word events into one event per word token, in order: an event
// maps to the token that contains its position (or the next one after it), and repeats or
// backward jumps are dropped.
class WordEventFilter
{
public:
    explicit WordEventFilter(const QString &text) : m_tokens(wordTokens(text)) {}
    // Returns the token index for an event at `offset`, or -1 when the event is to be dropped.
    int accept(int offset);
    const WordToken &token(int index) const { return m_tokens.at(index); }
    const QVector<WordToken> &tokens() const { return m_tokens; }

private:
    QVector<WordToken> m_tokens;
    int m_last = -1;
};
