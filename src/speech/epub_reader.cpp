#include "speech/epub_reader.h"

#include "speech/document_builder.h"
#include "speech/markup_reader.h"
#include "speech/xml_stream.h"
#include "speech/zip_archive.h"

#include <QHash>
#include <QUrl>

#include <vector>

namespace {

using Token = QXmlStreamReader::TokenType;

// Table of contents entries deeper than this are left out.
constexpr int DeepestChapter = 6;

struct ManifestItem
{
    QString path;
    QString mediaType;
    QString properties;
};

struct Package
{
    QString title;
    QString author;
    QHash<QString, ManifestItem> manifest; // by id
    QStringList spine;                     // paths of the linear spine items, in reading order
    QString navigationPath;                // EPUB 3 navigation document
    QString ncxPath;                       // EPUB 2 table of contents
};

struct TocEntry
{
    QString title;
    QString path;
    QString fragment;
    int level = 1;
};

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString fragmentOf(const QString &href)
{
    const qsizetype hash = href.indexOf(u'#');
    return hash < 0 ? QString() : QUrl::fromPercentEncoding(href.mid(hash + 1).toUtf8());
}

QString rootFilePath(ZipArchive &archive, QString *error)
{
    const std::optional<QByteArray> xml = archive.read(QStringLiteral("META-INF/container.xml"), error);
    if (!xml)
        return QString();
    XmlStream stream(*xml);
    QString first;
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
         token = stream.next()) {
        if (token != Token::StartElement || stream.reader().name() != u"rootfile")
            continue;
        const QString path = attributeValue(stream.reader().attributes(), u"full-path");
        const QString type = attributeValue(stream.reader().attributes(), u"media-type");
        if (type == u"application/oebps-package+xml")
            return path;
        if (first.isEmpty())
            first = path;
    }
    if (first.isEmpty() && error)
        *error = QStringLiteral("The book is damaged: it does not say where its contents are.");
    return first;
}

Package readPackage(const QByteArray &xml, const QString &packagePath)
{
    Package package;
    const QString folder = folderOf(packagePath);
    XmlStream stream(xml);
    QString tocId;
    QStringList spineIds;
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
         token = stream.next()) {
        if (token != Token::StartElement)
            continue;
        const QXmlStreamReader &reader = stream.reader();
        const QStringView name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (name == u"title" && package.title.isEmpty()) {
            package.title = stream.elementText();
        } else if (name == u"creator" && package.author.isEmpty()) {
            package.author = stream.elementText();
        } else if (name == u"item") {
            ManifestItem item;
            item.path = epubPath(folder, attributeValue(attributes, u"href"));
            item.mediaType = attributeValue(attributes, u"media-type");
            item.properties = attributeValue(attributes, u"properties");
            const QString id = attributeValue(attributes, u"id");
            if (item.properties.split(u' ').contains(QStringLiteral("nav")))
                package.navigationPath = item.path;
            package.manifest.insert(id, item);
        } else if (name == u"spine") {
            tocId = attributeValue(attributes, u"toc");
        } else if (name == u"itemref") {
            if (attributeValue(attributes, u"linear") != u"no")
                spineIds.append(attributeValue(attributes, u"idref"));
        }
    }
    for (const QString &id : spineIds) {
        const auto item = package.manifest.constFind(id);
        if (item == package.manifest.constEnd())
            continue;
        const bool xhtml = item->mediaType.contains(u"html") ||
                           item->path.endsWith(u".xhtml", Qt::CaseInsensitive) ||
                           item->path.endsWith(u".html", Qt::CaseInsensitive) ||
                           item->path.endsWith(u".htm", Qt::CaseInsensitive);
        if (xhtml)
            package.spine.append(item->path);
    }
    if (const auto ncx = package.manifest.constFind(tocId); ncx != package.manifest.constEnd())
        package.ncxPath = ncx->path;
    else
        for (const ManifestItem &item : std::as_const(package.manifest))
            if (item.mediaType == u"application/x-dtbncx+xml")
                package.ncxPath = item.path;
    return package;
}

