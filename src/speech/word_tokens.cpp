#include "speech/word_tokens.h"

#include <algorithm>

namespace {

bool isStandaloneScript(char32_t c)
{
    return (c >= 0x3040 && c <= 0x30FF)       // hiragana, katakana
           || (c >= 0x3400 && c <= 0x4DBF)    // CJK extension A
           || (c >= 0x4E00 && c <= 0x9FFF)    // CJK unified ideographs
           || (c >= 0xF900 && c <= 0xFAFF)    // compatibility ideographs
           || (c >= 0x20000 && c <= 0x2FFFF); // supplementary ideographs
}

bool isWordChar(char32_t c)
{
    return QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Mark_NonSpacing ||
           QChar::category(c) == QChar::Mark_SpacingCombining;
}

void addToken(QVector<WordToken> &out, const QString &text, int start, int end)
{
    // Leave surrounding punctuation out when the token has a letter or digit.
    int s = start, e = end;
    while (s < e) {
        const char32_t c = QStringView(text).mid(s, e - s).toUcs4().value(0);
        if (isWordChar(c))
            break;
        s += QChar::requiresSurrogates(c) ? 2 : 1;
    }
    while (e > s) {
        const int width = (e - 2 >= s && text.at(e - 1).isLowSurrogate()) ? 2 : 1;
        const char32_t c = QStringView(text).mid(e - width, width).toUcs4().value(0);
        if (isWordChar(c))
            break;
        e -= width;
    }
    if (s >= e) {
        s = start;
        e = end;
    }
    out.append({s, e - s});
}

} // namespace

QVector<WordToken> wordTokens(const QString &text)
{
    QVector<WordToken> out;
    const int size = int(text.size());
    int tokenStart = -1;
    for (int i = 0; i < size;) {
        char32_t c = text.at(i).unicode();
        int width = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            width = 2;
        }
        if (QChar::isSpace(c)) {
            if (tokenStart >= 0)
                addToken(out, text, tokenStart, i);
            tokenStart = -1;
        } else if (isStandaloneScript(c)) {
            if (tokenStart >= 0)
                addToken(out, text, tokenStart, i);
            out.append({i, width});
            tokenStart = -1;
        } else if (tokenStart < 0) {
            tokenStart = i;
        }
        i += width;
    }
    if (tokenStart >= 0)
        addToken(out, text, tokenStart, size);
    return out;
}

int WordEventFilter::accept(int offset)
{
    // First token that ends after the offset: the one containing it, or the next one.
    auto it = std::upper_bound(m_tokens.begin(), m_tokens.end(), offset,
                               [](int value, const WordToken &t) { return value < t.start + t.length; });
    if (it == m_tokens.end())
        return -1;
    const int index = int(it - m_tokens.begin());
    if (index <= m_last)
        return -1;
    m_last = index;
    return index;
}
