#include "speech/xml_stream.h"

XmlStream::XmlStream(Source source) : m_source(std::move(source)) {}

XmlStream::XmlStream(const QByteArray &whole) : m_sourceEnded(true)
{
    m_reader.addData(whole);
}

QXmlStreamReader::TokenType XmlStream::next()
{
    for (;;) {
        const QXmlStreamReader::TokenType token = m_reader.readNext();
        if (token != QXmlStreamReader::Invalid ||
            m_reader.error() != QXmlStreamReader::PrematureEndOfDocumentError || m_sourceEnded)
            return token;
        QByteArray piece;
        if (!m_source || !m_source(piece))
            m_sourceEnded = true;
        if (!piece.isEmpty())
            m_reader.addData(piece);
    }
}

void XmlStream::skipElement()
{
    walkElement([](QXmlStreamReader::TokenType, int) { return false; });
}

QString XmlStream::elementText()
{
    QString text;
    walkElement([&](QXmlStreamReader::TokenType token, int) {
        if (token == QXmlStreamReader::Characters)
            text += m_reader.text();
        return false;
    });
    return text;
}

QString attributeValue(const QXmlStreamAttributes &attributes, QStringView name)
{
    for (const QXmlStreamAttribute &attribute : attributes)
        if (attribute.name() == name)
            return attribute.value().toString();
    return QString();
}
