#include "tools/word_lines.h"

#include "speech/text_decoder.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace SlideRules {

namespace {

// The first CR or LF at or after `from`, or `size` when the line runs to the end.
template <typename Char> qsizetype lineEnd(const Char *data, qsizetype from, qsizetype size)
{
    for (qsizetype i = from; i < size; ++i) {
        const Char c = data[i];
        if (c <= Char('\r') && (c == Char('\n') || c == Char('\r')))
            return i;
    }
    return size;
}

// Where the next line starts after the line end at `end` (CR LF counts as one).
template <typename Char> qsizetype nextStart(const Char *data, qsizetype end, qsizetype size)
{
    if (data[end] == Char('\r') && end + 1 < size && data[end + 1] == Char('\n'))
        return end + 2;
    return end + 1;
}

bool hasPrefix(const QByteArray &bytes, const char *prefix)
{
    return bytes.startsWith(QByteArrayView(prefix));
}

bool isUtf8OrAscii(const QByteArray &codeset)
{
    QByteArray name = codeset.toUpper();
    name.replace("-", "").replace("_", "");
    return name == "UTF8" || name == "ASCII" || name == "USASCII" || name == "ANSIX3.41968" || name.isEmpty();
}

// True when every byte sequence of `bytes` is valid and complete in `encoding`. Converts into
// a small scratch buffer over and over, so a large file costs no memory.
bool validIn(QByteArrayView bytes, const QByteArray &encoding)
{
    iconv_t cd = iconv_open("UTF-16LE", encoding.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char scratch[16384];
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    bool valid = true;
    for (;;) {
        char *out = scratch;
        size_t outLeft = sizeof scratch;
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != size_t(-1))
            break;
        if (errno != E2BIG) { // an invalid sequence, or one cut off at the end
            valid = false;
            break;
        }
    }
    if (valid) {
        char *out = scratch;
        size_t outLeft = sizeof scratch;
        valid = iconv(cd, nullptr, nullptr, &out, &outLeft) != size_t(-1);
    }
    iconv_close(cd);
    return valid;
}

// UTF-16 without a mark shows NUL bytes early on; 8-bit text has none. Only such a file (or
// one with a UTF-16 mark) needs the whole decoder; the rest is decoded a line at a time.
bool mayBeUtf16(const QByteArray &bytes)
{
    constexpr qsizetype SampleBytes = 4096;
    if (hasPrefix(bytes, "\xFF\xFE") || hasPrefix(bytes, "\xFE\xFF"))
        return true;
    if (bytes.isEmpty() || bytes.size() % 2 != 0)
        return false;
    return std::memchr(bytes.constData(), 0, size_t(qMin(bytes.size(), SampleBytes))) != nullptr;
}

} // namespace

WordLines WordLines::fromBytes(QByteArray bytes, const QByteArray &localeCodeset)
{
    WordLines lines;
    if (hasPrefix(bytes, "\xEF\xBB\xBF")) {
        lines.m_encoding = Encoding::Utf8;
        lines.m_begin = 3;
    } else if (mayBeUtf16(bytes)) {
        lines.m_encoding = Encoding::Decoded;
        lines.m_text = TextDecoding::decodePlainText(bytes, localeCodeset);
        bytes = QByteArray();
    } else if (QByteArrayView(bytes).isValidUtf8()) {
        lines.m_encoding = Encoding::Utf8;
    } else if (!isUtf8OrAscii(localeCodeset) && validIn(bytes, localeCodeset)) {
        lines.m_encoding = Encoding::Locale;
        lines.m_localeCodeset = localeCodeset;
    } else {
        lines.m_encoding = Encoding::Windows1252;
    }
    lines.m_bytes = std::move(bytes);
    if (lines.m_encoding == Encoding::Decoded)
        lines.mark(reinterpret_cast<const char16_t *>(lines.m_text.utf16()), lines.m_text.size());
    else
        lines.mark(reinterpret_cast<const uchar *>(lines.m_bytes.constData()) + lines.m_begin,
                   lines.m_bytes.size() - lines.m_begin);
    return lines;
}

