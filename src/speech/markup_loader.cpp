// readHtml and readMarkdown of this program: they forward to the readers in libparlanto_markup
// (markup_textdocument.cpp), opened on the first web page or Markdown file, so that Qt Gui is
// loaded for them only by a run that reads one.
#include "speech/document_builder.h"
#include "speech/markup_reader.h"
#include "speech/markup_readers.h"

#include "platform/program_module.h"

namespace {

const MarkupReaders *markupReaders()
{
    static const MarkupReaders *const readers = [] {
        const auto entry = reinterpret_cast<MarkupReadersEntry>(
            programModuleFunction(QStringLiteral("libparlanto_markup.so"), PARLANTO_MARKUP_MODULE_ENTRY));
        return entry ? entry() : nullptr;
    }();
    return readers;
}

// Without the library the bytes are read as plain text, so nothing of the document is lost.
void readAsPlainText(const QByteArray &bytes, DocumentBuilder &builder)
{
    builder.paragraph(QString::fromUtf8(bytes));
}

} // namespace

void readHtml(const QByteArray &bytes, DocumentBuilder &builder, const XhtmlReading &how)
{
    if (const MarkupReaders *readers = markupReaders())
        readers->readHtml(bytes, builder, how);
    else
        readAsPlainText(bytes, builder);
}

void readMarkdown(const QByteArray &bytes, DocumentBuilder &builder)
{
    if (const MarkupReaders *readers = markupReaders())
        readers->readMarkdown(bytes, builder);
    else
        readAsPlainText(bytes, builder);
}
