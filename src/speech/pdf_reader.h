#pragma once

#include <QByteArray>
#include <QString>

class DocumentBuilder;

// Reads the text of a PDF into `builder`, page after page, in reading order, through poppler:
// paragraphs joined from their lines, running headers, footers and page numbers left out,
// chapter marks from the document's outline, title and author from its information. Returns
// why the file could not be read (damaged, locked by a password, pages without a text layer),
// or an empty text.
QString readPdf(const QByteArray &bytes, DocumentBuilder &builder);
