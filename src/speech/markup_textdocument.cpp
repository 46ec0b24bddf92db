// Web pages and Markdown through Qt's text document (QTextDocument, in Qt Gui). Built into
// libparlanto_markup, opened on the first web page or Markdown file (see markup_loader.cpp), so
// that a run reading neither never loads Qt Gui for it.
#include "speech/document_builder.h"
#include "speech/markup_reader.h"
#include "speech/text_decoder.h"

#include <QFont>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace {

QString blockText(const QTextBlock &block)
{
    QString text = block.text();
    text.replace(QChar::LineSeparator, u'\n');
    text.remove(QChar::ObjectReplacementCharacter);
    return text;
}

void walkFrame(const QTextFrame *frame, DocumentBuilder &builder, bool headingsAsChapters);

void walkTable(const QTextTable *table, DocumentBuilder &builder, bool headingsAsChapters)
{
    builder.beginTable();
    for (int row = 0; row < table->rows(); ++row) {
        for (int column = 0; column < table->columns(); ++column) {
            const QTextTableCell cell = table->cellAt(row, column);
            // A cell spanning several places is read once, at its first.
            if (cell.row() != row || cell.column() != column)
                continue;
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                if (const QTextFrame *child = it.currentFrame()) {
                    walkFrame(child, builder, headingsAsChapters);
                } else {
                    builder.appendCollapsed(blockText(it.currentBlock()));
                    builder.endParagraph();
                }
            }
            builder.endCell();
        }
        builder.endRow();
    }
    builder.endTable();
}

void walkFrame(const QTextFrame *frame, DocumentBuilder &builder, bool headingsAsChapters)
{
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame *child = it.currentFrame()) {
            if (const auto *table = qobject_cast<const QTextTable *>(child))
                walkTable(table, builder, headingsAsChapters);
            else
                walkFrame(child, builder, headingsAsChapters);
            continue;
        }
        const QTextBlock block = it.currentBlock();
        const int level = block.blockFormat().headingLevel();
        if (level > 0 && headingsAsChapters)
            builder.heading(blockText(block), level);
        else
            builder.paragraph(blockText(block));
    }
}

// A document of Qt's own, safe to fill on any thread: its default font has a size, so that
// heading sizes are worked out without asking the window system for one.
void prepare(QTextDocument &document)
{
    QFont font;
    font.setPixelSize(16);
    document.setDefaultFont(font);
}

} // namespace

void readHtml(const QByteArray &bytes, DocumentBuilder &builder, const XhtmlReading &how)
{
    const QString html = decodeHtml(bytes);
    QTextDocument document;
    prepare(document);
    document.setHtml(how.skipNavigation ? visibleHtml(html) : html);
    if (how.takeInformation) {
        builder.setTitle(document.metaInformation(QTextDocument::DocumentTitle));
        builder.setAuthor(authorOf(html));
    }
    walkFrame(document.rootFrame(), builder, how.headingsAsChapters);
}

void readMarkdown(const QByteArray &bytes, DocumentBuilder &builder)
{
    QString markdown = TextDecoding::decodePlainText(bytes);
    // A front matter block ("---" lines around "key: value" lines) says what the document is.
    static const QRegularExpression frontMatter(
        QStringLiteral("\\A---[ \\t]*\\n(.*?)\\n(---|\\.\\.\\.)[ \\t]*(\\n|\\z)"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch front = frontMatter.match(markdown);
    if (front.hasMatch()) {
        static const QRegularExpression field(
            QStringLiteral("^(title|author)\\s*:\\s*[\"']?(.*?)[\"']?\\s*$"),
            QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
        for (auto it = field.globalMatch(front.captured(1)); it.hasNext();) {
            const QRegularExpressionMatch one = it.next();
            if (one.captured(1).compare(u"title", Qt::CaseInsensitive) == 0)
                builder.setTitle(one.captured(2));
            else
                builder.setAuthor(one.captured(2));
        }
        markdown.remove(0, front.capturedEnd());
    }
    QTextDocument document;
    prepare(document);
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    if (!builder.hasTitle()) {
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            if (block.blockFormat().headingLevel() == 1) {
                builder.setTitle(blockText(block));
                break;
            }
    }
    walkFrame(document.rootFrame(), builder, true);
}
