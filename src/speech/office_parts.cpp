#include "speech/office_parts.h"

#include "speech/document_builder.h"

namespace OfficeParts {

using Token = QXmlStreamReader::TokenType;

void readProperties(ZipArchive &archive, const QString &part, DocumentBuilder &builder)
{
    const std::optional<QByteArray> xml = archive.read(part, nullptr);
    if (!xml)
        return;
    XmlStream stream(*xml);
    QString creator, initialCreator;
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
         token = stream.next()) {
        if (token != Token::StartElement)
            continue;
        const QStringView name = stream.reader().name();
        if (name == u"title")
            builder.setTitle(stream.elementText());
        else if (name == u"creator")
            creator = stream.elementText();
        else if (name == u"initial-creator")
            initialCreator = stream.elementText();
    }
    builder.setAuthor(initialCreator.isEmpty() ? creator : initialCreator);
}

} // namespace OfficeParts
