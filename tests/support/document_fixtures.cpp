#include "support/document_fixtures.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <zip.h>

namespace Fixture {

namespace {

const QStringList Words = {
    QStringLiteral("harbour"),    QStringLiteral("morning"),   QStringLiteral("lantern"),
    QStringLiteral("quietly"),    QStringLiteral("ferry"),     QStringLiteral("carried"),
    QStringLiteral("baskets"),    QStringLiteral("of"),        QStringLiteral("the"),
    QStringLiteral("a"),          QStringLiteral("captain"),   QStringLiteral("watched"),
    QStringLiteral("remembered"), QStringLiteral("wonderful"), QStringLiteral("clocks"),
    QStringLiteral("over"),       QStringLiteral("windows"),   QStringLiteral("and"),
    QStringLiteral("travellers"), QStringLiteral("evening"),   QStringLiteral("lighthouse"),
    QStringLiteral("measured"),   QStringLiteral("under"),     QStringLiteral("stones"),
};

// Sentences of plain words: a capital at the start, a full stop at the end.
QString prose(int words, quint32 seed)
{
    QRandomGenerator random(seed);
    QString text;
    int inSentence = 0;
    for (int i = 0; i < words; ++i) {
        QString word = Words.at(int(random.bounded(quint32(Words.size()))));
        if (inSentence == 0)
            word[0] = word[0].toUpper();
        text += word;
        ++inSentence;
        if (i == words - 1 || (inSentence > 6 && random.bounded(5u) == 0)) {
            text += u'.';
            inSentence = 0;
        }
        if (i != words - 1)
            text += u' ';
    }
    return text;
}

Block heading(int level, const QString &text)
{
    Block block;
    block.kind = Block::Kind::Heading;
    block.level = level;
    block.text = text;
    return block;
}

Block paragraph(const QString &text, const QString &footnote = QString())
{
    Block block;
    block.text = text;
    block.footnote = footnote;
    return block;
}

Block listItem(const QString &text)
{
    Block block;
    block.kind = Block::Kind::ListItem;
    block.text = text;
    return block;
}

Block row(const QStringList &cells)
{
    Block block;
    block.kind = Block::Kind::TableRow;
    block.cells = cells;
    return block;
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// ---- PDF

struct PdfHeading
{
    QString title;
    int level;
    int page;
    double top; // points from the page's top
};

// A PDF string of any text: UTF-16 with a byte-order mark, in hexadecimal.
QByteArray pdfText(const QString &text)
{
    QByteArray hex = "<FEFF";
    for (const QChar c : text)
        hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return hex + '>';
}

// Adds an outline of the headings (nested by level) and the author to a PDF written by
// QPdfWriter, as an incremental update appended to the file.
QByteArray withOutline(QByteArray pdf, const QList<PdfHeading> &headings, const QString &title,
                       const QString &author)
{
    const auto number = [&](const QByteArray &pattern, qsizetype from = 0) {
        const QRegularExpressionMatch match =
            QRegularExpression(QString::fromLatin1(pattern)).match(QString::fromLatin1(pdf), from);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    };
    const int size = number("/Size (\\d+)");
    const int root = number("/Root (\\d+) 0 R");
    const int previousXref = number("startxref\\s+(\\d+)");
    const QString latin = QString::fromLatin1(pdf);
    const int rootAt = int(latin.indexOf(QStringLiteral("\n%1 0 obj").arg(root)));
    const int pagesObject = number("/Pages (\\d+) 0 R", rootAt);
    const QRegularExpressionMatch kidsMatch =
        QRegularExpression(
            QStringLiteral("\n%1 0 obj\\s*<<\\s*/Type /Pages\\s*/Kids\\s*\\[([^\\]]*)\\]").arg(pagesObject))
            .match(latin);
    QList<int> pages;
    for (const QString &token :
         kidsMatch.captured(1).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        if (token != u"0" && token != u"R")
            pages.append(token.toInt());

    QByteArray update;
    QList<QPair<int, qsizetype>> offsets;
    const auto object = [&](int id, const QByteArray &body) {
        offsets.append({id, pdf.size() + update.size()});
        update += QByteArray::number(id) + " 0 obj\n" + body + "\nendobj\n";
    };
    const int outlines = size;
    const int first = size + 1;
    const int info = first + int(headings.size());
    // Each heading's parent: the last heading of a higher level before it, else the outline root.
    QList<int> parent(headings.size(), outlines);
    for (int i = 0; i < headings.size(); ++i)
        for (int j = i - 1; j >= 0; --j)
            if (headings[j].level < headings[i].level) {
                parent[i] = first + j;
                break;
            }
    const auto children = [&](int id) {
        QList<int> kids;
        for (int i = 0; i < headings.size(); ++i)
            if (parent[i] == id)
                kids.append(first + i);
        return kids;
    };
    const QList<int> top = children(outlines);
    object(outlines, "<< /Type /Outlines /First " + QByteArray::number(top.first()) + " 0 R /Last " +
                         QByteArray::number(top.last()) + " 0 R /Count " +
                         QByteArray::number(headings.size()) + " >>");
    for (int i = 0; i < headings.size(); ++i) {
        const int id = first + i;
        const QList<int> siblings = children(parent[i]);
        const qsizetype at = siblings.indexOf(id);
        QByteArray body =
            "<< /Title " + pdfText(headings[i].title) + " /Parent " + QByteArray::number(parent[i]) + " 0 R";
        if (at > 0)
            body += " /Prev " + QByteArray::number(siblings[at - 1]) + " 0 R";
        if (at + 1 < siblings.size())
            body += " /Next " + QByteArray::number(siblings[at + 1]) + " 0 R";
        const QList<int> kids = children(id);
        if (!kids.isEmpty())
            body += " /First " + QByteArray::number(kids.first()) + " 0 R /Last " +
                    QByteArray::number(kids.last()) + " 0 R /Count " + QByteArray::number(kids.size());
        const double pageHeight = 595.0;
        body += " /Dest [" + QByteArray::number(pages.value(headings[i].page)) + " 0 R /XYZ 0 " +
                QByteArray::number(pageHeight - headings[i].top, 'f', 2) + " 0] >>";
        object(id, body);
    }
    object(info, "<< /Title " + pdfText(title) + " /Author " + pdfText(author) + " >>");
    object(root, "<< /Type /Catalog /Pages " + QByteArray::number(pagesObject) + " 0 R /Outlines " +
                     QByteArray::number(outlines) + " 0 R /PageMode /UseOutlines >>");

    const qsizetype xref = pdf.size() + update.size();
    update += "xref\n0 1\n0000000000 65535 f \n";
    std::sort(offsets.begin(), offsets.end());
    for (const auto &[id, offset] : offsets)
        update += QByteArray::number(id) + " 1\n" + QByteArray::number(offset).rightJustified(10, '0') +
                  " 00000 n \n";
    update += "trailer\n<< /Size " + QByteArray::number(info + 1) + " /Root " + QByteArray::number(root) +
              " 0 R /Info " + QByteArray::number(info) + " 0 R /Prev " + QByteArray::number(previousXref) +
              " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf + update;
}

class PdfPages
{
public:
    PdfPages(QPdfWriter &writer, const PdfOptions &options, const QString &header)
        : m_writer(writer), m_options(options), m_header(header), m_painter(&writer)
    {
        startPage();
    }

    // Writes one block's lines, wrapping at the right margin; gives the page and the top of its
    // first line.
    QPair<int, double> block(const QString &text, int pixelSize, double gapBefore)
    {
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(pixelSize);
        const QFontMetricsF metrics(font);
        const double lineHeight = metrics.height() + 2;
        if (m_y > Top)
            m_y += gapBefore;
        if (m_y + lineHeight > Bottom)
            nextPage();
        const QPair<int, double> first(m_page, m_y);
        QStringList words = text.split(u' ', Qt::SkipEmptyParts);
        QString line;
        while (!words.isEmpty()) {
            const QString word = words.takeFirst();
            const QString candidate = line.isEmpty() ? word : line + u' ' + word;
            if (metrics.horizontalAdvance(candidate) <= Right - Left) {
                line = candidate;
                continue;
            }
            // Break the word where its first part and a hyphen still fit, as a typesetter would.
            int split = 0;
            if (m_options.hyphenate && word.size() >= 6 && !line.isEmpty())
                for (int n = int(word.size()) - 3; n >= 3; --n)
                    if (word.at(n - 1).isLetter() && word.at(n).isLower() &&
                        metrics.horizontalAdvance(line + u' ' + word.left(n) + u'-') <= Right - Left) {
                        split = n;
                        break;
                    }
            if (split > 0) {
                emitLine(line + u' ' + word.left(split) + u'-', font, lineHeight);
                line = word.mid(split);
            } else {
                emitLine(line, font, lineHeight);
                line = word;
            }
        }
        if (!line.isEmpty())
            emitLine(line, font, lineHeight);
        return first;
    }

    void finish() { m_painter.end(); }

private:
    static constexpr double Left = 50, Right = 370, Top = 60, Bottom = 540;

    void emitLine(const QString &line, const QFont &font, double lineHeight)
    {
        if (line.isEmpty())
            return;
        if (m_y + lineHeight > Bottom)
            nextPage();
        m_painter.setFont(font);
        const QRectF box(Left, m_y, Right - Left, lineHeight);
        m_painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, line);
        m_y += lineHeight;
    }

    void startPage()
    {
        m_y = Top;
        QFont small(QStringLiteral("DejaVu Sans"));
        small.setPixelSize(9);
        m_painter.setFont(small);
        if (m_options.runningHeader)
            m_painter.drawText(QRectF(Left, 25, Right - Left, 14), Qt::AlignRight, m_header);
        if (m_options.pageNumbers)
            m_painter.drawText(QRectF(Left, 560, Right - Left, 14), Qt::AlignHCenter,
                               QString::number(m_page + 1));
    }

    void nextPage()
    {
        m_writer.newPage();
        ++m_page;
        startPage();
    }

    QPdfWriter &m_writer;
    const PdfOptions &m_options;
    QString m_header;
    QPainter m_painter;
    int m_page = 0;
    double m_y = Top;
};

QByteArray imageOnlyPdf(const Book &book)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A5));
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int page = 0; page < 2; ++page) {
        if (page > 0)
            writer.newPage();
        QImage image(420, 595, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter onImage(&image);
        onImage.setFont(QFont(QStringLiteral("DejaVu Serif"), 11));
        onImage.drawText(QRectF(50, 60, 320, 480), Qt::TextWordWrap, book.blocks.value(page).text);
        onImage.end();
        painter.drawImage(QPointF(0, 0), image);
    }
    painter.end();
    return bytes;
}

