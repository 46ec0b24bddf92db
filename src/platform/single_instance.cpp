#include "platform/single_instance.h"

#include "platform/bounded_file.h"
#include "platform/program_folder.h"
#include "platform/record_codec.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <QtEndian>

#include <optional>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int HeaderBytes = 4;
// Unix socket paths are limited to 108 bytes; longer ones fall back to a bare name, which
// Qt places in the temp folder (still per user by name, still user-only by mode).
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

// Answers a sender that is still there; one that hung up gets no answer.
void reply(QLocalSocket *socket, bool accepted)
{
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    const char byte = accepted ? 1 : 0;
    socket->write(&byte, 1);
    socket->flush();
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

} // namespace

struct SingleInstance::Connection
{
    QLocalSocket *socket = nullptr;
    QTimer *deadline = nullptr; // owned by the socket
    bool busy = false;          // its command is being handled (the handler may run an event loop)
    // Bytes taken from the socket and not yet handled: once taken they survive the socket,
    // so a sender that writes its commands and hangs up at once still has them all handled.
    QByteArray inbox;
    qint64 pendingBytes() const { return inbox.size() + socket->bytesAvailable(); }
};

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(instanceName(name))
{}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        QFile::remove(addressFilePath());
    }
    // The sockets go with the server; none may call back into this half-destroyed object.
    for (Connection &connection : m_connections)
        connection.socket->disconnect(this);
    m_connections.clear();
    m_server.reset();
    m_lock.reset();
}

QString SingleInstance::lockFilePath() const
{
    return programFile(m_name + QStringLiteral(".lock"));
}

QString SingleInstance::serverName() const
{
    QString folder = socketFolder();
    if (folder.isEmpty())
        folder = programFolder();
    const QString path = folder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
    return QFile::encodeName(path).size() <= MaxSocketPathBytes ? path : m_name;
}

QString SingleInstance::addressFilePath() const
{
    return programFile(m_name + QStringLiteral(".address"));
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

bool SingleInstance::acquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    auto lock = std::make_unique<QLockFile>(lockFilePath());
    // Only a dead owner makes a lock stale, never its age: the first instance runs for days.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError || !lock->removeStaleLockFile() || !lock->tryLock(0))
            return false;
    }
    m_lock = std::move(lock);

    m_listenName = serverName();
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!startListening())
        qWarning("Parlanto: cannot listen on %s: %s", qPrintable(m_listenName),
                 qPrintable(m_server->errorString()));
    m_listenCheck = new QTimer(this);
    connect(m_listenCheck, &QTimer::timeout, this, &SingleInstance::keepListening);
    m_listenCheck->start(ListenCheckMs);
    return true;
}

// Listens (again) under the name chosen at acquire() and records the address. Holding the
// lock, any socket file left under that name belongs to a dead instance or to our own
// server that stopped.
bool SingleInstance::startListening()
{
    m_server->close();
    QLocalServer::removeServer(m_listenName);
    m_socketInode = 0;
    if (!m_server->listen(m_listenName)) {
        QFile::remove(addressFilePath());
        return false;
    }
    m_socketInode = socketInode(m_server->fullServerName());
    writeRecordFile(addressFilePath(), m_server->fullServerName().toUtf8());
    return true;
}

void SingleInstance::keepListening()
{
    if (m_server->isListening() && m_socketInode != 0 &&
        socketInode(m_server->fullServerName()) == m_socketInode) {
        if (!QFile::exists(addressFilePath())) {
            QFile address(addressFilePath());
            if (address.open(QIODevice::WriteOnly | QIODevice::Truncate))
                address.write(m_server->fullServerName().toUtf8());
        }
        return;
    }
    const bool wasListening = m_socketInode != 0;
    if (!startListening() && wasListening)
        qWarning("Parlanto: cannot listen on %s again: %s", qPrintable(m_listenName),
                 qPrintable(m_server->errorString()));
}

SingleInstance::Connection *SingleInstance::find(QLocalSocket *socket)
{
    for (Connection &connection : m_connections)
        if (connection.socket == socket)
            return &connection;
    return nullptr;
}

// Closes a connection and forgets it; `refuse` first answers 0 to a sender in mid-command.
void SingleInstance::hangUp(QLocalSocket *socket, bool refuse)
{
    m_connections.remove_if([socket](const Connection &connection) { return connection.socket == socket; });
    socket->disconnect(this);
    if (refuse && socket->state() == QLocalSocket::ConnectedState) {
        // Told before the line closes; what the sender still writes is thrown away.
        reply(socket, false);
        socket->disconnectFromServer();
    } else {
        socket->abort();
    }
    socket->deleteLater();
}

