// Fuzz target: Markdown (Qt's reader and the front matter).
#include "fuzz/fuzzing.h"
#include "speech/document_reader.h"
#include "support/document_fixtures.h"

QList<QByteArray> fuzzSeeds()
{
    return {
        Fixture::writeMarkdown(FuzzSupport::smallBook()),
        "---\ntitle: T\n---\n# A\n\n* b\n\n| x | y |\n|---|---|\n| 1 | 2 |\n\n```\ncode\n```\n<b>html</b>\n"};
}

QList<QByteArray> fuzzDictionary()
{
    return {"#",       "##", "---\n", "```", "* ", "- ", "1. ",  "| ",      "|---|",   "[x](y)",
            "![i](j)", "> ", "<div>", "**",  "_",  "\\", "\n\n", "title: ", "author: "};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readDocumentBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                      QStringLiteral("fuzz.md"));
    return 0;
}
