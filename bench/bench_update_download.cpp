// Downloads a 200 MB installer (or as many MB as the first argument says) through the update window from a
// server on 127.0.0.1 and reports the time and how much the process's peak memory grew (the body goes to disk
// as it arrives).
#include "tools/updatewin.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

// The installer's size in MB: the first argument, else 200.
qint64 installerBytes = 200LL * 1024 * 1024;
constexpr qint64 pieceBytes = 64 * 1024;

// The installer: a script that ends at once, padded with comment bytes.
QByteArray piece(qint64 offset)
{
    static const QByteArray head = "#!/bin/sh\nexit 0\n#";
    QByteArray bytes(pieceBytes, 'p');
    if (offset == 0)
        bytes.replace(0, head.size(), head);
    return bytes.left(qMin(pieceBytes, installerBytes - offset));
}

qint64 peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("PARLANTO_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const long long megabytes = argc > 1 ? qMax<qint64>(1, QByteArray(argv[1]).toLongLong()) : 200;
    installerBytes = megabytes * 1024 * 1024;

    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (qint64 offset = 0; offset < installerBytes; offset += pieceBytes)
        hash.addData(piece(offset));
    const QByteArray versionFile = "9.99\n" + hash.result().toHex() + "\n";

    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &versionFile] {
                const QByteArray request = socket->readAll();
                if (request.contains("updateinfo.ini")) {
                    socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                                  QByteArray::number(versionFile.size()) + "\r\n\r\n" + versionFile);
                    socket->disconnectFromHost();
                    return;
                }
                socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                              QByteArray::number(installerBytes) + "\r\n\r\n");
                // Keeps about 1 MB queued, so the server's own memory stays small too.
                auto sent = std::make_shared<qint64>(0);
                const auto fill = [socket, sent] {
                    while (*sent < installerBytes && socket->bytesToWrite() < 1024 * 1024) {
                        const QByteArray bytes = piece(*sent);
                        socket->write(bytes);
                        *sent += bytes.size();
                    }
                    if (*sent >= installerBytes && socket->bytesToWrite() == 0)
                        socket->disconnectFromHost();
                };
                QObject::connect(socket, &QTcpSocket::bytesWritten, socket, fill);
                fill();
            });
        }
    });
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "update download: cannot listen\n");
        return 1;
    }
    qputenv("PARLANTO_SITE", "http://127.0.0.1:" + QByteArray::number(server.serverPort()));

    bool closeAllowed = false;
    bool cancel = false;
    bool ended = false;
    updatewin::Links links;
    links.versionCaption = [] { return QStringLiteral("Version 1.71"); };
    links.UpdateCloseAllowed = &closeAllowed;
    links.UpdateCancel = &cancel;
    links.endForInstaller = [&] {
        ended = true;
        QApplication::quit();
    };
    updatewin window(links);
    window.Form_Load();
    window.show();

    window.Command4_Click();
    while (!window.Command4->isEnabled())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!window.Command5->isVisible()) {
        std::fprintf(stderr, "update download: the check found no new version\n");
        return 1;
    }
    const long long before = peakKilobytes();
    QElapsedTimer timer;
    timer.start();
    window.Command5_Click();
    // The window ends the program once the installer has been started; a failed download
    // re-enables Check instead.
    while (!ended && !window.Command4->isEnabled())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const long long after = peakKilobytes();
    if (!ended) {
        std::fprintf(stderr, "update download %lld MB failed: %s\n", megabytes,
                     qPrintable(window.Label2->text()));
        return 1;
    }
    std::printf("update download %lld MB: %.2f s (%.0f MB/s) including verification, peak memory grew by "
                "%lld kB (%lld -> %lld kB)\n",
                megabytes, seconds, double(megabytes) / seconds, after - before, before, after);
    return 0;
}
