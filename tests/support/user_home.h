#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

// A home folder of the test's own (HOME, with its XDG_CONFIG_HOME inside), so that the user's
// documents folder is a known place: `documents()` once made with makeDocuments(), else none.
// Puts the previous values back when it goes.
class UserHome
{
public:
    UserHome() : m_home(qgetenv("HOME")), m_config(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", m_dir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral(".config")).toLocal8Bit());
    }
    ~UserHome()
    {
        qputenv("HOME", m_home);
        if (m_config.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_config);
    }
    UserHome(const UserHome &) = delete;
    UserHome &operator=(const UserHome &) = delete;

    QString path() const { return m_dir.path(); }
    QString documents() const { return m_dir.filePath(QStringLiteral("Documents")); }
    void makeDocuments() const { QDir().mkpath(documents()); }

private:
    QTemporaryDir m_dir;
    QByteArray m_home;
    QByteArray m_config;
};
