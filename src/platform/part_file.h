#pragma once

#include <QString>

// A file that takes its final name only when it is complete. Every output Parlanto makes (a
// saved sound or text file, a converted MP3, a batch file, a `convert` output) is written under
// a hidden temporary name beside its target, ".<name>.<pid>.part", and renamed over the target
// when it is whole, so a crash, a kill or a full disk never leaves a half file under a name that
// says it is finished. The process id in the name lets a later run tell a leftover of a process
// that no longer runs from the temporary of a job still in progress.
namespace PartFile {

// The temporary for `target` in the same folder (so the final rename is atomic), owned by
// this process.
QString pathFor(const QString &target);

// Renames `part` over `target`. On failure the part is removed and `error` says why.
bool commit(const QString &part, const QString &target, QString *error = nullptr);

// Copies `from` to `to` through a part file: `to` either holds the complete copy or is left as it
// was. Copies across file systems too. On failure `error` says why ("No space left on device").
bool copy(const QString &from, const QString &to, QString *error = nullptr);

// Moves `from` to `to`: a rename where one file system holds both, else copy() and then the
// source removed. `to` is complete or untouched.
bool move(const QString &from, const QString &to, QString *error = nullptr);

// Removes part files in `folder` whose owning process no longer runs (or is not this user's).
// Returns how many were removed.
int removeStale(const QString &folder);

// True while a process with that id exists (also one of another user's).
bool processRunning(qint64 pid);

} // namespace PartFile
