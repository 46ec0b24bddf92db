#include "speech/office_reader.h"

#include "speech/document_builder.h"
#include "speech/office_parts.h"
#include "speech/xml_stream.h"
#include "speech/zip_archive.h"

#include <QHash>

#include <optional>

namespace {

using OfficeParts::DeepestStyleChain;
using OfficeParts::readBody;
using OfficeParts::readProperties;
using Token = QXmlStreamReader::TokenType;

const QString OfficeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString TextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString TableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString StyleNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString DrawNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
const QString SvgNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");

struct OdfStyle
{
    QString parent;
    std::optional<bool> hidden; // set by the style itself
};

// Styles whose text is not shown (text:display="none"), from styles.xml and the automatic
// styles of content.xml.
class OdfStyles
{
public:
    // Reads the style definitions at the stream's position up to the end of the element that
    // holds them.
    void read(XmlStream &stream)
    {
        QString current;
        stream.walkElement([&](Token token, int) {
            const QXmlStreamReader &reader = stream.reader();
            if (token != Token::StartElement || reader.namespaceUri() != StyleNs)
                return false;
            if (reader.name() == u"style") {
                current = reader.attributes().value(StyleNs, QLatin1String("name")).toString();
                m_styles[current].parent =
                    reader.attributes().value(StyleNs, QLatin1String("parent-style-name")).toString();
            } else if (reader.name() == u"text-properties" && !current.isEmpty()) {
                const QStringView display = reader.attributes().value(TextNs, QLatin1String("display"));
                if (!display.isEmpty())
                    m_styles[current].hidden = display == u"none";
            }
            return false;
        });
    }

    bool hidden(QString name) const
    {
        for (int i = 0; i < DeepestStyleChain && !name.isEmpty(); ++i) {
            const auto found = m_styles.constFind(name);
            if (found == m_styles.constEnd())
                return false;
            if (found->hidden)
                return *found->hidden;
            name = found->parent;
        }
        return false;
    }

private:
    QHash<QString, OdfStyle> m_styles;
};

// Text of the element just started, as one line: notes and text boxes anchored in a paragraph
// are read this way and placed after it.
QString odfInlineText(XmlStream &stream, const OdfStyles &styles)
{
    QString text;
    stream.walkElement([&](Token token, int) {
        const QXmlStreamReader &reader = stream.reader();
        if (token == Token::Characters)
            text += reader.text();
        if (token != Token::StartElement)
            return false;
        const QStringView name = reader.name();
        const bool textNs = reader.namespaceUri() == TextNs;
        if ((textNs && (name == u"note" || name == u"tracked-changes")) ||
            (reader.namespaceUri() == OfficeNs && name == u"annotation") || reader.namespaceUri() == SvgNs ||
            styles.hidden(reader.attributes().value(TextNs, QLatin1String("style-name")).toString())) {
            stream.skipElement();
            return true;
        }
        if (textNs && (name == u"s" || name == u"tab" || name == u"line-break")) {
            text += u' ';
            stream.skipElement();
            return true;
        }
        if (textNs && (name == u"p" || name == u"h"))
            text += u' ';
        return false;
    });
    return collapsedText(text);
}

class OdfWalker
{
public:
    OdfWalker(XmlStream &stream, DocumentBuilder &builder, OdfStyles &styles)
        : m_stream(stream), m_builder(builder), m_styles(styles)
    {}

