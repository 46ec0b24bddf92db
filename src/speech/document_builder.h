#pragma once

#include "speech/document_reader.h"

#include <QString>
#include <QStringView>

#include <vector>

// Builds a document's text from its paragraphs, in the form every structured kind (PDF, EPUB,
// ODT, DOCX, HTML, Markdown) shares: paragraphs, headings and list items are separated by a
// blank line, so that the engines, which take a lone line end inside a paragraph for a blank,
// pause between them; a line break inside a paragraph is one line end; a table row is one
// paragraph with its cells separated by tabs. Chapter marks point at the start of the
// paragraph that follows them. With a feed, finished paragraphs are handed on in pieces.
class DocumentBuilder
{
public:
    explicit DocumentBuilder(const DocumentFeed &feed = {});

    // Text of the open paragraph, as HTML and XML documents write it: runs of blanks and line
    // ends are one blank, and a paragraph neither begins nor ends with one.
    void appendCollapsed(QStringView text);
    // Text of the open paragraph taken as it stands (tabs and repeated blanks kept).
    void appendText(QStringView text);
    // A line end inside the open paragraph.
    void lineBreak();
    // Ends the open paragraph; a paragraph without text leaves nothing behind.
    void endParagraph();
    // Drops the open paragraph's text (a paragraph found to be hidden only at its end).
    void discardParagraph();
    void paragraph(QStringView text);
    // A heading: a chapter mark of that level and the heading's own paragraph.
    void heading(QStringView text, int level);
    // A chapter that begins with the next paragraph.
    void markChapter(const QString &title, int level);
    // A paragraph that belongs after the open one (a footnote, a text box anchored in it).
    void deferParagraph(const QString &text);

    // Tables: each cell's paragraphs are joined by a blank, the cells of a row by a tab, and
    // the row is one paragraph. A table inside a cell joins that cell's text.
    void beginTable();
    void endCell();
    void endRow();
    void endTable();

    void setTitle(const QString &title);
    void setAuthor(const QString &author);
    bool hasTitle() const { return !m_title.isEmpty(); }

    // Characters of text committed so far (handed on or not).
    qsizetype size() const { return m_handed + m_text.size(); }
    // True once the text has grown past the largest size a document may have; what follows
    // is dropped and finish() reports the document as too large.
    bool full() const { return m_overflow; }

    // Hands the finished paragraphs to the feed, if there is one.
    void flush();
    void progress(int percent) const;
    bool cancelled() const;

    // Ends every open paragraph and table and gives the document.
    DocumentText finish();

    // Most characters a document's text may hold.
    static constexpr qsizetype LargestText = qsizetype(256) * 1024 * 1024;

private:
    struct Table
    {
        QString row;
        QString cell;
        bool rowHasCell = false;
    };
    struct PendingMark
    {
        QString title;
        int level;
    };

    void commit(QStringView paragraph);
    void commitDeferred();
    QString takeParagraph();

    DocumentFeed m_feed;
    QString m_text;         // committed text not yet handed to the feed
    qsizetype m_handed = 0; // characters already handed to the feed
    QString m_paragraph;    // the open paragraph
    bool m_pendingBlank = false;
    std::vector<Table> m_tables;
    QStringList m_deferred;
    std::vector<PendingMark> m_pendingMarks;
    QList<ChapterMark> m_chapters;
    QString m_title;
    QString m_author;
    bool m_overflow = false;
};

// `text` with runs of blanks and line ends made one blank, trimmed at both ends.
QString collapsedText(QStringView text);
