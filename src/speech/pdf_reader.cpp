#include "speech/pdf_reader.h"

#include "speech/document_builder.h"
#include "speech/pdf_layout.h"

#include <poppler-qt6.h>

#include <map>
#include <memory>
#include <mutex>

namespace {

using PdfLayout::ChapterStart;
using PdfLayout::Line;
using PdfLayout::Page;

// Pages read first to learn the running headers and footers; the rest follow in order.
constexpr int SamplePages = 24;
// Outline entries deeper than this are left out.
constexpr int DeepestChapter = 6;

// Poppler reports every flaw of a damaged file on standard error; the outcome is what counts.
void ignoreMessage(const QString &, const QVariant &) {}

Page readPage(const Poppler::Document &document, int index)
{
    Page page;
    const std::unique_ptr<Poppler::Page> source(document.page(index));
    if (!source)
        return page;
    const QSizeF size = source->pageSizeF();
    page.width = size.width();
    page.height = size.height();
    Line line;
    bool open = false;
    for (const std::unique_ptr<Poppler::TextBox> &word : source->textList()) {
        // Symbol fonts without a Unicode map (list bullets, dingbats) give private-use
        // characters, which no voice can read.
        QString text = word->text();
        text.removeIf([](QChar c) { return c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF; });
        if (text.isEmpty()) {
            if (!word->nextWord() && open) {
                page.lines.push_back(std::move(line));
                open = false;
            }
            continue;
        }
        const QRectF box = word->boundingBox();
        if (!open) {
            line = Line();
            line.left = box.left();
            line.top = box.top();
            line.right = box.right();
            line.bottom = box.bottom();
            line.firstWordWidth = box.width();
            open = true;
        } else {
            line.left = std::min(line.left, box.left());
            line.top = std::min(line.top, box.top());
            line.right = std::max(line.right, box.right());
            line.bottom = std::max(line.bottom, box.bottom());
        }
        line.text += text;
        // Poppler links the words of one line; the last word of a line links to none.
        if (word->nextWord()) {
            if (word->hasSpaceAfter())
                line.text += u' ';
        } else {
            page.lines.push_back(std::move(line));
            open = false;
        }
    }
    if (open)
        page.lines.push_back(std::move(line));
    return page;
}

void collectChapters(const Poppler::Document &document, const QVector<Poppler::OutlineItem> &items, int level,
                     std::map<int, std::vector<ChapterStart>> &chapters)
{
    if (level > DeepestChapter)
        return;
    for (const Poppler::OutlineItem &item : items) {
        const QSharedPointer<const Poppler::LinkDestination> destination = item.destination();
        if (destination && item.externalFileName().isEmpty()) {
            const int pageIndex = destination->pageNumber() - 1;
            if (pageIndex >= 0 && pageIndex < document.numPages()) {
                ChapterStart start;
                start.title = item.name().simplified();
                start.level = level;
                if (destination->isChangeTop()) {
                    const std::unique_ptr<Poppler::Page> page(document.page(pageIndex));
                    if (page)
                        start.top = std::clamp(destination->top(), 0.0, 1.0) * page->pageSizeF().height();
                }
                chapters[pageIndex].push_back(std::move(start));
            }
        }
        if (item.hasChildren())
            collectChapters(document, item.children(), level + 1, chapters);
    }
}

} // namespace

QString readPdf(const QByteArray &bytes, DocumentBuilder &builder)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { Poppler::setDebugErrorFunction(ignoreMessage, QVariant()); });

    const std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(bytes);
    if (!document)
        return QStringLiteral("The file is damaged or is not a PDF document.");
    if (document->isLocked())
        return QStringLiteral("This PDF is locked with a password; Parlanto cannot read it.");
    builder.setTitle(document->info(QStringLiteral("Title")));
    builder.setAuthor(document->info(QStringLiteral("Author")));

    const int pageCount = document->numPages();
    std::map<int, std::vector<ChapterStart>> chapters;
    collectChapters(*document, document->outline(), 1, chapters);

    // A sample spread over the whole document tells the running headers and footers; the
    // sampled pages are kept so that none is read twice.
    std::map<int, Page> sampled;
    const int samples = std::min(pageCount, SamplePages);
    PdfLayout::RunningLines running;
    for (int i = 0; i < samples; ++i) {
        const int index = int(qint64(i) * pageCount / samples);
        if (sampled.count(index))
            continue;
        if (builder.cancelled())
            return QString();
        running.learn(sampled[index] = readPage(*document, index));
    }
    running.decide();

    PdfLayout::ParagraphJoiner joiner(builder);
    static const std::vector<ChapterStart> none;
    for (int index = 0; index < pageCount && !builder.full(); ++index) {
        if (builder.cancelled())
            return QString();
        const auto cached = sampled.find(index);
        const Page page = cached != sampled.end() ? std::move(cached->second) : readPage(*document, index);
        if (cached != sampled.end())
            sampled.erase(cached);
        const auto starts = chapters.find(index);
        joiner.addPage(page, running.bodyLines(page), starts != chapters.end() ? starts->second : none);
        builder.flush();
        builder.progress(int(qint64(index + 1) * 100 / pageCount));
    }
    joiner.finish();
    if (builder.size() == 0 && !builder.full())
        return QStringLiteral("This PDF has no text layer: its pages are pictures of text, which "
                              "Parlanto cannot read.");
    return QString();
}
