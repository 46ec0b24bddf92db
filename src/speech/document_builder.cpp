#include "speech/document_builder.h"

namespace {

// Blanks of HTML and XML text: space, tab, line feed, carriage return, form feed.
bool isCollapsible(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Committed text is handed on in pieces of about this size when nobody asks sooner.
constexpr qsizetype PieceSize = 256 * 1024;

const QLatin1String ParagraphSeparator("\n\n");

} // namespace

QString collapsedText(QStringView text)
{
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (const QChar c : text) {
        if (isCollapsible(c)) {
            blank = !out.isEmpty();
            continue;
        }
        if (blank)
            out += u' ';
        blank = false;
        out += c;
    }
    return out;
}

DocumentBuilder::DocumentBuilder(const DocumentFeed &feed) : m_feed(feed) {}

void DocumentBuilder::appendCollapsed(QStringView text)
{
    for (const QChar c : text) {
        if (isCollapsible(c)) {
            m_pendingBlank = !m_paragraph.isEmpty() && !m_paragraph.endsWith(u'\n');
            continue;
        }
        if (m_pendingBlank)
            m_paragraph += u' ';
        m_pendingBlank = false;
        m_paragraph += c;
    }
}

void DocumentBuilder::appendText(QStringView text)
{
    if (text.isEmpty())
        return;
    if (m_pendingBlank)
        m_paragraph += u' ';
    m_pendingBlank = false;
    m_paragraph += text;
}

void DocumentBuilder::lineBreak()
{
    m_pendingBlank = false;
    if (!m_paragraph.isEmpty())
        m_paragraph += u'\n';
}

QString DocumentBuilder::takeParagraph()
{
    QString text = std::move(m_paragraph);
    m_paragraph = QString();
    m_pendingBlank = false;
    // Blanks and line ends at the ends of a paragraph are not part of what it says.
    qsizetype end = text.size();
    while (end > 0 && (text.at(end - 1).isSpace()))
        --end;
    qsizetype start = 0;
    while (start < end && text.at(start).isSpace())
        ++start;
    return text.mid(start, end - start);
}

void DocumentBuilder::endParagraph()
{
    const QString text = takeParagraph();
    if (!m_tables.empty()) {
        Table &table = m_tables.back();
        if (!text.isEmpty()) {
            if (!table.cell.isEmpty())
                table.cell += u' ';
            table.cell += text;
        }
        return;
    }
    if (!text.isEmpty())
        commit(text);
    commitDeferred();
}

void DocumentBuilder::discardParagraph()
{
    m_paragraph.clear();
    m_pendingBlank = false;
}

void DocumentBuilder::paragraph(QStringView text)
{
    endParagraph();
    appendText(text);
    endParagraph();
}

void DocumentBuilder::heading(QStringView text, int level)
{
    endParagraph();
    const QString title = collapsedText(text);
    if (title.isEmpty())
        return;
    markChapter(title, level);
    paragraph(title);
}

void DocumentBuilder::markChapter(const QString &title, int level)
{
    m_pendingMarks.push_back({collapsedText(title), std::max(1, level)});
}

void DocumentBuilder::deferParagraph(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.isEmpty())
        m_deferred.append(trimmed);
}

void DocumentBuilder::beginTable()
{
    endParagraph();
    m_tables.push_back({});
}

void DocumentBuilder::endCell()
{
    endParagraph();
    if (m_tables.empty())
        return;
    Table &table = m_tables.back();
    if (!table.cell.isEmpty()) {
        if (table.rowHasCell)
            table.row += u'\t';
        table.row += table.cell;
        table.rowHasCell = true;
    }
    table.cell.clear();
}

void DocumentBuilder::endRow()
{
    endCell();
    if (m_tables.empty())
        return;
    Table &table = m_tables.back();
    const QString row = std::move(table.row);
    table.row = QString();
    table.rowHasCell = false;
    if (row.isEmpty())
        return;
    if (m_tables.size() > 1) {
        // A table inside a cell: its rows are more of that cell's text.
        Table &outer = m_tables[m_tables.size() - 2];
        if (!outer.cell.isEmpty())
            outer.cell += u' ';
        outer.cell += row;
        return;
    }
    commit(row);
    commitDeferred();
}

void DocumentBuilder::endTable()
{
    if (m_tables.empty())
        return;
    if (!m_tables.back().cell.isEmpty() || !m_tables.back().row.isEmpty() || !m_paragraph.isEmpty())
        endRow();
    m_tables.pop_back();
}

void DocumentBuilder::setTitle(const QString &title)
{
    m_title = collapsedText(title);
}

void DocumentBuilder::setAuthor(const QString &author)
{
    m_author = collapsedText(author);
}

void DocumentBuilder::commit(QStringView paragraph)
{
    if (m_overflow || paragraph.isEmpty())
        return;
    if (size() + paragraph.size() + ParagraphSeparator.size() > LargestText) {
        m_overflow = true;
        return;
    }
    if (size() > 0)
        m_text += ParagraphSeparator;
    const qsizetype offset = size();
    for (PendingMark &mark : m_pendingMarks)
        m_chapters.append({std::move(mark.title), offset, mark.level});
    m_pendingMarks.clear();
    m_text += paragraph;
    if (m_feed.piece && m_text.size() >= PieceSize)
        flush();
}

void DocumentBuilder::commitDeferred()
{
    const QStringList deferred = std::exchange(m_deferred, {});
    for (const QString &text : deferred)
        commit(text);
}

void DocumentBuilder::flush()
{
    if (!m_feed.piece || m_text.isEmpty())
        return;
    m_handed += m_text.size();
    m_feed.piece(std::exchange(m_text, QString()));
}

void DocumentBuilder::progress(int percent) const
{
    if (m_feed.progress)
        m_feed.progress(std::clamp(percent, 0, 100));
}

bool DocumentBuilder::cancelled() const
{
    return m_feed.cancelled && m_feed.cancelled();
}

DocumentText DocumentBuilder::finish()
{
    endParagraph();
    while (!m_tables.empty())
        endTable();
    commitDeferred();
    DocumentText document;
    if (m_overflow) {
        document.error = QStringLiteral("The document is too large to open (more than %1 million characters "
                                        "of text).")
                             .arg(LargestText / (1024 * 1024));
        return document;
    }
    flush();
    document.ok = true;
    document.text = std::move(m_text);
    document.chapters = std::move(m_chapters);
    document.title = m_title;
    document.author = m_author;
    return document;
}