template <typename Char> void WordLines::mark(const Char *data, qsizetype size)
{
    // One pass. A line takes at least one character, so this room always suffices; only the
    // part written is ever touched, and the rest is given back at the end.
    m_marks.clear();
    m_marks.reserve(size_t(size / LinesPerMark + 1));
    qsizetype ends = 0;
    if (size > 0)
        m_marks.push_back(0);
    for (qsizetype i = 0; i < size; ++i) {
        const Char c = data[i];
        if (c > Char('\r'))
            continue;
        // A line end is an LF, or a CR not followed by an LF.
        if (c != Char('\n') && (c != Char('\r') || (i + 1 < size && data[i + 1] == Char('\n'))))
            continue;
        if (++ends % LinesPerMark == 0 && i + 1 < size)
            m_marks.push_back(i + 1);
    }
    m_marks.shrink_to_fit();
    const bool lastLineOpen = size > 0 && data[size - 1] != Char('\n') && data[size - 1] != Char('\r');
    m_count = ends + (lastLineOpen ? 1 : 0);
}

QString WordLines::value(qsizetype index) const
{
    if (index < 0 || index >= m_count)
        return QString();
    const auto decodeLine = [this, index](const auto *data, qsizetype size) {
        qsizetype start = m_marks[size_t(index / LinesPerMark)];
        for (qsizetype skip = index % LinesPerMark; skip > 0; --skip)
            start = nextStart(data, lineEnd(data, start, size), size);
        const qsizetype end = lineEnd(data, start, size);
        if (end - start > LongestLine)
            return decodeStart(start, start + LongestLine);
        return decode(start, end, end < size ? end + 1 : end);
    };
    if (m_encoding == Encoding::Decoded)
        return decodeLine(reinterpret_cast<const char16_t *>(m_text.utf16()), m_text.size());
    return decodeLine(reinterpret_cast<const uchar *>(m_bytes.constData()) + m_begin,
                      m_bytes.size() - m_begin);
}

// The text of the line [start, end); `withEnd` is `end` plus its first line-end character when
// there is one, so that a character cut off by the line end decodes as in the whole text.
QString WordLines::decode(qsizetype start, qsizetype end, qsizetype withEnd) const
{
    if (m_encoding == Encoding::Decoded)
        return m_text.mid(start, end - start);
    const QByteArrayView line(m_bytes.constData() + m_begin + start, end - start);
    switch (m_encoding) {
    case Encoding::Utf8: {
        QStringDecoder utf8(QStringConverter::Utf8,
                            QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        QString text = utf8.decode(QByteArrayView(line.data(), withEnd - start));
        if (withEnd > end)
            text.chop(1);
        return text;
    }
    case Encoding::Locale:
        if (std::optional<QString> text = TextDecoding::decodeStrict(line, m_localeCodeset))
            return *text;
        break;
    default:
        break;
    }
    QString text;
    TextDecoding::CodePageDecoder().decode(1252, line, text);
    return text;
}

// The start of an over-long line, up to `cut` and never through the middle of a character.
QString WordLines::decodeStart(qsizetype start, qsizetype cut) const
{
    if (m_encoding == Encoding::Decoded) {
        if (m_text.at(cut - 1).isHighSurrogate())
            --cut;
        return m_text.mid(start, cut - start);
    }
    const char *data = m_bytes.constData() + m_begin;
    if (m_encoding == Encoding::Utf8) {
        // Back to the first byte of the character that the cut runs through.
        for (int back = 0; back < 3 && (uchar(data[cut]) & 0xC0) == 0x80; ++back)
            --cut;
        return decode(start, cut, cut);
    }
    if (m_encoding == Encoding::Locale) {
        // A character is at most four bytes in any locale's encoding.
        for (int back = 0; back < 4; ++back)
            if (std::optional<QString> text = TextDecoding::decodeStrict(
                    QByteArrayView(data + start, cut - back - start), m_localeCodeset))
                return *text;
    }
    return decode(start, cut, cut);
}

QStringList WordLines::toList() const
{
    QStringList list;
    list.reserve(m_count);
    for (qsizetype i = 0; i < m_count; ++i)
        list.append(value(i));
    return list;
}

} // namespace SlideRules
