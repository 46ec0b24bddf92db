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

const QString WordNs = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
const QString CompatibilityNs = QStringLiteral("http://schemas.openxmlformats.org/markup-compatibility/2006");

// An on/off property: present means on, unless its value says off.
bool isOn(const QXmlStreamAttributes &attributes)
{
    const QStringView value = attributes.value(WordNs, QLatin1String("val"));
    return !(value == u"0" || value == u"false" || value == u"off");
}

struct WordStyle
{
    QString basedOn;
    std::optional<int> outlineLevel; // 0-based; 9 is body text
    std::optional<bool> hidden;      // w:vanish in the style's run properties
    QString name;
};

class WordStyles
{
public:
    void read(const QByteArray &xml)
    {
        XmlStream stream(xml);
        QString current;
        bool inRunProperties = false;
        for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
             token = stream.next()) {
            const QXmlStreamReader &reader = stream.reader();
            if (token == Token::EndElement) {
                if (reader.name() == u"rPr")
                    inRunProperties = false;
                continue;
            }
            if (token != Token::StartElement || reader.namespaceUri() != WordNs)
                continue;
            const QStringView name = reader.name();
            const QXmlStreamAttributes attributes = reader.attributes();
            if (name == u"style") {
                current = attributes.value(WordNs, QLatin1String("styleId")).toString();
                m_styles[current] = WordStyle();
            } else if (current.isEmpty()) {
                continue;
            } else if (name == u"name") {
                m_styles[current].name = attributes.value(WordNs, QLatin1String("val")).toString();
            } else if (name == u"basedOn") {
                m_styles[current].basedOn = attributes.value(WordNs, QLatin1String("val")).toString();
            } else if (name == u"outlineLvl") {
                bool ok = false;
                const int level = attributes.value(WordNs, QLatin1String("val")).toInt(&ok);
                if (ok)
                    m_styles[current].outlineLevel = level;
            } else if (name == u"rPr") {
                inRunProperties = true;
            } else if (name == u"vanish" && inRunProperties) {
                m_styles[current].hidden = isOn(attributes);
            }
        }
    }

    // Heading level (1 for "heading 1") of a paragraph style; 0 for body text.
    int headingLevel(QString id) const
    {
        for (int i = 0; i < DeepestStyleChain && !id.isEmpty(); ++i) {
            const auto found = m_styles.constFind(id);
            if (found == m_styles.constEnd())
                break;
            if (found->name.startsWith(u"heading ", Qt::CaseInsensitive)) {
                bool ok = false;
                const int level = found->name.mid(8).toInt(&ok);
                if (ok && level >= 1 && level <= 9)
                    return level;
            }
            if (found->outlineLevel)
                return *found->outlineLevel >= 0 && *found->outlineLevel < 9 ? *found->outlineLevel + 1 : 0;
            id = found->basedOn;
        }
        // Documents without a styles part still name their headings "Heading1".
        if (id.startsWith(u"Heading", Qt::CaseInsensitive)) {
            bool ok = false;
            const int level = id.mid(7).toInt(&ok);
            if (ok && level >= 1 && level <= 9)
                return level;
        }
        return 0;
    }

    bool hidden(QString id) const
    {
        for (int i = 0; i < DeepestStyleChain && !id.isEmpty(); ++i) {
            const auto found = m_styles.constFind(id);
            if (found == m_styles.constEnd())
                return false;
            if (found->hidden)
                return *found->hidden;
            id = found->basedOn;
        }
        return false;
    }

private:
    QHash<QString, WordStyle> m_styles;
};

// Text of the element just started, as one line (a note's paragraphs, a text box).
QString wordInlineText(XmlStream &stream)
{
    QString text;
    bool inText = false;
    stream.walkElement([&](Token token, int) {
        const QXmlStreamReader &reader = stream.reader();
        if (token == Token::EndElement)
            inText = false;
        if (token == Token::Characters && inText)
            text += reader.text();
        if (token != Token::StartElement)
            return false;
        const QStringView name = reader.name();
        if ((reader.namespaceUri() == WordNs &&
             (name == u"del" || name == u"moveFrom" || name == u"instrText" || name == u"delText")) ||
            (reader.namespaceUri() == CompatibilityNs && name == u"Fallback")) {
            stream.skipElement();
            return true;
        }
        if (name == u"t")
            inText = true;
        else if (name == u"tab" || name == u"br" || name == u"cr" || name == u"p")
            text += u' ';
        return false;
    });
    return collapsedText(text);
}

