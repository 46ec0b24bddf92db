#pragma once

#include "platform/rounding.h"

#include <QChar>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <optional>

// The arithmetic of reading progress: where a reading starts, which characters a word event
// selects, where the position slider goes and how elapsed time is written. The text is read
// through a character accessor so that a large document is never copied per word.
namespace ReadingProgress {

// A word ends at a space, a carriage return or a line feed (a document's paragraph and line
// separators count as line feeds).
inline bool isWordSeparator(QChar c)
{
    return c == u' ' || c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator ||
           c == QChar::LineSeparator;
}

// Length of a text of `length` characters less its leading and trailing spaces (line breaks
// stay). Only the runs of spaces at both ends are read.
template <typename CharAt> int trimmedLength(int length, CharAt charAt)
{
    int first = 0;
    while (first < length && charAt(first) == u' ')
        ++first;
    if (first == length)
        return 0;
    int end = length;
    while (end > first && charAt(end - 1) == u' ')
        --end;
    return end - first;
}
inline int trimmedLength(QStringView text)
{
    return trimmedLength(int(text.size()), [text](int i) { return text[i]; });
}

// End (exclusive) of the text less its trailing spaces.
template <typename CharAt> int endWithoutTrailingSpaces(int length, CharAt charAt)
{
    int end = length;
    while (end > 0 && charAt(end - 1) == u' ')
        --end;
    return end;
}

// Where a new reading starts: from the cursor, or from 0 when the cursor is at the end of the
// trimmed text (generation 4 already within two characters of it).
inline int readingStart(int generation, int cursor, int documentLength)
{
    if (generation == 4 && cursor + 2 >= documentLength)
        return 0;
    if (generation == 5 && cursor >= documentLength)
        return 0;
    return cursor;
}

// A selection in the document and the slider value that goes with it.
struct Highlight
{
    int start = 0;
    int length = 0;
    std::optional<int> sliderValue; // empty: the slider stays where it is
};

// Generation-4 word event. The cursor goes to byteoffset / 2 (two bytes per character) past the
// reading start, clamped to the text; the word runs to the next separator, searched no further
// than documentLength; with none, to documentLength + 1. The slider goes to the word's end - 1.
template <typename CharAt>
Highlight generation4Word(int byteoffset, int speakStart, int textLength, int documentLength, CharAt charAt)
{
    const int cursor = roundHalfEven(byteoffset / 2.0 + speakStart);
    const int p = std::clamp(cursor, 0, textLength);
    int e = documentLength + 1;
    if (textLength == 0) {
        e = 1;
    } else {
        for (int i = p; i <= documentLength; ++i) {
            if (i < textLength && isWordSeparator(charAt(i))) {
                e = i;
                break;
            }
        }
    }
    return {p, std::max(0, e - p), e - 1};
}
inline Highlight generation4Word(int byteoffset, int speakStart, QStringView text, int documentLength)
{
    return generation4Word(byteoffset, speakStart, int(text.size()), documentLength,
                           [text](int i) { return text[i]; });
}

// Generation-5 word event: the word's own position and length past the reading start; the
// slider follows when its maximum reaches that far.
inline Highlight generation5Word(int characterPosition, int length, int speakStart, int sliderMaximum)
{
    const int start = speakStart + characterPosition;
    Highlight h{start, std::max(0, length), std::nullopt};
    if (sliderMaximum >= start)
        h.sliderValue = start;
    return h;
}

// Elapsed time as "hh:mm:ss", each part the last two digits of its number (3725 -> "01:02:05").
// A negative span (the clock went back) shows as zero.
QString elapsedText(qint64 seconds);

// Full-width digits U+FF10..U+FF19 replaced by the ASCII digits 0..9, position for position.
QString halfWidthDigits(QString text);

} // namespace ReadingProgress
