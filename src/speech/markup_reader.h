#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <functional>

class DocumentBuilder;

// Web pages, XHTML (EPUB chapters) and Markdown: the text a reader sees, as paragraphs, without
// scripts, styles and, where it can be told apart, the navigation around a page's own text.
// Headings become chapter marks.

struct XhtmlReading
{
    bool headingsAsChapters = true;
    // Leaves out navigation, side notes and page footers (a web page); an EPUB chapter keeps
    // them, since everything in it is the book's.
    bool skipNavigation = true;
    // Called with each element's id before the element's text (an EPUB's table of contents
    // points at them).
    std::function<void(const QString &id)> anchor;
    // A web page's title and author are the document's; an EPUB chapter's are not.
    bool takeInformation = true;
    // Classes the document's style sheets hide (display: none).
    QSet<QString> hiddenClasses;
};

// The classes a style sheet hides with "display: none" in a rule of a class alone
// (".name { ... display: none ... }").
QSet<QString> hiddenClassesOf(const QString &css);

// Reads well-formed XHTML through QXmlStreamReader. Returns false, leaving `builder` as it
// was, when the content is not well-formed XML.
bool readXhtml(const QByteArray &xml, DocumentBuilder &builder, const XhtmlReading &how,
               QString *title = nullptr);

// Reads HTML of any quality through Qt's HTML reader (QTextDocument::setHtml), after taking
// out what a reader does not see or (with `how.skipNavigation`) does not come for; the encoding
// is the one the page declares, else the one its bytes show.
void readHtml(const QByteArray &bytes, DocumentBuilder &builder, const XhtmlReading &how = {});

// Reads Markdown through Qt's Markdown reader (GitHub dialect); a YAML front matter block gives
// the title and author.
void readMarkdown(const QByteArray &bytes, DocumentBuilder &builder);

// The text of an HTML page's bytes: in the encoding the page declares, else the one its bytes
// show.
QString decodeHtml(const QByteArray &bytes);

// The author a page's <meta name="author"> gives; empty when none.
QString authorOf(const QString &html);

// The part of an HTML page that holds its own text: the page's main element or its only
// article when it has one, without scripts, styles, templates, embedded pictures, forms,
// navigation, side bars, page footers and hidden elements. The head is kept.
QString visibleHtml(const QString &html);
