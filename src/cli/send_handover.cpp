// 'parlanto-cli send' runs in parlanto-send, which carries the desktop libraries the command
// needs; parlanto-cli itself starts without them.
#include "cli/cli_send.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

int sendCommand(const QStringList &args)
{
    // Installed in the program's helper folder; in the build folder beside parlanto-cli.
    const QDir here(QCoreApplication::applicationDirPath());
    QString helper = here.filePath(QStringLiteral(PARLANTO_HELPER_DIR_FROM_BIN "/parlanto-send"));
    if (!QFileInfo(helper).isExecutable())
        helper = here.filePath(QStringLiteral("parlanto-send"));
    const QByteArray program = QFile::encodeName(helper);
    std::vector<QByteArray> encoded{program, QByteArrayLiteral("send")};
    for (const QString &arg : args)
        encoded.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &arg : encoded)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    ::execv(program.constData(), argv.data());
    std::fprintf(stderr, "parlanto-cli: cannot start %s: %s\n", program.constData(), std::strerror(errno));
    return 1;
}
