#include "app/ttsmain.h"
#include "platform/twips.h"
#include "speech/document_reader.h"
#include "speech/document_rules.h"
#include "speech/logical_font.h"
#include "support/document_fixtures.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "support/user_home.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QtTest>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Pixels of exactly `colour` in what the text box shows right now.
int pixelsOf(QPlainTextEdit *box, const QColor &colour)
{
    const QImage image = box->viewport()->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                ++count;
    return count;
}

// True when no character of the document carries a font, style or colour of its own.
bool carriesNoFormatting(const QTextDocument *document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            for (const int property :
                 {int(QTextFormat::FontWeight), int(QTextFormat::FontItalic), int(QTextFormat::FontPointSize),
                  int(QTextFormat::FontFamilies), int(QTextFormat::ForegroundBrush)})
                if (format.hasProperty(property))
                    return false;
        }
    return true;
}

const QByteArray FormattedRtf = "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss Arial;}}"
                                "{\\colortbl;\\red255\\green0\\blue0;}"
                                "\\f0\\fs48\\cf1\\b Bold red\\b0  and caf\\'e9\\par "
                                "\\i second\\i0  line\\par}";

} // namespace

class TestDocument : public QObject
{
    Q_OBJECT
    TestHome home;
    QTemporaryDir files;

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("docTest") + QByteArray::number(QCoreApplication::applicationPid()));
        QVERIFY(files.isValid());
        QVERIFY(writeFile(files.filePath(QStringLiteral("letter.rtf")), FormattedRtf));
        // Windows-1252 text with CR LF line ends.
        QVERIFY(writeFile(files.filePath(QStringLiteral("notes.txt")), "cr\xe8me br\xfbl\xe9"
                                                                       "e\r\nend"));
        QVERIFY(writeFile(files.filePath(QStringLiteral("readme")), "no extension"));
    }

    // ---- The rules, without a window

    void logicalFontKeepsWholePointsAndShortNames_data()
    {
        QTest::addColumn<double>("points");
        QTest::addColumn<int>("weight");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("bold");
        QTest::newRow("whole") << 12.0 << int(QFont::Normal) << -12 << false;
        QTest::newRow("half rounds to even, down") << 10.5 << int(QFont::Normal) << -10 << false;
        QTest::newRow("half rounds to even, up") << 11.5 << int(QFont::Bold) << -12 << true;
        QTest::newRow("below half") << 8.25 << int(QFont::Normal) << -8 << false;
        QTest::newRow("medium is regular") << 9.0 << int(QFont::Medium) << -9 << false;
        QTest::newRow("semibold is bold") << 9.0 << int(QFont::DemiBold) << -9 << true;
        QTest::newRow("black is bold") << 9.0 << int(QFont::Black) << -9 << true;
    }

    void logicalFontKeepsWholePointsAndShortNames()
    {
        QFETCH(double, points);
        QFETCH(int, weight);
        QFETCH(int, height);
        QFETCH(bool, bold);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(points);
        font.setWeight(QFont::Weight(weight));
        font.setItalic(true);
        font.setStrikeOut(true);
        const LogicalFont record = LogicalFont::fromFont(font, 204);
        QCOMPARE(record.height, height);
        QCOMPARE(record.weight, bold ? 700 : 400);
        QCOMPARE(record.charSet, 204);
        QCOMPARE(record.pitchAndFamily, uint8_t(16));
        QVERIFY(record.italic && record.strikeOut && !record.underline);

        const QFont back = record.toFont();
        QCOMPARE(back.pointSize(), -height);
        QCOMPARE(back.bold(), bold);
        QCOMPARE(back.family(), QStringLiteral("DejaVu Sans"));
        QVERIFY(back.italic() && back.strikeOut() && !back.underline());
    }

    void logicalFontEdges()
    {
        // A face name fills at most 31 characters and never ends in half a surrogate pair.
        const QString longName = QString(40, QLatin1Char('F'));
        QCOMPARE(LogicalFont::shortenedFaceName(longName), QString(31, QLatin1Char('F')));
        const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E"); // one character, two UTF-16 units
        const QString split = QString(30, QLatin1Char('a')) + clef + QStringLiteral("bc");
        QCOMPARE(LogicalFont::shortenedFaceName(split), QString(30, QLatin1Char('a')));
        const QString fits = QString(29, QLatin1Char('a')) + clef + QStringLiteral("bc");
        QCOMPARE(LogicalFont::shortenedFaceName(fits), QString(29, QLatin1Char('a')) + clef);

        // A font sized in pixels: 96 pixels to the inch.
        QFont pixels;
        pixels.setPixelSize(16);
        QCOMPARE(LogicalFont::fromFont(pixels, 1).height, -12);

        // A record without a positive size keeps the base font's size instead of failing.
        QFont base;
        base.setPointSize(17);
        LogicalFont empty;
        QCOMPARE(empty.toFont(base).pointSize(), 17);
        QCOMPARE(empty.toFont(base).family(), base.family());
    }

    void documentRules()
    {
        using namespace DocumentRules;
        QCOMPARE(openFileTypeOf(QStringLiteral("/home/u/letter.rtf")), QStringLiteral(".rtf"));
        QCOMPARE(openFileTypeOf(QStringLiteral("/home/u/notes.txt")), QStringLiteral(".txt"));
        QCOMPARE(openFileTypeOf(QStringLiteral("/home/u/readme")), QStringLiteral("adme"));
        QCOMPARE(openFileTypeOf(QStringLiteral("/home/u/a.rtf") + QChar(0) + QChar(0)),
                 QStringLiteral(".rtf"));
        QCOMPARE(openFileTypeOf(QStringLiteral("/u/a.b r ")), QStringLiteral("b r"));
        QCOMPARE(openFileTypeOf(QStringLiteral("ab")), QStringLiteral("ab"));

        QCOMPARE(openFolderOf(QStringLiteral("/home/u/letter.rtf")), QStringLiteral("/home/u/"));
        QCOMPARE(openFolderOf(QStringLiteral("/letter.rtf")), QStringLiteral("/"));
        QCOMPARE(openFolderOf(QStringLiteral("letter.rtf")), QString());

        // "All documents" comes first; the rich-text and text filters follow, as the stored open
        // file type always chose them.
        QCOMPARE(openFilterIndex(QStringLiteral(".rtf")), 2);
        QCOMPARE(openFilterIndex(QStringLiteral(".txt")), 3);
        QCOMPARE(openFilterIndex(QStringLiteral(".RTF")), 3);
        QCOMPARE(openFilterIndex(QString()), 3);
        QCOMPARE(openFilterIndex(QStringLiteral("adme")), 3);
        QCOMPARE(openFilterIndex(QStringLiteral(".pdf")), 4);
        QCOMPARE(openFilterIndex(QStringLiteral(".PDF")), 4);
        QCOMPARE(openFilterIndex(QStringLiteral("epub")), 5);
        QCOMPARE(openFilterIndex(QStringLiteral(".odt")), 6);
        QCOMPARE(openFilterIndex(QStringLiteral("docx")), 7);
        QCOMPARE(openFilterIndex(QStringLiteral("html")), 8);
        QCOMPARE(openFilterIndex(QStringLiteral(".htm")), 8);
        QCOMPARE(openFilterIndex(QStringLiteral("e.md")), 9);
        QCOMPARE(openFilterIndex(QStringLiteral("down")), 9);
        for (int index = 2; index <= 9; ++index)
            QVERIFY(
                openFilters().at(0).second.contains(openFilters().at(index - 1).second.split(u';').first()));

        QCOMPARE(textShownWindowHeight(480), 6800);
        QCOMPARE(textShownWindowHeight(600), 8700);
        QCOMPARE(textShownWindowHeight(768), 11050);
        QCOMPARE(textShownWindowHeight(0), 11050);
    }

    // ---- Open

    void openShowsPlainTextAndRemembersFolderAndType()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        QFont font(QStringLiteral("DejaVu Serif"), 15);
        w->RichTextBox1->setFont(font);
        w->applyTextColour(QColor(0, 0, 160));
        w->applyBackColour(QColor(255, 255, 200));
        // The first Open of a fresh start is in the user's documents, not the hidden program
        // folder the settings name.
        UserHome user;
        user.makeDocuments();
        w->Command3_Click(); // nothing queued: cancelled
        QCOMPARE(dialogs.fileCalls().last().request.initialFolder, user.documents());
        dialogs.clearRecords();

        const QString start = files.path() + QStringLiteral("/start/here/");
        QVERIFY(QDir().mkpath(start));
        w.app.window.OpenFolder = start;
        w.app.window.OpenFileType = QStringLiteral(".txt");
        const QString folder = files.path() + QLatin1Char('/');

        dialogs.queueFile(folder + QStringLiteral("letter.rtf"));
        w->Command3_Click();
        QCOMPARE(dialogs.fileCalls().size(), 1);
        const Dialogs::FileRequest first = dialogs.fileCalls().at(0).request;
        QCOMPARE(first.title, QStringLiteral("Select A File"));
        QCOMPARE(first.initialFolder, start);
        QCOMPARE(first.filterIndex, 3);
        QCOMPARE(first.filters.size(), 9);
        QCOMPARE(first.filters.at(0).first, QStringLiteral("All documents"));
        QCOMPARE(first.filters.at(1),
                 qMakePair(QStringLiteral("Rich Text (*.rtf)"), QStringLiteral("*.rtf")));
        QCOMPARE(first.filters.at(2), qMakePair(QStringLiteral("Text (*.txt)"), QStringLiteral("*.txt")));

        // The text without its formatting; the box keeps its own font and colours.
        QCOMPARE(w->RichTextBox1->toPlainText(), QString::fromUtf8("Bold red and café\nsecond line"));
        QCOMPARE(w->RichTextBox1->font(), font);
        QCOMPARE(w->textColourAt(0), QColor(0, 0, 160));
        QCOMPARE(w->RichTextBox1->palette().color(QPalette::Base), QColor(255, 255, 200));
        QVERIFY(carriesNoFormatting(w->RichTextBox1->document()));
        QCOMPARE(w.app.window.OpenFileType, QStringLiteral(".rtf"));
        QCOMPARE(w.app.window.OpenFolder, folder);
        // The change notification schedules the recount, which sizes the position slider.
        QTRY_COMPARE(w->DocumentLength, 29);
        QCOMPARE(w->cpvSlider1->maximum(), 29);

        // After .rtf: same folder, rich-text filter. Then a .txt in its own encoding.
        dialogs.queueFile(folder + QStringLiteral("notes.txt"));
        w->Command3_Click();
        QCOMPARE(dialogs.fileCalls().at(1).request.initialFolder, folder);
        QCOMPARE(dialogs.fileCalls().at(1).request.filterIndex, 2);
        QCOMPARE(w->RichTextBox1->toPlainText(), QString::fromUtf8("crème brûlée\nend"));
        QCOMPARE(w.app.window.OpenFileType, QStringLiteral(".txt"));

        // After .txt: the text filter; after a name of another kind too.
        dialogs.queueFile(folder + QStringLiteral("readme"));
        w->Command3_Click();
        QCOMPARE(dialogs.fileCalls().at(2).request.filterIndex, 3);
        QCOMPARE(w.app.window.OpenFileType, QStringLiteral("adme"));
        QCOMPARE(w->RichTextBox1->toPlainText(), QStringLiteral("no extension"));
        w->Command3_Click(); // nothing queued: cancelled
        QCOMPARE(dialogs.fileCalls().at(3).request.filterIndex, 3);
        QVERIFY(dialogs.messages().isEmpty());
    }

    void cancelOrUnloadableFileChangesNothing_data()
    {
        QTest::addColumn<QString>("name"); // empty: the dialog is cancelled
        QTest::addColumn<QString>("reason");
        QTest::newRow("cancel") << QString() << QString();
        QTest::newRow("missing") << QStringLiteral("gone.rtf") << QStringLiteral("does not exist");
        QTest::newRow("folder") << QStringLiteral(".") << QStringLiteral("is a folder");
    }

    void cancelOrUnloadableFileChangesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        FakeDialogs dialogs;
        LoadedWindow w;
        w->RichTextBox1->setPlainText(QStringLiteral("the user's own words"));
        w.app.window.OpenFolder = QStringLiteral("/before/");
        w.app.window.OpenFileType = QStringLiteral(".rtf");
        const WindowSettings before = w.app.window;
        if (name.isEmpty())
            dialogs.queueFileCancel();
        else
            dialogs.queueFile(QDir(files.path()).filePath(name));

        w->Command3_Click();
        QCOMPARE(w->RichTextBox1->toPlainText(), QStringLiteral("the user's own words"));
        QCOMPARE(w.app.window, before);
        if (name.isEmpty()) {
            QVERIFY(dialogs.messages().isEmpty());
        } else {
            QCOMPARE(dialogs.messages().size(), 1);
            QCOMPARE(dialogs.messages().at(0).title, QStringLiteral("Parlanto"));
            QVERIFY2(dialogs.messages().at(0).text.contains(reason),
                     qPrintable(dialogs.messages().at(0).text));
        }
    }

    // ---- Documents of every kind, and where their reading stopped

    // A large document comes in pieces: the click returns at once, the first pages show while
    // the rest is read, and a reading begun on the first pages goes on into the rest.
    void largeDocumentOpensInPiecesAndIsReadOnIntoTheRest()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        pickVoice(*w, listPosition(*w, 4, QStringLiteral("English")));
        const QString path = files.filePath(QStringLiteral("long book.pdf"));
        QVERIFY(writeFile(path, Fixture::writeLongPdf(120)));
        const DocumentText whole = readDocumentFile(path);
        QVERIFY2(whole.ok, qPrintable(whole.error));
        w->RichTextBox1->setPlainText(QStringLiteral("the user's own words"));

        // Speak as soon as the first pages are there.
        int shownAtSpeak = -1;
        bool loadingAtSpeak = false;
        QMetaObject::Connection speakFirst =
            connect(w->RichTextBox1, &QPlainTextEdit::textChanged, this, [&] {
                if (shownAtSpeak >= 0)
                    return;
                shownAtSpeak = w->RichTextBox1->document()->characterCount() - 1;
                loadingAtSpeak = w->documentLoading();
                w->Command5->click();
            });
        int furthest = 0;
        connect(w->RichTextBox1, &QPlainTextEdit::cursorPositionChanged, this,
                [&] { furthest = std::max(furthest, w->RichTextBox1->textCursor().selectionStart()); });

        dialogs.queueFile(path);
        w->Command3->click();
        QCOMPARE(w->RichTextBox1->toPlainText(), QStringLiteral("the user's own words")); // not yet
        QTRY_VERIFY_WITH_TIMEOUT(shownAtSpeak > 0, 20000);
        disconnect(speakFirst);
        QVERIFY2(loadingAtSpeak, "the whole document was there before the first pages were shown");
        QVERIFY(shownAtSpeak < whole.text.size());
        QCOMPARE(w->PlayStatus, 1);
        // The reading passes the end of what was there when it began.
        QTRY_VERIFY_WITH_TIMEOUT(furthest > shownAtSpeak + 100, 60000);
        w->Command6->click();

        QTRY_VERIFY_WITH_TIMEOUT(!w->documentLoading(), 20000);
        QCOMPARE(w->RichTextBox1->toPlainText(), whole.text);
        QCOMPARE(w->openedDocument()->title, QStringLiteral("The Harbour Book"));
        QCOMPARE(w.app.window.OpenFileType, QStringLiteral(".pdf"));
        QVERIFY(dialogs.messages().isEmpty());

        // The next dialog offers the PDF filter; a document that cannot be read is reported and
        // leaves the text as it was.
        const QString scan = files.filePath(QStringLiteral("scan.pdf"));
        Fixture::PdfOptions pictures;
        pictures.textLayer = false;
        QVERIFY(writeFile(scan, Fixture::writePdf(Fixture::sampleBook(), pictures)));
        dialogs.queueFile(scan);
        w->Command3->click();
        QCOMPARE(dialogs.fileCalls().at(1).request.filterIndex, 4);
        QTRY_COMPARE(dialogs.messages().size(), 1);
        QVERIFY2(dialogs.messages().at(0).text.contains(QStringLiteral("no text layer")),
                 qPrintable(dialogs.messages().at(0).text));
        QCOMPARE(w->RichTextBox1->toPlainText(), whole.text);

        // Handed over by another program: read aloud once its first pages are there.
        const QString epub = files.filePath(QStringLiteral("book.epub"));
        QVERIFY(writeFile(epub, Fixture::writeEpub(Fixture::sampleBook(), 3)));
        w->FormDDE_LinkExecute(epub);
        QTRY_COMPARE(w->PlayStatus, 1);
        QTRY_VERIFY(!w->documentLoading());
        QCOMPARE(w->RichTextBox1->toPlainText(), Fixture::expectedText(Fixture::sampleBook()));
        QCOMPARE(w->openedDocument()->chapters, Fixture::expectedChapters(Fixture::sampleBook()));
        QCOMPARE(dialogs.messages().size(), 1);
        w->Command6->click();
    }

    void reopeningOffersToGoOnWhereTheReadingStopped()
    {
        FakeDialogs dialogs;
        auto first = std::make_unique<LoadedWindow>();
        ttsmain &w = **first;
        pickVoice(w, listPosition(w, 4, QStringLiteral("English")));
        QString text;
        for (int i = 0; i < 400; ++i)
            text += QStringLiteral("Sentence number %1 of a story read in more than one sitting.\n").arg(i);
        const QString story = files.filePath(QStringLiteral("story.txt"));
        QVERIFY(writeFile(story, text.toUtf8()));

        // Read part of it, then stop: the place is the last word read.
        dialogs.queueFile(story);
        w.Command3->click();
        QCOMPARE(w.RichTextBox1->toPlainText(), text);
        int lastWord = 0;
        connect(w.RichTextBox1, &QPlainTextEdit::cursorPositionChanged, this, [&] {
            if (w.RichTextBox1->textCursor().hasSelection())
                lastWord = w.RichTextBox1->textCursor().selectionStart();
        });
        w.Command5->click();
        QTRY_VERIFY_WITH_TIMEOUT(lastWord > 3000, 30000);
        w.Command6->click();
        const int stopped = lastWord;
        QVERIFY2(stopped > 3000 && stopped < text.size() - 100, qPrintable(QString::number(stopped)));

        // Another document, then the story again: the offer, and the cursor where it stopped.
        dialogs.queueFile(files.filePath(QStringLiteral("notes.txt")));
        w.Command3->click();
        QVERIFY(dialogs.messages().isEmpty());
        dialogs.queueFile(story);
        dialogs.queueAnswer(Dialogs::Answer::Yes);
        w.Command3->click();
        QCOMPARE(dialogs.messages().size(), 1);
        const Dialogs::Message offer = dialogs.messages().at(0);
        QVERIFY2(offer.text.contains(QStringLiteral("story.txt")) &&
                     offer.text.contains(QStringLiteral("Continue")),
                 qPrintable(offer.text));
        QCOMPARE(offer.buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(offer.title, QStringLiteral("Parlanto"));
        QCOMPARE(w.RichTextBox1->textCursor().selectionStart(), stopped);

        // Declined: the top. The place is kept for the next time, also after a restart.
        dialogs.queueFile(story);
        dialogs.queueAnswer(Dialogs::Answer::No);
        w.Command3->click();
        QCOMPARE(dialogs.messages().size(), 2);
        QCOMPARE(w.RichTextBox1->textCursor().selectionStart(), 0);
        first.reset();
        LoadedWindow again;
        dialogs.queueFile(story);
        dialogs.queueAnswer(Dialogs::Answer::Yes);
        again->Command3->click();
        QCOMPARE(dialogs.messages().size(), 3);
        QCOMPARE(again->RichTextBox1->textCursor().selectionStart(), stopped);

        // A changed file starts at the top, without a question.
        QVERIFY(writeFile(story, (text + QStringLiteral("A new last line.\n")).toUtf8()));
        dialogs.queueFile(story);
        again->Command3->click();
        QCOMPARE(dialogs.messages().size(), 3);
        QCOMPARE(again->RichTextBox1->textCursor().selectionStart(), 0);

        // A document read to its end starts at the top next time, without a question.
        const QString notes = files.filePath(QStringLiteral("notes.txt"));
        dialogs.queueFile(notes);
        again->Command3->click();
        pickVoice(*again, listPosition(*again, 4, QStringLiteral("English")));
        again->Command5->click();
        QTRY_COMPARE_WITH_TIMEOUT(again->PlayStatus, 3, 20000);
        dialogs.queueFile(story);
        again->Command3->click();
        dialogs.queueFile(notes);
        again->Command3->click();
        QCOMPARE(dialogs.messages().size(), 3);
        QCOMPARE(dialogs.unusedAnswers(), 0);
    }

    // ---- Font and colours

    void cancelledFontKeepsFontAndColour()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10.5);
        font.setUnderline(true);
        w->RichTextBox1->setFont(font);
        w.app.window.TextColour = colourToLong(QColor(0, 128, 0));
        w->applyTextColour(QColor(0, 128, 0));
        w->RichTextBox1->setPlainText(QStringLiteral("words"));

        dialogs.queueFontCancel();
        w->Command2_Click();
        // The dialog started from the box's font as a logical font, and the text colour.
        QCOMPARE(dialogs.fontCalls().size(), 1);
        QCOMPARE(dialogs.fontCalls().at(0).initial.pointSize(), 10);
        QCOMPARE(dialogs.fontCalls().at(0).initial.family(), QStringLiteral("DejaVu Sans"));
        QVERIFY(dialogs.fontCalls().at(0).initial.underline());
        QCOMPARE(dialogs.fontCalls().at(0).colour, QColor(0, 128, 0));

        QCOMPARE(w->RichTextBox1->font(), font);
        QCOMPARE(w->textColourAt(0), QColor(0, 128, 0));
        QCOMPARE(w.app.window.TextColour, colourToLong(QColor(0, 128, 0)));
    }

    void chosenFontAndColourCoverTheWholeText()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QString text;
        for (int line = 0; line < 20000; ++line)
            text += QStringLiteral("Line %1 of a long document\n").arg(line);
        text += QStringLiteral("MMMM");
        w->RichTextBox1->setPlainText(text);
        // The last words carry a colour of their own, as pasted text might.
        QTextCursor cursor(w->RichTextBox1->document());
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 4);
        QTextCharFormat own;
        own.setForeground(QColor(0, 255, 0));
        cursor.mergeCharFormat(own);
        const int last = w->RichTextBox1->document()->characterCount() - 2;
        QCOMPARE(w->textColourAt(last), QColor(0, 255, 0));

        QFont chosen(QStringLiteral("DejaVu Sans"));
        chosen.setPointSizeF(24.5);
        chosen.setBold(true);
        chosen.setItalic(true);
        chosen.setStrikeOut(true);
        const QColor red(200, 0, 0);
        dialogs.queueFont(chosen, red);
        w->Command2_Click();

        const QFont font = w->RichTextBox1->font();
        QCOMPARE(font.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(font.pointSize(), 24);
        QVERIFY(font.bold() && font.italic() && font.strikeOut() && !font.underline());
        QCOMPARE(w.app.window.TextColour, colourToLong(red));
        QCOMPARE(w->textColourAt(0), red);
        QCOMPARE(w->textColourAt(last / 2), red);
        QCOMPARE(w->textColourAt(last), red);
        QCOMPARE(w->RichTextBox1->toPlainText().size(), text.size());

        // Drawn in that colour at the top and at the very end.
        QVERIFY(pixelsOf(w->RichTextBox1, red) > 20);
        w->RichTextBox1->moveCursor(QTextCursor::End);
        w->RichTextBox1->ensureCursorVisible();
        QVERIFY(w->RichTextBox1->viewport()->rect().contains(w->RichTextBox1->cursorRect()));
        QVERIFY(pixelsOf(w->RichTextBox1, red) > 20);
        QCOMPARE(pixelsOf(w->RichTextBox1, QColor(0, 255, 0)), 0);
    }

    void backColour()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        w.app.window.BackColour = colourToLong(QColor(255, 255, 255));
        dialogs.queueColourCancel();
        w->Command1_Click();
        QCOMPARE(dialogs.colourCalls().size(), 1);
        QCOMPARE(dialogs.colourCalls().at(0), QColor(255, 255, 255));
        QCOMPARE(w.app.window.BackColour, colourToLong(QColor(255, 255, 255)));
        const QColor untouched = w->RichTextBox1->palette().color(QPalette::Base);

        dialogs.queueColour(QColor(10, 20, 30));
        w->Command1_Click();
        QCOMPARE(w->RichTextBox1->palette().color(QPalette::Base), QColor(10, 20, 30));
        QCOMPARE(w.app.window.BackColour, colourToLong(QColor(10, 20, 30)));
        QVERIFY(untouched != QColor(10, 20, 30));
        QCOMPARE(w->RichTextBox1->palette().color(QPalette::Text), w->textColourAt(0));
    }

    // ---- Showing and hiding the text box

    void textCheckBoxHidesAndShowsTheTextBox()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const QSize frame = w->frameGeometry().size() - w->size();
        w->move(40, 200);
        w->resize(800 - frame.width(), 500 - frame.height());
        QVERIFY(w->Check1->isChecked());
        const int boxHeight = w->RichTextBox1->height();
        QVERIFY(boxHeight > 100);
        const int top = w->y();

        // Cleared: the panel alone, the window lower by the text box's height.
        w->Check1->click();
        QVERIFY(!w.app.window.TextBoxShown);
        QVERIFY(!w->Check1->isChecked());
        QCOMPARE(w->frameGeometry().height(), twipsToPixels(2000));
        QCOMPARE(w.app.window.Height, pixelsToTwips(twipsToPixels(2000)));
        QCOMPARE(w->y(), top + boxHeight);
        QCOMPARE(w->x(), 40);
        QCOMPARE(w->Frame1->y(), 0);

        // Ticked: the height the screen calls for, at the top of the screen.
        w->Check1->click();
        QVERIFY(w.app.window.TextBoxShown);
        QVERIFY(w->Check1->isChecked());
        const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
        const int expected = DocumentRules::textShownWindowHeight(screenHeight);
        QCOMPARE(w->frameGeometry().height(), twipsToPixels(expected));
        QCOMPARE(w.app.window.Height, pixelsToTwips(twipsToPixels(expected)));
        QCOMPARE(w->y(), 0);
        QCOMPARE(w->x(), 40);
        QCOMPARE(w->RichTextBox1->x(), twipsToPixels(100));

        // From a maximised window (text box shown, box ticked): cleared, in the normal state.
        w->setWindowState(Qt::WindowMaximized);
        QTRY_COMPARE(w.app.window.WindowState, 2);
        QVERIFY(w->Check1->isChecked());
        w->Check1->click();
        QVERIFY(!(w->windowState() & Qt::WindowMaximized));
        QCOMPARE(w.app.window.WindowState, 0);
        QVERIFY(!w.app.window.TextBoxShown);
        QCOMPARE(w->frameGeometry().height(), twipsToPixels(2000));
    }
};

QTEST_MAIN(TestDocument)
#include "test_document.moc"
