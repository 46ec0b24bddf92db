#include "app/app_state.h"
#include "app/orderly_exit.h"
#include "app/terminal_start.h"
#include "app/ttsmain.h"
#include "platform/command_line.h"
#include "platform/display_platform.h"
#include "platform/process_end.h"
#include "platform/program_folder.h"
#include "platform/single_instance.h"
#include "platform/start_cores.h"
#include "speech/synth_engine.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

#include <fontconfig/fontconfig.h>
#include <malloc.h>

#include <latch>
#include <thread>

namespace {

// Long enough for the first paint of the window, short next to an idle minute.
constexpr int StartupMemoryReturnMs = 1000;

int run(int argc, char *argv[])
{
    if (const std::optional<int> status = answerOnTerminal(argc, argv))
        return *status;
    // Work the window needs and the application object does not is started at once, on a thread
    // of its own, while the display connection is made, in the order the window needs it:
    // fontconfig reads its configuration and font cache (the text box lays out its text as it is
    // made); the instance lock is taken and the command socket opened (mostly waiting for the
    // disk); eSpeak NG's voices are listed, from the list kept by an earlier start while nothing
    // it came from has changed, else by the engine itself. Asking for the lock or the engine
    // before the thread is done with it waits for it. One thread, one task after the other.
    // While the application object is made, this thread keeps the core it starts on and the
    // helper stays off it, when the machine has a core to spare (see start_cores.h).
    const int core = StartCores::spareCore();
    std::latch fontsReady(1);
    std::jthread helper([&fontsReady, core] {
        StartCores::keepOff(core);
        FcInit();
        fontsReady.count_down();
        SingleInstance::acquireAhead();
        SynthEngine::espeak();
    });
    // X11 through XWayland where a Wayland session offers it (see display_platform.h).
    const QString platform = choosePreferredDisplayPlatform(argc, argv);
    StartCores::keepOn(core);
    const std::unique_ptr<QApplication> application = startApplication(argc, argv);
    StartCores::release(core);
    QApplication &app = *application;
    forgetPreferredDisplayPlatform(platform);
    QApplication::setApplicationName(QStringLiteral("parlanto"));
    // Closing the main window hides it; only ExitAll ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // No widget asks for a font before fontconfig is ready.
    fontsReady.wait();
    AppState state;
    ttsmain window(state);
    // A termination request (logout, kill, Ctrl+C) or the end of the desktop session ends the
    // program as "Exit all" does, settings written, the instance lock released; a lost display
    // still writes the settings.
    OrderlyExit ending(window);
    // The session manager may still cancel the logout: only save here.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.SaveSettings_Timer(); });

    const QStringList arguments = QApplication::arguments().mid(1);
    hideCommandLine(argc, argv);
    // An early end (a later start, the end marker) is queued with its exit status (1 for a
    // hand-over the running copy refused), which the event loop then returns.
    if (window.Form_Load(arguments.join(QLatin1Char(' '))) == ttsmain::LoadResult::Ended)
        return QApplication::exec();
    // What only start-up needed (fontconfig's set-up, the voice list read, the threads that did
    // it) is freed by now but still held by the allocator: it goes back once the window shows.
    QTimer::singleShot(StartupMemoryReturnMs, [] { malloc_trim(0); });
    return ending.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // The windows, the records and the application object are gone when run() returns.
    endProcess(run(argc, argv));
}
