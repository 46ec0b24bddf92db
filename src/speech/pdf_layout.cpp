#include "speech/pdf_layout.h"

#include "speech/document_builder.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace PdfLayout {

namespace {

// Lines this near a page's top or bottom, as a share of its height, may be running lines.
constexpr double EdgeShare = 0.2;
// At most this many lines at each edge.
constexpr int EdgeLines = 2;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Indices of the lines at the page's top edge ("T") and bottom edge ("B").
std::vector<std::pair<int, QChar>> edgeLines(const Page &page)
{
    std::vector<int> order(page.lines.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return page.lines[size_t(a)].top < page.lines[size_t(b)].top; });
    std::vector<std::pair<int, QChar>> edges;
    const double height = page.height > 0 ? page.height : 1;
    for (int i = 0; i < int(order.size()) && i < EdgeLines; ++i)
        if (page.lines[size_t(order[size_t(i)])].bottom <= height * EdgeShare)
            edges.emplace_back(order[size_t(i)], u'T');
    for (int i = 0; i < int(order.size()) && i < EdgeLines; ++i) {
        const int index = order[order.size() - 1 - size_t(i)];
        const bool alreadyTop =
            std::any_of(edges.begin(), edges.end(), [&](auto &e) { return e.first == index; });
        if (!alreadyTop && page.lines[size_t(index)].top >= height * (1 - EdgeShare))
            edges.emplace_back(index, u'B');
    }
    return edges;
}

bool isLetter(QChar c)
{
    return c.isLetter();
}

} // namespace

QString runningSignature(const QString &text)
{
    QString signature;
    signature.reserve(text.size());
    bool blank = false;
    bool digits = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            blank = !signature.isEmpty();
            digits = false;
            continue;
        }
        if (blank)
            signature += u' ';
        blank = false;
        if (c.isDigit()) {
            if (!digits)
                signature += u'#';
            digits = true;
            continue;
        }
        digits = false;
        signature += c.toLower();
    }
    return signature;
}

bool looksLikePageNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[\\s\\-\\x{2013}\\x{2014}\\[\\(|]*(page\\s+)?(\\d{1,5}|[ivxlcdm]{1,7})"
                       "(\\s*(of|/)\\s*\\d{1,5})?[\\s\\-\\x{2013}\\x{2014}\\]\\)|.]*$"),
        QRegularExpression::CaseInsensitiveOption);
    return number.match(text).hasMatch();
}

void RunningLines::learn(const Page &page)
{
    ++m_pages;
    std::vector<QString> seen;
    for (const auto &[index, edge] : edgeLines(page)) {
        const QString signature = edge + runningSignature(page.lines[size_t(index)].text);
        if (std::find(seen.begin(), seen.end(), signature) == seen.end()) {
            seen.push_back(signature);
            ++m_counts[signature];
        }
    }
}

void RunningLines::decide()
{
    m_running.clear();
    // On most pages: at least two, and at least two pages in five (books alternate a left-page
    // and a right-page header).
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it)
        if (it.value() >= 2 && it.value() * 5 >= m_pages * 2)
            m_running.push_back(it.key());
}

std::vector<int> RunningLines::bodyLines(const Page &page) const
{
    std::vector<bool> dropped(page.lines.size(), false);
    for (const auto &[index, edge] : edgeLines(page)) {
        const QString &text = page.lines[size_t(index)].text;
        const QString signature = edge + runningSignature(text);
        if ((m_pages >= 2 && looksLikePageNumber(text)) ||
            std::find(m_running.begin(), m_running.end(), signature) != m_running.end())
            dropped[size_t(index)] = true;
    }
    std::vector<int> body;
    for (size_t i = 0; i < page.lines.size(); ++i)
        if (!dropped[i] && !page.lines[i].text.trimmed().isEmpty())
            body.push_back(int(i));
    return body;
}

ParagraphJoiner::ParagraphJoiner(DocumentBuilder &builder) : m_builder(builder) {}

