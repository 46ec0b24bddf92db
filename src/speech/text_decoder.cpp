#include "speech/text_decoder.h"

#include <QStringDecoder>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <uchardet/uchardet.h>
#include <vector>

namespace TextDecoding {

namespace {

const iconv_t noConverter = reinterpret_cast<iconv_t>(-1);

// iconv writes UTF-16 in the machine's byte order straight into a QString's buffer.
constexpr const char *utf16Native = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";

// Converts `bytes` with `cd` and appends the result to `out`. Strict: returns false at the first
// invalid or incomplete sequence and appends nothing. Otherwise each byte that cannot be read
// becomes U+FFFD and the conversion goes on with the next byte.
bool convert(iconv_t cd, QByteArrayView bytes, QString &out, bool strict)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const qsizetype start = out.size();
    qsizetype capacity = bytes.size() + 16; // most bytes give at most one UTF-16 unit
    qsizetype used = 0;
    out.resize(start + capacity);

    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    bool finishing = false;
    for (;;) {
        char *outp = reinterpret_cast<char *>(out.data() + start + used);
        size_t outLeft = size_t(capacity - used) * sizeof(char16_t);
        const size_t result = finishing ? iconv(cd, nullptr, nullptr, &outp, &outLeft)
                                        : iconv(cd, &in, &inLeft, &outp, &outLeft);
        const int error = errno;
        used = capacity - qsizetype(outLeft / sizeof(char16_t));
        if (result != size_t(-1)) {
            if (finishing)
                break;
            finishing = true; // all input read: write out what a stateful converter still holds
            continue;
        }
        if (error == E2BIG) {
            capacity = capacity * 2 + 16;
            out.resize(start + capacity);
            continue;
        }
        if (strict) {
            out.resize(start);
            return false;
        }
        if (finishing || inLeft == 0)
            break;
        if (used == capacity) {
            capacity = capacity * 2 + 16;
            out.resize(start + capacity);
        }
        out[start + used] = QChar(QChar::ReplacementCharacter);
        ++used;
        ++in;
        --inLeft;
    }
    out.resize(start + used);
    return true;
}

bool isUtf8OrAscii(const QByteArray &codeset)
{
    QByteArray name = codeset.toUpper();
    name.replace("-", "").replace("_", "");
    return name == "UTF8" || name == "ASCII" || name == "USASCII" || name == "ANSIX3.41968" || name.isEmpty();
}

bool hasPrefix(QByteArrayView bytes, std::initializer_list<unsigned char> prefix)
{
    if (bytes.size() < qsizetype(prefix.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char c : prefix)
        if (static_cast<unsigned char>(bytes[i++]) != c)
            return false;
    return true;
}

QString decodeWith(QStringConverter::Encoding encoding, QByteArrayView bytes)
{
    // The mark itself was already taken off: a second one would be a real character.
    QStringDecoder decoder(encoding,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

// One pass, in place: QString::replace of a two-character string moves the rest of the text
// at every match on Qt 6.4, which took minutes for a large file with Windows line ends.
void normaliseLineEnds(QString &text)
{
    const qsizetype first = text.indexOf(u'\r');
    if (first < 0)
        return;
    QChar *data = text.data();
    const qsizetype size = text.size();
    qsizetype out = first;
    for (qsizetype in = first; in < size; ++in) {
        if (data[in] == u'\r') {
            data[out++] = u'\n';
            if (in + 1 < size && data[in + 1] == u'\n')
                ++in;
        } else {
            data[out++] = data[in];
        }
    }
    text.truncate(out);
}

// UTF-16 written without a byte-order mark: in a sample of text in a Latin script every other
// byte is NUL, the high bytes (odd places for little endian, even for big endian). Returns the
// form when the sample shows that pattern and the whole text decodes cleanly.
std::optional<PlainTextEncoding::Form> unmarkedUtf16(QByteArrayView bytes)
{
    constexpr qsizetype SampleBytes = 4096;
    const qsizetype pairs = qMin(bytes.size(), SampleBytes) / 2;
    if (pairs == 0 || bytes.size() % 2 != 0)
        return std::nullopt;
    qsizetype evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        evenZeros += bytes[2 * i] == 0;
        oddZeros += bytes[2 * i + 1] == 0;
    }
    // Mostly NUL on one side, hardly ever on the other; a single NUL (a short text ending as a
    // C string does) is no pattern.
    const auto looksLikeHighBytes = [pairs](qsizetype zeros, qsizetype otherZeros) {
        return zeros >= 2 && zeros * 10 >= pairs * 3 && otherZeros * 20 <= pairs;
    };
    QStringConverter::Encoding encoding;
    PlainTextEncoding::Form form;
    if (looksLikeHighBytes(oddZeros, evenZeros)) {
        encoding = QStringConverter::Utf16LE;
        form = PlainTextEncoding::Form::Utf16LE;
    } else if (looksLikeHighBytes(evenZeros, oddZeros)) {
        encoding = QStringConverter::Utf16BE;
        form = PlainTextEncoding::Form::Utf16BE;
    } else {
        return std::nullopt;
    }
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return form;
}

} // namespace

QByteArray iconvNameForCodePage(int codePage)
{
    switch (codePage) {
    case 10000:
        return "MACINTOSH";
    case 1361:
        return "JOHAB";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 20932:
    case 51932:
        return "EUC-JP";
    case 65001:
        return "UTF-8";
    case 28605:
        return "ISO-8859-15";
    default:
        break;
    }
    if (codePage >= 28591 && codePage <= 28599)
        return "ISO-8859-" + QByteArray::number(codePage - 28590);
    return "CP" + QByteArray::number(codePage);
}

int codePageForCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000; // Mac Roman
    case 128:
        return 932; // Shift JIS
    case 129:
        return 949; // Korean (Unified Hangul)
    case 130:
        return 1361; // Korean (Johab)
    case 134:
        return 936; // Simplified Chinese (GBK)
    case 136:
        return 950; // Traditional Chinese (Big5)
    case 161:
        return 1253; // Greek
    case 162:
        return 1254; // Turkish
    case 163:
        return 1258; // Vietnamese
    case 177:
        return 1255; // Hebrew
    case 178:
        return 1256; // Arabic
    case 186:
        return 1257; // Baltic
    case 204:
        return 1251; // Cyrillic
    case 222:
        return 874; // Thai
    case 238:
        return 1250; // Central European
    case 254:
        return 437; // PC-8
    case 255:
        return 850; // OEM
    default:
        return 0; // ANSI (0), default (1), symbol (2) and the rest: the document's code page
    }
}