// ---- Zip-based formats

QByteArray xmlHead()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
}

} // namespace

Book sampleBook()
{
    Book book;
    book.title = QStringLiteral("The Harbour Book");
    book.author = QStringLiteral("Ada Quill");
    book.blocks = {
        heading(1, QStringLiteral("Chapter One")),
        paragraph(prose(170, 1), QStringLiteral("A note about the harbour.")),
        paragraph(prose(260, 2)),
        listItem(QStringLiteral("First item of the list")),
        listItem(QStringLiteral("Second item of the list")),
        heading(2, QStringLiteral("A Quiet Section")),
        paragraph(prose(330, 3)),
        row({QStringLiteral("Ferry"), QStringLiteral("Morning")}),
        row({QStringLiteral("Clock"), QStringLiteral("Evening")}),
        heading(1, QStringLiteral("Chapter Two")),
        paragraph(prose(380, 4)),
        paragraph(QStringLiteral("The end.")),
    };
    return book;
}

QString expectedText(const Book &book, bool cellsAsBlanks)
{
    QStringList paragraphs;
    for (const Block &block : book.blocks) {
        if (block.kind == Block::Kind::TableRow)
            paragraphs.append(block.cells.join(cellsAsBlanks ? u' ' : u'\t'));
        else
            paragraphs.append(block.text);
        if (!block.footnote.isEmpty())
            paragraphs.append(QStringLiteral("1 ") + block.footnote);
    }
    return paragraphs.join(QStringLiteral("\n\n"));
}

