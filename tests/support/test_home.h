#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

// Gives a test process a fresh, empty program folder of its own. Create one before
// anything asks for the program folder (first thing in initTestCase).
class TestHome
{
public:
    TestHome()
    {
        qputenv("PARLANTO_HOME", m_dir.path().toLocal8Bit());
        // Temporary sound files of this process stay in its own folder, apart from parallel tests.
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toLocal8Bit());
        if (qEnvironmentVariableIsEmpty("PARLANTO_AUDIO"))
            qputenv("PARLANTO_AUDIO", "fast");
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
