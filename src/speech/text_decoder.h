#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <unordered_map>

// Turning bytes of a text file, or of a rich-text file's 8-bit text, into Unicode.
//
// Legacy code pages go through glibc's iconv, which knows every Windows code page a document
// may name (1250..1258, 874, 932, 936, 949, 950, ...); Qt's own decoders cover the UTF forms.
namespace TextDecoding {

// The iconv name of a Windows code page number (1251 -> "CP1251", 10000 -> "MACINTOSH").
QByteArray iconvNameForCodePage(int codePage);

// The Windows code page that a font character set (RTF \fcharsetN) implies; 0 when the set
// names no code page of its own (ANSI, default, symbol), so the document's code page applies.
int codePageForCharset(int charset);

// Decodes runs of bytes written in Windows code pages. Each code page's converter is opened once
// and kept, so that a document made of many short runs costs one conversion per run, no more.
// Bytes a code page does not define become U+FFFD; a code page iconv does not know is read as
// Windows-1252.
class CodePageDecoder
{
public:
    CodePageDecoder() = default;
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder &) = delete;
    CodePageDecoder &operator=(const CodePageDecoder &) = delete;

    // Appends the text of `bytes` in `codePage` to `out`.
    void decode(int codePage, QByteArrayView bytes, QString &out);

private:
    void *converterFor(int codePage);

    std::unordered_map<int, void *> m_converters; // iconv_t by code page; null when unknown
};

// Decodes `bytes` strictly from the iconv encoding `encoding`; empty when any byte sequence is
// invalid or incomplete there (or the encoding is unknown).
std::optional<QString> decodeStrict(QByteArrayView bytes, const QByteArray &encoding);

// How a plain-text file's bytes become text: a Unicode form after `skip` bytes of byte-order
// mark, or an iconv encoding.
struct PlainTextEncoding
{
    enum class Form
    {
        Utf8,
        Utf16LE,
        Utf16BE,
        Iconv, // `iconvName`; bytes it cannot read become U+FFFD
    };
    Form form = Form::Utf8;
    QByteArray iconvName;
    qsizetype skip = 0;

    bool operator==(const PlainTextEncoding &) const = default;
};

// The encoding a plain-text file was written in: a byte-order mark (UTF-8, UTF-16 LE or BE)
// decides; else UTF-16 without a mark when every other byte of a sample is NUL (Latin-script
// text) and the whole decodes cleanly; else UTF-8 when the bytes are valid UTF-8; else the
// locale's encoding `localeCodeset` (an iconv name such as "KOI8-R"; skipped when it is UTF-8 or
// ASCII) when they are valid there; else the encoding uchardet recognises in them (Windows-1251,
// KOI8-R, Shift JIS, EUC-KR, GB18030, ...) when they are valid in it; else Windows-1252.
PlainTextEncoding detectPlainTextEncoding(QByteArrayView bytes, const QByteArray &localeCodeset);

// The text of a plain-text file in the encoding detectPlainTextEncoding finds. Line ends "\r\n"
// and "\r" become "\n", the line end a text box's plain text uses.
QString decodePlainText(QByteArrayView bytes, const QByteArray &localeCodeset);

// The same, handed to `piece` in pieces of about `pieceBytes` bytes of the file each, so that a
// reader can show the beginning of a large file at once. The pieces joined are the text
// decodePlainText gives.
void decodePlainTextInPieces(QByteArrayView bytes, const QByteArray &localeCodeset, qsizetype pieceBytes,
                             const std::function<void(const QString &piece)> &piece);

// As above, with the encoding of the current C locale (LC_CTYPE).
QString decodePlainText(QByteArrayView bytes);

// The encoding of the current C locale (LC_CTYPE), as iconv names it.
QByteArray localeCodeset();

} // namespace TextDecoding
