#pragma once

#include <QString>

// A document other programs hand over by its path: a start-up argument or a file command sent
// to the running instance. Read the way Open reads a document, never blocking on a FIFO, a
// device or an endless kernel file.
namespace HandedFile {

// Why `path` is refused before anything is read, in words for the user; empty when it is a
// regular file the document intake may read. Missing files, folders, FIFOs, devices and
// kernel files that claim to be empty yet never end are refused without being opened.
QString refusal(const QString &path);

// Removes `path` when it is one of the add-ins' hand-over files: once read (or refused), no
// copy of the document stays behind.
void release(const QString &path);

// `error` about `path` as shown to the user: a very long path is cut so a message stays one.
QString failureText(const QString &path, const QString &error);

// "$XDG_CACHE_HOME/parlanto/writer" (else "~/.cache/parlanto/writer"): the private folder
// (mode 0700) in which the add-ins write texts to hand over.
QString handOverFolder();

} // namespace HandedFile
