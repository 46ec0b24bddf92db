#pragma once

#include <QString>

class DocumentBuilder;
class ZipArchive;

// Word-processor documents: paragraphs, headings (chapter marks, by their outline level),
// lists and tables as text in document order; each footnote and endnote after the paragraph
// that cites it; tracked deletions, hidden text, comments and field instructions left out.
// Title and author from the document's properties. Each returns why the document could not be
// read, or an empty text.

// OpenDocument Text (.odt): content.xml, styles.xml and meta.xml of the archive.
QString readOpenDocumentText(ZipArchive &archive, DocumentBuilder &builder);

// Office Open XML (.docx): the main document part, its styles, footnotes and endnotes, and the
// core properties.
QString readWordDocument(ZipArchive &archive, DocumentBuilder &builder);