// The notes of footnotes.xml or endnotes.xml by id, each as one line.
QHash<QString, QString> readNotes(ZipArchive &archive, const QString &part)
{
    QHash<QString, QString> notes;
    const std::optional<QByteArray> xml = archive.read(part, nullptr);
    if (!xml)
        return notes;
    XmlStream stream(*xml);
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
         token = stream.next()) {
        const QXmlStreamReader &reader = stream.reader();
        if (token != Token::StartElement || reader.namespaceUri() != WordNs ||
            (reader.name() != u"footnote" && reader.name() != u"endnote"))
            continue;
        const QString id = reader.attributes().value(WordNs, QLatin1String("id")).toString();
        // Separator "notes" only draw the line above the notes.
        const bool separator = !reader.attributes().value(WordNs, QLatin1String("type")).isEmpty() &&
                               reader.attributes().value(WordNs, QLatin1String("type")) != u"normal";
        const QString text = wordInlineText(stream);
        if (!separator)
            notes.insert(id, text);
    }
    return notes;
}

class WordWalker
{
public:
    WordWalker(XmlStream &stream, DocumentBuilder &builder, const WordStyles &styles,
               const QHash<QString, QString> &footnotes, const QHash<QString, QString> &endnotes)
        : m_stream(stream), m_builder(builder), m_styles(styles), m_footnotes(footnotes), m_endnotes(endnotes)
    {}

    void start()
    {
        const QXmlStreamReader &reader = m_stream.reader();
        const QStringView name = reader.name();
        if (reader.namespaceUri() == CompatibilityNs) {
            if (name == u"Fallback")
                m_stream.skipElement();
            return;
        }
        if (reader.namespaceUri() != WordNs)
            return;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (name == u"del" || name == u"moveFrom" || name == u"instrText" || name == u"delText" ||
            name == u"sectPr" || name == u"tblPr" || name == u"tblGrid" || name == u"trPr" ||
            name == u"tcPr" || name == u"sdtPr" || name == u"comments") {
            m_stream.skipElement();
        } else if (name == u"p") {
            if (m_paragraphDepth++ == 0) {
                m_builder.endParagraph();
                m_headingLevel = 0;
                m_paragraphStyle.clear();
            }
        } else if (name == u"pPr") {
            readParagraphProperties();
        } else if (name == u"r") {
            m_runHidden = m_styles.hidden(m_paragraphStyle);
        } else if (name == u"rPr") {
            readRunProperties();
        } else if (name == u"t") {
            m_inText = true;
        } else if (name == u"tab") {
            append(u"\t");
        } else if (name == u"br" || name == u"cr") {
            const QStringView type = attributes.value(WordNs, QLatin1String("type"));
            if (type != u"page" && type != u"column" && !m_runHidden) {
                if (m_headingLevel > 0)
                    m_heading += u' ';
                else
                    m_builder.lineBreak();
            }
        } else if (name == u"noBreakHyphen") {
            append(u"-");
        } else if (name == u"footnoteReference" || name == u"endnoteReference") {
            const bool foot = name == u"footnoteReference";
            const QString text = (foot ? m_footnotes : m_endnotes)
                                     .value(attributes.value(WordNs, QLatin1String("id")).toString());
            const int number = foot ? ++m_footnoteCount : ++m_endnoteCount;
            if (!m_runHidden && !text.isEmpty())
                m_builder.deferParagraph(QString::number(number) + u' ' + text);
        } else if (name == u"txbxContent" && m_paragraphDepth > 0) {
            // A text box anchored in the paragraph: its text follows the paragraph.
            const QString text = wordInlineText(m_stream);
            if (!m_runHidden)
                m_builder.deferParagraph(text);
        } else if (name == u"tbl") {
            m_builder.beginTable();
        }
    }

    void end()
    {
        const QXmlStreamReader &reader = m_stream.reader();
        if (reader.namespaceUri() != WordNs)
            return;
        const QStringView name = reader.name();
        if (name == u"t") {
            m_inText = false;
        } else if (name == u"r") {
            m_runHidden = false;
        } else if (name == u"p" && m_paragraphDepth > 0) {
            if (--m_paragraphDepth > 0)
                return;
            if (m_headingLevel > 0)
                m_builder.heading(m_heading, m_headingLevel);
            m_builder.endParagraph();
            m_headingLevel = 0;
        } else if (name == u"tc") {
            m_builder.endCell();
        } else if (name == u"tr") {
            m_builder.endRow();
        } else if (name == u"tbl") {
            m_builder.endTable();
        }
    }

