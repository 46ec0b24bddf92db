#include "speech/rtf_reader.h"

#include "speech/text_decoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// What the text of the current group is.
enum class Destination : std::uint8_t
{
    Text,      // the document's text (shown unless hidden)
    FontTable, // font definitions: numbers, character sets and code pages, no text
    Skip,      // anything not shown: its control words and text are passed over
    Upr,       // \upr: 8-bit text with a Unicode twin in a \ud group; only the twin is read
};

// The part of a group's state that decides how its text is read. Saved when a group opens and
// put back when it closes.
struct GroupState
{
    Destination destination = Destination::Text;
    bool hidden = false;          // \v
    std::int16_t unicodeSkip = 1; // \ucN: fallback characters after each \uN
    std::int32_t font = -1;       // \fN; -1 is the document's default font (\deffN)

    bool operator==(const GroupState &) const = default;
};

// Runs of identical saved states share one entry, so that even millions of nested braces cost
// little memory.
struct SavedGroups
{
    GroupState state;
    std::uint32_t count;
};

enum class Action : std::uint8_t
{
    Character,      // a character of its own (\emdash, \bullet, ...)
    ParagraphBreak, // \par, \sect, \page
    LineBreak,      // \line
    Tab,
    Cell,
    Row,
    Unicode,
    UnicodeSkip,
    CodePage,     // \ansicpgN
    CharacterSet, // \ansi, \mac, \pc, \pca (code page in `character`)
    DefaultFont,
    Font,
    FontCharset,
    FontCodePage,
    Plain,
    Hidden,
    Binary,
    FontTable,
    SkipDestination,
    ShownDestination, // a destination whose text is shown (\fldrslt), even when marked \*
    Upr,
    UnicodeTwin, // \ud
};

struct WordMeaning
{
    Action action;
    char16_t character = 0; // the character, or the code page of a character set
};

