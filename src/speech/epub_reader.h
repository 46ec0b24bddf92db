#pragma once

#include <QString>

class DocumentBuilder;
class ZipArchive;

// Reads an EPUB (2 or 3) into `builder`: the chapters of its spine in order, each chapter's
// XHTML as paragraphs; the table of contents (the EPUB 3 navigation document, else the EPUB 2
// NCX) gives the chapter marks, the package's metadata the title and author. A chapter that is
// not well-formed XML is read as HTML. Returns why the book could not be read (damaged, locked
// by DRM, no text in it), or an empty text.
QString readEpub(ZipArchive &archive, DocumentBuilder &builder);

// The path inside the archive that `href` (a URL relative to the part in `folder`) names:
// without its fragment, percent-decoded, "." and ".." resolved.
QString epubPath(const QString &folder, const QString &href);
