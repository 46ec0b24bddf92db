#pragma once

#include "speech/xml_stream.h"
#include "speech/zip_archive.h"

#include <memory>

class DocumentBuilder;

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

} // namespace OfficeParts
