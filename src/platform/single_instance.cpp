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

#include <algorithm>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int HeaderBytes = 4;
// Unix socket paths are limited to 108 bytes; longer ones fall back to a bare name, which
// Qt places in the temp folder (still per user by name, still user-only by mode).
constexpr int MaxSocketPathBytes = 100;
const char BusyProperty[] = "parlantoBusy";
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

void reply(QLocalSocket *socket, bool accepted)
{
    const char byte = accepted ? 1 : 0;
    socket->write(&byte, 1);
    socket->flush();
}

// Ends a connection after a malformed message: refuse it and hang up.
void drop(QLocalSocket *socket)
{
    reply(socket, false);
    socket->disconnectFromServer();
    socket->deleteLater();
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(instanceName(name))
{}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        QFile::remove(addressFilePath());
    }
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

    // Holding the lock, any socket file left behind belongs to a dead instance.
    const QString name = serverName();
    QLocalServer::removeServer(name);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(name)) {
        qWarning("Parlanto: cannot listen on %s: %s", qPrintable(name), qPrintable(m_server->errorString()));
        QFile::remove(addressFilePath());
        return true;
    }
    writeRecordFile(addressFilePath(), m_server->fullServerName().toUtf8());
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // One command at most is buffered per connection; the rest waits in the kernel.
        socket->setReadBufferSize(HeaderBytes + MaxCommandBytes);
        m_connections.append(socket);
        auto *timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        timeout->start(ReadTimeoutMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readCommands(socket); });
        if (socket->bytesAvailable() > 0)
            readCommands(socket);
    }
}

void SingleInstance::readCommands(QLocalSocket *socket)
{
    // A handler may run a nested event loop; do not read the same connection twice at once.
    if (socket->property(BusyProperty).toBool())
        return;
    QPointer<QLocalSocket> guard(socket);
    while (guard && socket->bytesAvailable() >= HeaderBytes) {
        char header[HeaderBytes];
        socket->peek(header, HeaderBytes);
        const quint32 length = qFromLittleEndian<quint32>(header);
        if (length > quint32(MaxCommandBytes)) {
            drop(socket);
            return;
        }
        if (socket->bytesAvailable() < HeaderBytes + qint64(length)) {
            limitPendingBytes(); // the rest is still on its way
            return;
        }
        socket->skip(HeaderBytes);
        const QByteArray bytes = socket->read(length);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString command = decoder.decode(bytes);
        if (decoder.hasError()) {
            drop(socket);
            return;
        }
        if (command.isEmpty()) {
            reply(socket, true);
            emit showRequested();
            continue;
        }
        socket->setProperty(BusyProperty, true);
        const bool accepted = m_handler ? m_handler(command) : true;
        if (!guard)
            return;
        socket->setProperty(BusyProperty, false);
        reply(socket, accepted);
        emit commandReceived(command);
    }
}

void SingleInstance::limitPendingBytes()
{
    m_connections.removeAll(nullptr);
    qint64 pending = 0;
    for (const QPointer<QLocalSocket> &socket : std::as_const(m_connections))
        pending += socket->bytesAvailable();
    while (pending > m_maxPendingBytes && !m_connections.isEmpty()) {
        const auto largest =
            std::max_element(m_connections.cbegin(), m_connections.cend(),
                             [](const QPointer<QLocalSocket> &a, const QPointer<QLocalSocket> &b) {
                                 return a->bytesAvailable() < b->bytesAvailable();
                             });
        QLocalSocket *socket = *largest;
        pending -= socket->bytesAvailable();
        m_connections.erase(largest);
        // Refused without waiting for the sender: the buffer goes with the connection.
        reply(socket, false);
        socket->abort();
        socket->deleteLater();
    }
}

bool SingleInstance::send(const QString &command, int timeoutMs) const
{
    const QByteArray bytes = command.toUtf8();
    if (bytes.size() > MaxCommandBytes)
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(runningServerName());
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    char header[HeaderBytes];
    qToLittleEndian<quint32>(quint32(bytes.size()), header);
    socket.write(header, HeaderBytes);
    socket.write(bytes);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    char answer = 0;
    socket.read(&answer, 1);
    return answer == 1;
}