QList<ChapterMark> expectedChapters(const Book &book, bool cellsAsBlanks)
{
    QList<ChapterMark> chapters;
    qsizetype offset = 0;
    for (const Block &block : book.blocks) {
        if (block.kind == Block::Kind::Heading)
            chapters.append({block.text, offset, block.level});
        const QString text =
            block.kind == Block::Kind::TableRow ? block.cells.join(cellsAsBlanks ? u' ' : u'\t') : block.text;
        offset += text.size() + 2;
        if (!block.footnote.isEmpty())
            offset += 2 + block.footnote.size() + 2;
    }
    return chapters;
}

const QStringList &noiseWords()
{
    static const QStringList words = {
        QStringLiteral("Runninghead"), QStringLiteral("Deletedword"), QStringLiteral("Hiddenword"),
        QStringLiteral("Scriptword"),  QStringLiteral("Styleword"),   QStringLiteral("Navword"),
        QStringLiteral("Footerword"),  QStringLiteral("Commentword"), QStringLiteral("Nonlinearword"),
    };
    return words;
}

QByteArray writePdf(const Book &book, const PdfOptions &options)
{
    if (!options.textLayer)
        return imageOnlyPdf(book);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QList<PdfHeading> headings;
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A5));
        writer.setResolution(72);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(book.title);
        PdfPages pages(writer, options, book.title + QStringLiteral(" Runninghead"));
        for (const Block &block : book.blocks) {
            switch (block.kind) {
            case Block::Kind::Heading: {
                const auto [page, top] = pages.block(block.text, block.level == 1 ? 20 : 16, 18);
                headings.append({block.text, block.level, page, top});
                break;
            }
            case Block::Kind::TableRow:
                pages.block(block.cells.join(u' '), 11, 10);
                break;
            default:
                pages.block(block.text, 11, 10);
                break;
            }
            if (!block.footnote.isEmpty())
                pages.block(QStringLiteral("1 ") + block.footnote, 11, 10);
        }
        pages.finish();
    }
    if (!options.outline)
        return bytes;
    return withOutline(bytes, headings, book.title, book.author);
}