CodePageDecoder::~CodePageDecoder()
{
    for (auto &[codePage, cd] : m_converters)
        if (cd)
            iconv_close(static_cast<iconv_t>(cd));
}

void *CodePageDecoder::converterFor(int codePage)
{
    auto found = m_converters.find(codePage);
    if (found != m_converters.end())
        return found->second;
    iconv_t cd = iconv_open(utf16Native, iconvNameForCodePage(codePage).constData());
    void *converter = cd == noConverter ? nullptr : static_cast<void *>(cd);
    m_converters.emplace(codePage, converter);
    return converter;
}

void CodePageDecoder::decode(int codePage, QByteArrayView bytes, QString &out)
{
    if (bytes.isEmpty())
        return;
    void *converter = converterFor(codePage);
    if (!converter)
        converter = converterFor(1252);
    if (!converter) { // no iconv at all: keep the bytes readable rather than lose them
        out.append(QString::fromLatin1(bytes));
        return;
    }
    convert(static_cast<iconv_t>(converter), bytes, out, false);
}

std::optional<QString> decodeStrict(QByteArrayView bytes, const QByteArray &encoding)
{
    iconv_t cd = iconv_open(utf16Native, encoding.constData());
    if (cd == noConverter)
        return std::nullopt;
    QString text;
    const bool ok = convert(cd, bytes, text, true);
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return text;
}

