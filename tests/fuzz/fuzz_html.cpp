// Fuzz target: web pages (Qt's HTML reader after the boilerplate is taken out) and XHTML
// (QXmlStreamReader). The first byte chooses: even for .html, odd for .xhtml.
#include "fuzz/fuzzing.h"
#include "speech/document_reader.h"
#include "support/document_fixtures.h"

QList<QByteArray> fuzzSeeds()
{
    const QByteArray page = Fixture::writeHtml(FuzzSupport::smallBook());
    QList<QByteArray> seeds = {QByteArray(1, 0) + page, QByteArray(1, 1) + page};
    const auto chapters = FuzzSupport::zipEntries(Fixture::writeEpub(FuzzSupport::smallBook(), 3));
    for (const auto &[name, content] : chapters)
        if (name.endsWith(QLatin1String(".xhtml")))
            seeds.append(QByteArray(1, 1) + content);
    seeds.append(QByteArray(1, 0) +
                 "<html><head><meta charset=windows-1251></head><body><article><h1>\xCF\xF0\xE8</h1>"
                 "<p hidden>x</p><nav>menu</nav></article></body></html>");
    return seeds;
}

QList<QByteArray> fuzzDictionary()
{
    QList<QByteArray> words = FuzzSupport::xmlWords();
    words += {"<main>",  "</main>",   "<article>",      "<nav>", "</nav>", "<script>", "</script>", "<style>",
              "<table>", "<tr>",      "<td>",           "<h1>",  "</h1>",  "<br>",     "<pre>",     "<p>",
              "hidden",  "role=main", "<meta charset=", "<li>",  "<ol>",   "<header>"};
    return words;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    readDocumentBytes(QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)),
                      data[0] % 2 ? QStringLiteral("fuzz.xhtml") : QStringLiteral("fuzz.html"));
    return 0;
}
