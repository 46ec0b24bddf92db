#pragma once

#include <QByteArray>
#include <QXmlStreamReader>

#include <functional>

// A QXmlStreamReader fed from a source in pieces, so that a large part of a document is read
// without being held whole. No external entity or document type definition is ever loaded.
class XmlStream
{
public:
    // Appends the next piece of the XML to `piece`; false once there is no more.
    using Source = std::function<bool(QByteArray &piece)>;

    explicit XmlStream(Source source);
    explicit XmlStream(const QByteArray &whole);

    // The next token; EndDocument at the end, Invalid when the XML is not well-formed or the
    // source failed.
    QXmlStreamReader::TokenType next();
    // Walks what lies inside the element just started, up to its end tag: `visit(token, depth)`
    // sees every start tag, end tag and text within it, depth 1 being what sits directly in the
    // element. A visit of a start tag that reads that element whole (skipElement(), elementText(),
    // a walk of its own) returns true, so that the walk does not go down into it; what a visit
    // of anything else returns is not used. False when the document ends or breaks first.
    template <typename Visit> bool walkElement(Visit &&visit)
    {
        int depth = 1;
        for (;;) {
            switch (const QXmlStreamReader::TokenType token = next()) {
            case QXmlStreamReader::StartElement:
                if (!visit(token, depth))
                    ++depth;
                break;
            case QXmlStreamReader::EndElement:
                if (--depth == 0)
                    return true;
                visit(token, depth);
                break;
            case QXmlStreamReader::Characters:
                visit(token, depth);
                break;
            case QXmlStreamReader::EndDocument:
            case QXmlStreamReader::Invalid:
                return false;
            default:
                break;
            }
        }
    }
    // Skips to the end of the element just started, whatever it holds.
    void skipElement();
    // The text of the element just started, its child elements' text included.
    QString elementText();

    QXmlStreamReader &reader() { return m_reader; }
    // Whether the stream ended in an error rather than at the end of the document.
    bool failed() const { return m_reader.hasError(); }

private:
    QXmlStreamReader m_reader;
    Source m_source;
    bool m_sourceEnded = false;
};

// Namespace-blind helpers for documents whose prefixes vary: the value of the attribute whose
// local name is `name`, in any namespace.
QString attributeValue(const QXmlStreamAttributes &attributes, QStringView name);
