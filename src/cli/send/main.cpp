// parlanto-send: 'parlanto-cli send' with the desktop libraries it needs (the local socket to the
// running window, the display's selection). parlanto-cli hands the command over to it, so the
// other commands start without those libraries.
#include "cli/cli_send.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Only reading the desktop's selection needs a connection to the display.
    std::unique_ptr<QCoreApplication> app;
    if (sendNeedsSelection(arguments)) {
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
            qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            std::fputs("parlanto-cli: no desktop session, so there is no selection to read\n", stderr);
            return 1;
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("parlanto-cli"));
    return sendCommand(QCoreApplication::arguments().mid(2));
}
