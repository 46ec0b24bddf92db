// Fuzz target: plain text in any encoding. Read whole and read in pieces, a text must come out
// the same.
#include "fuzz/fuzzing.h"
#include "speech/document_reader.h"
#include "support/document_fixtures.h"

#include "speech/text_decoder.h"

#include <QStringEncoder>

#include <cstdlib>
#include <iconv.h>

namespace {

QByteArray encoded(const QString &text, const char *encoding)
{
    iconv_t cd = iconv_open(encoding, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QByteArray();
    QByteArray utf8 = text.toUtf8();
    QByteArray out(utf8.size() * 4 + 16, '\0');
    char *in = utf8.data(), *to = out.data();
    size_t inLeft = size_t(utf8.size()), outLeft = size_t(out.size());
    iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

} // namespace

QList<QByteArray> fuzzSeeds()
{
    const QString text = QStringLiteral("Grüße, Ваня — 日本語 😀 end\r\nline two\rthree\n");
    QList<QByteArray> seeds = {text.toUtf8(), QByteArray("\xEF\xBB\xBF") + text.toUtf8()};
    for (const char *encoding : {"CP1251", "KOI8-R", "SHIFT_JIS", "EUC-KR", "GB18030", "CP1252", "UTF-16LE"})
        seeds.append(
            encoded(QStringLiteral("Съешь же ещё этих мягких булок. 日本語の文章です。 café"), encoding));
    QStringEncoder utf16(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom);
    seeds.append(utf16.encode(text));
    return seeds;
}

QList<QByteArray> fuzzDictionary()
{
    return {"\r\n", "\r", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\0"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString whole = TextDecoding::decodePlainText(bytes, "UTF-8");
    QString joined;
    TextDecoding::decodePlainTextInPieces(bytes, "UTF-8", 16 + qsizetype(size % 7),
                                          [&](const QString &piece) { joined += piece; });
    if (joined != whole)
        std::abort();
    readDocumentBytes(bytes, QStringLiteral("fuzz.txt"));
    return 0;
}
