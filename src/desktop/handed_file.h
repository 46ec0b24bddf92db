#pragma once

#include <QString>

// A document other programs hand over by its path: a start-up argument or a file command sent
// to the running instance. Read the way Open reads a document, never blocking on a FIFO, a
// device or an endless kernel file. Files in the hand-over folder, where the add-ins write
// the texts they hand over, are removed once read, so no copy of a document stays behind.
namespace HandedFile {

struct Result
{
    bool ok = false;
    QString text;  // the document's plain text when ok
    QString error; // otherwise why it could not be read, in words for the user
};

Result read(const QString &path);

// "$XDG_CACHE_HOME/parlanto/writer" (else "~/.cache/parlanto/writer"): the private folder
// (mode 0700) in which the add-ins write texts to hand over.
QString handOverFolder();

} // namespace HandedFile