QByteArray writeLongPdf(int pages)
{
    Book book = sampleBook();
    const QList<Block> once = book.blocks;
    // The sample book fills about five pages.
    for (int copy = 1; copy < pages / 5; ++copy)
        book.blocks += once;
    PdfOptions options;
    options.outline = false;
    return writePdf(book, options);
}

QByteArray zipArchive(const QList<QPair<QString, QByteArray>> &entries)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("archive.zip"));
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return QByteArray();
    for (int i = 0; i < entries.size(); ++i) {
        const QByteArray &content = entries[i].second;
        zip_source_t *source =
            zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        const zip_int64_t index =
            zip_file_add(archive, entries[i].first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            continue;
        }
        if (i == 0)
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    // The buffers must live until the archive is written.
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return QByteArray();
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray writeEpub(const Book &book, int version)
{
    // Chapter files: one per level-1 heading, in "OEBPS/text/"; sections get ids.
    QList<QByteArray> chapters;
    QString body;
    int section = 0;
    bool inList = false, inTable = false;
    const auto closeGroups = [&] {
        if (inList)
            body += QStringLiteral("</ul>\n");
        if (inTable)
            body += QStringLiteral("</table>\n");
        inList = inTable = false;
    };
    const auto finishChapter = [&] {
        closeGroups();
        if (body.isEmpty())
            return;
        chapters.append(
            xmlHead() +
            "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
            "xmlns:epub=\"http://www.idpf.org/2007/ops\">\n<head><title>Chapter</title>"
            "<style>p { color: black } .x:before { content: 'Styleword' }</style></head>\n<body>\n" +
            body.toUtf8() + "<script>document.write('Scriptword')</script>\n</body></html>\n");
        body.clear();
    };
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::ListItem && inList) {
            body += QStringLiteral("</ul>\n");
            inList = false;
        }
        if (block.kind != Block::Kind::TableRow && inTable) {
            body += QStringLiteral("</table>\n");
            inTable = false;
        }
        switch (block.kind) {
        case Block::Kind::Heading:
            if (block.level == 1) {
                finishChapter();
                body += QStringLiteral("<h1>%1</h1>\n").arg(escaped(block.text));
            } else {
                body += QStringLiteral("<h%1 id=\"s%2\">%3</h%1>\n")
                            .arg(block.level)
                            .arg(++section)
                            .arg(escaped(block.text));
            }
            break;
        case Block::Kind::Paragraph:
            body += QStringLiteral("<p>%1</p>\n").arg(escaped(block.text));
            break;
        case Block::Kind::ListItem:
            if (!inList)
                body += QStringLiteral("<ul>\n");
            inList = true;
            body += QStringLiteral("<li>%1</li>\n").arg(escaped(block.text));
            break;
        case Block::Kind::TableRow:
            if (!inTable)
                body += QStringLiteral("<table>\n");
            inTable = true;
            body += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                        .arg(escaped(block.cells.value(0)), escaped(block.cells.value(1)));
            break;
        }
        if (!block.footnote.isEmpty())
            body += QStringLiteral("<p>1 %1</p>\n").arg(escaped(block.footnote));
    }
    finishChapter();

    // The table of contents: chapters point at their files, sections at their ids.
    struct Entry
    {
        QString title, href;
        int level;
    };
    QList<Entry> toc;
    int chapter = 0;
    section = 0;
    for (const Block &block : book.blocks)
        if (block.kind == Block::Kind::Heading) {
            // File names with a blank, written percent-encoded in links as EPUBs do.
            if (block.level == 1)
                toc.append({block.text,
                            QStringLiteral("text/chapter%20") + QString::number(++chapter) +
                                QStringLiteral(".xhtml"),
                            1});
            else
                toc.append({block.text,
                            QStringLiteral("text/chapter%20") + QString::number(chapter) +
                                QStringLiteral(".xhtml#s") + QString::number(++section),
                            block.level});
        }

    QList<QPair<QString, QByteArray>> entries = {
        {QStringLiteral("mimetype"), "application/epub+zip"},
        {QStringLiteral("META-INF/container.xml"),
         xmlHead() + "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
                     "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
                     "media-type=\"application/oebps-package+xml\"/></rootfiles></container>\n"},
    };
    QByteArray manifest, spine;
    for (int i = 0; i < chapters.size(); ++i) {
        manifest += "<item id=\"c" + QByteArray::number(i + 1) + "\" href=\"text/chapter%20" +
                    QByteArray::number(i + 1) + ".xhtml\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "<itemref idref=\"c" + QByteArray::number(i + 1) + "\"/>\n";
        entries.append(
            {QStringLiteral("OEBPS/text/chapter ") + QString::number(i + 1) + QStringLiteral(".xhtml"),
             chapters[i]});
    }
    // A part outside the reading order, which the reader must not read.
    manifest += "<item id=\"extra\" href=\"extra.xhtml\" media-type=\"application/xhtml+xml\"/>\n";
    spine += "<itemref idref=\"extra\" linear=\"no\"/>\n";
    entries.append(
        {QStringLiteral("OEBPS/extra.xhtml"),
         xmlHead() +
             "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Nonlinearword</p></body></html>"});

    QByteArray tocXml;
    if (version >= 3) {
        QString list = QStringLiteral("<ol>");
        int open = 1;
        for (int i = 0; i < toc.size(); ++i) {
            list += QStringLiteral("<li><a href=\"%1\">%2</a>").arg(toc[i].href, escaped(toc[i].title));
            const int next = i + 1 < toc.size() ? toc[i + 1].level : 1;
            if (next > toc[i].level) {
                list += QStringLiteral("<ol>");
                ++open;
            } else {
                list += QStringLiteral("</li>");
                for (int l = toc[i].level; l > next; --l, --open)
                    list += QStringLiteral("</ol></li>");
            }
        }
        list += QStringLiteral("</ol>");
        tocXml = xmlHead() +
                 "<html xmlns=\"http://www.w3.org/1999/xhtml\" "
                 "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>Contents</title></head>"
                 "<body><nav epub:type=\"landmarks\"><ol><li><a "
                 "href=\"text/chapter%201.xhtml\">Navword</a></li></ol></nav>"
                 "<nav epub:type=\"toc\"><h1>Contents</h1>" +
                 list.toUtf8() + "</nav></body></html>\n";
        manifest +=
            "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n";
        entries.append({QStringLiteral("OEBPS/nav.xhtml"), tocXml});
    } else {
        QString points;
        int order = 0;
        for (int i = 0; i < toc.size(); ++i) {
            points +=
                QStringLiteral("<navPoint id=\"p%1\" playOrder=\"%1\"><navLabel><text>%2</text></navLabel>"
                               "<content src=\"%3\"/>")
                    .arg(++order)
                    .arg(escaped(toc[i].title), toc[i].href);
            const int next = i + 1 < toc.size() ? toc[i + 1].level : 1;
            if (next <= toc[i].level)
                for (int l = toc[i].level; l >= next; --l)
                    points += QStringLiteral("</navPoint>");
        }
        tocXml = xmlHead() +
                 "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\"><head/>"
                 "<docTitle><text>T</text></docTitle><navMap>" +
                 points.toUtf8() + "</navMap></ncx>\n";
        manifest += "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
        entries.append({QStringLiteral("OEBPS/toc.ncx"), tocXml});
    }
    const QByteArray opf =
        xmlHead() + "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"" +
        QByteArray(version >= 3 ? "3.0" : "2.0") +
        "\" unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
        "<dc:identifier id=\"id\">x</dc:identifier><dc:title>" +
        escaped(book.title).toUtf8() + "</dc:title><dc:creator>" + escaped(book.author).toUtf8() +
        "</dc:creator><dc:language>en</dc:language></metadata><manifest>\n" + manifest + "</manifest><spine" +
        QByteArray(version >= 3 ? "" : " toc=\"ncx\"") + ">\n" + spine + "</spine></package>\n";
    entries.insert(2, {QStringLiteral("OEBPS/content.opf"), opf});
    return zipArchive(entries);
}

