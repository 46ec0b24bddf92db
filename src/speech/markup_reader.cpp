#include "speech/markup_reader.h"

#include "speech/document_builder.h"
#include "speech/text_decoder.h"
#include "speech/xml_stream.h"

#include <QRegularExpression>

#include <optional>

namespace {

// ---- Elements, by what a reader makes of them

bool isOneOf(QStringView name, std::initializer_list<QStringView> names)
{
    for (QStringView one : names)
        if (name.compare(one, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Never shown, or not text.
bool isUnseen(QStringView name)
{
    return isOneOf(name, {u"head", u"script", u"style", u"template", u"noscript", u"svg", u"math", u"object",
                          u"iframe", u"audio", u"video", u"canvas", u"select", u"textarea", u"button",
                          u"input", u"map"});
}

// Around a page's own text rather than part of it.
bool isNavigation(QStringView name)
{
    return isOneOf(name, {u"nav", u"aside", u"footer", u"form"});
}

bool isBlock(QStringView name)
{
    return isOneOf(name,
                   {u"address",    u"article", u"aside",  u"blockquote", u"body",   u"caption", u"center",
                    u"dd",         u"details", u"dialog", u"div",        u"dl",     u"dt",      u"fieldset",
                    u"figcaption", u"figure",  u"footer", u"form",       u"header", u"hgroup",  u"hr",
                    u"li",         u"main",    u"nav",    u"ol",         u"p",      u"pre",     u"section",
                    u"summary",    u"ul",      u"legend"});
}

int headingLevel(QStringView name)
{
    if (name.size() == 2 && (name[0] == u'h' || name[0] == u'H') && name[1] >= u'1' && name[1] <= u'6')
        return name[1].unicode() - u'0';
    return 0;
}

bool isHidden(const QXmlStreamAttributes &attributes, const QSet<QString> &hiddenClasses)
{
    if (attributes.hasAttribute(QStringLiteral("hidden")))
        return true;
    if (!hiddenClasses.isEmpty()) {
        const QString classes = attributeValue(attributes, u"class");
        for (const QString &name : classes.split(u' ', Qt::SkipEmptyParts))
            if (hiddenClasses.contains(name))
                return true;
    }
    if (attributeValue(attributes, u"aria-hidden").compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    QString style = attributeValue(attributes, u"style");
    style.remove(u' ');
    return style.contains(u"display:none", Qt::CaseInsensitive);
}

// The characters of the HTML entities XHTML files use without declaring them.
std::optional<QString> htmlEntity(QStringView name)
{
    static const QHash<QString, char16_t> entities = {
        {QStringLiteral("nbsp"), 0x00A0},   {QStringLiteral("shy"), 0x00AD},
        {QStringLiteral("ndash"), 0x2013},  {QStringLiteral("mdash"), 0x2014},
        {QStringLiteral("lsquo"), 0x2018},  {QStringLiteral("rsquo"), 0x2019},
        {QStringLiteral("sbquo"), 0x201A},  {QStringLiteral("ldquo"), 0x201C},
        {QStringLiteral("rdquo"), 0x201D},  {QStringLiteral("bdquo"), 0x201E},
        {QStringLiteral("hellip"), 0x2026}, {QStringLiteral("laquo"), 0x00AB},
        {QStringLiteral("raquo"), 0x00BB},  {QStringLiteral("copy"), 0x00A9},
        {QStringLiteral("reg"), 0x00AE},    {QStringLiteral("trade"), 0x2122},
        {QStringLiteral("deg"), 0x00B0},    {QStringLiteral("middot"), 0x00B7},
        {QStringLiteral("bull"), 0x2022},   {QStringLiteral("euro"), 0x20AC},
        {QStringLiteral("pound"), 0x00A3},  {QStringLiteral("sect"), 0x00A7},
        {QStringLiteral("para"), 0x00B6},   {QStringLiteral("times"), 0x00D7},
        {QStringLiteral("eacute"), 0x00E9}, {QStringLiteral("egrave"), 0x00E8},
        {QStringLiteral("agrave"), 0x00E0}, {QStringLiteral("auml"), 0x00E4},
        {QStringLiteral("ouml"), 0x00F6},   {QStringLiteral("uuml"), 0x00FC},
        {QStringLiteral("szlig"), 0x00DF},  {QStringLiteral("ccedil"), 0x00E7},
        {QStringLiteral("thinsp"), 0x2009}, {QStringLiteral("ensp"), 0x2002},
        {QStringLiteral("emsp"), 0x2003},   {QStringLiteral("zwnj"), 0x200C},
        {QStringLiteral("zwj"), 0x200D},
    };
    const auto found = entities.constFind(name.toString());
    if (found == entities.constEnd())
        return std::nullopt;
    return QString(QChar(*found));
}

// ---- XHTML through QXmlStreamReader

class XhtmlWalker
{
public:
    XhtmlWalker(XmlStream &stream, DocumentBuilder *builder, const XhtmlReading &how)
        : m_stream(stream), m_builder(builder), m_how(how)
    {}

    // Reads the whole document; false when it is not well-formed.
    bool walk(QString *title)
    {
        for (;;) {
            switch (m_stream.next()) {
            case QXmlStreamReader::StartElement:
                start(title);
                break;
            case QXmlStreamReader::EndElement:
                end();
                break;
            case QXmlStreamReader::Characters:
                text(m_stream.reader().text());
                break;
            case QXmlStreamReader::EntityReference:
                if (const auto character = htmlEntity(m_stream.reader().name()))
                    text(*character);
                break;
            case QXmlStreamReader::EndDocument:
                return true;
            case QXmlStreamReader::Invalid:
                return false;
            default:
                break;
            }
        }
    }

private:
    void start(QString *title)
    {
        const QXmlStreamReader &reader = m_stream.reader();
        const QStringView name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (name.compare(u"title", Qt::CaseInsensitive) == 0 && m_headingLevel == 0 && m_depthInBody == 0) {
            const QString text = m_stream.elementText();
            if (title && title->isEmpty())
                *title = collapsedText(text);
            return;
        }
        if (name.compare(u"body", Qt::CaseInsensitive) == 0)
            ++m_depthInBody;
        if ((isUnseen(name) && name.compare(u"head", Qt::CaseInsensitive) != 0) ||
            isHidden(attributes, m_how.hiddenClasses) || (m_how.skipNavigation && isNavigation(name))) {
            m_stream.skipElement();
            return;
        }
        if (!m_builder)
            return;
        // A block ends the paragraph before it first, so that a chapter mark made for the
        // block's id marks the block, not the paragraph before it.
        if (m_headingLevel == 0 &&
            (headingLevel(name) > 0 || isBlock(name) || name.compare(u"table", Qt::CaseInsensitive) == 0 ||
             name.compare(u"pre", Qt::CaseInsensitive) == 0))
            m_builder->endParagraph();
        if (m_how.anchor) {
            const QString id = attributeValue(attributes, u"id");
            if (!id.isEmpty())
                m_how.anchor(id);
        }
        if (const int level = headingLevel(name); level > 0 && m_headingLevel == 0) {
            m_builder->endParagraph();
            m_headingLevel = level;
            m_heading.clear();
        } else if (name.compare(u"br", Qt::CaseInsensitive) == 0) {
            if (m_headingLevel > 0)
                m_heading += u' ';
            else
                m_builder->lineBreak();
        } else if (name.compare(u"table", Qt::CaseInsensitive) == 0) {
            m_builder->beginTable();
        } else if (name.compare(u"pre", Qt::CaseInsensitive) == 0) {
            m_builder->endParagraph();
            ++m_preformatted;
        } else if (isBlock(name)) {
            m_builder->endParagraph();
        }
    }

    void end()
    {
        if (!m_builder)
            return;
        const QStringView name = m_stream.reader().name();
        if (const int level = headingLevel(name); level > 0 && level == m_headingLevel) {
            if (m_how.headingsAsChapters)
                m_builder->heading(m_heading, level);
            else
                m_builder->paragraph(collapsedText(m_heading));
            m_headingLevel = 0;
        } else if (name.compare(u"td", Qt::CaseInsensitive) == 0 ||
                   name.compare(u"th", Qt::CaseInsensitive) == 0) {
            m_builder->endCell();
        } else if (name.compare(u"tr", Qt::CaseInsensitive) == 0) {
            m_builder->endRow();
        } else if (name.compare(u"table", Qt::CaseInsensitive) == 0) {
            m_builder->endTable();
        } else if (name.compare(u"pre", Qt::CaseInsensitive) == 0) {
            m_builder->endParagraph();
            m_preformatted = std::max(0, m_preformatted - 1);
        } else if (isBlock(name)) {
            m_builder->endParagraph();
        }
    }

    void text(QStringView characters)
    {
        if (!m_builder || m_depthInBody == 0)
            return;
        if (m_headingLevel > 0)
            m_heading += characters;
        else if (m_preformatted > 0)
            m_builder->appendText(characters);
        else
            m_builder->appendCollapsed(characters);
    }

    XmlStream &m_stream;
    DocumentBuilder *m_builder;
    const XhtmlReading &m_how;
    int m_depthInBody = 0;
    int m_headingLevel = 0;
    QString m_heading;
    int m_preformatted = 0;
};

// ---- HTML through QTextDocument

struct Tag
{
    qsizetype start = 0;
    qsizetype end = 0; // just past the '>'
    QString name;      // lower case
    bool closing = false;
    QStringView attributes;
};

// The next tag at or after `from`; comments, declarations and processing instructions are
// passed over.
std::optional<Tag> nextTag(const QString &html, qsizetype from)
{
    for (;;) {
        const qsizetype open = html.indexOf(u'<', from);
        if (open < 0 || open + 1 >= html.size())
            return std::nullopt;
        if (html.mid(open, 4) == QLatin1String("<!--")) {
            const qsizetype close = html.indexOf(QLatin1String("-->"), open + 4);
            if (close < 0)
                return std::nullopt;
            from = close + 3;
            continue;
        }
        Tag tag;
        tag.start = open;
        qsizetype at = open + 1;
        if (html.at(at) == u'/') {
            tag.closing = true;
            ++at;
        }
        const qsizetype nameStart = at;
        while (at < html.size() &&
               (html.at(at).isLetterOrNumber() || html.at(at) == u'-' || html.at(at) == u':'))
            ++at;
        if (at == nameStart) {
            from = open + 1; // "<" in text, "<!DOCTYPE", "<?xml"
            if (html.at(nameStart) == u'!' || html.at(nameStart) == u'?') {
                const qsizetype close = html.indexOf(u'>', nameStart);
                if (close < 0)
                    return std::nullopt;
                from = close + 1;
            }
            continue;
        }
        tag.name = html.mid(nameStart, at - nameStart).toLower();
        // The tag ends at the first '>' outside quotes.
        QChar quote;
        const qsizetype attributesStart = at;
        while (at < html.size()) {
            const QChar c = html.at(at);
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'>') {
                break;
            }
            ++at;
        }
        if (at >= html.size())
            return std::nullopt;
        tag.attributes = QStringView(html).mid(attributesStart, at - attributesStart);
        tag.end = at + 1;
        return tag;
    }
}

bool isRawText(const QString &name)
{
    return name == u"script" || name == u"style" || name == u"textarea" || name == u"title";
}

// Just past the end of the element `open` starts (its closing tag, matched through elements of
// the same name nested in it); the end of the text when it is never closed.
qsizetype elementEnd(const QString &html, const Tag &open)
{
    if (open.attributes.trimmed().endsWith(u'/'))
        return open.end;
    if (isRawText(open.name)) {
        const qsizetype close = html.indexOf(QStringLiteral("</") + open.name, open.end, Qt::CaseInsensitive);
        if (close < 0)
            return html.size();
        const qsizetype gt = html.indexOf(u'>', close);
        return gt < 0 ? html.size() : gt + 1;
    }
    int depth = 1;
    qsizetype from = open.end;
    while (const auto tag = nextTag(html, from)) {
        from = tag->end;
        if (isRawText(tag->name) && !tag->closing) {
            from = elementEnd(html, *tag);
            continue;
        }
        if (tag->name != open.name)
            continue;
        depth += tag->closing ? -1 : 1;
        if (depth == 0)
            return tag->end;
    }
    return html.size();
}

bool attributeSays(QStringView attributes, const QRegularExpression &pattern)
{
    return pattern.match(attributes).hasMatch();
}

bool isLeftOut(const Tag &tag)
{
    static const QRegularExpression hidden(
        QStringLiteral("(^|\\s)(hidden(\\s|=|$)|aria-hidden\\s*=\\s*[\"']?true|style\\s*=\\s*[\"'][^\"']*"
                       "display\\s*:\\s*none|"
                       "role\\s*=\\s*[\"']?(navigation|banner|contentinfo|complementary|search)\\b)"),
        QRegularExpression::CaseInsensitiveOption);
    if (tag.name == u"head" || tag.name == u"title")
        return false;
    if (isUnseen(tag.name) || isNavigation(tag.name) || attributeSays(tag.attributes, hidden))
        return true;
    return false;
}

// The content of the first element that holds the page's own text, with the page's head.
QString mainPart(const QString &html)
{
    static const QRegularExpression mainRole(QStringLiteral("role\\s*=\\s*[\"']?main\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    std::optional<Tag> main, article;
    int articles = 0;
    QString head;
    for (auto tag = nextTag(html, 0); tag; tag = nextTag(html, tag->end)) {
        if (tag->closing)
            continue;
        if (tag->name == u"head" && head.isEmpty())
            head = html.mid(tag->start, elementEnd(html, *tag) - tag->start);
        if (!main && (tag->name == u"main" || attributeSays(tag->attributes, mainRole)))
            main = tag;
        if (tag->name == u"article") {
            if (articles++ == 0)
                article = tag;
            tag->end = elementEnd(html, *tag) - 1; // articles inside it are not counted
        }
        if (isRawText(tag->name))
            tag->end = elementEnd(html, *tag) - 1;
    }
    const std::optional<Tag> &chosen = main ? main : (articles == 1 ? article : std::nullopt);
    if (!chosen)
        return html;
    return QStringLiteral("<html>") + head + QStringLiteral("<body>") +
           html.mid(chosen->start, elementEnd(html, *chosen) - chosen->start) +
           QStringLiteral("</body></html>");
}

// The encoding a page declares in its first bytes (<meta charset> or http-equiv).
QByteArray declaredEncoding(const QByteArray &bytes)
{
    static const QRegularExpression meta(
        QStringLiteral("<meta[^>]+charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9_.:\\-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = meta.match(QString::fromLatin1(bytes.left(4096)));
    return match.hasMatch() ? match.captured(1).toLatin1().toUpper() : QByteArray();
}

} // namespace

QSet<QString> hiddenClassesOf(const QString &css)
{
    static const QRegularExpression rule(
        QStringLiteral("(?:^|[},])\\s*\\.([A-Za-z_][A-Za-z0-9_-]*)\\s*\\{[^}]*display\\s*:\\s*none"),
        QRegularExpression::CaseInsensitiveOption);
    QSet<QString> classes;
    for (auto it = rule.globalMatch(css); it.hasNext();)
        classes.insert(it.next().captured(1));
    return classes;
}

bool readXhtml(const QByteArray &xml, DocumentBuilder &builder, const XhtmlReading &how, QString *title)
{
    {
        // A first pass without output: a chapter that is not well-formed is read as HTML
        // instead, so nothing of it may have been written yet.
        XmlStream check(xml);
        XhtmlWalker dryRun(check, nullptr, how);
        if (!dryRun.walk(nullptr))
            return false;
    }
    XmlStream stream(xml);
    XhtmlWalker walker(stream, &builder, how);
    walker.walk(title);
    builder.endParagraph();
    return true;
}

QString visibleHtml(const QString &html)
{
    const QString part = mainPart(html);
    QString kept;
    kept.reserve(part.size());
    qsizetype copied = 0;
    qsizetype from = 0;
    while (const auto tag = nextTag(part, from)) {
        from = tag->end;
        if (tag->closing)
            continue;
        if (isLeftOut(*tag)) {
            kept += QStringView(part).mid(copied, tag->start - copied);
            copied = from = elementEnd(part, *tag);
        } else if (isRawText(tag->name)) {
            from = elementEnd(part, *tag);
        }
    }
    kept += QStringView(part).mid(copied);
    return kept;
}

QString decodeHtml(const QByteArray &bytes)
{
    const QByteArray declared = declaredEncoding(bytes);
    // A byte-order mark outranks the declaration; so does valid UTF-8 declared as something
    // else only when the declaration cannot read it.
    if (!declared.isEmpty() && declared != "UTF-8" && declared != "UTF8" &&
        !bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) {
        const QByteArray name = declared == "ISO-8859-1" || declared == "LATIN1" || declared == "US-ASCII"
                                    ? QByteArray("CP1252")
                                    : declared;
        if (const auto text = TextDecoding::decodeStrict(bytes, name))
            return *text;
    }
    return TextDecoding::decodePlainText(bytes, "UTF-8");
}

QString authorOf(const QString &html)
{
    static const QRegularExpression author(
        QStringLiteral(
            "<meta\\s[^>]*name\\s*=\\s*[\"']?author[\"']?[^>]*content\\s*=\\s*[\"']([^\"']*)[\"']"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = author.match(html);
    return match.hasMatch() ? match.captured(1) : QString();
}
