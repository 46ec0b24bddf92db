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