const std::unordered_map<std::string_view, WordMeaning> &controlWords()
{
    static const std::unordered_map<std::string_view, WordMeaning> words = [] {
        std::unordered_map<std::string_view, WordMeaning> table{
            {"par", {Action::ParagraphBreak}},
            {"sect", {Action::ParagraphBreak}},
            {"page", {Action::ParagraphBreak}},
            {"line", {Action::LineBreak}},
            {"tab", {Action::Tab}},
            {"cell", {Action::Cell}},
            {"nestcell", {Action::Cell}},
            {"row", {Action::Row}},
            {"nestrow", {Action::Row}},
            {"emdash", {Action::Character, u'\u2014'}},
            {"endash", {Action::Character, u'\u2013'}},
            {"emspace", {Action::Character, u'\u2003'}},
            {"enspace", {Action::Character, u'\u2002'}},
            {"qmspace", {Action::Character, u'\u2005'}},
            {"bullet", {Action::Character, u'\u2022'}},
            {"lquote", {Action::Character, u'\u2018'}},
            {"rquote", {Action::Character, u'\u2019'}},
            {"ldblquote", {Action::Character, u'\u201C'}},
            {"rdblquote", {Action::Character, u'\u201D'}},
            {"zwj", {Action::Character, u'\u200D'}},
            {"zwnj", {Action::Character, u'\u200C'}},
            {"ltrmark", {Action::Character, u'\u200E'}},
            {"rtlmark", {Action::Character, u'\u200F'}},
            {"u", {Action::Unicode}},
            {"uc", {Action::UnicodeSkip}},
            {"ansicpg", {Action::CodePage}},
            {"ansi", {Action::CharacterSet, 1252}},
            {"mac", {Action::CharacterSet, 10000}},
            {"pc", {Action::CharacterSet, 437}},
            {"pca", {Action::CharacterSet, 850}},
            {"deff", {Action::DefaultFont}},
            {"f", {Action::Font}},
            {"fcharset", {Action::FontCharset}},
            {"cpg", {Action::FontCodePage}},
            {"plain", {Action::Plain}},
            {"v", {Action::Hidden}},
            {"bin", {Action::Binary}},
            {"fonttbl", {Action::FontTable}},
            {"fldrslt", {Action::ShownDestination}},
            {"upr", {Action::Upr}},
            {"ud", {Action::UnicodeTwin}},
        };
        // Destinations whose text is not part of what the reader sees.
        for (std::string_view name : {"colortbl",
                                      "stylesheet",
                                      "info",
                                      "pict",
                                      "object",
                                      "objdata",
                                      "header",
                                      "headerl",
                                      "headerr",
                                      "headerf",
                                      "footer",
                                      "footerl",
                                      "footerr",
                                      "footerf",
                                      "footnote",
                                      "annotation",
                                      "atnid",
                                      "atnauthor",
                                      "atnref",
                                      "atndate",
                                      "atnicn",
                                      "atrfstart",
                                      "atrfend",
                                      "fldinst",
                                      "pntext",
                                      "pn",
                                      "pntxta",
                                      "pntxtb",
                                      "listtext",
                                      "listtable",
                                      "listoverridetable",
                                      "revtbl",
                                      "rsidtbl",
                                      "filetbl",
                                      "xmlnstbl",
                                      "themedata",
                                      "colorschememapping",
                                      "latentstyles",
                                      "datastore",
                                      "generator",
                                      "template",
                                      "docvar",
                                      "userprops",
                                      "shpinst",
                                      "shprslt",
                                      "shppict",
                                      "nonshppict",
                                      "sp",
                                      "xe",
                                      "tc",
                                      "tcn",
                                      "txe",
                                      "rxe",
                                      "bkmkstart",
                                      "bkmkend",
                                      "ftnsep",
                                      "ftnsepc",
                                      "ftncn",
                                      "aftnsep",
                                      "aftnsepc",
                                      "aftncn",
                                      "pgdsctbl",
                                      "protusertbl",
                                      "mmathPr",
                                      "fontemb",
                                      "fontfile",
                                      "falt",
                                      "panose",
                                      "listpicture",
                                      "author",
                                      "title",
                                      "subject",
                                      "operator",
                                      "keywords",
                                      "comment",
                                      "doccomm",
                                      "company",
                                      "category",
                                      "manager",
                                      "hlinkbase",
                                      "passwordhash"})
            table.emplace(name, WordMeaning{Action::SkipDestination});
        return table;
    }();
    return words;
}

// Bytes that end a run of literal text.
constexpr std::array<bool, 256> runStops = [] {
    std::array<bool, 256> stops{};
    for (unsigned char c : {'{', '}', '\\', '\r', '\n', '\t', '\0'})
        stops[c] = true;
    return stops;
}();

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class RtfReader
{
public:
    explicit RtfReader(QByteArrayView rtf) : m_p(rtf.data()), m_end(rtf.data() + rtf.size())
    {
        m_text.reserve(rtf.size() / 2);
    }

    QString read();

private:
    struct Font
    {
        int charsetCodePage = 0; // from \fcharsetN; 0 = the document's code page
        int codePage = 0;        // from \cpgN, which wins over the character set
    };

    bool shown() const { return m_state.destination == Destination::Text && !m_state.hidden; }
    bool skippingFallback()
    {
        if (m_fallbackLeft == 0)
            return false;
        --m_fallbackLeft;
        return true;
    }

    void endOptionalDestination(bool known);
    void openGroup();
    bool closeGroup();
    void textRun();
    void controlSequence();
    void controlWord();
    void controlSymbol(char symbol);
    void hexByte();
    void act(const WordMeaning &meaning, bool hasParameter, int parameter);

    void appendBytes(const char *data, qsizetype size);
    void appendCharacter(char16_t c);
    void appendCodePoint(int codePoint);
    void flushBytes();
    int currentCodePage();
    void finish();

    const char *m_p;
    const char *m_end;

    GroupState m_state;
    std::vector<SavedGroups> m_saved;
    int m_fallbackLeft = 0;             // \uc characters still to skip after a \uN
    bool m_optionalDestination = false; // a \* waits for the control word it marks

    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    int m_fontBeingDefined = 0;
    std::unordered_map<int, Font> m_fonts;
    int m_cachedFont = std::numeric_limits<int>::min();
    int m_cachedCodePage = 0;

    // 8-bit text waiting to be decoded in one piece, so that a double-byte character whose
    // bytes arrive as separate \'hh (or a \'hh followed by a literal trail byte) stays whole.
    std::string m_bytes;
    int m_bytesCodePage = 0;
    TextDecoding::CodePageDecoder m_decoder;

    QString m_text;
    qsizetype m_cellTabAt = -1; // position of the tab the last \cell wrote
    bool m_sawSurrogate = false;
};

