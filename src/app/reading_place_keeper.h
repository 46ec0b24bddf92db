#pragma once

#include "speech/reading_places.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QPlainTextEdit;

// Follows where the reading of the document in the text box stops, for the document's file,
// and keeps it in the reading places file of the program folder: written a few seconds after
// the reading moved on, when another document takes its place, and when the program ends.
class ReadingPlaceKeeper : public QObject
{
public:
    // `reading` tells whether a reading is in progress; only the word being read moves the
    // place, not the user's own clicks.
    ReadingPlaceKeeper(QPlainTextEdit *box, std::function<bool()> reading, QObject *parent);
    ~ReadingPlaceKeeper() override;

    // The place of the document at `path` as it is now, if its reading stopped somewhere.
    std::optional<ReadingPlace> placeOf(const QString &path) const { return m_places.find(path); }
    // The text box now shows the document of `path`; the one before is kept where it stopped.
    void documentOpened(const QString &path);
    // Writes what changed.
    void save();

private:
    void cursorMoved();
    void contentsChanged(int position, int removed, int added);
    void keepCurrent();
    bool wordsAfter(int position) const;

    QPointer<QPlainTextEdit> m_box; // the window may take it down before its keeper
    std::function<bool()> m_reading;
    ReadingPlaces m_places;
    QString m_path;         // the document shown, when it came from a file
    qint64 m_position = -1; // where its reading stopped; -1 before it was read
    int m_wordEnd = 0;      // the end of the last word read
    bool m_changed = false; // places not yet written
    int m_length = 0;       // characters in the box, as of its latest change
    QTimer m_writeSoon;
};