// The EPUB 3 navigation document's table of contents: the <nav> typed "toc" (else the first
// <nav>), its nested lists of links.
std::vector<TocEntry> readNavigation(const QByteArray &xml, const QString &path)
{
    std::vector<TocEntry> entries;
    const QString folder = folderOf(path);
    XmlStream stream(xml);
    int navDepth = 0;  // element depth inside the chosen <nav>
    int listDepth = 0; // nesting of <ol> inside it
    bool done = false;
    bool inLink = false;
    TocEntry link;
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid && !done;
         token = stream.next()) {
        const QXmlStreamReader &reader = stream.reader();
        if (token == Token::StartElement) {
            const QStringView name = reader.name();
            if (navDepth == 0) {
                if (name != u"nav")
                    continue;
                const QString type = attributeValue(reader.attributes(), u"type");
                if (!type.isEmpty() && !type.split(u' ').contains(QStringLiteral("toc")))
                    continue;
                navDepth = 1;
                continue;
            }
            ++navDepth;
            if (name == u"ol") {
                ++listDepth;
            } else if ((name == u"a" || name == u"span") && !inLink) {
                inLink = true;
                link = TocEntry();
                link.level = std::max(1, listDepth);
                const QString href = attributeValue(reader.attributes(), u"href");
                link.path = href.isEmpty() ? QString() : epubPath(folder, href);
                link.fragment = fragmentOf(href);
            }
        } else if (token == Token::EndElement && navDepth > 0) {
            const QStringView name = reader.name();
            if (--navDepth == 0)
                done = true;
            if (name == u"ol")
                --listDepth;
            else if ((name == u"a" || name == u"span") && inLink) {
                inLink = false;
                link.title = collapsedText(link.title);
                if (!link.path.isEmpty() && link.level <= DeepestChapter)
                    entries.push_back(link);
            }
        } else if (token == Token::Characters && inLink) {
            link.title += reader.text();
        }
    }
    return entries;
}

// The EPUB 2 NCX's navigation map: nested navPoints, each with a label and a content source.
std::vector<TocEntry> readNcx(const QByteArray &xml, const QString &path)
{
    std::vector<TocEntry> entries;
    const QString folder = folderOf(path);
    XmlStream stream(xml);
    int level = 0;
    bool inMap = false;
    // A navPoint's label comes before its content element; both make one entry.
    std::vector<TocEntry> open;
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
         token = stream.next()) {
        const QXmlStreamReader &reader = stream.reader();
        const QStringView name = reader.name();
        if (token == Token::StartElement) {
            if (name == u"navMap") {
                inMap = true;
            } else if (inMap && name == u"navPoint") {
                ++level;
                open.push_back(TocEntry());
                open.back().level = level;
            } else if (inMap && name == u"text" && !open.empty() && open.back().title.isEmpty()) {
                open.back().title = collapsedText(stream.elementText());
            } else if (inMap && name == u"content" && !open.empty()) {
                const QString href = attributeValue(reader.attributes(), u"src");
                open.back().path = epubPath(folder, href);
                open.back().fragment = fragmentOf(href);
                if (level <= DeepestChapter)
                    entries.push_back(open.back());
            }
        } else if (token == Token::EndElement) {
            if (name == u"navMap") {
                inMap = false;
            } else if (inMap && name == u"navPoint" && !open.empty()) {
                open.pop_back();
                --level;
            }
        }
    }
    return entries;
}

// Parts the book encrypts with a real cipher (fonts are only obfuscated, and never read here).
QStringList encryptedParts(ZipArchive &archive)
{
    QStringList parts;
    const std::optional<QByteArray> xml = archive.read(QStringLiteral("META-INF/encryption.xml"), nullptr);
    if (!xml)
        return parts;
    XmlStream stream(*xml);
    QString algorithm;
    for (Token token = stream.next(); token != Token::EndDocument && token != Token::Invalid;
         token = stream.next()) {
        if (token != Token::StartElement)
            continue;
        const QXmlStreamReader &reader = stream.reader();
        if (reader.name() == u"EncryptionMethod")
            algorithm = attributeValue(reader.attributes(), u"Algorithm");
        else if (reader.name() == u"CipherReference" && !algorithm.contains(u"embedding") &&
                 !algorithm.contains(u"pdf/enc#RC"))
            parts.append(epubPath(QString(), attributeValue(reader.attributes(), u"URI")));
    }
    return parts;
}

} // namespace

