// Fuzz target: the DOCX reader (the zip container, and each XML part alone).
#include "fuzz/fuzzing.h"
#include "speech/document_reader.h"
#include "support/document_fixtures.h"

namespace {

// The parts a mutated part is put among.
const QList<QPair<QString, QByteArray>> &parts()
{
    static const QList<QPair<QString, QByteArray>> entries =
        FuzzSupport::zipEntries(Fixture::writeDocx(FuzzSupport::smallBook()));
    return entries;
}

} // namespace

QList<QByteArray> fuzzSeeds()
{
    QList<QByteArray> seeds = FuzzSupport::containerSeeds(Fixture::writeDocx(FuzzSupport::smallBook()));
    return seeds;
}

QList<QByteArray> fuzzDictionary()
{
    return FuzzSupport::xmlWords();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readDocumentBytes(FuzzSupport::containerInput(parts(), data, size), QStringLiteral("fuzz.docx"));
    return 0;
}
