#pragma once

// Ends the process with `status` without running the libraries' static destructors. Call it
// once everything the program owns is closed (windows, files, the application object).
// Qt Multimedia's PulseAudio back end stops its threaded main loop from a static destructor
// while the loop's own thread may still be dispatching, which now and then aborts the process
// after the speech was heard and the files were written.
[[noreturn]] void endProcess(int status);
