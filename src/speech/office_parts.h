#pragma once

#include "speech/document_builder.h"
#include "speech/xml_stream.h"
#include "speech/zip_archive.h"

#include <memory>

// What the readers of ODT and DOCX share.
namespace OfficeParts {

// Styles are looked up through their parents no deeper than this (a loop in a damaged file
// ends here).
constexpr int DeepestStyleChain = 16;

// Metadata of both kinds names the title and author in Dublin Core (dc:title, dc:creator); ODF
// also has meta:initial-creator.
void readProperties(ZipArchive &archive, const QString &part, DocumentBuilder &builder);

// An XML part of the archive read piece by piece as it is parsed.
struct PartStream
{
    std::unique_ptr<ZipArchive::Entry> entry;
    XmlStream stream;
    explicit PartStream(std::unique_ptr<ZipArchive::Entry> opened)
        : entry(std::move(opened)), stream([this](QByteArray &piece) { return entry->readPiece(piece); })
    {}
};

// Reads the part that holds the document's text, read piece by piece: `makeWalker(stream)`
// makes the walker, whose start(), end() and text(QStringView) are handed each start tag, end
// tag and text in turn until the part ends or the builder is full or cancelled. Returns why the
// part could not be read, or an empty text (a damaged part after some text keeps that text).
template <typename MakeWalker>
QString readBody(ZipArchive &archive, const QString &part, DocumentBuilder &builder, MakeWalker &&makeWalker)
{
    QString error;
    std::unique_ptr<ZipArchive::Entry> entry = archive.openEntry(part, &error);
    if (!entry)
        return error;
    PartStream body(std::move(entry));
    auto walker = makeWalker(body.stream);
    bool wellFormed = true;
    for (bool more = true; more && !builder.full() && !builder.cancelled();) {
        switch (body.stream.next()) {
        case QXmlStreamReader::StartElement:
            walker.start();
            break;
        case QXmlStreamReader::EndElement:
            walker.end();
            break;
        case QXmlStreamReader::Characters:
            walker.text(body.stream.reader().text());
            break;
        case QXmlStreamReader::EndDocument:
            more = false;
            break;
        case QXmlStreamReader::Invalid:
            more = wellFormed = false;
            break;
        default:
            break;
        }
    }
    if (!body.entry->error().isEmpty())
        return body.entry->error();
    if (!wellFormed && builder.size() == 0)
        return QStringLiteral("The document is damaged: its text cannot be read.");
    return QString();
}

} // namespace OfficeParts
