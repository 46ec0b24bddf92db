#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <list>
#include <memory>

class QLockFile;
class QSocketNotifier;
class QTimer;

// One Parlanto per user: a lock file in the program folder (the thing it protects) decides who
// is first; the first instance also listens on a user-only local socket for commands from later
// ones, in the runtime folder (else a fixed private per-user folder), and records the socket's
// address beside the lock so that a later start with another runtime folder still finds it. A
// lock or socket left by a killed instance does not block the next start.
//
// Names are "<name>-<uid>", so two users on one machine never meet. When the environment
// variable PARLANTO_INSTANCE is set, "-<its value>" (letters, digits, '_' and '-' only) is
// appended, so that test processes running side by side each have their own instance.
//
// Wire format: one command = 4-byte little-endian length + that many bytes of UTF-8; the
// reply is one byte, 1 when the command was accepted, 0 when it was refused or malformed.
// The empty command asks the first instance to show itself (showRequested); it is always
// accepted and never reaches the handler.
//
// The listening side stays reachable whatever its clients do: it holds a bounded number of
// connections (a new one pushes out the oldest idle one), each must finish a command within a
// deadline, the bytes held for unfinished commands are capped, and commands are handled one
// per pass of the event loop. Should the server stop listening (it closes when accepting
// fails, e.g. for want of file descriptors) or its socket file vanish, it listens anew.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // Parlanto's own instance, after the DDE application and topic it stands in for.
    static QString programName() { return QStringLiteral("ttsparl-FormDDE"); }
    explicit SingleInstance(const QString &name = programName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first instance (and now holds the lock and the socket).
    bool acquire();
    // Takes the lock of the instance `name` and listens, ahead of acquire() and on any thread:
    // start-up does it while the application object is being made. The acquire() of an
    // instance of that name adopts them (waiting while they are being taken); when another
    // instance holds the lock, acquire() finds that out itself.
    static void acquireAhead(const QString &name = programName());
    // From a second instance: hands one command to the first. Blocks until the reply or the
    // timeout; the first instance must run in another process (or thread), since its event
    // loop has to answer.
    enum class Delivery
    {
        Accepted,
        Refused,     // the first instance answered no (or the command is too long to send)
        Unreachable, // nobody answered in time
    };
    Delivery deliver(const QString &command, int timeoutMs = 3000) const;
    // True when the command was accepted.
    bool send(const QString &command, int timeoutMs = 3000) const
    {
        return deliver(command, timeoutMs) == Delivery::Accepted;
    }

    // Largest command accepted, in bytes of UTF-8: what the main window takes into its text
    // box in a fraction of a second. Longer texts travel as files.
    static constexpr int MaxCommandBytes = 512 * 1024;

    // Bytes of unfinished commands held over all connections at once; past it the connection
    // holding the most is dropped first, so that many large announced commands cannot pile up.
    static constexpr qint64 MaxPendingBytes = 4 * qint64(MaxCommandBytes);
    void setMaxPendingBytes(qint64 bytes) { m_maxPendingBytes = bytes; }

    // Connections held open at once; one more pushes out the oldest idle one.
    static constexpr int MaxConnections = 32;

    // A connection must finish its next command this long after it opened or after its last
    // command; an idle or stalled one is closed then.
    static constexpr int ReadTimeoutMs = 5000;

    // How often the first instance checks that it still listens where it said it would.
    static constexpr int ListenCheckMs = 1000;

    // Decides whether a received command is accepted; the answer goes back to the sender.
    // Without a handler every well-formed command is accepted.
    void setHandler(std::function<bool(const QString &)> handler) { m_handler = std::move(handler); }

    // Where the lock file is (the program folder) and where this process's socket goes.
    QString lockFilePath() const;
    QString serverName() const;
    // The file in which the first instance records its socket's address.
    QString addressFilePath() const;

signals:
    void commandReceived(const QString &command);
    void showRequested();

private:
    class Peer;
    struct Connection;
    bool startListening(QString *error);
    void watchListener(int listener);
    void stopListening();
    void keepListening();
    void onNewConnection();
    void makeRoomForOneMore();
    void readCommand(Peer *peer);
    void scheduleRead(Peer *peer);
    void limitPendingBytes();
    void hangUp(Peer *peer, bool refuse);
    Connection *find(Peer *peer);
    QString runningServerName() const;

    QString m_name;
    QString m_listenName; // the name the server listens on, fixed at acquire()
    QString m_listenPath; // the socket file that name stands for
    std::unique_ptr<QLockFile> m_lock;
    bool m_acquired = false;
    int m_listener = -1;
    QSocketNotifier *m_accepting = nullptr;
    QTimer *m_listenCheck = nullptr;
    quint64 m_socketInode = 0;
    std::function<bool(const QString &)> m_handler;
    std::list<Connection> m_connections; // oldest first
    qint64 m_maxPendingBytes = MaxPendingBytes;
};
