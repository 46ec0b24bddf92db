#include "app/ttsmain.h"

#include "desktop/handed_file.h"

#include "app/reading_place_keeper.h"
#include "platform/dialogs.h"
#include "speech/document_load.h"
#include "speech/document_reader.h"
#include "speech/document_rules.h"
#include "speech/reading_progress.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

// Opening document files into the text box, the same for the Open button and for files handed
// over by other programs: small files at once, large ones on a thread of their own with the
// first pages shown (and readable) while the rest arrives; and, on reopening a document, the
// offer to go on where its reading stopped.

namespace {

// Text taken into the text box per turn of the event loop while a large document arrives, so
// that the window answers between turns.
constexpr qsizetype CharactersPerTurn = 128 * 1024;

} // namespace

// The document file shown in the text box, or being read into it.
class DocumentOpening : public QObject
{
public:
    DocumentOpening(const QString &path, ttsmain::DocumentSource source, QObject *parent)
        : QObject(parent), path(path), source(source)
    {}

    QString path;
    ttsmain::DocumentSource source;
    DocumentLoad *load = nullptr; // a child, while the file is being read
    DocumentText document;        // once read: the outcome, chapters, title and author
    bool finished = false;
    bool shown = false;            // its first text is in the text box
    bool turnScheduled = false;    // more text waits for the next turn of the event loop
    bool grewWhileReading = false; // text arrived while it was being read aloud
    bool continuing = false;       // the reading goes on into text that arrived
    qint64 pendingPlace = -1;      // where the cursor goes once that much text is there
    QString savedCaption;          // the caption before the progress took it
    QString progressCaption;       // the caption the progress shows
};

