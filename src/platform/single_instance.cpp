#include "platform/single_instance.h"

#include "platform/bounded_file.h"
#include "platform/local_socket.h"
#include "platform/program_folder.h"
#include "platform/record_codec.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTimer>
#include <QtEndian>

#include <mutex>
#include <optional>
#include <utility>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int HeaderBytes = 4;
// One command at most is taken from a connection at a time; the rest waits in the kernel.
constexpr qsizetype ReadCapBytes = HeaderBytes + SingleInstance::MaxCommandBytes;
// Replies not yet taken by a sender that does not read them; past this they are dropped.
constexpr qsizetype MaxUnsentReplyBytes = 4096;
// Unix socket paths are limited to 108 bytes; longer ones fall back to a bare name, which
// goes in the temp folder (still per user by name, still user-only by mode).
constexpr int MaxSocketPathBytes = 100;
// The recorded address is one socket path; anything longer is not an address of ours.
constexpr qint64 MaxAddressBytes = 4096;

// True when path is a real folder (not a symlink) owned by this user that nobody else can
// enter; a folder of ours with looser rights is tightened when `tighten` is set.
bool isOwnPrivateFolder(const QString &path, bool tighten)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0)
        return false;
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 077) == 0)
        return true;
    return tighten && ::chmod(native.constData(), 0700) == 0;
}

// Where the socket goes: the runtime folder when it is a private one of ours, else a fixed
// per-user folder (mode 0700) in the temp folder, so that every start finds the same place.
// Never a fresh random folder. Empty when the fixed folder has been taken by someone else.
QString socketFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isOwnPrivateFolder(runtime, false))
        return runtime;
    const QString fallback = QDir::tempPath() + QStringLiteral("/parlanto-") + QString::number(::geteuid());
    const QByteArray native = QFile::encodeName(fallback);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    return isOwnPrivateFolder(fallback, true) ? fallback : QString();
}

QString instanceName(const QString &base)
{
    QString name = base + QLatin1Char('-') + QString::number(::geteuid());
    const QString extra = qEnvironmentVariable("PARLANTO_INSTANCE");
    QString clean;
    for (const QChar c : extra)
        if ((c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('_') || c == QLatin1Char('-'))
            clean.append(c);
    if (!clean.isEmpty())
        name += QLatin1Char('-') + clean;
    return name;
}

// The length a command's header announces, when the header is there.
std::optional<quint32> announcedLength(const QByteArray &bytes)
{
    if (bytes.size() < HeaderBytes)
        return std::nullopt;
    return qFromLittleEndian<quint32>(bytes.constData());
}

bool holdsWholeCommand(const QByteArray &bytes)
{
    const std::optional<quint32> length = announcedLength(bytes);
    return length && bytes.size() >= HeaderBytes + qint64(*length);
}

// The identity of the socket file at `path`, 0 when there is no socket there.
quint64 socketInode(const QString &path)
{
    struct stat info = {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return 0;
    return quint64(info.st_ino);
}

QString lockFileFor(const QString &name)
{
    return programFile(name + QStringLiteral(".lock"));
}

QString addressFileFor(const QString &name)
{
    return programFile(name + QStringLiteral(".address"));
}

QString serverNameFor(const QString &name)
{
    QString folder = socketFolder();
    if (folder.isEmpty())
        folder = programFolder();
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".socket");
    return QFile::encodeName(path).size() <= MaxSocketPathBytes ? path : name;
}

// The instance lock, else null when a live instance holds it. Only a dead owner makes a lock
// stale, never its age: the first instance runs for days.
std::unique_ptr<QLockFile> takeLock(const QString &path)
{
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError || !lock->removeStaleLockFile() || !lock->tryLock(0))
            return nullptr;
    }
    return lock;
}

// Listens at `path` and records the address. Holding the lock, any socket file left there
// belongs to a dead instance or to our own server that stopped.
int openListener(const QString &path, const QString &addressFile, quint64 *inode, QString *error)
{
    QFile::remove(path);
    *inode = 0;
    const int listener = LocalSocket::listenAt(path, error);
    if (listener < 0) {
        QFile::remove(addressFile);
        return -1;
    }
    *inode = socketInode(path);
    writeRecordFile(addressFile, path.toUtf8(), RecordSync::Cached);
    return listener;
}

// The lock and the listening socket taken ahead of acquire(), on another thread.
struct TakenAhead
{
    std::mutex mutex;
    bool claimed = false; // acquire() has looked: nothing is taken ahead any more
    QString name;
    std::unique_ptr<QLockFile> lock;
    int listener = -1;
    QString listenPath;
    quint64 inode = 0;
};

