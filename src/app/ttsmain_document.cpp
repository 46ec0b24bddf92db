#include "app/ttsmain.h"

#include "desktop/howto.h"
#include "platform/dialogs.h"
#include "platform/twips.h"
#include "speech/document_rules.h"
#include "speech/logical_font.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// The buttons that fill and style the document, and the help button.

namespace {

// Resizes a top-level window so that its outer height, frame included, is `outerPixels`.
void setOuterHeight(QWidget *window, int outerPixels)
{
    const int frameExtra = window->frameGeometry().height() - window->height();
    window->resize(window->width(), std::max(1, outerPixels - frameExtra));
}

bool anyFormatSetsForeground(const QTextDocument *document)
{
    const QList<QTextFormat> formats = document->allFormats();
    return std::any_of(formats.cbegin(), formats.cend(), [](const QTextFormat &format) {
        return format.isCharFormat() && format.hasProperty(QTextFormat::ForegroundBrush);
    });
}

} // namespace

// Opens a document file (text, rich text, PDF, EPUB, ODT, DOCX, web page, Markdown).
void ttsmain::Command3_Click()
{
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Select A File");
    request.initialFolder = Dialogs::startFolder(App.window.OpenFolder);
    request.filters = DocumentRules::openFilters();
    request.filterIndex = DocumentRules::openFilterIndex(App.window.OpenFileType);
    const auto answer = Dialogs::instance().openFile(this, request);
    if (!answer || answer->fileName.isEmpty())
        return;

    openDocumentFile(answer->fileName, DocumentSource::OpenButton);
}

void ttsmain::replaceDocumentText(const QString &text)
{
    QTextDocument *document = RichTextBox1->document();
    const bool same = document->characterCount() - 1 == text.size() && RichTextBox1->toPlainText() == text;
    if (!same) {
        // One edit block: the undo stack gets one step that brings the previous text back whole.
        // The new text starts without character formats, as a freshly set text does; its colour
        // comes from the text box.
        QTextCursor all(document);
        all.beginEditBlock();
        all.select(QTextCursor::Document);
        all.insertText(text, QTextCharFormat());
        all.endEditBlock();
    }
    setTextCursor(0);
}

// Chooses the document's font and text colour.
void ttsmain::Command2_Click()
{
    // Both ways through the logical-font record: the dialog starts from it and the chosen
    // font is taken back through it (whole points, bold or regular, a short face name).
    const QFont initial =
        LogicalFont::fromFont(RichTextBox1->font(), App.window.FontCharset).toFont(RichTextBox1->font());
    QColor colour = colourFromLong(App.window.TextColour);
    const auto chosen = Dialogs::instance().chooseFont(this, initial, colour);
    if (!chosen)
        return;

    const LogicalFont record = LogicalFont::fromFont(*chosen, App.window.FontCharset);
    if (colour.isValid()) {
        applyTextColour(colour);
        App.window.TextColour = colourToLong(colour);
    }
    RichTextBox1->setFont(record.toFont(RichTextBox1->font()));
}

// Chooses the document's back colour.
void ttsmain::Command1_Click()
{
    const auto chosen = Dialogs::instance().chooseColour(this, colourFromLong(App.window.BackColour));
    if (!chosen || !chosen->isValid())
        return;
    applyBackColour(*chosen);
    App.window.BackColour = colourToLong(*chosen);
}

// Shows or hides the text box at the user's click.
void ttsmain::Check1_Click()
{
    // The box as the user left it; restoring the window below may run the layout.
    const bool show = Check1->isChecked();
    constexpr Qt::WindowStates notNormal = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (windowState() & notNormal) {
        setWindowState(windowState() & ~notNormal);
        // The window system restores the normal size in events of its own; let them arrive
        // first, or they would undo the size set below.
        QCoreApplication::processEvents();
    }
    if (show) {
        App.window.TextBoxShown = true;
        const QScreen *screen = QGuiApplication::primaryScreen();
        const int screenHeight = screen ? screen->geometry().height() : 0;
        setOuterHeight(this, twipsToPixels(DocumentRules::textShownWindowHeight(screenHeight)));
        move(x(), 0);
    } else {
        App.window.TextBoxShown = false;
        // Taken before the resize: the panel is about to move up by this much inside the
        // window, so the window moves down by as much and the panel stays put on screen.
        const int boxHeight = RichTextBox1->height();
        setOuterHeight(this, twipsToPixels(DocumentRules::TextHiddenWindowHeight));
        move(x(), y() + boxHeight);
    }
}

// Shows the help window, not modal.
void ttsmain::Command8_Click()
{
    howto::showWindow();
}

void ttsmain::applyTextColour(const QColor &colour)
{
    // The palette colours every character that has no colour of its own, at no cost per
    // character. Characters that do carry their own colour are recoloured as well.
    QPalette palette = RichTextBox1->palette();
    palette.setColor(QPalette::Text, colour);
    RichTextBox1->setPalette(palette);
    if (anyFormatSetsForeground(RichTextBox1->document())) {
        QTextCursor all(RichTextBox1->document());
        all.select(QTextCursor::Document);
        QTextCharFormat format;
        format.setForeground(colour);
        all.mergeCharFormat(format);
    }
}

void ttsmain::applyBackColour(const QColor &colour)
{
    QPalette palette = RichTextBox1->palette();
    palette.setColor(QPalette::Base, colour);
    RichTextBox1->setPalette(palette);
}

QColor ttsmain::textColourAt(int position) const
{
    const QTextDocument *document = RichTextBox1->document();
    const QTextBlock block = document->findBlock(position);
    if (block.isValid()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (position >= fragment.position() && position < fragment.position() + fragment.length()) {
                const QTextCharFormat format = fragment.charFormat();
                if (format.hasProperty(QTextFormat::ForegroundBrush))
                    return format.foreground().color();
                break;
            }
        }
    }
    return RichTextBox1->palette().color(QPalette::Text);
}