    void text(QStringView characters)
    {
        if (m_inText)
            append(characters);
    }

private:
    void append(QStringView text)
    {
        if (m_runHidden || m_paragraphDepth == 0)
            return;
        if (m_headingLevel > 0)
            m_heading += text;
        else
            m_builder.appendText(text);
    }

    // w:pPr: the paragraph's style and outline level.
    void readParagraphProperties()
    {
        std::optional<int> outline;
        const bool whole = m_stream.walkElement([&](Token token, int depth) {
            const QXmlStreamReader &reader = m_stream.reader();
            if (token != Token::StartElement || reader.namespaceUri() != WordNs || depth != 1)
                return false;
            if (reader.name() == u"pStyle") {
                m_paragraphStyle = reader.attributes().value(WordNs, QLatin1String("val")).toString();
            } else if (reader.name() == u"outlineLvl") {
                bool ok = false;
                const int level = reader.attributes().value(WordNs, QLatin1String("val")).toInt(&ok);
                if (ok)
                    outline = level;
            }
            return false;
        });
        if (!whole || m_paragraphDepth != 1)
            return;
        m_headingLevel = outline ? (*outline >= 0 && *outline < 9 ? *outline + 1 : 0)
                                 : m_styles.headingLevel(m_paragraphStyle);
        m_heading.clear();
    }

    // w:rPr of a run: hidden directly or through its character style.
    void readRunProperties()
    {
        m_stream.walkElement([&](Token token, int depth) {
            const QXmlStreamReader &reader = m_stream.reader();
            if (token != Token::StartElement || reader.namespaceUri() != WordNs || depth != 1)
                return false;
            if (reader.name() == u"rStyle" &&
                m_styles.hidden(reader.attributes().value(WordNs, QLatin1String("val")).toString()))
                m_runHidden = true;
            else if (reader.name() == u"vanish" || reader.name() == u"specVanish")
                m_runHidden = isOn(reader.attributes());
            return false;
        });
    }

    XmlStream &m_stream;
    DocumentBuilder &m_builder;
    const WordStyles &m_styles;
    const QHash<QString, QString> &m_footnotes;
    const QHash<QString, QString> &m_endnotes;
    int m_paragraphDepth = 0;
    int m_headingLevel = 0;
    QString m_heading;
    QString m_paragraphStyle;
    bool m_runHidden = false;
    bool m_inText = false;
    int m_footnoteCount = 0;
    int m_endnoteCount = 0;
};

// The target of the first relationship of `type` in a relationships part, as a path inside
// the archive (relative targets are taken from `base`, the folder the part describes).
QString relationshipTarget(ZipArchive &archive, const QString &part, QStringView type, const QString &base)
{
    const std::optional<QByteArray> xml = archive.read(part, nullptr);
    if (!xml)
        return QString();
    XmlStream stream(*xml);
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
         token = stream.next()) {
        const QXmlStreamReader &reader = stream.reader();
        if (token != Token::StartElement || reader.name() != u"Relationship")
            continue;
        if (!reader.attributes().value(QLatin1String("Type")).endsWith(type))
            continue;
        const QString target = reader.attributes().value(QLatin1String("Target")).toString();
        return target.startsWith(u'/') ? target.mid(1) : base + target;
    }
    return QString();
}

} // namespace

QString readWordDocument(ZipArchive &archive, DocumentBuilder &builder)
{
    QString main = relationshipTarget(archive, QStringLiteral("_rels/.rels"), u"/officeDocument", QString());
    if (main.isEmpty() || !archive.contains(main))
        main = QStringLiteral("word/document.xml");
    const qsizetype slash = main.lastIndexOf(u'/');
    const QString folder = main.left(slash + 1);
    const QString relationships =
        folder + QStringLiteral("_rels/") + main.mid(slash + 1) + QStringLiteral(".rels");
    const auto partOf = [&](QStringView type, const QString &fallback) {
        const QString target = relationshipTarget(archive, relationships, type, folder);
        return target.isEmpty() ? folder + fallback : target;
    };

    WordStyles styles;
    if (const std::optional<QByteArray> xml =
            archive.read(partOf(u"/styles", QStringLiteral("styles.xml")), nullptr))
        styles.read(*xml);
    const QHash<QString, QString> footnotes =
        readNotes(archive, partOf(u"/footnotes", QStringLiteral("footnotes.xml")));
    const QHash<QString, QString> endnotes =
        readNotes(archive, partOf(u"/endnotes", QStringLiteral("endnotes.xml")));
    readProperties(archive, QStringLiteral("docProps/core.xml"), builder);

    return readBody(archive, main, builder, [&](XmlStream &stream) {
        return WordWalker(stream, builder, styles, footnotes, endnotes);
    });
}
