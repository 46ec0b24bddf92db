// parlanto-cli: the headless face of Parlanto's speech engines. It links Qt Core and the
// engines only; 'send' runs in parlanto-send and the sound device is opened as a library when
// something is spoken aloud.
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

int main(int argc, char *argv[])
{
    const int status = run(argc, argv);
    cliOut().flush();
    cliErr().flush();
    endProcess(status);
}
