#pragma once

#include "speech/document_reader.h"

#include <QList>
#include <QPair>
#include <QString>

// What the document buttons remember and how the window is sized when the text box is shown
// or hidden. Heights are in twips; file names use "/" between folders.
namespace DocumentRules {

// Every kind of document first, then the rich-text and text filters, then one line for each
// other kind.
inline QList<QPair<QString, QString>> openFilters()
{
    return {{QStringLiteral("All documents"), readableNamePatterns().join(u';')},
            {QStringLiteral("Rich Text (*.rtf)"), QStringLiteral("*.rtf")},
            {QStringLiteral("Text (*.txt)"), QStringLiteral("*.txt")},
            {QStringLiteral("PDF (*.pdf)"), QStringLiteral("*.pdf")},
            {QStringLiteral("EPUB (*.epub)"), QStringLiteral("*.epub")},
            {QStringLiteral("OpenDocument Text (*.odt)"), QStringLiteral("*.odt")},
            {QStringLiteral("Word (*.docx)"), QStringLiteral("*.docx")},
            {QStringLiteral("Web page (*.html *.htm *.xhtml)"), QStringLiteral("*.html;*.htm;*.xhtml")},
            {QStringLiteral("Markdown (*.md *.markdown)"), QStringLiteral("*.md;*.markdown")}};
}

// The filter the open dialog starts with, from the open file type (the last four characters of
// the last file opened): the rich-text filter after an .rtf file, the filter of the kind after
// a document of another kind, else the text filter.
inline int openFilterIndex(const QString &openFileType)
{
    if (openFileType == QLatin1String(".rtf"))
        return 2;
    const QString type = openFileType.toLower();
    if (type == QLatin1String(".pdf"))
        return 4;
    if (type == QLatin1String("epub"))
        return 5;
    if (type == QLatin1String(".odt"))
        return 6;
    if (type == QLatin1String("docx"))
        return 7;
    if (type == QLatin1String("html") || type == QLatin1String(".htm"))
        return 8;
    if (type.endsWith(QLatin1String(".md")) || type == QLatin1String("down"))
        return 9;
    return 3;
}

// Whether a document is read at once, within the click that opens it, as plain and rich text
// always were: small text files, web pages and Markdown. Every PDF, EPUB, ODT and DOCX, and any
// larger file, is read on a thread of its own while the window shows what has arrived.
inline bool readsAtOnce(const QString &fileName, qint64 size)
{
    constexpr qint64 SmallText = 1024 * 1024;
    constexpr qint64 SmallPage = 256 * 1024;
    const std::optional<DocumentKind> kind = documentKindOfName(fileName);
    if (kind == DocumentKind::Pdf || kind == DocumentKind::Epub || kind == DocumentKind::OpenDocumentText ||
        kind == DocumentKind::WordDocument)
        return false;
    if (kind == DocumentKind::Html || kind == DocumentKind::Markdown)
        return size <= SmallPage;
    return size <= SmallText;
}

// The last four characters of the file name, NULs removed, blanks trimmed from both ends.
inline QString openFileTypeOf(QString fileName)
{
    fileName.remove(QChar(0));
    QString type = fileName.right(4);
    qsizetype start = 0;
    qsizetype end = type.size();
    while (start < end && type.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && type.at(end - 1) == QLatin1Char(' '))
        --end;
    return type.mid(start, end - start);
}

// The file name up to and including its last "/"; empty when it names no folder.
inline QString openFolderOf(const QString &fileName)
{
    return fileName.left(fileName.lastIndexOf(QLatin1Char('/')) + 1);
}

// Window height with the text box shown, by the primary screen's height in pixels.
inline int textShownWindowHeight(int screenHeightPixels)
{
    switch (screenHeightPixels) {
    case 480:
        return 6800;
    case 600:
        return 8700;
    default:
        return 11050;
    }
}

// Window height with the text box hidden: the button panel alone.
constexpr int TextHiddenWindowHeight = 2000;

} // namespace DocumentRules
