#include "app/reading_place_keeper.h"

#include "platform/program_folder.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace {

const QString PlacesFileName = QStringLiteral("readingplaces.txt");
constexpr int WriteDelayMs = 10000;

int characterCount(const QPlainTextEdit *box)
{
    return box->document()->characterCount() - 1;
}

} // namespace

ReadingPlaceKeeper::ReadingPlaceKeeper(QPlainTextEdit *box, std::function<bool()> reading, QObject *parent)
    : QObject(parent), m_box(box), m_reading(std::move(reading)), m_places(programFile(PlacesFileName))
{
    m_length = characterCount(box);
    m_writeSoon.setSingleShot(true);
    m_writeSoon.setInterval(WriteDelayMs);
    connect(&m_writeSoon, &QTimer::timeout, this, &ReadingPlaceKeeper::save);
    connect(box, &QPlainTextEdit::cursorPositionChanged, this, &ReadingPlaceKeeper::cursorMoved);
    connect(box->document(), &QTextDocument::contentsChange, this, &ReadingPlaceKeeper::contentsChanged);
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &ReadingPlaceKeeper::save);
}

ReadingPlaceKeeper::~ReadingPlaceKeeper()
{
    save();
}

void ReadingPlaceKeeper::documentOpened(const QString &path)
{
    keepCurrent();
    m_path = path;
    m_position = -1;
    m_wordEnd = 0;
    if (m_box)
        m_length = characterCount(m_box);
    save();
}

void ReadingPlaceKeeper::save()
{
    m_writeSoon.stop();
    keepCurrent();
    if (!m_changed)
        return;
    m_changed = false;
    m_places.save(); // a place that cannot be written is only a convenience lost
}

void ReadingPlaceKeeper::keepCurrent()
{
    if (m_path.isEmpty() || m_position < 0)
        return;
    // A reading that ran to the end leaves the cursor at the top: the document starts there.
    m_places.remember(m_path, m_position, m_length);
    m_position = -1;
    m_changed = true;
}

void ReadingPlaceKeeper::cursorMoved()
{
    if (m_path.isEmpty() || !m_box || !m_reading())
        return;
    const QTextCursor cursor = m_box->textCursor();
    if (cursor.hasSelection()) {
        // The word being read.
        m_position = cursor.selectionStart();
        m_wordEnd = cursor.selectionEnd();
    } else if (cursor.position() == 0 && m_position > 0) {
        // The reading ended, or was stopped, and took the cursor back to the top: the place
        // stays at the last word read, unless that was the document's last word.
        if (!wordsAfter(m_wordEnd))
            m_position = 0;
    } else {
        return;
    }
    if (!m_writeSoon.isActive())
        m_writeSoon.start();
}

bool ReadingPlaceKeeper::wordsAfter(int position) const
{
    const QTextDocument *document = m_box->document();
    const int end = document->characterCount() - 1;
    for (int i = position; i < end; ++i)
        if (document->characterAt(i).isLetterOrNumber())
            return true;
    return false;
}

void ReadingPlaceKeeper::contentsChanged(int position, int removed, int added)
{
    if (!m_box)
        return;
    const int before = m_length;
    m_length = characterCount(m_box);
    // The whole text replaced (a text handed over, a paste over everything): whatever is read
    // now is no longer the file's.
    if (position == 0 && removed > 0 && removed >= before && added >= 0) {
        keepCurrent();
        m_path.clear();
    }
}
