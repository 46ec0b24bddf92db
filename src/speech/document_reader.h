#pragma once

#include <QString>

// The plain text of a document file, as the main window's text box shows it.
struct DocumentText
{
    bool ok = false;
    QString text;  // the document's text; line ends are "\n"
    QString error; // when not ok: why the file could not be read, in words for the user
};

// Reads a document file: rich text (content that opens with "{\rtf", or a name ending in ".rtf",
// any case, whose content opens with "{") through Parlanto's RTF reader, which keeps the text and
// drops the formatting; anything else, a ".rtf" file without rich text included, as plain text in
// the encoding it was written in (see TextDecoding::decodePlainText).
// A missing, unreadable or oversized file, or a folder, gives ok = false and a reason.
DocumentText readDocumentFile(const QString &path);

// Files larger than this are refused: a text box does not hold more usefully.
constexpr qint64 largestDocumentBytes = qint64(512) * 1024 * 1024;
