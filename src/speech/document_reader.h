#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The one intake of document files: whatever kind of file comes in (the main window's Open, a
// path handed over by another program or the file manager, parlanto-cli), it is read here, by
// the same rules, into the text Parlanto reads aloud.

// Where a chapter (or a section of one) begins in a document's text.
struct ChapterMark
{
    QString title;
    qsizetype offset = 0; // UTF-16 offset into the document's text
    int level = 1;        // 1 for a chapter, 2 for a section of it, and so on

    bool operator==(const ChapterMark &) const = default;
};

// The text of a document file, as the main window's text box shows it, with what is known of
// its structure.
struct DocumentText
{
    bool ok = false;
    QString text;                // the document's text; line ends are "\n"
    QString error;               // when not ok: why the file could not be read, in words for the user
    QList<ChapterMark> chapters; // in the order of the text
    QString title;               // from the document's own information, where it has any
    QString author;
};

enum class DocumentKind
{
    PlainText,
    RichText,
    Pdf,
    Epub,
    OpenDocumentText,
    WordDocument,
    Html,
    Markdown,
};

// How a document is read in pieces, for a reader that shows the first pages while the rest is
// still being read. Every member may be left empty.
struct DocumentFeed
{
    // Receives the text in order, one piece after another, on the reading thread. The pieces
    // joined are the document's text; the result then leaves its `text` empty.
    std::function<void(const QString &piece)> piece;
    // Share of the work done, 0 to 100, now and then.
    std::function<void(int percent)> progress;
    // Polled between pages and chapters: true ends the reading early.
    std::function<bool()> cancelled;
};

// Reads a document file of any kind Parlanto knows. Rich text (content that opens with
// "{\rtf", or a name ending in ".rtf", any case, whose content opens with "{") goes through
// Parlanto's RTF reader, which keeps the text and drops the formatting; a ".txt" or ".rtf"
// name is otherwise plain text, in the encoding it was written in (see
// TextDecoding::decodePlainText). Other names are known by their content first (PDF, and the
// zip containers of EPUB, ODT and DOCX), then by their name (.html, .htm, .xhtml, .md,
// .markdown); anything else is plain text.
// A missing, unreadable, damaged or oversized file, or a folder, gives ok = false and a reason.
DocumentText readDocumentFile(const QString &path);
DocumentText readDocumentFile(const QString &path, const DocumentFeed &feed);

// The same for content already read; `name` is the file's name, which decides where the
// content does not.
DocumentText readDocumentBytes(const QByteArray &bytes, const QString &name, const DocumentFeed &feed = {});

// The kind a file's content and name make it.
DocumentKind documentKind(QByteArrayView bytes, const QString &name);

// The kind a file name alone suggests; empty for names of no document kind.
std::optional<DocumentKind> documentKindOfName(const QString &name);

// Name patterns of every kind of file Parlanto reads ("*.txt", "*.rtf", "*.pdf", ...).
QStringList readableNamePatterns();

// Files larger than this are refused: a text box does not hold more usefully.
constexpr qint64 largestDocumentBytes = qint64(512) * 1024 * 1024;