TakenAhead &takenAhead()
{
    static TakenAhead taken;
    return taken;
}

} // namespace

// One accepted connection: its descriptor, watched for bytes to read and, while a reply waits
// for room, for room to write.
class SingleInstance::Peer : public QObject
{
public:
    explicit Peer(int fd)
        : readable(fd, QSocketNotifier::Read), m_fd(fd), writable(fd, QSocketNotifier::Write)
    {
        writable.setEnabled(false);
        QObject::connect(&writable, &QSocketNotifier::activated, this, [this] { sendReplies(); });
    }
    ~Peer() override
    {
        readable.setEnabled(false);
        writable.setEnabled(false);
        LocalSocket::closeDescriptor(m_fd);
    }
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    // Takes what the sender has written, up to `room` bytes, into `inbox`. Notices the
    // sender hanging up.
    void take(QByteArray &inbox, qsizetype room)
    {
        char buffer[64 * 1024];
        while (open && room > 0) {
            const ssize_t got =
                ::recv(m_fd, buffer, size_t(qMin(room, qsizetype(sizeof buffer))), MSG_DONTWAIT);
            if (got > 0) {
                inbox.append(buffer, qsizetype(got));
                room -= got;
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                    open = false;
                break;
            }
        }
    }

    // Answers a sender that is still there; one that hung up gets no answer.
    void reply(bool accepted)
    {
        if (!open)
            return;
        if (unsent.size() < MaxUnsentReplyBytes)
            unsent.append(char(accepted ? 1 : 0));
        sendReplies();
    }

    void sendReplies()
    {
        const qsizetype written = LocalSocket::writeSome(m_fd, unsent.constData(), unsent.size());
        if (written < 0)
            unsent.clear();
        else
            unsent.remove(0, written);
        writable.setEnabled(!unsent.isEmpty());
    }

    bool open = true; // the sender has not hung up
    QSocketNotifier readable;

private:
    int m_fd;
    QSocketNotifier writable;
    QByteArray unsent;
};

struct SingleInstance::Connection
{
    Peer *peer = nullptr;
    QTimer *deadline = nullptr; // owned by the peer
    bool busy = false;          // its command is being handled (the handler may run an event loop)
    // Bytes taken from the connection and not yet handled: once taken they survive the sender,
    // so a sender that writes its commands and hangs up at once still has them all handled.
    QByteArray inbox;
    qint64 pendingBytes() const { return inbox.size(); }
    // Reads while there is room for the rest of one command; a full inbox waits to be handled.
    void takeWaitingBytes()
    {
        peer->take(inbox, ReadCapBytes - inbox.size());
        peer->readable.setEnabled(peer->open && inbox.size() < ReadCapBytes);
    }
};

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(instanceName(name))
{}

SingleInstance::~SingleInstance()
{
    if (m_acquired) {
        stopListening();
        QFile::remove(addressFilePath());
    }
    // The connections go with the server; none may call back into this half-destroyed object.
    for (Connection &connection : m_connections)
        delete connection.peer;
    m_connections.clear();
    m_lock.reset();
}

QString SingleInstance::lockFilePath() const
{
    return lockFileFor(m_name);
}

QString SingleInstance::serverName() const
{
    return serverNameFor(m_name);
}

QString SingleInstance::addressFilePath() const
{
    return addressFileFor(m_name);
}

// The first instance may have been started with another runtime folder: its recorded address
// wins over where this process would listen.
QString SingleInstance::runningServerName() const
{
    const BoundedFile::Result address = BoundedFile::read(addressFilePath(), MaxAddressBytes);
    if (address.ok()) {
        const QString recorded = QString::fromUtf8(address.bytes).trimmed();
        if (!recorded.isEmpty())
            return recorded;
    }
    return serverName();
}

void SingleInstance::acquireAhead(const QString &name)
{
    TakenAhead &taken = takenAhead();
    const std::lock_guard guard(taken.mutex);
    if (taken.claimed || taken.lock)
        return;
    const QString instance = instanceName(name);
    taken.lock = takeLock(lockFileFor(instance));
    if (!taken.lock)
        return;
    taken.name = instance;
    taken.listenPath = LocalSocket::fullPath(serverNameFor(instance));
    QString error;
    taken.listener = openListener(taken.listenPath, addressFileFor(instance), &taken.inode, &error);
}