QString RtfReader::read()
{
    // Anything before the outermost group is not part of the document.
    while (m_p < m_end && *m_p != '{')
        ++m_p;
    while (m_p < m_end) {
        switch (*m_p) {
        case '{':
            ++m_p;
            openGroup();
            break;
        case '}':
            ++m_p;
            if (!closeGroup()) {
                finish();
                return m_text;
            }
            break;
        case '\\':
            ++m_p;
            controlSequence();
            break;
        case '\r':
        case '\n':
        case '\0':
            ++m_p;
            break;
        case '\t':
            ++m_p;
            endOptionalDestination(false);
            if (!skippingFallback() && shown())
                appendCharacter(u'\t');
            break;
        default:
            textRun();
            break;
        }
    }
    finish(); // truncated: keep what was read
    return m_text;
}

// A \* marks the group it stands in as a destination that readers who do not know it skip.
// The control word after it names the destination; anything else there means the same.
void RtfReader::endOptionalDestination(bool known)
{
    if (!m_optionalDestination)
        return;
    m_optionalDestination = false;
    if (!known)
        m_state.destination = Destination::Skip;
}

void RtfReader::openGroup()
{
    endOptionalDestination(false);
    m_fallbackLeft = 0;
    if (!m_saved.empty() && m_saved.back().state == m_state &&
        m_saved.back().count < std::numeric_limits<std::uint32_t>::max())
        ++m_saved.back().count;
    else
        m_saved.push_back({m_state, 1});
}

// Returns false when the outermost group closed: the document ends there.
bool RtfReader::closeGroup()
{
    m_optionalDestination = false;
    m_fallbackLeft = 0;
    if (m_saved.empty())
        return false;
    m_state = m_saved.back().state;
    if (--m_saved.back().count == 0)
        m_saved.pop_back();
    return !m_saved.empty();
}

void RtfReader::textRun()
{
    endOptionalDestination(false);
    const char *start = m_p;
    while (m_p < m_end && !runStops[static_cast<unsigned char>(*m_p)])
        ++m_p;
    const char *data = start;
    qsizetype size = m_p - start;
    if (m_fallbackLeft > 0) {
        const qsizetype skipped = std::min<qsizetype>(m_fallbackLeft, size);
        m_fallbackLeft -= int(skipped);
        data += skipped;
        size -= skipped;
    }
    if (size > 0 && shown())
        appendBytes(data, size);
}

void RtfReader::controlSequence()
{
    if (m_p >= m_end)
        return;
    const char c = *m_p;
    if (isLetter(c)) {
        controlWord();
    } else if (c == '\'') {
        ++m_p;
        hexByte();
    } else if (c == '\r' || c == '\n') {
        // A backslash before a line end is a paragraph end.
        endOptionalDestination(false);
        ++m_p;
        if (!skippingFallback() && shown())
            act({Action::ParagraphBreak}, false, 0);
    } else {
        ++m_p;
        controlSymbol(c);
    }
}

