#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Where the reading of each document stopped, so that reopening it can go on from there. A
// document is known by its path, size and modification time: a changed file starts at the top.
// The list is kept in a small file of its own in the program folder, newest first, at most
// MostDocuments long.
struct ReadingPlace
{
    QString path;
    qint64 size = 0;
    qint64 modified = 0; // milliseconds since the epoch
    qint64 position = 0; // where the reading stopped, in characters of the document's text
    qint64 length = 0;   // characters of the document's text at the time

    bool operator==(const ReadingPlace &) const = default;
};

class ReadingPlaces
{
public:
    static constexpr int MostDocuments = 200;
    static constexpr qint64 LargestFile = 1024 * 1024;

    // The places kept in `file`; a missing, damaged or oversized file holds none.
    explicit ReadingPlaces(const QString &file);

    // The place of the document at `path` as it is now on disk; empty when it was never read,
    // was read to its end, or has changed since.
    std::optional<ReadingPlace> find(const QString &path) const;
    // Remembers a place (size and time as the file has them now); position 0 forgets the
    // document.
    void remember(const QString &path, qint64 position, qint64 length);
    // Writes the places through a part file; false (with `error` set) when the file cannot be
    // written, leaving the old one whole.
    bool save(QString *error = nullptr) const;

    const QList<ReadingPlace> &places() const { return m_places; }

    // The file's content: a first line naming it, then one place a line ("position, length,
    // size, modified" and the path, separated by tabs).
    static QByteArray encode(const QList<ReadingPlace> &places);
    static QList<ReadingPlace> decode(const QByteArray &bytes);

private:
    QString m_file;
    QList<ReadingPlace> m_places;
};

// The document's identity on disk: its size and modification time, or empty when it cannot be
// looked at.
std::optional<QPair<qint64, qint64>> fileIdentity(const QString &path);
