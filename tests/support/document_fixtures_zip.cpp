#include "support/document_fixtures.h"

#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

// The zip-based kinds: EPUB, ODT and DOCX.

namespace Fixture {

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QByteArray xmlHead()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
}

} // namespace

QByteArray zipArchive(const QList<QPair<QString, QByteArray>> &entries)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("archive.zip"));
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return QByteArray();
    for (int i = 0; i < entries.size(); ++i) {
        const QByteArray &content = entries[i].second;
        zip_source_t *source =
            zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        const zip_int64_t index =
            zip_file_add(archive, entries[i].first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            continue;
        }
        if (i == 0)
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    // The buffers must live until the archive is written.
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return QByteArray();
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray writeEpub(const Book &book, int version)
{
    // Chapter files: one per level-1 heading, in "OEBPS/text/"; sections get ids.
    QList<QByteArray> chapters;
    QString body;
    int section = 0;
    bool inList = false, inTable = false;
    const auto closeGroups = [&] {
        if (inList)
            body += QStringLiteral("</ul>\n");
        if (inTable)
            body += QStringLiteral("</table>\n");
        inList = inTable = false;
    };
    const auto finishChapter = [&] {
        closeGroups();
        if (body.isEmpty())
            return;
        chapters.append(
            xmlHead() +
            "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
            "xmlns:epub=\"http://www.idpf.org/2007/ops\">\n<head><title>Chapter</title>"
            "<style>p { color: black } .x:before { content: 'Styleword' }</style></head>\n<body>\n" +
            body.toUtf8() + "<script>document.write('Scriptword')</script>\n</body></html>\n");
        body.clear();
    };
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::ListItem && inList) {
            body += QStringLiteral("</ul>\n");
            inList = false;
        }
        if (block.kind != Block::Kind::TableRow && inTable) {
            body += QStringLiteral("</table>\n");
            inTable = false;
        }
        switch (block.kind) {
        case Block::Kind::Heading:
            if (block.level == 1) {
                finishChapter();
                body += QStringLiteral("<h1>%1</h1>\n").arg(escaped(block.text));
            } else {
                body += QStringLiteral("<h%1 id=\"s%2\">%3</h%1>\n")
                            .arg(block.level)
                            .arg(++section)
                            .arg(escaped(block.text));
            }
            break;
        case Block::Kind::Paragraph:
            body += QStringLiteral("<p>%1</p>\n").arg(escaped(block.text));
            break;
        case Block::Kind::ListItem:
            if (!inList)
                body += QStringLiteral("<ul>\n");
            inList = true;
            body += QStringLiteral("<li>%1</li>\n").arg(escaped(block.text));
            break;
        case Block::Kind::TableRow:
            if (!inTable)
                body += QStringLiteral("<table>\n");
            inTable = true;
            body += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                        .arg(escaped(block.cells.value(0)), escaped(block.cells.value(1)));
            break;
        }
        if (!block.footnote.isEmpty())
            body += QStringLiteral("<p>1 %1</p>\n").arg(escaped(block.footnote));
    }
    finishChapter();

    // The table of contents: chapters point at their files, sections at their ids.
    struct Entry
    {
        QString title, href;
        int level;
    };
    QList<Entry> toc;
    int chapter = 0;
    section = 0;
    for (const Block &block : book.blocks)
        if (block.kind == Block::Kind::Heading) {
            // File names with a blank, written percent-encoded in links as EPUBs do.
            if (block.level == 1)
                toc.append({block.text,
                            QStringLiteral("text/chapter%20") + QString::number(++chapter) +
                                QStringLiteral(".xhtml"),
                            1});
            else
                toc.append({block.text,
                            QStringLiteral("text/chapter%20") + QString::number(chapter) +
                                QStringLiteral(".xhtml#s") + QString::number(++section),
                            block.level});
        }

    QList<QPair<QString, QByteArray>> entries = {
        {QStringLiteral("mimetype"), "application/epub+zip"},
        {QStringLiteral("META-INF/container.xml"),
         xmlHead() + "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
                     "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
                     "media-type=\"application/oebps-package+xml\"/></rootfiles></container>\n"},
    };
    QByteArray manifest, spine;
    for (int i = 0; i < chapters.size(); ++i) {
        manifest += "<item id=\"c" + QByteArray::number(i + 1) + "\" href=\"text/chapter%20" +
                    QByteArray::number(i + 1) + ".xhtml\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "<itemref idref=\"c" + QByteArray::number(i + 1) + "\"/>\n";
        entries.append(
            {QStringLiteral("OEBPS/text/chapter ") + QString::number(i + 1) + QStringLiteral(".xhtml"),
             chapters[i]});
    }
    // A part outside the reading order, which the reader must not read.
    manifest += "<item id=\"extra\" href=\"extra.xhtml\" media-type=\"application/xhtml+xml\"/>\n";
    spine += "<itemref idref=\"extra\" linear=\"no\"/>\n";
    entries.append(
        {QStringLiteral("OEBPS/extra.xhtml"),
         xmlHead() +
             "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Nonlinearword</p></body></html>"});

    QByteArray tocXml;
    if (version >= 3) {
        QString list = QStringLiteral("<ol>");
        int open = 1;
        for (int i = 0; i < toc.size(); ++i) {
            list += QStringLiteral("<li><a href=\"%1\">%2</a>").arg(toc[i].href, escaped(toc[i].title));
            const int next = i + 1 < toc.size() ? toc[i + 1].level : 1;
            if (next > toc[i].level) {
                list += QStringLiteral("<ol>");
                ++open;
            } else {
                list += QStringLiteral("</li>");
                for (int l = toc[i].level; l > next; --l, --open)
                    list += QStringLiteral("</ol></li>");
            }
        }
        list += QStringLiteral("</ol>");
        tocXml = xmlHead() +
                 "<html xmlns=\"http://www.w3.org/1999/xhtml\" "
                 "xmlns:epub=\"http://www.idpf.org/2007/ops\"><head><title>Contents</title></head>"
                 "<body><nav epub:type=\"landmarks\"><ol><li><a "
                 "href=\"text/chapter%201.xhtml\">Navword</a></li></ol></nav>"
                 "<nav epub:type=\"toc\"><h1>Contents</h1>" +
                 list.toUtf8() + "</nav></body></html>\n";
        manifest +=
            "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n";
        entries.append({QStringLiteral("OEBPS/nav.xhtml"), tocXml});
    } else {
        QString points;
        int order = 0;
        for (int i = 0; i < toc.size(); ++i) {
            points +=
                QStringLiteral("<navPoint id=\"p%1\" playOrder=\"%1\"><navLabel><text>%2</text></navLabel>"
                               "<content src=\"%3\"/>")
                    .arg(++order)
                    .arg(escaped(toc[i].title), toc[i].href);
            const int next = i + 1 < toc.size() ? toc[i + 1].level : 1;
            if (next <= toc[i].level)
                for (int l = toc[i].level; l >= next; --l)
                    points += QStringLiteral("</navPoint>");
        }
        tocXml = xmlHead() +
                 "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\"><head/>"
                 "<docTitle><text>T</text></docTitle><navMap>" +
                 points.toUtf8() + "</navMap></ncx>\n";
        manifest += "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n";
        entries.append({QStringLiteral("OEBPS/toc.ncx"), tocXml});
    }
    const QByteArray opf =
        xmlHead() + "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"" +
        QByteArray(version >= 3 ? "3.0" : "2.0") +
        "\" unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
        "<dc:identifier id=\"id\">x</dc:identifier><dc:title>" +
        escaped(book.title).toUtf8() + "</dc:title><dc:creator>" + escaped(book.author).toUtf8() +
        "</dc:creator><dc:language>en</dc:language></metadata><manifest>\n" + manifest + "</manifest><spine" +
        QByteArray(version >= 3 ? "" : " toc=\"ncx\"") + ">\n" + spine + "</spine></package>\n";
    entries.insert(2, {QStringLiteral("OEBPS/content.opf"), opf});
    return zipArchive(entries);
}

