// test-links: parlanto_speech
#include "speech/document_reader.h"
#include "speech/reading_places.h"
#include "speech/zip_archive.h"
#include "support/document_fixtures.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString describe(const QList<ChapterMark> &chapters)
{
    QStringList lines;
    for (const ChapterMark &mark : chapters)
        lines << QStringLiteral("%1 @%2 L%3").arg(mark.title).arg(mark.offset).arg(mark.level);
    return lines.join(QStringLiteral("; "));
}

// Where two texts first differ, with some of each around it.
QString firstDifference(const QString &got, const QString &expected)
{
    qsizetype at = 0;
    while (at < got.size() && at < expected.size() && got.at(at) == expected.at(at))
        ++at;
    return QStringLiteral("at %1:\n got      \"%2\"\n expected \"%3\"")
        .arg(at)
        .arg(got.mid(std::max<qsizetype>(0, at - 30), 80), expected.mid(std::max<qsizetype>(0, at - 30), 80));
}

} // namespace

class TestDocuments : public QObject
{
    Q_OBJECT
    QTemporaryDir files;

private slots:
    void initTestCase() { QVERIFY(files.isValid()); }

    // ---- One table over the formats: the text that went in comes out, in order, with its
    // chapters, title and author, and none of the noise each kind carries.

    void formats_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("cellsAsBlanks");
        const Fixture::Book book = Fixture::sampleBook();
        QTest::newRow("PDF") << "book.pdf" << Fixture::writePdf(book) << true;
        QTest::newRow("EPUB 3") << "book.epub" << Fixture::writeEpub(book, 3) << false;
        QTest::newRow("EPUB 2") << "book.epub" << Fixture::writeEpub(book, 2) << false;
        QTest::newRow("ODT") << "book.odt" << Fixture::writeOdt(book) << false;
        QTest::newRow("DOCX") << "book.docx" << Fixture::writeDocx(book) << false;
        QTest::newRow("HTML") << "book.html" << Fixture::writeHtml(book) << false;
        QTest::newRow("Markdown") << "book.md" << Fixture::writeMarkdown(book) << false;
        // The content decides, not the name.
        QTest::newRow("PDF without a name") << "book" << Fixture::writePdf(book) << true;
        QTest::newRow("EPUB named .zip") << "book.zip" << Fixture::writeEpub(book, 3) << false;
    }

    void formats()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, cellsAsBlanks);
        QVERIFY(!bytes.isEmpty());
        const Fixture::Book book = Fixture::sampleBook();
        const QString path = files.filePath(name);
        QVERIFY(writeFile(path, bytes));

        const DocumentText document = readDocumentFile(path);
        QVERIFY2(document.ok, qPrintable(document.error));
        const QString expected = Fixture::expectedText(book, cellsAsBlanks);
        QVERIFY2(document.text == expected, qPrintable(firstDifference(document.text, expected)));
        const QList<ChapterMark> chapters = Fixture::expectedChapters(book, cellsAsBlanks);
        QVERIFY2(
            document.chapters == chapters,
            qPrintable(describe(document.chapters) + QStringLiteral("\n expected ") + describe(chapters)));
        QCOMPARE(document.title, book.title);
        QCOMPARE(document.author, book.author);
        for (const QString &noise : Fixture::noiseWords())
            QVERIFY2(!document.text.contains(noise), qPrintable(noise));

        // Read in pieces, as the main window reads it: the pieces make the same text.
        QString joined;
        int pieces = 0;
        DocumentFeed feed;
        feed.piece = [&](const QString &piece) {
            joined += piece;
            ++pieces;
        };
        const DocumentText fed = readDocumentFile(path, feed);
        QVERIFY(fed.ok);
        QVERIFY(fed.text.isEmpty());
        QCOMPARE(joined, expected);
        QCOMPARE(fed.chapters, document.chapters);
        QVERIFY(pieces >= 1);
    }

    // ---- Files that cannot be read give a reason, never an empty document.

    void unreadable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const Fixture::Book book = Fixture::sampleBook();
        Fixture::PdfOptions pictures;
        pictures.textLayer = false;
        QTest::newRow("PDF of pictures")
            << "scan.pdf" << Fixture::writePdf(book, pictures) << "has no text layer";
        const QByteArray pdf = Fixture::writePdf(book);
        QTest::newRow("PDF cut short") << "cut.pdf" << pdf.left(pdf.size() / 3) << "damaged";
        QTest::newRow("PDF name, other content") << "fake.pdf" << QByteArray("not a PDF at all") << "damaged";
        QTest::newRow("zip of pictures")
            << "photos.zip" << Fixture::zipArchive({{QStringLiteral("a.jpg"), QByteArray(10, 'x')}})
            << "zip archive";
        QTest::newRow("EPUB cut short") << "cut.epub" << Fixture::writeEpub(book, 3).left(200) << "damaged";
        QTest::newRow("spreadsheet") << "sheet.ods"
                                     << Fixture::zipArchive(
                                            {{QStringLiteral("mimetype"),
                                              "application/vnd.oasis.opendocument.spreadsheet"},
                                             {QStringLiteral("content.xml"), "<x/>"}})
                                     << "not a text document";
        QTest::newRow("EPUB under DRM")
            << "locked.epub"
            << Fixture::zipArchive(
                   {{QStringLiteral("mimetype"), "application/epub+zip"},
                    {QStringLiteral("META-INF/container.xml"),
                     "<container><rootfiles><rootfile full-path=\"c.opf\" "
                     "media-type=\"application/oebps-package+xml\"/></rootfiles></container>"},
                    {QStringLiteral("META-INF/encryption.xml"),
                     "<encryption><EncryptedData><EncryptionMethod "
                     "Algorithm=\"http://www.w3.org/2001/04/xmlenc#aes128-cbc\"/>"
                     "<CipherData><CipherReference "
                     "URI=\"a.xhtml\"/></CipherData></EncryptedData></encryption>"},
                    {QStringLiteral("c.opf"), "<package><manifest><item id=\"a\" href=\"a.xhtml\" "
                                              "media-type=\"application/xhtml+xml\"/></manifest>"
                                              "<spine><itemref idref=\"a\"/></spine></package>"},
                    {QStringLiteral("a.xhtml"), QByteArray(64, '\x9c')}})
            << "DRM";
        QTest::newRow("Word 97") << "old.doc"
                                 << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + QByteArray(600, '\0')
                                 << "old Word";
        const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
        if (!qpdf.isEmpty()) {
            const QString plain = files.filePath(QStringLiteral("open.pdf"));
            const QString locked = files.filePath(QStringLiteral("locked.pdf"));
            QFile out(plain);
            if (out.open(QIODevice::WriteOnly))
                out.write(pdf);
            out.close();
            QProcess::execute(qpdf,
                              {QStringLiteral("--encrypt"), QStringLiteral("secret"), QStringLiteral("owner"),
                               QStringLiteral("256"), QStringLiteral("--"), plain, locked});
            QFile in(locked);
            QTest::newRow("PDF with a password")
                << "locked.pdf" << (in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray()) << "password";
        }
    }

    void unreadable()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QVERIFY(!bytes.isEmpty());
        const QString path = files.filePath(name);
        QVERIFY(writeFile(path, bytes));
        const DocumentText document = readDocumentFile(path);
        QVERIFY(!document.ok);
        QVERIFY(document.text.isEmpty());
        QVERIFY2(document.error.contains(reason, Qt::CaseInsensitive), qPrintable(document.error));
        QVERIFY2(document.error.contains(name), qPrintable(document.error));
    }

    // Documents LibreOffice writes (when it is installed): ODT from the DOCX fixture, DOCX, PDF
    // and EPUB from the ODT fixture. Its ODT and DOCX read exactly as what went in; its PDF and
    // EPUB hold every paragraph in order (its PDF shows the footnote where the page has it), and
    // their outline and table of contents give the chapters.
    void libreOfficeFiles()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed");
        const Fixture::Book book = Fixture::sampleBook();
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("book.odt")), Fixture::writeOdt(book)));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("book.docx")), Fixture::writeDocx(book)));
        // One LibreOffice per format, each with a profile of its own, all at once.
        const QList<QPair<QString, QString>> conversions = {
            {QStringLiteral("odt"), QStringLiteral("book.docx")},
            {QStringLiteral("docx"), QStringLiteral("book.odt")},
            {QStringLiteral("pdf"), QStringLiteral("book.odt")},
            {QStringLiteral("epub"), QStringLiteral("book.odt")}};
        std::vector<std::unique_ptr<QProcess>> running;
        for (const auto &[format, source] : conversions) {
            auto process = std::make_unique<QProcess>();
            process->setWorkingDirectory(dir.path());
            process->start(soffice, {QStringLiteral("-env:UserInstallation=file://") +
                                         dir.filePath(format + QStringLiteral("-profile")),
                                     QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
                                     QStringLiteral("--outdir"), dir.filePath(format), source});
            running.push_back(std::move(process));
        }
        for (auto &process : running)
            QVERIFY2(process->waitForFinished(180000) && process->exitCode() == 0,
                     qPrintable(QString::fromLocal8Bit(process->readAllStandardError())));

        const QString expected = Fixture::expectedText(book);
        const QList<ChapterMark> chapters = Fixture::expectedChapters(book);
        for (const QString &format : {QStringLiteral("odt"), QStringLiteral("docx")}) {
            const DocumentText document =
                readDocumentFile(dir.filePath(format + QStringLiteral("/book.") + format));
            QVERIFY2(document.ok, qPrintable(document.error));
            QVERIFY2(document.text == expected,
                     qPrintable(format + u' ' + firstDifference(document.text, expected)));
            QVERIFY2(document.chapters == chapters, qPrintable(format + u' ' + describe(document.chapters)));
            QCOMPARE(document.title, book.title);
        }
        for (const QString &format : {QStringLiteral("pdf"), QStringLiteral("epub")}) {
            const DocumentText document =
                readDocumentFile(dir.filePath(format + QStringLiteral("/book.") + format));
            QVERIFY2(document.ok, qPrintable(document.error));
            // A PDF has no tables: its cells may come out as lines of their own.
            const QString read = document.text.simplified();
            qsizetype at = 0;
            for (const Fixture::Block &block : book.blocks) {
                const QString text =
                    block.kind == Fixture::Block::Kind::TableRow ? block.cells.join(u' ') : block.text;
                const qsizetype found = read.indexOf(text, at);
                QVERIFY2(found >= 0, qPrintable(format + QStringLiteral(": not in order: ") + text.left(60)));
                at = found + text.size();
            }
            for (const ChapterMark &chapter : chapters) {
                if (format == u"epub" && chapter.level > 1)
                    continue; // LibreOffice's table of contents lists one level
                const auto mark =
                    std::find_if(document.chapters.cbegin(), document.chapters.cend(),
                                 [&](const ChapterMark &m) { return m.title == chapter.title; });
                QVERIFY2(mark != document.chapters.cend(),
                         qPrintable(format + u' ' + describe(document.chapters)));
                QVERIFY2(document.text.mid(mark->offset).startsWith(chapter.title),
                         qPrintable(format + u' ' + document.text.mid(mark->offset, 40)));
            }
            QVERIFY(!document.text.contains(QStringLiteral("Hiddenword")));
            QVERIFY(!document.text.contains(QStringLiteral("Commentword")));
        }
    }

    // parlanto-cli reads through the same intake: the text, and the structure with --chapters.
    void commandLine()
    {
        const Fixture::Book book = Fixture::sampleBook();
        const QString path = files.filePath(QStringLiteral("cli.epub"));
        QVERIFY(writeFile(path, Fixture::writeEpub(book, 2)));
        QProcess cli;
        cli.start(QStringLiteral(PARLANTO_CLI), {QStringLiteral("text"), path});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()), Fixture::expectedText(book));

        cli.start(QStringLiteral(PARLANTO_CLI), {QStringLiteral("text"), QStringLiteral("--chapters"), path});
        QVERIFY(cli.waitForFinished(60000));
        QStringList expected = {QStringLiteral("title\t") + book.title,
                                QStringLiteral("author\t") + book.author};
        for (const ChapterMark &mark : Fixture::expectedChapters(book))
            expected
                << QStringLiteral("chapter\t%1\t%2\t%3").arg(mark.offset).arg(mark.level).arg(mark.title);
        QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()), expected.join(u'\n') + u'\n');
    }

    // The reading places file: newest first, at most 200 documents, damaged lines passed over,
    // a changed document forgotten.
    void readingPlaces()
    {
        QTemporaryDir dir;
        const QString store = dir.filePath(QStringLiteral("readingplaces.txt"));
        ReadingPlaces places(store);
        QVERIFY(places.places().isEmpty());
        for (int i = 0; i < 205; ++i) {
            const QString path = dir.filePath(QStringLiteral("doc\t%1.txt").arg(i));
            QVERIFY(writeFile(path, QByteArray(100 + i, 'a')));
            places.remember(path, 10 + i, 100 + i);
        }
        QVERIFY(places.save());
        QVERIFY(!QFile::exists(dir.filePath(
            QStringLiteral(".readingplaces.txt.%1.part").arg(QCoreApplication::applicationPid()))));
        ReadingPlaces again(store);
        QCOMPARE(again.places().size(), ReadingPlaces::MostDocuments);
        QCOMPARE(again.places().first().path, dir.filePath(QStringLiteral("doc\t204.txt")));
        QCOMPARE(again.find(dir.filePath(QStringLiteral("doc\t204.txt")))->position, 214);
        QVERIFY(!again.find(dir.filePath(QStringLiteral("doc\t0.txt")))); // the oldest went
        // Read to the end (place 0): forgotten. Changed on disk: not offered.
        again.remember(dir.filePath(QStringLiteral("doc\t204.txt")), 0, 304);
        QVERIFY(!again.find(dir.filePath(QStringLiteral("doc\t204.txt"))));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("doc\t203.txt")), "changed"));
        QVERIFY(!again.find(dir.filePath(QStringLiteral("doc\t203.txt"))));
        QVERIFY(again.find(dir.filePath(QStringLiteral("doc\t202.txt"))));

        const QByteArray damaged =
            "Parlanto reading places 1\n5\tx\t1\t2\t/a\n-3\t1\t1\t2\t/b\n\n7\t9\t1\t2\t/c\n"
            "8\t9\t1\t2\t/c\n9\t9\t1\n";
        const QList<ReadingPlace> decoded = ReadingPlaces::decode(damaged);
        QCOMPARE(decoded.size(), 1);
        QCOMPARE(decoded.first(), (ReadingPlace{QStringLiteral("/c"), 1, 2, 7, 9}));
        QVERIFY(ReadingPlaces::decode("something else\n7\t9\t1\t2\t/c\n").isEmpty());
        QCOMPARE(ReadingPlaces::decode(ReadingPlaces::encode(decoded)), decoded);
    }

    // Zip bombs and archives of countless entries stop at their bounds, counted as the bytes
    // are unpacked, whatever sizes the archive claims.
    void zipBounds()
    {
        const QByteArray zeros(3 * 1024 * 1024, '\0');
        const QByteArray archive = Fixture::zipArchive({{QStringLiteral("small"), QByteArray("x")},
                                                        {QStringLiteral("big"), zeros},
                                                        {QStringLiteral("also big"), zeros}});
        QVERIFY(archive.size() < zeros.size() / 100); // it packs to almost nothing

        ZipLimits limits;
        limits.entryBytes = 2 * 1024 * 1024;
        QString error;
        auto zip = ZipArchive::open(archive, &error, limits);
        QVERIFY2(zip, qPrintable(error));
        QCOMPARE(zip->read(QStringLiteral("small"), &error), std::optional<QByteArray>("x"));
        QVERIFY(!zip->read(QStringLiteral("big"), &error));
        QVERIFY2(error.contains(u"too large"), qPrintable(error));

        limits.entryBytes = 4 * 1024 * 1024;
        limits.totalBytes = 5 * 1024 * 1024;
        zip = ZipArchive::open(archive, &error, limits);
        QVERIFY(zip->read(QStringLiteral("big"), &error));
        QVERIFY(!zip->read(QStringLiteral("also big"), &error));
        QVERIFY2(error.contains(u"too large"), qPrintable(error));

        limits.entries = 2;
        QVERIFY(!ZipArchive::open(archive, &error, limits));
        QVERIFY2(error.contains(u"more than 2 files"), qPrintable(error));
    }
};

QTEST_MAIN(TestDocuments)
#include "test_documents.moc"
