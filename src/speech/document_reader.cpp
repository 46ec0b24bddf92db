#include "speech/document_reader.h"

#include "platform/bounded_file.h"
#include "speech/document_builder.h"
#include "speech/epub_reader.h"
#include "speech/markup_reader.h"
#include "speech/office_reader.h"
#include "speech/pdf_reader.h"
#include "speech/rtf_reader.h"
#include "speech/text_decoder.h"
#include "speech/zip_archive.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Plain and rich text is handed to a feed in pieces of this many bytes of the file.
constexpr qsizetype PlainPieceBytes = 256 * 1024;

DocumentText failure(const QString &reason)
{
    DocumentText document;
    document.error = reason;
    return document;
}

QString suffixOf(const QString &name)
{
    return QFileInfo(name).suffix().toLower();
}

bool startsWith(QByteArrayView bytes, QByteArrayView prefix)
{
    return bytes.size() >= prefix.size() && bytes.first(prefix.size()) == prefix;
}

bool isPdf(QByteArrayView bytes)
{
    // The header may follow a little junk (a mail header, a byte-order mark).
    return bytes.first(std::min<qsizetype>(bytes.size(), 1024)).indexOf("%PDF-") >= 0;
}

bool isZip(QByteArrayView bytes)
{
    return startsWith(bytes, "PK\x03\x04") || startsWith(bytes, "PK\x05\x06");
}

// Word 97-2003 and other compound files.
bool isCompoundFile(QByteArrayView bytes)
{
    return startsWith(bytes, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
}

// Hands text on in pieces (each ending before a high surrogate is cut from its pair).
void handInPieces(const QString &text, const DocumentFeed &feed)
{
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype length = std::min(PlainPieceBytes, text.size() - at);
        if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
            --length;
        feed.piece(text.mid(at, length));
        at += length;
    }
}

DocumentText plainOrRich(const QByteArray &bytes, bool rich, const DocumentFeed &feed)
{
    DocumentText document;
    document.ok = true;
    if (!feed.piece) {
        document.text = rich ? rtfToPlainText(bytes) : TextDecoding::decodePlainText(bytes);
        return document;
    }
    if (rich)
        handInPieces(rtfToPlainText(bytes), feed);
    else
        TextDecoding::decodePlainTextInPieces(bytes, TextDecoding::localeCodeset(), PlainPieceBytes,
                                              feed.piece);
    return document;
}

// Which document a zip archive holds, by the "mimetype" entry ODF and EPUB begin with, else by
// the parts it has.
QString readZipDocument(const QByteArray &bytes, DocumentKind expected, DocumentBuilder &builder)
{
    QString error;
    const std::unique_ptr<ZipArchive> archive = ZipArchive::open(bytes, &error);
    if (!archive)
        return error;
    const QString mimetype =
        archive->contains(QStringLiteral("mimetype"))
            ? QString::fromUtf8(
                  archive->read(QStringLiteral("mimetype"), nullptr).value_or(QByteArray()).left(200))
                  .trimmed()
            : QString();
    DocumentKind kind = expected;
    if (mimetype == u"application/epub+zip") {
        kind = DocumentKind::Epub;
    } else if (mimetype.startsWith(u"application/vnd.oasis.opendocument.text")) {
        kind = DocumentKind::OpenDocumentText;
    } else if (mimetype.startsWith(u"application/vnd.oasis.opendocument.")) {
        return QStringLiteral("This OpenDocument file is not a text document (%1).").arg(mimetype);
    } else if (archive->contains(QStringLiteral("META-INF/container.xml"))) {
        kind = DocumentKind::Epub;
    } else if (archive->contains(QStringLiteral("word/document.xml"))) {
        kind = DocumentKind::WordDocument;
    } else if (archive->contains(QStringLiteral("xl/workbook.xml")) ||
               archive->contains(QStringLiteral("ppt/presentation.xml"))) {
        return QStringLiteral("This Office file is a spreadsheet or a presentation, not a text document.");
    } else if (archive->contains(QStringLiteral("_rels/.rels"))) {
        kind = DocumentKind::WordDocument;
    } else if (archive->contains(QStringLiteral("content.xml"))) {
        kind = DocumentKind::OpenDocumentText;
    } else {
        return QStringLiteral("This is a zip archive, not a document Parlanto can read.");
    }
    switch (kind) {
    case DocumentKind::Epub:
        return readEpub(*archive, builder);
    case DocumentKind::OpenDocumentText:
        return readOpenDocumentText(*archive, builder);
    default:
        return readWordDocument(*archive, builder);
    }
}

} // namespace

