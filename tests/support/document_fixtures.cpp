#include "support/document_fixtures.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QRegularExpression>

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