QString epubPath(const QString &folder, const QString &href)
{
    QString relative = href.left(href.indexOf(u'#') < 0 ? href.size() : href.indexOf(u'#'));
    relative = QUrl::fromPercentEncoding(relative.toUtf8());
    const QString joined = relative.startsWith(u'/') ? relative.mid(1) : folder + relative;
    QStringList parts;
    for (const QString &part : joined.split(u'/')) {
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return parts.join(u'/');
}

QString readEpub(ZipArchive &archive, DocumentBuilder &builder)
{
    QString error;
    const QString packagePath = rootFilePath(archive, &error);
    if (packagePath.isEmpty())
        return error;
    const std::optional<QByteArray> packageXml = archive.read(packagePath, &error);
    if (!packageXml)
        return error;
    const Package package = readPackage(*packageXml, packagePath);
    builder.setTitle(package.title);
    builder.setAuthor(package.author);
    if (package.spine.isEmpty())
        return QStringLiteral("The book is damaged: it lists no chapters to read.");
    const QStringList encrypted = encryptedParts(archive);
    for (const QString &chapter : package.spine)
        if (encrypted.contains(chapter))
            return QStringLiteral("This book is locked by copy protection (DRM); Parlanto cannot read it.");

    std::vector<TocEntry> contents;
    if (!package.navigationPath.isEmpty())
        if (const auto xml = archive.read(package.navigationPath, nullptr))
            contents = readNavigation(*xml, package.navigationPath);
    if (contents.empty() && !package.ncxPath.isEmpty())
        if (const auto xml = archive.read(package.ncxPath, nullptr))
            contents = readNcx(*xml, package.ncxPath);

    // Text the book's style sheets hide by class (as LibreOffice writes hidden text).
    QSet<QString> hiddenClasses;
    constexpr qsizetype LargestStyleSheet = 1024 * 1024;
    for (const ManifestItem &item : std::as_const(package.manifest))
        if (item.mediaType == u"text/css")
            if (const auto css = archive.read(item.path, nullptr); css && css->size() <= LargestStyleSheet)
                hiddenClasses.unite(hiddenClassesOf(QString::fromUtf8(*css)));

    for (qsizetype index = 0; index < package.spine.size() && !builder.full(); ++index) {
        if (builder.cancelled())
            return QString();
        const QString &path = package.spine.at(index);
        const std::optional<QByteArray> chapter = archive.read(path, &error);
        if (!chapter) {
            if (error.contains(u"too large"))
                return error;
            continue; // a chapter missing from a damaged book: read the rest
        }
        // Entries that point at the chapter itself begin it; those that point into it begin
        // where the element with that id begins.
        QHash<QString, std::vector<const TocEntry *>> byId;
        for (const TocEntry &entry : contents) {
            if (entry.path != path)
                continue;
            if (entry.fragment.isEmpty())
                builder.markChapter(entry.title, entry.level);
            else
                byId[entry.fragment].push_back(&entry);
        }
        XhtmlReading how;
        how.headingsAsChapters = contents.empty();
        how.skipNavigation = false;
        how.takeInformation = false;
        how.hiddenClasses = hiddenClasses;
        how.anchor = [&](const QString &id) {
            const auto found = byId.find(id);
            if (found == byId.end())
                return;
            for (const TocEntry *entry : found.value())
                builder.markChapter(entry->title, entry->level);
            byId.erase(found);
        };
        if (!readXhtml(*chapter, builder, how))
            readHtml(*chapter, builder, how);
        builder.flush();
        builder.progress(int((index + 1) * 100 / package.spine.size()));
    }
    if (builder.size() == 0 && !builder.full() && !builder.cancelled())
        return QStringLiteral("This book holds no text to read (its pages may be pictures).");
    return QString();
}
