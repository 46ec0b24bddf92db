#pragma once

#include "speech/document_reader.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Documents of every kind Parlanto reads, written here from one known content, so that a test
// can compare what the intake reads with what went in. Nothing is downloaded: PDFs come from
// QPdfWriter, the zip containers from libzip.
namespace Fixture {

struct Block
{
    enum class Kind
    {
        Heading,
        Paragraph,
        ListItem,
        TableRow,
    };
    Kind kind = Kind::Paragraph;
    int level = 1;     // headings
    QString text;      // headings, paragraphs, list items
    QStringList cells; // table rows
    QString footnote;  // a note cited at the end of a paragraph
};

struct Book
{
    QString title;
    QString author;
    QList<Block> blocks;
};

// A short book: two chapters with a section, paragraphs long enough to wrap and to run from one
// PDF page to the next, a list, a table and a footnote. Words are plain, so that a PDF line end
// may hyphenate any of them.
Book sampleBook();

// The text the intake should read from any rendering of `book`: blocks separated by a blank
// line, a table row's cells by tabs (blanks in a PDF, which has no tabs), each footnote as a
// paragraph of its own after the one citing it.
QString expectedText(const Book &book, bool cellsAsBlanks = false);
QList<ChapterMark> expectedChapters(const Book &book, bool cellsAsBlanks = false);

// Noise each writer adds where a reader must not hear it: running headers and page numbers in
// the PDF, tracked deletions and hidden text in ODT and DOCX, scripts, styles and navigation in
// HTML. None of these words may appear in the text read.
const QStringList &noiseWords();

struct PdfOptions
{
    bool runningHeader = true;
    bool pageNumbers = true;
    bool hyphenate = true;
    bool outline = true;   // the headings as the document's outline
    bool textLayer = true; // false: every page an image of its text
};
QByteArray writePdf(const Book &book, const PdfOptions &options = {});
// The same book many times over, to about `pages` pages (a benchmark's large PDF).
QByteArray writeLongPdf(int pages);

QByteArray writeEpub(const Book &book, int version); // 2 (NCX) or 3 (navigation document)
QByteArray writeOdt(const Book &book);
QByteArray writeDocx(const Book &book);
QByteArray writeHtml(const Book &book);
QByteArray writeMarkdown(const Book &book);

// A zip archive of the entries, in order, the first stored uncompressed (as EPUB and ODF want
// their "mimetype").
QByteArray zipArchive(const QList<QPair<QString, QByteArray>> &entries);

} // namespace Fixture
