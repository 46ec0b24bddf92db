#pragma once

// Where the threads of a starting program run. While the application object connects to the
// display, the main thread sends a request, waits for the display server's answer and works on,
// a few hundred times over. A helper thread doing set-up work beside it makes the scheduler wake
// it on whichever core is free, and each move costs it its caches. On a machine with a core to
// spare, the main thread is kept on the core it starts on and the helper on the others, until
// every thread is given back all its cores.
namespace StartCores {

// The core the calling thread runs on, when fewer threads are runnable than the process has
// cores; -1 otherwise (one core, a busy machine, no way to tell). Call it on the main thread
// before any other thread starts.
int spareCore();

// Keeps the calling thread on `core`, or on every core of the process but `core`. A core of -1
// changes nothing.
void keepOn(int core);
void keepOff(int core);

// After keepOn(core): every thread of the process back on all the cores it had at start.
void release(int core);

} // namespace StartCores
