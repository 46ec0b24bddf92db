// parlanto-cli: the headless face of Parlanto's speech engines.
#include "cli/cli_commands.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("parlanto-cli"));
    return runCli(QCoreApplication::arguments().mid(1));
}
