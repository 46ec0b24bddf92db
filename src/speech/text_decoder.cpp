#include "speech/text_decoder.h"

#include <QStringDecoder>

#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

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
// encoding when the sample shows that pattern and the whole text decodes cleanly.
std::optional<QString> unmarkedUtf16(QByteArrayView bytes)
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
    // Mostly NUL on one side, hardly ever on the other.
    const auto looksLikeHighBytes = [pairs](qsizetype zeros, qsizetype otherZeros) {
        return zeros * 10 >= pairs * 3 && otherZeros * 20 <= pairs;
    };
    QStringConverter::Encoding encoding;
    if (looksLikeHighBytes(oddZeros, evenZeros))
        encoding = QStringConverter::Utf16LE;
    else if (looksLikeHighBytes(evenZeros, oddZeros))
        encoding = QStringConverter::Utf16BE;
    else
        return std::nullopt;
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
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

QString decodePlainText(QByteArrayView bytes, const QByteArray &localeCodeset)
{
    QString text;
    if (hasPrefix(bytes, {0xEF, 0xBB, 0xBF})) {
        text = decodeWith(QStringConverter::Utf8, bytes.sliced(3));
    } else if (hasPrefix(bytes, {0xFF, 0xFE})) {
        text = decodeWith(QStringConverter::Utf16LE, bytes.sliced(2));
    } else if (hasPrefix(bytes, {0xFE, 0xFF})) {
        text = decodeWith(QStringConverter::Utf16BE, bytes.sliced(2));
    } else if (auto utf16 = unmarkedUtf16(bytes)) {
        text = std::move(*utf16);
    } else {
        QStringDecoder utf8(QStringConverter::Utf8,
                            QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        text = utf8.decode(bytes);
        if (utf8.hasError()) {
            std::optional<QString> local;
            if (!isUtf8OrAscii(localeCodeset))
                local = decodeStrict(bytes, localeCodeset);
            if (local) {
                text = std::move(*local);
            } else {
                text.clear();
                CodePageDecoder().decode(1252, bytes, text);
            }
        }
    }
    normaliseLineEnds(text);
    return text;
}

QString decodePlainText(QByteArrayView bytes)
{
    return decodePlainText(bytes, localeCodeset());
}

} // namespace TextDecoding
