#pragma once

#include <QHash>
#include <QString>

#include <map>
#include <vector>

class DocumentBuilder;

// How the lines of a PDF's pages become the paragraphs a reader hears. A PDF holds words at
// places on pages, not paragraphs: the rules here find the running headers, footers and page
// numbers that repeat on most pages, tell a line that goes on with its paragraph from one that
// starts a new one, and join a word hyphenated at a line end. Coordinates are in points, from
// the top left corner of the page.
namespace PdfLayout {

struct Line
{
    QString text; // the line's words, with blanks between them where the page has them
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double firstWordWidth = 0;

    double height() const { return bottom - top; }
};

struct Page
{
    std::vector<Line> lines; // in reading order
    double width = 0;
    double height = 0;
};

// A line as it is compared across pages: lower case, blanks collapsed, each run of digits
// (a page or chapter number) one "#".
QString runningSignature(const QString &text);

// "12", "- 12 -", "Page 12", "page 12 of 300", "xiv": a line that is only a page number.
bool looksLikePageNumber(const QString &text);

// The lines that repeat at the top or bottom edge of most pages (running headers and
// footers), learnt from a sample of the pages, and the page numbers there.
class RunningLines
{
public:
    void learn(const Page &page);
    // Decides which signatures count as running once every sample page was learnt.
    void decide();
    // Indices of the page's lines that are its text, in reading order: running headers,
    // footers and page numbers at the page's edges are left out.
    std::vector<int> bodyLines(const Page &page) const;

private:
    QHash<QString, int> m_counts; // pages on which an edge signature appears
    std::vector<QString> m_running;
    int m_pages = 0;
};

// A chapter that begins at a line of a page (from the document's outline).
struct ChapterStart
{
    QString title;
    int level = 1;
    double top = -1; // where on the page, in points; below 0: the page's first line
};

// Joins the text lines of consecutive pages into paragraphs and hands them to a builder.
class ParagraphJoiner
{
public:
    explicit ParagraphJoiner(DocumentBuilder &builder);

    // The page's lines `body` (indices into page.lines, in reading order), with the chapters
    // that begin on the page.
    void addPage(const Page &page, const std::vector<int> &body, const std::vector<ChapterStart> &chapters);
    // Ends the last paragraph.
    void finish();

private:
    struct Metrics
    {
        double left = 0;
        double right = 0;
        double spacing = 0; // usual distance from one line's top to the next line's
    };
    static Metrics measure(const Page &page, const std::vector<int> &body);
    bool startsParagraph(const Line &line, const Metrics &metrics, bool samePage) const;
    void append(const Line &line);
    void endParagraph();

    DocumentBuilder &m_builder;
    QString m_paragraph;
    bool m_havePrevious = false;
    Line m_previous;
    Metrics m_previousMetrics;
};

} // namespace PdfLayout
