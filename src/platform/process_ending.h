#pragma once

// Set once the program has been asked from outside to end (a termination signal, the end of
// the desktop session). From then on open dialogs are closed as if cancelled, no new one
// opens, and long waits inside the window thread give up, so that every event loop on the
// stack returns and the program ends from its main loop.
namespace ProcessEnding {

void begin();
bool begun();
// The ending is over (its owner is gone); a later one may begin again.
void reset();

} // namespace ProcessEnding