QByteArray writeOdt(const Book &book)
{
    QString body;
    bool inList = false, inTable = false, tracked = false;
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::ListItem && inList) {
            body += QStringLiteral("</text:list>");
            inList = false;
        }
        if (block.kind != Block::Kind::TableRow && inTable) {
            body += QStringLiteral("</table:table>");
            inTable = false;
        }
        switch (block.kind) {
        case Block::Kind::Heading:
            body += QStringLiteral("<text:h text:outline-level=\"%1\">%2</text:h>")
                        .arg(block.level)
                        .arg(escaped(block.text));
            break;
        case Block::Kind::Paragraph: {
            // Extra blanks collapse; a hidden span, a comment and a note are not part of the line.
            QString text = escaped(block.text);
            text.replace(QStringLiteral(". "), QStringLiteral(".  "));
            body += QStringLiteral("<text:p>%1<text:span text:style-name=\"T1\">Hiddenword</text:span>"
                                   "<office:annotation><text:p>Commentword</text:p></office:annotation>")
                        .arg(text);
            if (!block.footnote.isEmpty())
                body +=
                    QStringLiteral(
                        "<text:note text:note-class=\"footnote\"><text:note-citation>1</text:note-citation>"
                        "<text:note-body><text:p>%1</text:p></text:note-body></text:note>")
                        .arg(escaped(block.footnote));
            // The place of a deletion the author made with changes tracked (the first paragraph).
            if (!tracked) {
                body += QStringLiteral("<text:change text:change-id=\"ct1\"/>");
                tracked = true;
            }
            body += QStringLiteral("</text:p>");
            break;
        }
        case Block::Kind::ListItem:
            if (!inList)
                body += QStringLiteral("<text:list>");
            inList = true;
            body += QStringLiteral("<text:list-item><text:p>%1</text:p></text:list-item>")
                        .arg(escaped(block.text));
            break;
        case Block::Kind::TableRow:
            if (!inTable)
                body +=
                    QStringLiteral("<table:table><table:table-column table:number-columns-repeated=\"2\"/>");
            inTable = true;
            body += QStringLiteral("<table:table-row>");
            for (const QString &cell : block.cells)
                body += QStringLiteral("<table:table-cell><text:p>%1</text:p></table:table-cell>")
                            .arg(escaped(cell));
            body += QStringLiteral("</table:table-row>");
            break;
        }
    }
    if (inList)
        body += QStringLiteral("</text:list>");
    if (inTable)
        body += QStringLiteral("</table:table>");

    const QByteArray namespaces =
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" office:version=\"1.3\"";
    const QByteArray content =
        xmlHead() + "<office:document-content " + namespaces +
        "><office:automatic-styles><style:style style:name=\"T1\" style:family=\"text\">"
        "<style:text-properties text:display=\"none\"/></style:style></office:automatic-styles>"
        "<office:body><office:text><text:tracked-changes><text:changed-region text:id=\"ct1\"><text:deletion>"
        "<office:change-info><dc:creator>Ada Quill</dc:creator><dc:date>2024-01-02T03:04:05</dc:date>"
        "</office:change-info><text:p>Deletedword</text:p></text:deletion></text:changed-region></"
        "text:tracked-changes>" +
        body.toUtf8() + "</office:text></office:body></office:document-content>\n";
    const QByteArray meta = xmlHead() + "<office:document-meta " + namespaces + "><office:meta><dc:title>" +
                            escaped(book.title).toUtf8() + "</dc:title><meta:initial-creator>" +
                            escaped(book.author).toUtf8() +
                            "</meta:initial-creator></office:meta></office:document-meta>\n";
    const QByteArray styles =
        xmlHead() + "<office:document-styles " + namespaces + "><office:styles/></office:document-styles>\n";
    const QByteArray manifest =
        xmlHead() +
        "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
        "manifest:version=\"1.3\"><manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.3\" "
        "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
        "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
        "<manifest:file-entry manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>"
        "<manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>"
        "</manifest:manifest>\n";
    return zipArchive({{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.text"},
                       {QStringLiteral("META-INF/manifest.xml"), manifest},
                       {QStringLiteral("meta.xml"), meta},
                       {QStringLiteral("styles.xml"), styles},
                       {QStringLiteral("content.xml"), content}});
}