QByteArray localeCodeset()
{
    return QByteArray(nl_langinfo(CODESET));
}

namespace {

// True when `bytes` are well-formed UTF-8: no stray or missing continuation bytes, no
// over-long forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // Runs of ASCII, eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p >= end)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        char32_t least = 0;
        char32_t code = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, least = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, least = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, least = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        p += length;
    }
    return true;
}

// True when every byte sequence of `bytes` is valid in the iconv encoding `encoding` (false
// for an encoding iconv does not know). Converts into a small scratch buffer, keeping nothing.
bool validIn(QByteArrayView bytes, const QByteArray &encoding)
{
    iconv_t cd = iconv_open(utf16Native, encoding.constData());
    if (cd == noConverter)
        return false;
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    std::vector<char> scratch(64 * 1024);
    bool valid = true;
    while (valid) {
        char *out = scratch.data();
        size_t outLeft = scratch.size();
        const bool finishing = inLeft == 0;
        const size_t result =
            finishing ? iconv(cd, nullptr, nullptr, &out, &outLeft) : iconv(cd, &in, &inLeft, &out, &outLeft);
        if (result == size_t(-1) && errno != E2BIG)
            valid = false;
        else if (finishing && result != size_t(-1))
            break;
    }
    iconv_close(cd);
    return valid;
}

// The encoding uchardet recognises in a sample of `bytes`, as iconv names it; empty when it
// recognises none, or only one the tests before it have ruled out.
QByteArray recognisedEncoding(QByteArrayView bytes)
{
    constexpr qsizetype SampleBytes = 1024 * 1024;
    uchardet_t detector = uchardet_new();
    if (!detector)
        return {};
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), SampleBytes));
    QByteArray name;
    if (uchardet_handle_data(detector, sample.data(), size_t(sample.size())) == 0) {
        uchardet_data_end(detector);
        name = QByteArray(uchardet_get_charset(detector)).toUpper();
    }
    uchardet_delete(detector);
    if (name.isEmpty() || name == "ASCII" || name == "UTF-8")
        return {};
    // Latin-1 files use Windows-1252's punctuation in 0x80..0x9F far more often than the
    // control codes Latin-1 has there.
    if (name == "ISO-8859-1")
        return "CP1252";
    return name;
}

PlainTextEncoding iconvEncoding(const QByteArray &name)
{
    PlainTextEncoding encoding;
    encoding.form = PlainTextEncoding::Form::Iconv;
    encoding.iconvName = name;
    return encoding;
}

// Decodes with iconv, each byte the encoding cannot read becoming U+FFFD; Windows-1252 when
// iconv does not know the encoding.
QString decodeLeniently(QByteArrayView bytes, const QByteArray &encoding)
{
    QString text;
    iconv_t cd = iconv_open(utf16Native, encoding.constData());
    if (cd == noConverter) {
        CodePageDecoder().decode(1252, bytes, text);
        return text;
    }
    convert(cd, bytes, text, false);
    iconv_close(cd);
    return text;
}

QStringConverter::Encoding unicodeForm(PlainTextEncoding::Form form)
{
    switch (form) {
    case PlainTextEncoding::Form::Utf16LE:
        return QStringConverter::Utf16LE;
    case PlainTextEncoding::Form::Utf16BE:
        return QStringConverter::Utf16BE;
    default:
        return QStringConverter::Utf8;
    }
}

QString decodeWhole(QByteArrayView bytes, const PlainTextEncoding &encoding)
{
    if (encoding.form == PlainTextEncoding::Form::Iconv)
        return decodeLeniently(bytes, encoding.iconvName);
    return decodeWith(unicodeForm(encoding.form), bytes.sliced(encoding.skip));
}

} // namespace

