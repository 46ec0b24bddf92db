#pragma once

#include <QByteArray>
#include <QString>

// The one way Parlanto reads a file it did not write itself (documents, word lists, records,
// handed-over paths, standard input). Only regular files are read, also behind a symbolic
// link: a FIFO, device or socket could block the reader or never end. The content is read in
// pieces and the read stops as soon as it passes the cap, because a size of 0 proves nothing
// (files under /proc and /sys report 0 and may never end). No read can block on a special file.
namespace BoundedFile {

enum class Outcome
{
    Ok,
    Missing,    // nothing under that name (or a link to nothing)
    Folder,     // a folder, not a file
    NotAFile,   // a FIFO, device or socket
    TooBig,     // more than the cap, whatever the file system said its size was
    Unreadable, // no permission, an I/O error
};

struct Result
{
    Outcome outcome = Outcome::Unreadable;
    QByteArray bytes; // the whole content when ok(), else empty
    QString error;    // when not ok(): why, in words for the user, naming the file
    bool ok() const { return outcome == Outcome::Ok; }
};

// Reads the whole of `path` if it is a regular file of at most `cap` bytes.
Result read(const QString &path, qint64 cap);

// Reads standard input to its end, at most `cap` bytes (the pipe of `parlanto-cli … -`).
Result readStandardInput(qint64 cap);

// The kind of file behind `path` without reading it: Ok for a regular file (of any size),
// else the outcome read() would give. Never opens the file, so it never blocks.
Outcome probe(const QString &path);

// "12 MB" style size for the messages above and their callers' own.
QString sizeText(qint64 bytes);

} // namespace BoundedFile