QByteArray writeOdt(const Book &book)
{
    QString body;
    bool inList = false, inTable = false, tracked = false;
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::ListItem && inList) {
            body += QStringLiteral("</text:list>");
            inList = false;
        }
        if (block.kind != Block::Kind::TableRow && inTable) {
            body += QStringLiteral("</table:table>");
            inTable = false;
        }
        switch (block.kind) {
        case Block::Kind::Heading:
            body += QStringLiteral("<text:h text:outline-level=\"%1\">%2</text:h>")
                        .arg(block.level)
                        .arg(escaped(block.text));
            break;
        case Block::Kind::Paragraph: {
            // Extra blanks collapse; a hidden span, a comment and a note are not part of the line.
            QString text = escaped(block.text);
            text.replace(QStringLiteral(". "), QStringLiteral(".  "));
            body += QStringLiteral("<text:p>%1<text:span text:style-name=\"T1\">Hiddenword</text:span>"
                                   "<office:annotation><text:p>Commentword</text:p></office:annotation>")
                        .arg(text);
            if (!block.footnote.isEmpty())
                body +=
                    QStringLiteral(
                        "<text:note text:note-class=\"footnote\"><text:note-citation>1</text:note-citation>"
                        "<text:note-body><text:p>%1</text:p></text:note-body></text:note>")
                        .arg(escaped(block.footnote));
            // The place of a deletion the author made with changes tracked (the first paragraph).
            if (!tracked) {
                body += QStringLiteral("<text:change text:change-id=\"ct1\"/>");
                tracked = true;
            }
            body += QStringLiteral("</text:p>");
            break;
        }
        case Block::Kind::ListItem:
            if (!inList)
                body += QStringLiteral("<text:list>");
            inList = true;
            body += QStringLiteral("<text:list-item><text:p>%1</text:p></text:list-item>")
                        .arg(escaped(block.text));
            break;
        case Block::Kind::TableRow:
            if (!inTable)
                body +=
                    QStringLiteral("<table:table><table:table-column table:number-columns-repeated=\"2\"/>");
            inTable = true;
            body += QStringLiteral("<table:table-row>");
            for (const QString &cell : block.cells)
                body += QStringLiteral("<table:table-cell><text:p>%1</text:p></table:table-cell>")
                            .arg(escaped(cell));
            body += QStringLiteral("</table:table-row>");
            break;
        }
    }
    if (inList)
        body += QStringLiteral("</text:list>");
    if (inTable)
        body += QStringLiteral("</table:table>");

    const QByteArray namespaces =
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" office:version=\"1.3\"";
    const QByteArray content =
        xmlHead() + "<office:document-content " + namespaces +
        "><office:automatic-styles><style:style style:name=\"T1\" style:family=\"text\">"
        "<style:text-properties text:display=\"none\"/></style:style></office:automatic-styles>"
        "<office:body><office:text><text:tracked-changes><text:changed-region text:id=\"ct1\"><text:deletion>"
        "<office:change-info><dc:creator>Ada Quill</dc:creator><dc:date>2024-01-02T03:04:05</dc:date>"
        "</office:change-info><text:p>Deletedword</text:p></text:deletion></text:changed-region></"
        "text:tracked-changes>" +
        body.toUtf8() + "</office:text></office:body></office:document-content>\n";
    const QByteArray meta = xmlHead() + "<office:document-meta " + namespaces + "><office:meta><dc:title>" +
                            escaped(book.title).toUtf8() + "</dc:title><meta:initial-creator>" +
                            escaped(book.author).toUtf8() +
                            "</meta:initial-creator></office:meta></office:document-meta>\n";
    const QByteArray styles =
        xmlHead() + "<office:document-styles " + namespaces + "><office:styles/></office:document-styles>\n";
    const QByteArray manifest =
        xmlHead() +
        "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
        "manifest:version=\"1.3\"><manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.3\" "
        "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
        "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
        "<manifest:file-entry manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>"
        "<manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>"
        "</manifest:manifest>\n";
    return zipArchive({{QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.text"},
                       {QStringLiteral("META-INF/manifest.xml"), manifest},
                       {QStringLiteral("meta.xml"), meta},
                       {QStringLiteral("styles.xml"), styles},
                       {QStringLiteral("content.xml"), content}});
}