bool SingleInstance::acquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    const QString listenName = serverName();
    const QString listenPath = LocalSocket::fullPath(listenName);
    // What a start took ahead for this name, waiting for it while it is being taken.
    int listener = -1;
    {
        TakenAhead &taken = takenAhead();
        const std::lock_guard guard(taken.mutex);
        taken.claimed = true;
        if (taken.lock && taken.name == m_name) {
            m_lock = std::move(taken.lock);
            if (taken.listenPath == listenPath) {
                listener = std::exchange(taken.listener, -1);
                m_socketInode = taken.inode;
            }
        }
        // Taken for another name: given back.
        if (taken.listener >= 0) {
            LocalSocket::closeDescriptor(std::exchange(taken.listener, -1));
            QFile::remove(taken.listenPath);
        }
        taken.lock.reset();
    }
    if (!m_lock)
        m_lock = takeLock(lockFilePath());
    if (!m_lock)
        return false;

    m_acquired = true;
    m_listenName = listenName;
    m_listenPath = listenPath;
    QString error;
    if (listener >= 0)
        watchListener(listener);
    else if (!startListening(&error))
        qWarning("Parlanto: cannot listen on %s: %s", qPrintable(m_listenName), qPrintable(error));
    m_listenCheck = new QTimer(this);
    connect(m_listenCheck, &QTimer::timeout, this, &SingleInstance::keepListening);
    m_listenCheck->start(ListenCheckMs);
    return true;
}

// Listens (again) under the name chosen at acquire() and records the address.
bool SingleInstance::startListening(QString *error)
{
    stopListening();
    const int listener = openListener(m_listenPath, addressFilePath(), &m_socketInode, error);
    if (listener < 0)
        return false;
    watchListener(listener);
    return true;
}

void SingleInstance::watchListener(int listener)
{
    m_listener = listener;
    m_accepting = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_accepting, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
}

// Stops accepting and removes the socket file while it is still the one this server made.
void SingleInstance::stopListening()
{
    if (m_listener < 0)
        return;
    // Possibly from within its own signal: it goes once that has been delivered.
    m_accepting->setEnabled(false);
    m_accepting->deleteLater();
    m_accepting = nullptr;
    LocalSocket::closeDescriptor(m_listener);
    m_listener = -1;
    if (m_socketInode != 0 && socketInode(m_listenPath) == m_socketInode)
        QFile::remove(m_listenPath);
}

void SingleInstance::keepListening()
{
    if (m_listener >= 0 && m_socketInode != 0 && socketInode(m_listenPath) == m_socketInode) {
        if (!QFile::exists(addressFilePath())) {
            QFile address(addressFilePath());
            if (address.open(QIODevice::WriteOnly | QIODevice::Truncate))
                address.write(m_listenPath.toUtf8());
        }
        return;
    }
    const bool wasListening = m_socketInode != 0;
    QString error;
    if (!startListening(&error) && wasListening)
        qWarning("Parlanto: cannot listen on %s again: %s", qPrintable(m_listenName), qPrintable(error));
}

SingleInstance::Connection *SingleInstance::find(Peer *peer)
{
    for (Connection &connection : m_connections)
        if (connection.peer == peer)
            return &connection;
    return nullptr;
}

// Closes a connection and forgets it; `refuse` first answers 0 to a sender in mid-command.
void SingleInstance::hangUp(Peer *peer, bool refuse)
{
    if (const Connection *connection = find(peer))
        connection->deadline->disconnect(this);
    m_connections.remove_if([peer](const Connection &connection) { return connection.peer == peer; });
    peer->readable.disconnect(this);
    // Told before the line closes; what the sender still writes is thrown away.
    if (refuse)
        peer->reply(false);
    peer->readable.setEnabled(false);
    peer->deleteLater();
}

// At the limit, the oldest connection that holds no part of a command goes first; when every
// one is in mid-command, the oldest of those. One being handled right now stays.
void SingleInstance::makeRoomForOneMore()
{
    while (int(m_connections.size()) >= MaxConnections) {
        Peer *victim = nullptr;
        for (const Connection &connection : m_connections)
            if (!connection.busy && connection.pendingBytes() == 0) {
                victim = connection.peer;
                break;
            }
        if (!victim)
            for (const Connection &connection : m_connections)
                if (!connection.busy) {
                    victim = connection.peer;
                    break;
                }
        if (!victim)
            return;
        hangUp(victim, true);
    }
}