QByteArray writeDocx(const Book &book)
{
    const auto run = [](const QString &text) {
        return QStringLiteral("<w:r><w:t xml:space=\"preserve\">%1</w:t></w:r>").arg(escaped(text));
    };
    QString body;
    bool inTable = false;
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::TableRow && inTable) {
            body += QStringLiteral("</w:tbl>");
            inTable = false;
        }
        switch (block.kind) {
        case Block::Kind::Heading:
            body += QStringLiteral("<w:p><w:pPr><w:pStyle w:val=\"Heading%1\"/></w:pPr>%2</w:p>")
                        .arg(block.level)
                        .arg(run(block.text));
            break;
        case Block::Kind::Paragraph: {
            // The text in two runs, a tracked deletion and a hidden run between them.
            qsizetype half = block.text.indexOf(u' ', block.text.size() / 2);
            if (half < 0)
                half = block.text.size();
            body +=
                QStringLiteral("<w:p>") + run(block.text.left(half)) +
                QStringLiteral(
                    "<w:del w:id=\"9\" w:author=\"x\"><w:r><w:delText>Deletedword</w:delText></w:r></w:del>"
                    "<w:r><w:rPr><w:vanish/></w:rPr><w:t>Hiddenword</w:t></w:r>") +
                run(block.text.mid(half));
            if (!block.footnote.isEmpty())
                body += QStringLiteral("<w:r><w:rPr><w:rStyle w:val=\"FootnoteReference\"/></w:rPr>"
                                       "<w:footnoteReference w:id=\"2\"/></w:r>");
            body += QStringLiteral("</w:p>");
            break;
        }
        case Block::Kind::ListItem:
            body +=
                QStringLiteral("<w:p><w:pPr><w:pStyle w:val=\"ListParagraph\"/><w:numPr><w:ilvl w:val=\"0\"/>"
                               "<w:numId w:val=\"1\"/></w:numPr></w:pPr>%1</w:p>")
                    .arg(run(block.text));
            break;
        case Block::Kind::TableRow:
            if (!inTable)
                body += QStringLiteral("<w:tbl><w:tblPr/><w:tblGrid><w:gridCol/><w:gridCol/></w:tblGrid>");
            inTable = true;
            body += QStringLiteral("<w:tr>");
            for (const QString &cell : block.cells)
                body += QStringLiteral("<w:tc><w:tcPr/><w:p>%1</w:p></w:tc>").arg(run(cell));
            body += QStringLiteral("</w:tr>");
            break;
        }
    }
    if (inTable)
        body += QStringLiteral("</w:tbl>");
    QString footnote;
    for (const Block &block : book.blocks)
        if (!block.footnote.isEmpty())
            footnote = block.footnote;

    const QByteArray w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    const QByteArray document =
        xmlHead() + "<w:document " + w + "><w:body>" + body.toUtf8() +
        "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:body></w:document>\n";
    QByteArray styles = xmlHead() + "<w:styles " + w + ">";
    for (int level = 1; level <= 2; ++level)
        styles += "<w:style w:type=\"paragraph\" w:styleId=\"Heading" + QByteArray::number(level) +
                  "\"><w:name w:val=\"heading " + QByteArray::number(level) +
                  "\"/><w:basedOn w:val=\"Normal\"/><w:pPr><w:outlineLvl w:val=\"" +
                  QByteArray::number(level - 1) + "\"/></w:pPr></w:style>";
    styles += "<w:style w:type=\"paragraph\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>"
              "<w:style w:type=\"paragraph\" w:styleId=\"ListParagraph\"><w:name w:val=\"List Paragraph\"/>"
              "<w:basedOn w:val=\"Normal\"/></w:style></w:styles>\n";
    const QByteArray footnotes =
        xmlHead() + "<w:footnotes " + w +
        "><w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>"
        "<w:footnote w:type=\"continuationSeparator\" "
        "w:id=\"0\"><w:p><w:r><w:continuationSeparator/></w:r></w:p></w:footnote>"
        "<w:footnote w:id=\"2\"><w:p><w:r><w:footnoteRef/></w:r><w:r><w:t xml:space=\"preserve\"> " +
        escaped(footnote).toUtf8() + "</w:t></w:r></w:p></w:footnote></w:footnotes>\n";
    const QByteArray relationships =
        xmlHead() + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                    "officeDocument\" Target=\"word/document.xml\"/>"
                    "<Relationship Id=\"rId2\" "
                    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
                    "core-properties\" Target=\"docProps/core.xml\"/>"
                    "</Relationships>\n";
    const QByteArray documentRelationships =
        xmlHead() + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
                    "Target=\"styles.xml\"/>"
                    "<Relationship Id=\"rId2\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes\" "
                    "Target=\"footnotes.xml\"/>"
                    "</Relationships>\n";
    const QByteArray contentTypes =
        xmlHead() +
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "</Types>\n";
    const QByteArray core =
        xmlHead() +
        "<cp:coreProperties "
        "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>" +
        escaped(book.title).toUtf8() + "</dc:title><dc:creator>" + escaped(book.author).toUtf8() +
        "</dc:creator></cp:coreProperties>\n";
    return zipArchive({{QStringLiteral("[Content_Types].xml"), contentTypes},
                       {QStringLiteral("_rels/.rels"), relationships},
                       {QStringLiteral("word/_rels/document.xml.rels"), documentRelationships},
                       {QStringLiteral("word/document.xml"), document},
                       {QStringLiteral("word/styles.xml"), styles},
                       {QStringLiteral("word/footnotes.xml"), footnotes},
                       {QStringLiteral("docProps/core.xml"), core}});
}

