// libparlanto_markup: web pages and Markdown through Qt Gui's text document, opened on the
// first such file (see speech/markup_loader.cpp).
#include "speech/markup_reader.h"
#include "speech/markup_readers.h"

extern "C" Q_DECL_EXPORT const MarkupReaders *parlanto_markup_readers()
{
    static const MarkupReaders readers{readHtml, readMarkdown};
    return &readers;
}
