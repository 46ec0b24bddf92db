#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <unistd.h>

// An X server (Xvfb) on a display of the test's own, for tests that need a real desktop: started
// before the application connects to it, stopped when it goes. It never resets: by default an X
// server resets when its last client leaves, and refuses whoever connects meanwhile (a window
// manager started then fails to open the display). `missing` names the tools that are
// not installed (scripts/install-deps installs them); ok() is false when the server did not start.
struct XServer
{
    qint64 pid = 0;
    QString display;
    QString missing;
    QTemporaryDir scratch;

    explicit XServer(const QStringList &tools = {QStringLiteral("Xvfb")})
    {
        for (const QString &tool : tools)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                missing += tool + QLatin1Char(' ');
        if (!missing.isEmpty())
            return;
        // A free display number derived from this process, so that parallel tests never meet.
        for (int attempt = 0; attempt < 20 && display.isEmpty(); ++attempt) {
            const int number = 300 + (::getpid() + attempt * 37) % 600;
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                continue;
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            if (!QProcess::startDetached(QStringLiteral("Xvfb"),
                                         {QStringLiteral(":%1").arg(number), QStringLiteral("-screen"),
                                          QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                          QStringLiteral("-noreset")},
                                         QString(), &pid))
                break;
            QElapsedTimer waited;
            waited.start();
            while (!QFile::exists(socket) && ::kill(pid_t(pid), 0) == 0 && waited.elapsed() < 10000)
                QThread::msleep(20);
            if (QFile::exists(socket) && ::kill(pid_t(pid), 0) == 0)
                display = QStringLiteral(":%1").arg(number);
            else
                stop();
        }
    }
    ~XServer() { stop(); }
    void stop()
    {
        if (pid > 0) {
            ::kill(pid_t(pid), SIGTERM);
            pid = 0;
        }
    }
    bool ok() const { return !display.isEmpty(); }

    // Puts text on the clipboard as another program does; xclip serves it until the next owner.
    bool copy(const QString &text)
    {
        const QString file = scratch.filePath(QStringLiteral("copied-%1").arg(++copies));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            return false;
        out.write(text.toUtf8());
        out.close();
        QProcess xclip;
        xclip.setProcessEnvironment(environment());
        xclip.setProgram(QStringLiteral("xclip"));
        xclip.setArguments(
            {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i"), file});
        return xclip.startDetached();
    }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        return env;
    }
    int copies = 0;
};