ParagraphJoiner::Metrics ParagraphJoiner::measure(const Page &page, const std::vector<int> &body)
{
    Metrics metrics;
    std::vector<double> lefts, steps;
    metrics.left = body.empty() ? 0 : page.lines[size_t(body.front())].left;
    for (size_t i = 0; i < body.size(); ++i) {
        const Line &line = page.lines[size_t(body[i])];
        lefts.push_back(line.left);
        metrics.right = std::max(metrics.right, line.right);
        if (i > 0) {
            const Line &before = page.lines[size_t(body[i - 1])];
            const double step = line.top - before.top;
            if (step > 0 && step < 3 * std::max(line.height(), 1.0))
                steps.push_back(step);
        }
    }
    if (!lefts.empty())
        metrics.left = median(lefts);
    metrics.spacing = median(steps);
    return metrics;
}

bool ParagraphJoiner::startsParagraph(const Line &line, const Metrics &metrics, bool samePage) const
{
    const Line &before = m_previous;
    const double size = std::max({line.height(), before.height(), 1.0});
    // A change of type size: a heading, or the text after one.
    if (std::abs(line.height() - before.height()) > 0.25 * size)
        return true;
    // A wider gap than between the lines of a paragraph. A line higher up the page is the top
    // of the next column, which goes on with the text.
    if (samePage && metrics.spacing > 0 && line.top - before.top > metrics.spacing * 1.4 + 0.5)
        return true;
    // The line before ended short although this line's first word would have fitted after it.
    const double blank = 0.3 * size;
    if (before.right + blank + line.firstWordWidth < m_previousMetrics.right - 0.5 * size)
        return true;
    // A first line set in from the left edge, after a line that was not.
    if (line.left > metrics.left + 0.8 * size && before.left <= m_previousMetrics.left + 0.3 * size)
        return true;
    return false;
}

void ParagraphJoiner::append(const Line &line)
{
    const QString text = line.text.trimmed();
    if (text.isEmpty())
        return;
    if (m_paragraph.isEmpty()) {
        m_paragraph = text;
        return;
    }
    const QChar last = m_paragraph.back();
    const QChar first = text.front();
    if (last == QChar(0x00AD)) {
        // A soft hyphen only marks where the word was broken.
        m_paragraph.chop(1);
    } else if ((last == u'-' || last == QChar(0x2010)) && m_paragraph.size() >= 2 &&
               isLetter(m_paragraph.at(m_paragraph.size() - 2)) && first.isLower()) {
        // "exam-" at a line end and "ple" on the next line are one word.
        m_paragraph.chop(1);
    } else {
        m_paragraph += u' ';
    }
    m_paragraph += text;
}

void ParagraphJoiner::endParagraph()
{
    if (!m_paragraph.isEmpty())
        m_builder.paragraph(m_paragraph);
    m_paragraph.clear();
}

void ParagraphJoiner::addPage(const Page &page, const std::vector<int> &body,
                              const std::vector<ChapterStart> &chapters)
{
    const Metrics metrics = measure(page, body);
    // Each chapter begins at the first line that reaches below the place it points at.
    std::map<int, std::vector<const ChapterStart *>> startsAt;
    std::vector<const ChapterStart *> afterPage;
    for (const ChapterStart &chapter : chapters) {
        auto found = std::find_if(body.begin(), body.end(), [&](int index) {
            return chapter.top < 0 || page.lines[size_t(index)].bottom > chapter.top + 1;
        });
        if (found == body.end())
            afterPage.push_back(&chapter);
        else
            startsAt[*found].push_back(&chapter);
    }
    bool first = true;
    for (const int index : body) {
        const Line &line = page.lines[size_t(index)];
        const auto starts = startsAt.find(index);
        if (starts != startsAt.end()) {
            endParagraph();
            for (const ChapterStart *chapter : starts->second)
                m_builder.markChapter(chapter->title, chapter->level);
        } else if (m_havePrevious && startsParagraph(line, metrics, !first)) {
            endParagraph();
        }
        append(line);
        m_previous = line;
        m_previousMetrics = metrics;
        m_havePrevious = true;
        first = false;
    }
    if (!afterPage.empty()) {
        endParagraph();
        for (const ChapterStart *chapter : afterPage)
            m_builder.markChapter(chapter->title, chapter->level);
    }
}

void ParagraphJoiner::finish()
{
    endParagraph();
}

} // namespace PdfLayout
