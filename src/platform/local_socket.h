#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QtGlobal>

// Unix stream sockets addressed by a path, with the kernel's calls alone: the single-instance
// channel needs no more, and a start that links no network library is quicker and smaller.
// Every descriptor returned is non-blocking and closed on exec; writes never raise SIGPIPE.
namespace LocalSocket {

// The socket file a name stands for: a path as it is, a bare name in the temp folder.
QString fullPath(const QString &name);

// Listens at `path` with room for 50 waiting connections. The socket file is made in a private
// folder beside it, set to the user's own (0700) and only then renamed into place, so nobody
// else can ever connect. A file already at `path` is replaced. Returns the listening descriptor,
// or -1 with the reason in `error`.
int listenAt(const QString &path, QString *error);

// Connects to the socket at `path`, retrying while its queue is full until the deadline.
// Returns the descriptor, or -1 when nobody listens there in time.
int connectTo(const QString &path, QDeadlineTimer deadline);

// Writes all `size` bytes, waiting for room until the deadline. False on a timeout or when
// the other side has gone.
bool writeAll(int fd, const char *data, qsizetype size, QDeadlineTimer deadline);

// Reads exactly `size` bytes, waiting until the deadline. False on a timeout, an error or the
// end of the stream before that many came.
bool readExactly(int fd, char *data, qsizetype size, QDeadlineTimer deadline);

// Writes what fits at once without waiting: the count written (0 when there is no room), or
// -1 when the other side has gone.
qsizetype writeSome(int fd, const char *data, qsizetype size);

// Closes the descriptor once (Linux frees it even when the call is interrupted).
void closeDescriptor(int fd);

} // namespace LocalSocket
