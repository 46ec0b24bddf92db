// Fuzz target: the PDF reader (poppler and the page layout rules).
#include "fuzz/fuzzing.h"
#include "speech/document_reader.h"
#include "support/document_fixtures.h"

QList<QByteArray> fuzzSeeds()
{
    Fixture::PdfOptions plain;
    plain.outline = false;
    return {Fixture::writePdf(FuzzSupport::smallBook()), Fixture::writePdf(FuzzSupport::smallBook(), plain)};
}

QList<QByteArray> fuzzDictionary()
{
    return {
        " obj",    "endobj",       "stream\n",  "endstream", "xref",       "trailer", "startxref", "/Type",
        "/Page",   "/Pages",       "/Outlines", "/First",    "/Next",      "/Dest",   "/XYZ",      "/Length",
        "/Filter", "/FlateDecode", "<<",        ">>",        "[",          "]",       "(",         ")",
        "/Kids",   "/Count",       "%%EOF",     " 0 R",      "/ToUnicode", "BT",      "ET",        "Tj"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readDocumentBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                      QStringLiteral("fuzz.pdf"));
    return 0;
}
