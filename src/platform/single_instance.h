#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLockFile;
class QLocalServer;

// One Parlanto per user: a lock file in the runtime folder decides who is first; the first
// instance also listens on a user-only local socket for commands from later ones. A lock or
// socket left by a killed instance does not block the next start.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name = QStringLiteral("ttsparl-FormDDE"), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first instance (and now holds the lock and the socket).
    bool acquire();
    // From a second instance: hands one command to the first. True when it was accepted.
    bool send(const QString &command, int timeoutMs = 3000) const;
    // Largest command accepted, in bytes of UTF-8.
    static constexpr int MaxCommandBytes = 16 * 1024 * 1024;

    // Decides whether a received command is accepted; the answer goes back to the sender.
    void setHandler(std::function<bool(const QString &)> handler) { m_handler = std::move(handler); }

signals:
    void commandReceived(const QString &command);

private:
    void onNewConnection();
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    std::function<bool(const QString &)> m_handler;
};
