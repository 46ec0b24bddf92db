// parlanto-cli: the headless face of Parlanto's speech engines. It links Qt Core and the
// engines only; 'send' runs in parlanto-send and the sound device is opened as a library when
// something is spoken aloud.
#include "cli/cli_commands.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("parlanto-cli"));
    return runCli(QCoreApplication::arguments().mid(1));
}