bool ttsmain::openDocumentFile(const QString &path, DocumentSource source)
{
    const auto identity = fileIdentity(path);
    if (!DocumentRules::readsAtOnce(path, identity ? identity->first : 0)) {
        startDocumentLoad(path, source);
        return false;
    }
    DocumentText document = readDocumentFile(path);
    if (source == DocumentSource::HandedOver)
        HandedFile::release(path);
    if (!document.ok) {
        if (source == DocumentSource::OpenButton)
            msgBox(this, document.error, Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        else
            reportHandOverFailure(HandedFile::failureText(path, document.error));
        return false;
    }
    dropDocumentOpening();
    m_documentOpening = new DocumentOpening(path, source, this);
    // Only the plain text is taken: the text box keeps its own font and colours. Replacing the
    // text notifies the change, which schedules the length recount. A document handed over by
    // another program replaces the user's text as one edit that Ctrl+Z undoes.
    if (source == DocumentSource::HandedOver) {
        receivedDocumentBox()->setPlainText(document.text);
        replaceDocumentText(document.text);
    } else {
        RichTextBox1->setPlainText(document.text);
    }
    document.text.clear();
    m_documentOpening->document = std::move(document);
    m_documentOpening->finished = true;
    m_documentOpening->shown = true;
    documentShown(path, source);
    return true;
}

const DocumentText *ttsmain::openedDocument() const
{
    if (!m_documentOpening || !m_documentOpening->finished || !m_documentOpening->document.ok)
        return nullptr;
    return &m_documentOpening->document;
}

bool ttsmain::documentLoading() const
{
    return m_documentOpening && !m_documentOpening->finished;
}

void ttsmain::startDocumentLoad(const QString &path, DocumentSource source)
{
    dropDocumentOpening(); // a document still being read is given up
    auto *opening = new DocumentOpening(path, source, this);
    m_documentOpening = opening;
    opening->load = new DocumentLoad(path, opening);
    connect(opening->load, &DocumentLoad::textArrived, this, [this, opening] {
        if (m_documentOpening == opening && !opening->turnScheduled) {
            opening->turnScheduled = true;
            QTimer::singleShot(0, opening, [this] { takeDocumentText(); });
        }
    });
    connect(opening->load, &DocumentLoad::progressed, this, &ttsmain::showDocumentProgress);
    connect(opening->load, &DocumentLoad::finished, this, [this, opening] {
        if (m_documentOpening == opening && !opening->turnScheduled)
            finishDocumentLoad();
    });
    opening->load->start();
}

// Gives up the document shown or being read; one still being read leaves the text box and the
// caption as they would be had it finished.
void ttsmain::dropDocumentOpening()
{
    DocumentOpening *opening = std::exchange(m_documentOpening, nullptr);
    if (!opening)
        return;
    if (!opening->finished) {
        if (!opening->progressCaption.isEmpty() && windowTitle() == opening->progressCaption)
            setWindowTitle(opening->savedCaption);
        RichTextBox1->document()->setUndoRedoEnabled(true);
    }
    delete opening;
}

void ttsmain::showDocumentProgress(int percent)
{
    DocumentOpening *opening = m_documentOpening;
    if (!opening || opening->finished || percent >= 100)
        return;
    if (opening->progressCaption.isEmpty() || windowTitle() == opening->progressCaption) {
        if (opening->progressCaption.isEmpty())
            opening->savedCaption = windowTitle();
        opening->progressCaption =
            QStringLiteral("Opening %1 - %2%").arg(QFileInfo(opening->path).fileName()).arg(percent);
        setWindowTitle(opening->progressCaption);
    }
}

void ttsmain::takeDocumentText()
{
    DocumentOpening *opening = m_documentOpening;
    if (!opening || !opening->load)
        return;
    opening->turnScheduled = false;
    const QString text = opening->load->take(CharactersPerTurn);
    if (!text.isEmpty()) {
        if (!opening->shown) {
            opening->shown = true;
            // Pieces are added as they come; the undo history would only hold each of them.
            RichTextBox1->document()->setUndoRedoEnabled(false);
            RichTextBox1->setPlainText(text);
            documentShown(opening->path, opening->source);
            if (m_documentOpening != opening)
                return; // another document took its place while the question was open
            if (opening->source == DocumentSource::HandedOver)
                Command5_Click();
        } else {
            QTextCursor end(RichTextBox1->document());
            end.movePosition(QTextCursor::End);
            end.insertText(text);
            if (PlayStatus != 3)
                opening->grewWhileReading = true;
        }
        applyReadingPlace();
    }
    if (m_documentOpening != opening)
        return;
    if (opening->load->hasText()) {
        opening->turnScheduled = true;
        QTimer::singleShot(0, opening, [this] { takeDocumentText(); });
    } else if (opening->load->isFinished()) {
        finishDocumentLoad();
    }
}

void ttsmain::finishDocumentLoad()
{
    DocumentOpening *opening = m_documentOpening;
    if (!opening || !opening->load || opening->finished)
        return;
    opening->finished = true;
    opening->document = opening->load->result();
    delete opening->load;
    opening->load = nullptr;
    if (!opening->progressCaption.isEmpty() && windowTitle() == opening->progressCaption)
        setWindowTitle(opening->savedCaption);
    RichTextBox1->document()->setUndoRedoEnabled(true);

    const DocumentText &document = opening->document;
    if (opening->source == DocumentSource::HandedOver)
        HandedFile::release(opening->path);
    if (!document.ok) {
        // A file that cannot be read leaves the document as it was (a cancelled read says nothing).
        if (!document.error.isEmpty()) {
            if (opening->source == DocumentSource::OpenButton)
                msgBox(this, document.error, Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
            else
                reportHandOverFailure(HandedFile::failureText(opening->path, document.error));
        }
        return;
    }
    if (!opening->shown) {
        // A document without text: the text box is emptied, as for an empty text file.
        opening->shown = true;
        RichTextBox1->setPlainText(QString());
        documentShown(opening->path, opening->source);
        if (m_documentOpening == opening && opening->source == DocumentSource::HandedOver)
            Command5_Click();
    }
}

void ttsmain::documentShown(const QString &path, DocumentSource source)
{
    if (source == DocumentSource::OpenButton) {
        App.window.OpenFileType = DocumentRules::openFileTypeOf(path);
        App.window.OpenFolder = DocumentRules::openFolderOf(path);
    }
    ReadingPlaceKeeper *keeper = readingPlaces();
    const std::optional<ReadingPlace> place = keeper->placeOf(path);
    keeper->documentOpened(path);
    if (!place)
        return;
    DocumentOpening *opening = m_documentOpening;
    const qint64 percent =
        place->length > 0 ? std::clamp<qint64>(place->position * 100 / place->length, 1, 99) : 1;
    const Dialogs::Answer answer = msgBox(
        this,
        QStringLiteral("You stopped reading \"%1\" about %2% of the way through.\n\nContinue from there?")
            .arg(QFileInfo(path).fileName())
            .arg(percent),
        Dialogs::Buttons::YesNo, Dialogs::Icon::Question);
    if (m_documentOpening != opening || answer != Dialogs::Answer::Yes)
        return;
    opening->pendingPlace = place->position;
    applyReadingPlace();
}

// Puts the cursor where the reading stopped once the text reaches that far.
void ttsmain::applyReadingPlace()
{
    DocumentOpening *opening = m_documentOpening;
    if (!opening || opening->pendingPlace < 0)
        return;
    const int length = textLength();
    if (opening->pendingPlace >= length && !opening->finished && opening->load)
        return;
    setTextCursor(int(std::min<qint64>(opening->pendingPlace, length)));
    RichTextBox1->ensureCursorVisible();
    opening->pendingPlace = -1;
}

// A reading that reached the end of the text that had arrived goes on with the text that came
// since. Both end events of one reading ask; the second finds the reading going on already.
bool ttsmain::continueIntoLoadedText()
{
    DocumentOpening *opening = m_documentOpening;
    if (!opening || !opening->grewWhileReading)
        return false;
    if (opening->continuing)
        return true;
    const int spokenEnd = SpeakStart + int(SpokenText.size());
    const auto charAt = [this](int i) { return characterAt(i); };
    if (spokenEnd >= ReadingProgress::endWithoutTrailingSpaces(textLength(), charAt))
        return false;
    opening->continuing = true;
    QTimer::singleShot(0, this, [this, guard = QPointer<DocumentOpening>(opening), spokenEnd] {
        if (guard) {
            guard->continuing = false;
            guard->grewWhileReading = false;
        }
        if (PlayStatus != 1)
            return; // stopped meanwhile
        if (!guard || m_documentOpening != guard) {
            onReadingEnded(); // another document came: this reading ends as it would have
            return;
        }
        const QDateTime started = ReadingStartTime;
        setTextCursor(spokenEnd);
        startReading();
        ReadingStartTime = started;
    });
    return true;
}

ReadingPlaceKeeper *ttsmain::readingPlaces()
{
    if (!m_readingPlaces)
        m_readingPlaces = new ReadingPlaceKeeper(
            RichTextBox1, [this] { return PlayStatus == 1; }, this);
    return m_readingPlaces;
}
