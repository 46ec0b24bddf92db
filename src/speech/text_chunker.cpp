#include "speech/text_chunker.h"

namespace TextChunker {
namespace {

bool isSentenceEnd(QChar c)
{
    switch (c.unicode()) {
    case '.':
    case '!':
    case '?':
    case ';':
    case 0x3002:
    case 0xFF01:
    case 0xFF1F:
    case 0xFF1B: // 。！？；
        return true;
    default:
        return false;
    }
}

bool isClauseEnd(QChar c)
{
    switch (c.unicode()) {
    case ',':
    case ':':
    case 0x3001:
    case 0xFF0C:
    case 0xFF1A: // 、，：
        return true;
    default:
        return false;
    }
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar(0x2029) || c == QChar(0x2028);
}

bool isHorizontalSpace(QChar c)
{
    return c.isSpace() && !isLineBreak(c);
}

// Line ends in the blanks from `i` on; a CR LF pair counts once. Sets `end` past the blanks.
int lineEndsIn(const QString &text, int i, int &end)
{
    const int size = int(text.size());
    int count = 0;
    for (; i < size && text.at(i).isSpace(); ++i) {
        if (!isLineBreak(text.at(i)))
            continue;
        if (!(text.at(i) == u'\n' && i > 0 && text.at(i - 1) == u'\r'))
            ++count;
    }
    end = i;
    return count;
}

} // namespace

QString engineText(const QString &text)
{
    QString out = text;
    const int size = int(out.size());
    for (int i = 0; i < size; ++i) {
        const QChar c = out.at(i);
        if (c.isNull()) {
            out[i] = u' ';
        } else if (isLineBreak(c)) {
            int start = i;
            while (start > 0 && isHorizontalSpace(out.at(start - 1)))
                --start;
            int end = 0;
            if (lineEndsIn(out, start, end) == 1) {
                for (int j = start; j < end; ++j)
                    if (isLineBreak(out.at(j)))
                        out[j] = u' ';
            }
            i = end - 1;
        }
    }
    return out;
}

int chunkEnd(const QString &text, int start, int limit)
{
    const int size = int(text.size());
    if (start >= size)
        return size;
    const int hardEnd = qMin(size, start + qMax(1, limit));
    int sentence = -1, clause = -1, blank = -1;
    for (int i = start; i < hardEnd; ++i) {
        const QChar c = text.at(i);
        if (isLineBreak(c)) {
            int end = 0;
            if (lineEndsIn(text, i, end) > 1) {
                sentence = i + 1;
                break;
            }
            blank = i;
            continue;
        }
        if (c.isSpace()) {
            blank = i;
            continue;
        }
        const bool followedByBreak = i + 1 >= size || text.at(i + 1).isSpace() || c.unicode() >= 0x3000;
        if (followedByBreak && isSentenceEnd(c)) {
            sentence = i + 1;
            break;
        }
        if (followedByBreak && isClauseEnd(c))
            clause = i + 1;
    }
    int end;
    if (sentence > start)
        end = sentence;
    else if (hardEnd == size)
        end = size;
    else if (clause > start)
        end = clause;
    else if (blank > start)
        end = blank;
    else {
        end = hardEnd; // one very long word: cut it, but never inside a surrogate pair
        if (end < size && text.at(end).isLowSurrogate() && end - 1 > start)
            --end;
    }
    while (end < size && text.at(end).isSpace())
        ++end;
    return end;
}

} // namespace TextChunker
