// Fuzz target: Parlanto's RTF reader.
#include "fuzz/fuzzing.h"
#include "speech/document_reader.h"
#include "support/document_fixtures.h"

#include <QDir>
#include <QFile>

QList<QByteArray> fuzzSeeds()
{
    QList<QByteArray> seeds = {
        "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 A;}}\\f0 \\'c0\\u8364?{\\*\\x y}"
        "\\par\\cell\\row{\\field{\\*\\fldinst x}{\\fldrslt y}}\\bin2 ab}"};
    const QDir data(QStringLiteral(PARLANTO_TEST_DATA));
    for (const QString &name : data.entryList({QStringLiteral("*.rtf")}, QDir::Files)) {
        QFile file(data.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            seeds.append(file.readAll());
    }
    return seeds;
}

QList<QByteArray> fuzzDictionary()
{
    return {"{",     "}",     "\\",        "\\par",     "\\'e9",         "\\u-3913?",    "\\uc2",
            "\\*",   "\\bin", "\\fonttbl", "\\f1",      "\\fcharset128", "\\ansicpg932", "\\upr{",
            "\\ud{", "\\v",   "\\field",   "\\fldrslt", "\\cell",        "\\row",        "\\pict"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readDocumentBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                      QStringLiteral("fuzz.rtf"));
    return 0;
}