std::optional<DocumentKind> documentKindOfName(const QString &name)
{
    const QString suffix = suffixOf(name);
    if (suffix == u"txt")
        return DocumentKind::PlainText;
    if (suffix == u"rtf")
        return DocumentKind::RichText;
    if (suffix == u"pdf")
        return DocumentKind::Pdf;
    if (suffix == u"epub")
        return DocumentKind::Epub;
    if (suffix == u"odt")
        return DocumentKind::OpenDocumentText;
    if (suffix == u"docx")
        return DocumentKind::WordDocument;
    if (suffix == u"html" || suffix == u"htm" || suffix == u"xhtml" || suffix == u"xht")
        return DocumentKind::Html;
    if (suffix == u"md" || suffix == u"markdown")
        return DocumentKind::Markdown;
    return std::nullopt;
}

QStringList readableNamePatterns()
{
    return {QStringLiteral("*.txt"),  QStringLiteral("*.rtf"),     QStringLiteral("*.pdf"),
            QStringLiteral("*.epub"), QStringLiteral("*.odt"),     QStringLiteral("*.docx"),
            QStringLiteral("*.html"), QStringLiteral("*.htm"),     QStringLiteral("*.xhtml"),
            QStringLiteral("*.md"),   QStringLiteral("*.markdown")};
}

DocumentKind documentKind(QByteArrayView bytes, const QString &name)
{
    const std::optional<DocumentKind> byName = documentKindOfName(name);
    // A .txt or .rtf name keeps the reading it always had: rich text when the content is rich
    // text (for .rtf, content that opens a group), else plain text.
    if (byName == DocumentKind::PlainText)
        return looksLikeRtf(bytes) ? DocumentKind::RichText : DocumentKind::PlainText;
    if (byName == DocumentKind::RichText)
        return looksLikeRtf(bytes) || bytes.trimmed().startsWith('{') ? DocumentKind::RichText
                                                                      : DocumentKind::PlainText;
    if (looksLikeRtf(bytes))
        return DocumentKind::RichText;
    if (isPdf(bytes))
        return DocumentKind::Pdf;
    if (isZip(bytes)) {
        if (byName == DocumentKind::Epub || byName == DocumentKind::OpenDocumentText)
            return *byName;
        return DocumentKind::WordDocument; // looked at more closely when it is read
    }
    if (byName)
        return *byName;
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), 512)).trimmed();
    if (QString::fromLatin1(head.first(std::min<qsizetype>(head.size(), 15)))
            .startsWith(u"<!doctype html", Qt::CaseInsensitive) ||
        startsWith(head, "<html") || startsWith(head, "<HTML"))
        return DocumentKind::Html;
    return DocumentKind::PlainText;
}

DocumentText readDocumentBytes(const QByteArray &bytes, const QString &name, const DocumentFeed &feed)
{
    const std::optional<DocumentKind> byName = documentKindOfName(name);
    if (byName != DocumentKind::PlainText && byName != DocumentKind::RichText && isCompoundFile(bytes))
        return failure(
            QStringLiteral("This is an old Word (.doc) or other Office 97-2003 file. Parlanto reads "
                           ".docx, .odt and .rtf documents: save it as one of those first."));
    const DocumentKind kind = documentKind(bytes, name);
    switch (kind) {
    case DocumentKind::PlainText:
    case DocumentKind::RichText:
        return plainOrRich(bytes, kind == DocumentKind::RichText, feed);
    default:
        break;
    }

    DocumentBuilder builder(feed);
    QString error;
    if (kind == DocumentKind::Pdf) {
        error = readPdf(bytes, builder);
    } else if (kind == DocumentKind::Html) {
        const QString suffix = suffixOf(name);
        QString title;
        XhtmlReading how;
        if (!(suffix == u"xhtml" || suffix == u"xht") || !readXhtml(bytes, builder, how, &title))
            readHtml(bytes, builder, how);
        else
            builder.setTitle(title);
    } else if (kind == DocumentKind::Markdown) {
        readMarkdown(bytes, builder);
    } else {
        error = readZipDocument(bytes, kind, builder);
    }
    if (!error.isEmpty())
        return failure(error);
    if (builder.cancelled())
        return failure(QString());
    return builder.finish();
}

DocumentText readDocumentFile(const QString &path)
{
    return readDocumentFile(path, DocumentFeed());
}

DocumentText readDocumentFile(const QString &path, const DocumentFeed &feed)
{
    const BoundedFile::Result file = BoundedFile::read(path, largestDocumentBytes);
    if (!file.ok())
        return failure(file.error);
    DocumentText document = readDocumentBytes(file.bytes, path, feed);
    if (!document.ok && !document.error.isEmpty())
        document.error = QStringLiteral("The file \"%1\" cannot be read. %2")
                             .arg(QDir::toNativeSeparators(path), document.error);
    return document;
}