void RtfReader::controlWord()
{
    constexpr qsizetype longestName = 32;
    const char *nameStart = m_p;
    while (m_p < m_end && isLetter(*m_p))
        ++m_p;
    const std::string_view name(nameStart, size_t(m_p - nameStart));

    bool hasParameter = false;
    bool negative = false;
    std::int64_t value = 0;
    if (m_p < m_end && *m_p == '-' && m_p + 1 < m_end && isDigit(m_p[1])) {
        negative = true;
        ++m_p;
    }
    while (m_p < m_end && isDigit(*m_p)) {
        hasParameter = true;
        if (value <= std::numeric_limits<std::int32_t>::max())
            value = value * 10 + (*m_p - '0');
        ++m_p;
    }
    value = std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max());
    const int parameter = int(negative ? -value : value);
    if (m_p < m_end && *m_p == ' ')
        ++m_p; // the delimiter belongs to the control word

    const auto &words = controlWords();
    const auto found = qsizetype(name.size()) > longestName ? words.end() : words.find(name);
    if (found == words.end()) {
        endOptionalDestination(false);
        skippingFallback();
        return;
    }
    const WordMeaning &meaning = found->second;
    endOptionalDestination(meaning.action == Action::ShownDestination ||
                           meaning.action == Action::UnicodeTwin || meaning.action == Action::Binary);
    if (skippingFallback()) {
        if (meaning.action == Action::Binary) // binary data counts as one fallback character
            m_p += std::clamp<qsizetype>(parameter, 0, m_end - m_p);
        return;
    }
    act(meaning, hasParameter, parameter);
}

void RtfReader::act(const WordMeaning &meaning, bool hasParameter, int parameter)
{
    // Binary data is skipped wherever it is; it may hold any byte, braces included.
    if (meaning.action == Action::Binary) {
        m_p += std::clamp<qsizetype>(hasParameter ? parameter : 0, 0, m_end - m_p);
        return;
    }
    if (meaning.action == Action::SkipDestination) {
        m_state.destination = Destination::Skip;
        return;
    }
    if (meaning.action == Action::UnicodeTwin) {
        if (m_state.destination == Destination::Upr)
            m_state.destination = Destination::Text;
        return;
    }
    if (m_state.destination == Destination::Skip || m_state.destination == Destination::Upr)
        return;
    if (m_state.destination == Destination::FontTable) {
        switch (meaning.action) {
        case Action::Font:
            m_fontBeingDefined = parameter;
            m_fonts.try_emplace(parameter);
            m_cachedFont = std::numeric_limits<int>::min();
            break;
        case Action::FontCharset:
            m_fonts[m_fontBeingDefined].charsetCodePage = TextDecoding::codePageForCharset(parameter);
            m_cachedFont = std::numeric_limits<int>::min();
            break;
        case Action::FontCodePage:
            m_fonts[m_fontBeingDefined].codePage = parameter;
            m_cachedFont = std::numeric_limits<int>::min();
            break;
        default:
            break;
        }
        return;
    }

    switch (meaning.action) {
    case Action::Character:
        if (shown())
            appendCharacter(meaning.character);
        break;
    case Action::ParagraphBreak:
    case Action::LineBreak:
        if (shown())
            appendCharacter(u'\n');
        break;
    case Action::Tab:
        if (shown())
            appendCharacter(u'\t');
        break;
    case Action::Cell:
        if (shown()) {
            appendCharacter(u'\t');
            m_cellTabAt = m_text.size() - 1;
        }
        break;
    case Action::Row:
        if (shown()) {
            flushBytes();
            if (m_cellTabAt >= 0 && m_cellTabAt == m_text.size() - 1)
                m_text[m_cellTabAt] = u'\n';
            else
                m_text.append(u'\n');
        }
        break;
    case Action::Unicode:
        if (shown())
            appendCodePoint(parameter < 0 ? parameter + 65536 : parameter);
        m_fallbackLeft = m_state.unicodeSkip;
        break;
    case Action::UnicodeSkip:
        m_state.unicodeSkip = std::int16_t(std::clamp(parameter, 0, 255));
        break;
    case Action::CodePage:
        if (parameter > 0) {
            m_documentCodePage = parameter;
            m_cachedFont = std::numeric_limits<int>::min();
        }
        break;
    case Action::CharacterSet:
        m_documentCodePage = meaning.character;
        m_cachedFont = std::numeric_limits<int>::min();
        break;
    case Action::DefaultFont:
        m_defaultFont = parameter;
        m_cachedFont = std::numeric_limits<int>::min();
        break;
    case Action::Font:
        m_state.font = parameter;
        break;
    case Action::Plain:
        m_state.font = -1;
        m_state.hidden = false;
        break;
    case Action::Hidden:
        m_state.hidden = !hasParameter || parameter != 0;
        break;
    case Action::FontTable:
        m_state.destination = Destination::FontTable;
        break;
    case Action::Upr:
        m_state.destination = Destination::Upr;
        break;
    default:
        break;
    }
}