QByteArray writeHtml(const Book &book)
{
    QString body;
    bool inList = false, inTable = false;
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::ListItem && inList) {
            body += QStringLiteral("</ul>\n");
            inList = false;
        }
        if (block.kind != Block::Kind::TableRow && inTable) {
            body += QStringLiteral("</table>\n");
            inTable = false;
        }
        switch (block.kind) {
        case Block::Kind::Heading:
            body += QStringLiteral("<h%1>%2</h%1>\n").arg(block.level).arg(escaped(block.text));
            break;
        case Block::Kind::Paragraph:
            body += QStringLiteral("<p>%1</p>\n").arg(escaped(block.text));
            break;
        case Block::Kind::ListItem:
            if (!inList)
                body += QStringLiteral("<ul>\n");
            inList = true;
            body += QStringLiteral("<li>%1\n").arg(escaped(block.text)); // HTML lets list items stay open
            break;
        case Block::Kind::TableRow:
            if (!inTable)
                body += QStringLiteral("<table>\n");
            inTable = true;
            body += QStringLiteral("<tr><td>%1<td>%2\n")
                        .arg(escaped(block.cells.value(0)), escaped(block.cells.value(1)));
            break;
        }
        if (!block.footnote.isEmpty())
            body += QStringLiteral("<p>1 %1\n").arg(escaped(block.footnote));
    }
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "<meta name=\"author\" content=\"%2\"><style>body { font: 12px serif } "
                          ".x:before { content: 'Styleword' }</style>"
                          "<script>var x = '<p>Scriptword</p>';</script></head>\n<body>\n"
                          "<nav><a href=\"/\">Navword</a> | <a href=\"/b\">Navword</a></nav>\n"
                          "<main>\n%3</main>\n<footer>Footerword 2024</footer>\n</body></html>\n")
        .arg(escaped(book.title), escaped(book.author), body)
        .toUtf8();
}