QByteArray writeDocx(const Book &book)
{
    const auto run = [](const QString &text) {
        return QStringLiteral("<w:r><w:t xml:space=\"preserve\">%1</w:t></w:r>").arg(escaped(text));
    };
    QString body;
    bool inTable = false;
    for (const Block &block : book.blocks) {
        if (block.kind != Block::Kind::TableRow && inTable) {
            body += QStringLiteral("</w:tbl>");
            inTable = false;
        }
        switch (block.kind) {
        case Block::Kind::Heading:
            body += QStringLiteral("<w:p><w:pPr><w:pStyle w:val=\"Heading%1\"/></w:pPr>%2</w:p>")
                        .arg(block.level)
                        .arg(run(block.text));
            break;
        case Block::Kind::Paragraph: {
            // The text in two runs, a tracked deletion and a hidden run between them.
            qsizetype half = block.text.indexOf(u' ', block.text.size() / 2);
            if (half < 0)
                half = block.text.size();
            body +=
                QStringLiteral("<w:p>") + run(block.text.left(half)) +
                QStringLiteral(
                    "<w:del w:id=\"9\" w:author=\"x\"><w:r><w:delText>Deletedword</w:delText></w:r></w:del>"
                    "<w:r><w:rPr><w:vanish/></w:rPr><w:t>Hiddenword</w:t></w:r>") +
                run(block.text.mid(half));
            if (!block.footnote.isEmpty())
                body += QStringLiteral("<w:r><w:rPr><w:rStyle w:val=\"FootnoteReference\"/></w:rPr>"
                                       "<w:footnoteReference w:id=\"2\"/></w:r>");
            body += QStringLiteral("</w:p>");
            break;
        }
        case Block::Kind::ListItem:
            body +=
                QStringLiteral("<w:p><w:pPr><w:pStyle w:val=\"ListParagraph\"/><w:numPr><w:ilvl w:val=\"0\"/>"
                               "<w:numId w:val=\"1\"/></w:numPr></w:pPr>%1</w:p>")
                    .arg(run(block.text));
            break;
        case Block::Kind::TableRow:
            if (!inTable)
                body += QStringLiteral("<w:tbl><w:tblPr/><w:tblGrid><w:gridCol/><w:gridCol/></w:tblGrid>");
            inTable = true;
            body += QStringLiteral("<w:tr>");
            for (const QString &cell : block.cells)
                body += QStringLiteral("<w:tc><w:tcPr/><w:p>%1</w:p></w:tc>").arg(run(cell));
            body += QStringLiteral("</w:tr>");
            break;
        }
    }
    if (inTable)
        body += QStringLiteral("</w:tbl>");
    QString footnote;
    for (const Block &block : book.blocks)
        if (!block.footnote.isEmpty())
            footnote = block.footnote;

    const QByteArray w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    const QByteArray document =
        xmlHead() + "<w:document " + w + "><w:body>" + body.toUtf8() +
        "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:body></w:document>\n";
    QByteArray styles = xmlHead() + "<w:styles " + w + ">";
    for (int level = 1; level <= 2; ++level)
        styles += "<w:style w:type=\"paragraph\" w:styleId=\"Heading" + QByteArray::number(level) +
                  "\"><w:name w:val=\"heading " + QByteArray::number(level) +
                  "\"/><w:basedOn w:val=\"Normal\"/><w:pPr><w:outlineLvl w:val=\"" +
                  QByteArray::number(level - 1) + "\"/></w:pPr></w:style>";
    styles += "<w:style w:type=\"paragraph\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>"
              "<w:style w:type=\"paragraph\" w:styleId=\"ListParagraph\"><w:name w:val=\"List Paragraph\"/>"
              "<w:basedOn w:val=\"Normal\"/></w:style></w:styles>\n";
    const QByteArray footnotes =
        xmlHead() + "<w:footnotes " + w +
        "><w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>"
        "<w:footnote w:type=\"continuationSeparator\" "
        "w:id=\"0\"><w:p><w:r><w:continuationSeparator/></w:r></w:p></w:footnote>"
        "<w:footnote w:id=\"2\"><w:p><w:r><w:footnoteRef/></w:r><w:r><w:t xml:space=\"preserve\"> " +
        escaped(footnote).toUtf8() + "</w:t></w:r></w:p></w:footnote></w:footnotes>\n";
    const QByteArray relationships =
        xmlHead() + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                    "officeDocument\" Target=\"word/document.xml\"/>"
                    "<Relationship Id=\"rId2\" "
                    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
                    "core-properties\" Target=\"docProps/core.xml\"/>"
                    "</Relationships>\n";
    const QByteArray documentRelationships =
        xmlHead() + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
                    "Target=\"styles.xml\"/>"
                    "<Relationship Id=\"rId2\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes\" "
                    "Target=\"footnotes.xml\"/>"
                    "</Relationships>\n";
    const QByteArray contentTypes =
        xmlHead() +
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "</Types>\n";
    const QByteArray core =
        xmlHead() +
        "<cp:coreProperties "
        "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>" +
        escaped(book.title).toUtf8() + "</dc:title><dc:creator>" + escaped(book.author).toUtf8() +
        "</dc:creator></cp:coreProperties>\n";
    return zipArchive({{QStringLiteral("[Content_Types].xml"), contentTypes},
                       {QStringLiteral("_rels/.rels"), relationships},
                       {QStringLiteral("word/_rels/document.xml.rels"), documentRelationships},
                       {QStringLiteral("word/document.xml"), document},
                       {QStringLiteral("word/styles.xml"), styles},
                       {QStringLiteral("word/footnotes.xml"), footnotes},
                       {QStringLiteral("docProps/core.xml"), core}});
}

} // namespace Fixture
