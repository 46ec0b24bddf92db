// The command line itself: Qt Core and the engines, nothing of the desktop; 'send' runs in
// parlanto-send and the sound device is opened as a library when something is spoken aloud.
// The parlanto-cli program loads this library and calls parlanto_cli_main.
#include "cli/cli_commands.h"
#include "platform/process_end.h"

#include <QCoreApplication>

namespace {

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("parlanto-cli"));
    return runCli(QCoreApplication::arguments().mid(1));
}

} // namespace

extern "C" __attribute__((visibility("default"))) int parlanto_cli_main(int argc, char *argv[])
{
    const int status = run(argc, argv);
    cliOut().flush();
    cliErr().flush();
    endProcess(status);
}
