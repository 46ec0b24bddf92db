#pragma once

#include "tools/word_lines.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <random>

// The rules of the slide reader, free of any window: how a word file becomes a list, what the
// count and progress texts say, which word comes next, and where the word and the panel go.
namespace SlideRules {

// A word file larger than this is not read: a drill list of millions of lines is a few tens of
// megabytes, and reading gigabytes into memory would only stall the program.
constexpr qint64 LargestWordFileBytes = qint64(256) * 1024 * 1024;

// The lines of a word file's bytes (see WordLines), all decoded.
QStringList wordLinesOfBytes(const QByteArray &bytes, const QByteArray &localeCodeset);

// A word file as read: its lines, or why it could not be read.
struct WordFile
{
    WordLines lines;
    QString error; // in words for the user, naming the file; empty when the file was read
};

// Reads the word file at `path` through the bounded reader and decodes it in the current
// locale. A missing or unreadable file, a folder, a FIFO or device, or a file larger than
// LargestWordFileBytes (also one that only grows while read) has no lines and an error. Never
// blocks; safe to run on a worker thread.
WordFile readWordFile(const QString &path);

// A list needs at least two lines to be read; fewer counts as no words.
inline bool hasWords(qsizetype lineCount)
{
    return lineCount >= 2;
}

// "0 word", "1 word", "2 words", ...
QString countCaption(qsizetype lineCount);

// The progress shown during a run: "3/12 words".
QString progressText(int wordIndex, const QString &countCaption);

// The path the file dialog answered: every NUL removed, then trimmed.
QString pathFromDialog(const QString &fileName);

// The folder of a chosen word file: the path up to and including its last "/"; "" without one.
QString wordFolderOf(const QString &path);

// Where the file dialog starts: the remembered folder, the default "c:\" meaning the home folder.
QString dialogStartFolder(const QString &wordFolder);

// "&Edit" is offered exactly when the trimmed path ends in ".txt" (case-sensitive).
bool editAllowed(const QString &path);

// The delay between words for a slider value in seconds.
inline int delayMilliseconds(int sliderValue)
{
    return sliderValue * 1000;
}

// What an order timer tick does with the word position: advance to `wordIndex`, or stop the run
// once that passes the last word.
struct Tick
{
    int wordIndex = 0;
    bool stop = false;
};
Tick tick(int wordIndex, int wordCount);

// Previous steps back while there is a word before the current one; Next steps on while there
// is a word after it. Both go in file order; nothing means the step only stops the run.
std::optional<int> previousIndex(int wordIndex);
std::optional<int> nextIndex(int wordIndex, int wordCount);

// Random order: a generator seeded from the system's entropy and the clock, and independent
// picks 1..wordCount (a word can repeat and another never appear).
std::mt19937 seededGenerator();
int randomPick(std::mt19937 &generator, int wordCount);

// Where the word display and the control panel go in a window of `window` size: the word spans
// the whole width with its top at a quarter of the height (its own height kept); the panel is
// centred horizontally with its top at the window height minus twice the panel's own height.
struct Layout
{
    QRect word;
    QPoint frame;
};
Layout layout(QSize window, int wordHeight, QSize frame);

} // namespace SlideRules