// At the limit, the oldest connection that holds no part of a command goes first; when every
// one is in mid-command, the oldest of those. One being handled right now stays.
void SingleInstance::makeRoomForOneMore()
{
    while (int(m_connections.size()) >= MaxConnections) {
        QLocalSocket *victim = nullptr;
        for (const Connection &connection : m_connections)
            if (!connection.busy && connection.pendingBytes() == 0) {
                victim = connection.socket;
                break;
            }
        if (!victim)
            for (const Connection &connection : m_connections)
                if (!connection.busy) {
                    victim = connection.socket;
                    break;
                }
        if (!victim)
            return;
        hangUp(victim, true);
    }
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        makeRoomForOneMore();
        if (int(m_connections.size()) >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // One command at most is buffered per connection; the rest waits in the kernel.
        socket->setReadBufferSize(HeaderBytes + MaxCommandBytes);
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        m_connections.push_back({socket, deadline, false, QByteArray()});
        connect(deadline, &QTimer::timeout, this, [this, socket] { hangUp(socket, true); });
        // A sender may hang up right after writing: what it sent is still handled.
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { scheduleRead(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readCommand(socket); });
        deadline->start(ReadTimeoutMs);
        if (socket->bytesAvailable() > 0)
            readCommand(socket);
    }
}

// Another command may wait in the buffer: it is handled on the next pass of the event loop,
// so that a burst of commands never holds the window for long.
void SingleInstance::scheduleRead(QLocalSocket *socket)
{
    QMetaObject::invokeMethod(
        this,
        [this, guard = QPointer<QLocalSocket>(socket)] {
            if (guard)
                readCommand(guard);
        },
        Qt::QueuedConnection);
}

// Handles at most one complete command waiting on `socket`.
void SingleInstance::readCommand(QLocalSocket *socket)
{
    Connection *connection = find(socket);
    if (!connection || connection->busy)
        return;
    // The socket buffers one command at most, so the inbox stays within two.
    if (!holdsWholeCommand(connection->inbox))
        connection->inbox += socket->read(socket->bytesAvailable());
    const bool open = socket->state() == QLocalSocket::ConnectedState;
    const std::optional<quint32> length = announcedLength(connection->inbox);
    if (!length) {
        if (!open)
            hangUp(socket, false);
        return;
    }
    if (*length > quint32(MaxCommandBytes)) {
        hangUp(socket, true);
        return;
    }
    if (!holdsWholeCommand(connection->inbox)) {
        if (!open)
            hangUp(socket, false); // the rest will never come
        else
            limitPendingBytes(); // the rest is still on its way
        return;
    }
    const QByteArray bytes = connection->inbox.mid(HeaderBytes, qsizetype(*length));
    connection->inbox.remove(0, HeaderBytes + qsizetype(*length));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString command = decoder.decode(bytes);
    if (decoder.hasError()) {
        hangUp(socket, true);
        return;
    }
    connection->deadline->stop();
    if (command.isEmpty()) {
        reply(socket, true);
        emit showRequested();
    } else {
        connection->busy = true;
        const QPointer<QLocalSocket> guard(socket);
        const bool accepted = m_handler ? m_handler(command) : true;
        if (!guard)
            return;
        connection = find(socket);
        if (!connection)
            return;
        connection->busy = false;
        reply(socket, accepted);
        emit commandReceived(command);
        connection = find(socket);
        if (!connection)
            return;
    }
    connection->deadline->start(ReadTimeoutMs);
    if (connection->pendingBytes() >= HeaderBytes || socket->state() != QLocalSocket::ConnectedState)
        scheduleRead(socket);
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
        hangUp(largest->socket, true);
    }
}

SingleInstance::Delivery SingleInstance::deliver(const QString &command, int timeoutMs) const
{
    const QByteArray bytes = command.toUtf8();
    if (bytes.size() > MaxCommandBytes)
        return Delivery::Refused;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(runningServerName());
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return Delivery::Unreachable;
    char header[HeaderBytes];
    qToLittleEndian<quint32>(quint32(bytes.size()), header);
    socket.write(header, HeaderBytes);
    socket.write(bytes);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return Delivery::Unreachable;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return Delivery::Unreachable;
    char answer = 0;
    socket.read(&answer, 1);
    return answer == 1 ? Delivery::Accepted : Delivery::Refused;
}