QByteArray writeMarkdown(const Book &book)
{
    QString text = QStringLiteral("---\ntitle: %1\nauthor: %2\n---\n\n").arg(book.title, book.author);
    bool tableStarted = false;
    bool inList = false;
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::TableRow && tableStarted)
            text += u'\n';
        if (block.kind != Block::Kind::TableRow)
            tableStarted = false;
        if (block.kind != Block::Kind::ListItem && inList)
            text += u'\n';
        inList = block.kind == Block::Kind::ListItem;
        switch (block.kind) {
        case Block::Kind::Heading:
            text += QString(block.level, u'#') + u' ' + block.text + QStringLiteral("\n\n");
            break;
        case Block::Kind::Paragraph: {
            // Hard-wrapped, as Markdown is usually written.
            QString wrapped;
            int column = 0;
            for (const QString &word : block.text.split(u' ')) {
                if (column + word.size() > 72) {
                    wrapped += u'\n';
                    column = 0;
                } else if (column > 0) {
                    wrapped += u' ';
                    ++column;
                }
                wrapped += word;
                column += int(word.size());
            }
            text += wrapped + QStringLiteral("\n\n");
            break;
        }
        case Block::Kind::ListItem:
            text += QStringLiteral("- ") + block.text + u'\n';
            break;
        case Block::Kind::TableRow:
            if (!tableStarted)
                text += u'\n';
            text += QStringLiteral("| ") + block.cells.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
            if (!tableStarted)
                text += QStringLiteral("|---|---|\n");
            tableStarted = true;
            break;
        }
        if (!block.footnote.isEmpty())
            text += QStringLiteral("1 ") + block.footnote + QStringLiteral("\n\n");
    }
    return text.toUtf8();
}

} // namespace Fixture
