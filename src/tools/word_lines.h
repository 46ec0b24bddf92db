#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace SlideRules {

// The lines of a word list, kept small: the file's bytes as they are, the place of every
// LinesPerMark-th line, and each line decoded only when it is asked for. A list costs about
// its file's size in memory (plus half a byte per line), where a list of decoded strings costs
// dozens of times that for short lines.
//
// A line ends at CR LF, CR or LF; a final line without a line end counts; an empty line is an
// empty entry; nothing is trimmed or filtered. The bytes are decoded as documents are: a
// byte-order mark (UTF-8, UTF-16 LE or BE), UTF-16 without a mark, UTF-8, the locale's
// encoding, then Windows-1252.
class WordLines
{
public:
    WordLines() = default;
    static WordLines fromBytes(QByteArray bytes, const QByteArray &localeCodeset);

    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // Line `index` (0-based) as read; empty when there is no such line. Of a line longer than
    // LongestLine (in the file's bytes) only its start is given: a word or phrase is shown in
    // large type and spoken, and a line of megabytes would take gigabytes to lay out.
    QString value(qsizetype index) const;
    static constexpr qsizetype LongestLine = 64 * 1024;
    // Every line, decoded (for small lists and checks).
    QStringList toList() const;

private:
    enum class Encoding
    {
        Utf8,
        Locale,
        Windows1252,
        Decoded, // a UTF-16 file, kept as its decoded text
    };
    template <typename Char> void mark(const Char *data, qsizetype size);
    QString decode(qsizetype start, qsizetype end, qsizetype withEnd) const;
    QString decodeStart(qsizetype start, qsizetype cut) const;

    // A line start is remembered for every this many lines; a lookup passes at most this many
    // line ends.
    static constexpr qsizetype LinesPerMark = 16;

    Encoding m_encoding = Encoding::Utf8;
    QByteArray m_bytes;             // the file's bytes, unless Decoded
    qsizetype m_begin = 0;          // where the text starts past a byte-order mark
    QString m_text;                 // the text of a Decoded file
    QByteArray m_localeCodeset;     // for Encoding::Locale
    std::vector<qsizetype> m_marks; // start of line 0, LinesPerMark, 2 * LinesPerMark, ...
    qsizetype m_count = 0;
};

} // namespace SlideRules