    void start()
    {
        const QXmlStreamReader &reader = m_stream.reader();
        const QStringView name = reader.name();
        const QStringView ns = reader.namespaceUri();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (ns == OfficeNs && name == u"automatic-styles") {
            m_styles.read(m_stream);
            return;
        }
        if (ns == OfficeNs && name == u"body")
            m_inBody = true;
        if (!m_inBody)
            return;
        const QString styleName = attributes.value(TextNs, QLatin1String("style-name")).toString();
        if ((ns == OfficeNs && (name == u"annotation" || name == u"forms")) ||
            (ns == TextNs &&
             (name == u"tracked-changes" || name == u"hidden-text" || name == u"sequence-decls" ||
              name == u"variable-decls" || name == u"user-field-decls")) ||
            ns == SvgNs || m_styles.hidden(styleName) ||
            (ns == TextNs && name == u"section" &&
             attributes.value(TextNs, QLatin1String("display")) == u"none") ||
            (ns == TableNs && name == u"covered-table-cell")) {
            m_stream.skipElement();
            return;
        }
        if (ns == TextNs && name == u"hidden-paragraph" &&
            attributes.value(TextNs, QLatin1String("is-hidden")) == u"true") {
            m_hiddenParagraph = true;
            m_stream.skipElement();
            return;
        }
        if (ns == TextNs && name == u"note") {
            readNote();
            return;
        }
        if (ns == DrawNs && name == u"frame" && m_paragraphDepth > 0) {
            // A text box or a caption anchored in the paragraph: its text follows the paragraph.
            m_builder.deferParagraph(odfInlineText(m_stream, m_styles));
            return;
        }
        if (ns == TextNs && (name == u"p" || name == u"h")) {
            if (m_paragraphDepth++ == 0) {
                m_builder.endParagraph();
                m_hiddenParagraph = false;
                m_headingLevel = 0;
                if (name == u"h") {
                    bool ok = false;
                    const int level = attributes.value(TextNs, QLatin1String("outline-level")).toInt(&ok);
                    m_headingLevel = ok && level > 0 ? level : 1;
                    m_heading.clear();
                }
            }
            return;
        }
        if (ns == TextNs && name == u"s") {
            bool ok = false;
            const int count = attributes.value(TextNs, QLatin1String("c")).toInt(&ok);
            appendExact(QString(ok ? std::clamp(count, 1, 1000) : 1, u' '));
            m_stream.skipElement();
        } else if (ns == TextNs && name == u"tab") {
            appendExact(QStringLiteral("\t"));
            m_stream.skipElement();
        } else if (ns == TextNs && name == u"line-break") {
            if (m_headingLevel > 0)
                m_heading += u' ';
            else
                m_builder.lineBreak();
            m_stream.skipElement();
        } else if (ns == TableNs && name == u"table") {
            m_builder.beginTable();
        }
    }

    void end()
    {
        const QXmlStreamReader &reader = m_stream.reader();
        const QStringView name = reader.name();
        const QStringView ns = reader.namespaceUri();
        if (ns == TextNs && (name == u"p" || name == u"h") && m_paragraphDepth > 0) {
            if (--m_paragraphDepth > 0)
                return;
            if (m_hiddenParagraph)
                m_builder.discardParagraph();
            else if (m_headingLevel > 0)
                m_builder.heading(m_heading, m_headingLevel);
            m_builder.endParagraph();
            m_headingLevel = 0;
        } else if (ns == TableNs && name == u"table-cell") {
            m_builder.endCell();
        } else if (ns == TableNs && name == u"table-row") {
            m_builder.endRow();
        } else if (ns == TableNs && name == u"table") {
            m_builder.endTable();
        } else if (ns == OfficeNs && name == u"body") {
            m_inBody = false;
        }
    }

    void text(QStringView characters)
    {
        if (m_paragraphDepth == 0)
            return;
        if (m_headingLevel > 0)
            m_heading += characters;
        else
            m_builder.appendCollapsed(characters);
    }

private:
    void appendExact(const QString &characters)
    {
        if (m_paragraphDepth == 0)
            return;
        if (m_headingLevel > 0)
            m_heading += characters;
        else
            m_builder.appendText(characters);
    }

    void readNote()
    {
        QString citation, body;
        const bool whole = m_stream.walkElement([&](Token token, int) {
            const QXmlStreamReader &reader = m_stream.reader();
            if (token != Token::StartElement || reader.namespaceUri() != TextNs)
                return false;
            if (reader.name() == u"note-citation")
                citation = collapsedText(m_stream.elementText());
            else if (reader.name() == u"note-body")
                body = odfInlineText(m_stream, m_styles);
            else
                return false;
            return true;
        });
        if (!whole)
            return;
        m_builder.deferParagraph(citation.isEmpty() ? body : citation + u' ' + body);
    }

    XmlStream &m_stream;
    DocumentBuilder &m_builder;
    OdfStyles &m_styles;
    bool m_inBody = false;
    int m_paragraphDepth = 0;
    int m_headingLevel = 0;
    QString m_heading;
    bool m_hiddenParagraph = false;
};

} // namespace

QString readOpenDocumentText(ZipArchive &archive, DocumentBuilder &builder)
{
    OdfStyles styles;
    if (const std::optional<QByteArray> xml = archive.read(QStringLiteral("styles.xml"), nullptr)) {
        XmlStream stream(*xml);
        for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
             token = stream.next())
            if (token == Token::StartElement && stream.reader().namespaceUri() == OfficeNs &&
                (stream.reader().name() == u"styles" || stream.reader().name() == u"automatic-styles"))
                styles.read(stream);
    }
    readProperties(archive, QStringLiteral("meta.xml"), builder);

    return readBody(archive, QStringLiteral("content.xml"), builder,
                    [&](XmlStream &stream) { return OdfWalker(stream, builder, styles); });
}
