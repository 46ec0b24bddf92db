#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QLockFile;
class QLocalServer;

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
class QLocalSocket;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name = QStringLiteral("ttsparl-FormDDE"),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first instance (and now holds the lock and the socket).
    bool acquire();
    // From a second instance: hands one command to the first. True when it was accepted.
    // Blocks until the reply or the timeout; the first instance must run in another process
    // (or thread), since its event loop has to answer.
    bool send(const QString &command, int timeoutMs = 3000) const;
    // Largest command accepted, in bytes of UTF-8.
    static constexpr int MaxCommandBytes = 64 * 1024 * 1024;

    // Bytes of unfinished commands held over all connections at once; past it the connection
    // holding the most is dropped first, so that many large announced commands cannot pile up.
    static constexpr qint64 MaxPendingBytes = 2 * qint64(MaxCommandBytes);
    void setMaxPendingBytes(qint64 bytes) { m_maxPendingBytes = bytes; }

    // A sender that stops sending mid-command is dropped after this long.
    static constexpr int ReadTimeoutMs = 5000;

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
    void onNewConnection();
    void readCommands(QLocalSocket *socket);
    QString runningServerName() const;
    void limitPendingBytes();
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    std::function<bool(const QString &)> m_handler;
    QList<QPointer<QLocalSocket>> m_connections;
    qint64 m_maxPendingBytes = MaxPendingBytes;
};
