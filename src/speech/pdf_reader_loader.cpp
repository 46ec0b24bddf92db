// readPdf of this program: forwards to the reader in libparlanto_pdf (src/pdf_module), opened
// on the first PDF, so that poppler is loaded only by a run that reads one.
#include "speech/pdf_reader.h"

#include "platform/program_module.h"

QString readPdf(const QByteArray &bytes, DocumentBuilder &builder)
{
    using PdfReader = QString (*)(const QByteArray &, DocumentBuilder &);
    using Entry = PdfReader (*)();
    static const PdfReader reader = [] {
        const auto entry = reinterpret_cast<Entry>(
            programModuleFunction(QStringLiteral("libparlanto_pdf.so"), "parlanto_pdf_reader"));
        return entry ? entry() : PdfReader(nullptr);
    }();
    if (!reader)
        return QStringLiteral("PDF documents cannot be read: the PDF library of Parlanto is missing.");
    return reader(bytes, builder);
}