PlainTextEncoding detectPlainTextEncoding(QByteArrayView bytes, const QByteArray &localeCodeset)
{
    using Form = PlainTextEncoding::Form;
    if (hasPrefix(bytes, {0xEF, 0xBB, 0xBF}))
        return {Form::Utf8, {}, 3};
    if (hasPrefix(bytes, {0xFF, 0xFE}))
        return {Form::Utf16LE, {}, 2};
    if (hasPrefix(bytes, {0xFE, 0xFF}))
        return {Form::Utf16BE, {}, 2};
    if (const auto form = unmarkedUtf16(bytes))
        return {*form, {}, 0};
    if (isValidUtf8(bytes))
        return {Form::Utf8, {}, 0};
    if (!isUtf8OrAscii(localeCodeset) && validIn(bytes, localeCodeset))
        return iconvEncoding(localeCodeset);
    if (const QByteArray recognised = recognisedEncoding(bytes);
        !recognised.isEmpty() && validIn(bytes, recognised))
        return iconvEncoding(recognised);
    return iconvEncoding("CP1252");
}

QString decodePlainText(QByteArrayView bytes, const QByteArray &localeCodeset)
{
    QString text = decodeWhole(bytes, detectPlainTextEncoding(bytes, localeCodeset));
    normaliseLineEnds(text);
    return text;
}

void decodePlainTextInPieces(QByteArrayView bytes, const QByteArray &localeCodeset, qsizetype pieceBytes,
                             const std::function<void(const QString &piece)> &piece)
{
    const PlainTextEncoding encoding = detectPlainTextEncoding(bytes, localeCodeset);
    pieceBytes = std::max<qsizetype>(pieceBytes, 16) & ~qsizetype(1); // whole UTF-16 units
    QString heldBack; // a piece's final CR, which may be the first half of a CR LF
    const auto hand = [&](QString text, bool last) {
        text.prepend(heldBack);
        heldBack.clear();
        if (!last && text.endsWith(u'\r')) {
            heldBack = QStringLiteral("\r");
            text.chop(1);
        }
        normaliseLineEnds(text);
        if (!text.isEmpty())
            piece(text);
    };
    if (encoding.form == PlainTextEncoding::Form::Iconv) {
        // Legacy encodings are rare in large files: decode at once, then hand on in pieces.
        const QString text = decodeWhole(bytes, encoding);
        qsizetype at = 0;
        while (at < text.size()) {
            qsizetype length = std::min(pieceBytes, text.size() - at);
            if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
                --length;
            hand(text.mid(at, length), false);
            at += length;
        }
        hand(QString(), true);
        return;
    }
    // Each piece ends where a character begins, and is decoded as the whole would be: a flaw
    // gives the same replacement characters whether or not a piece ends near it.
    const QByteArrayView body = bytes.sliced(encoding.skip);
    const bool utf8 = encoding.form == PlainTextEncoding::Form::Utf8;
    const bool littleEndian = encoding.form == PlainTextEncoding::Form::Utf16LE;
    qsizetype at = 0;
    while (at < body.size()) {
        qsizetype end = std::min(at + pieceBytes, body.size());
        if (end < body.size()) {
            if (utf8) {
                // Before a byte that begins a character: back, else (a long run of stray
                // continuation bytes) forward.
                const auto continues = [&](qsizetype i) {
                    return (static_cast<unsigned char>(body[i]) & 0xC0) == 0x80;
                };
                qsizetype cut = end;
                while (cut > at && continues(cut))
                    --cut;
                if (cut == at)
                    for (cut = end; cut < body.size() && continues(cut);)
                        ++cut;
                end = cut;
            } else if (body.size() - end == 1) {
                end = body.size(); // a stray last byte is decoded with the unit before it
            } else {
                const auto high = static_cast<unsigned char>(littleEndian ? body[end - 1] : body[end - 2]);
                if (high >= 0xD8 && high <= 0xDB && end - at > 2)
                    end -= 2; // the first half of a surrogate pair goes with its second
            }
        }
        hand(decodeWith(unicodeForm(encoding.form), body.sliced(at, end - at)), end >= body.size());
        at = end;
    }
}

QString decodePlainText(QByteArrayView bytes)
{
    return decodePlainText(bytes, localeCodeset());
}

} // namespace TextDecoding