void SingleInstance::onNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // Out of descriptors or memory: the server closes, and the check listens anew.
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                stopListening();
            return;
        }
        makeRoomForOneMore();
        if (int(m_connections.size()) >= MaxConnections) {
            LocalSocket::closeDescriptor(fd);
            continue;
        }
        auto *peer = new Peer(fd);
        peer->setParent(this);
        auto *deadline = new QTimer(peer);
        deadline->setSingleShot(true);
        m_connections.push_back({peer, deadline, false, QByteArray()});
        connect(deadline, &QTimer::timeout, this, [this, peer] { hangUp(peer, true); });
        connect(&peer->readable, &QSocketNotifier::activated, this, [this, peer] { readCommand(peer); });
        deadline->start(ReadTimeoutMs);
    }
}

// Another command may wait in the inbox: it is handled on the next pass of the event loop,
// so that a burst of commands never holds the window for long.
void SingleInstance::scheduleRead(Peer *peer)
{
    QMetaObject::invokeMethod(
        this,
        [this, guard = QPointer<Peer>(peer)] {
            if (guard)
                readCommand(guard);
        },
        Qt::QueuedConnection);
}

// Handles at most one complete command waiting on `peer`.
void SingleInstance::readCommand(Peer *peer)
{
    Connection *connection = find(peer);
    if (!connection)
        return;
    // Taken even while a command is being handled, so that a waiting sender never keeps the
    // event loop spinning; the inbox holds one command's worth at most.
    connection->takeWaitingBytes();
    if (connection->busy)
        return;
    const bool open = peer->open;
    const std::optional<quint32> length = announcedLength(connection->inbox);
    if (!length) {
        if (!open)
            hangUp(peer, false);
        return;
    }
    if (*length > quint32(MaxCommandBytes)) {
        hangUp(peer, true);
        return;
    }
    if (!holdsWholeCommand(connection->inbox)) {
        if (!open)
            hangUp(peer, false); // the rest will never come
        else
            limitPendingBytes(); // the rest is still on its way
        return;
    }
    const QByteArray bytes = connection->inbox.mid(HeaderBytes, qsizetype(*length));
    connection->inbox.remove(0, HeaderBytes + qsizetype(*length));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString command = decoder.decode(bytes);
    if (decoder.hasError()) {
        hangUp(peer, true);
        return;
    }
    connection->deadline->stop();
    const QPointer<Peer> guard(peer);
    if (command.isEmpty()) {
        peer->reply(true);
        emit showRequested();
    } else {
        connection->busy = true;
        const bool accepted = m_handler ? m_handler(command) : true;
        if (!guard)
            return;
        connection = find(peer);
        if (!connection)
            return;
        connection->busy = false;
        peer->reply(accepted);
        emit commandReceived(command);
    }
    if (!guard)
        return;
    connection = find(peer);
    if (!connection)
        return;
    connection->deadline->start(ReadTimeoutMs);
    // Room again for what still waits in the kernel.
    peer->readable.setEnabled(peer->open && connection->inbox.size() < ReadCapBytes);
    if (connection->pendingBytes() >= HeaderBytes || !peer->open)
        scheduleRead(peer);
}

void SingleInstance::limitPendingBytes()
{
    const auto pendingTotal = [this] {
        qint64 pending = 0;
        for (const Connection &connection : m_connections)
            pending += connection.pendingBytes();
        return pending;
    };
    while (pendingTotal() > m_maxPendingBytes) {
        const Connection *largest = nullptr;
        for (const Connection &connection : m_connections)
            if (!connection.busy && (!largest || connection.pendingBytes() > largest->pendingBytes()))
                largest = &connection;
        if (!largest)
            return;
        // Refused without waiting for the sender: the buffer goes with the connection.
        hangUp(largest->peer, true);
    }
}

SingleInstance::Delivery SingleInstance::deliver(const QString &command, int timeoutMs) const
{
    const QByteArray bytes = command.toUtf8();
    if (bytes.size() > MaxCommandBytes)
        return Delivery::Refused;
    const QDeadlineTimer deadline(timeoutMs);
    const int fd = LocalSocket::connectTo(runningServerName(), deadline);
    if (fd < 0)
        return Delivery::Unreachable;
    QByteArray message(HeaderBytes, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(bytes.size()), message.data());
    message += bytes;
    char answer = 0;
    const bool answered = LocalSocket::writeAll(fd, message.constData(), message.size(), deadline) &&
                          LocalSocket::readExactly(fd, &answer, 1, deadline);
    LocalSocket::closeDescriptor(fd);
    if (!answered)
        return Delivery::Unreachable;
    return answer == 1 ? Delivery::Accepted : Delivery::Refused;
}
