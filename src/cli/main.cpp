// The command line itself: Qt Core and the engines, nothing of the desktop; 'send' runs in
// parlanto-send and the sound device is opened as a library when something is spoken aloud.
// The parlanto-cli program loads this library and calls parlanto_cli_main.
#include "cli/cli_commands.h"
#include "platform/process_end.h"

#include <QCoreApplication>

#include <malloc.h>

namespace {

// The engines allocate and free piece after piece on their worker threads. By default the
// allocator hands the top of a thread's heap back to the system after nearly every piece and
// takes it again for the next, and maps each large block afresh (page faults: 2-3 % of a Flite
// voice's time, more system time than eSpeak NG's own program). Free memory up to this much stays
// with the process, and only blocks from the larger size on get mappings of their own: both
// bounded, and a run of the command line ends soon anyway.
constexpr int KeptFreeHeapBytes = 16 * 1024 * 1024;
constexpr int OwnMappingBytes = 4 * 1024 * 1024;

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("parlanto-cli"));
    return runCli(QCoreApplication::arguments().mid(1));
}

} // namespace

extern "C" __attribute__((visibility("default"))) int parlanto_cli_main(int argc, char *argv[])
{
    mallopt(M_TRIM_THRESHOLD, KeptFreeHeapBytes);
    mallopt(M_MMAP_THRESHOLD, OwnMappingBytes);
    const int status = run(argc, argv);
    cliOut().flush();
    cliErr().flush();
    endProcess(status);
}
