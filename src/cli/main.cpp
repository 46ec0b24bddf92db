// parlanto-cli: the headless face of Parlanto's speech engines.
#include "cli/cli_commands.h"
#include "cli/cli_send.h"
#include "platform/process_end.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

int run(int argc, char *argv[])
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
    return runCli(QCoreApplication::arguments().mid(1));
}

} // namespace

int main(int argc, char *argv[])
{
    const int status = run(argc, argv);
    cliOut().flush();
    cliErr().flush();
    endProcess(status);
}