void RtfReader::controlSymbol(char symbol)
{
    if (symbol == '*') {
        m_optionalDestination = true;
        return;
    }
    endOptionalDestination(false);
    if (skippingFallback() || !shown())
        return;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        appendBytes(&symbol, 1);
        break;
    case '~':
        appendCharacter(u'\u00A0');
        break;
    case '_':
        appendCharacter(u'\u2011');
        break;
    default: // \- optional hyphen, \: index subentry, \| formula, and unknown symbols
        break;
    }
}

void RtfReader::hexByte()
{
    endOptionalDestination(false);
    int value = 0;
    int digits = 0;
    while (digits < 2 && m_p < m_end && hexValue(*m_p) >= 0) {
        value = value * 16 + hexValue(*m_p);
        ++m_p;
        ++digits;
    }
    // A byte needs both digits; a lone one is damage, not text.
    if (digits < 2 || skippingFallback() || !shown() || value == 0)
        return;
    const char byte = char(value);
    appendBytes(&byte, 1);
}

int RtfReader::currentCodePage()
{
    const int font = m_state.font < 0 ? m_defaultFont : m_state.font;
    if (font != m_cachedFont) {
        m_cachedFont = font;
        m_cachedCodePage = m_documentCodePage;
        const auto found = m_fonts.find(font);
        if (found != m_fonts.end()) {
            if (found->second.codePage > 0)
                m_cachedCodePage = found->second.codePage;
            else if (found->second.charsetCodePage > 0)
                m_cachedCodePage = found->second.charsetCodePage;
        }
    }
    return m_cachedCodePage;
}

void RtfReader::appendBytes(const char *data, qsizetype size)
{
    const int codePage = currentCodePage();
    if (!m_bytes.empty() && codePage != m_bytesCodePage)
        flushBytes();
    m_bytesCodePage = codePage;
    m_bytes.append(data, size_t(size));
}

void RtfReader::flushBytes()
{
    if (m_bytes.empty())
        return;
    const bool ascii = std::all_of(m_bytes.begin(), m_bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        m_text.append(QLatin1StringView(m_bytes.data(), qsizetype(m_bytes.size())));
    else
        m_decoder.decode(m_bytesCodePage, QByteArrayView(m_bytes.data(), qsizetype(m_bytes.size())), m_text);
    m_bytes.clear();
}

void RtfReader::appendCharacter(char16_t c)
{
    flushBytes();
    m_text.append(QChar(c));
}

void RtfReader::appendCodePoint(int codePoint)
{
    if (codePoint <= 0 || codePoint > 0x10FFFF)
        return;
    if (codePoint > 0xFFFF) {
        const char32_t c = char32_t(codePoint);
        appendCharacter(QChar::highSurrogate(c));
        appendCharacter(QChar::lowSurrogate(c));
        return;
    }
    if (QChar::isSurrogate(char32_t(codePoint)))
        m_sawSurrogate = true;
    appendCharacter(char16_t(codePoint));
}

void RtfReader::finish()
{
    flushBytes();
    if (m_text.endsWith(u'\n'))
        m_text.chop(1);
    if (!m_sawSurrogate)
        return;
    // \uN pairs give surrogate pairs; a half pair on its own is not a character.
    const qsizetype size = m_text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = m_text.at(i);
        if (c.isHighSurrogate() && i + 1 < size && m_text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            m_text[i] = QChar(QChar::ReplacementCharacter);
    }
}

} // namespace

QString rtfToPlainText(QByteArrayView rtf)
{
    return RtfReader(rtf).read();
}

bool looksLikeRtf(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.sliced(i).startsWith("{\\rtf");
}
