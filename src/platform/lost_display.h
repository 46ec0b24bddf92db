#pragma once

#include <functional>

// When the window system goes away under the program (the X server dies or drops the
// connection, the Wayland compositor ends), Qt ends the process on the spot with exit(1): no
// event loop returns and no window unloads. This keeps a last word for that case: `save` runs
// from the process's exit handlers, on the thread that armed it, unless the program has ended
// the ordinary way first.
//
// `save` runs with the display gone and the process half-ended: it must not touch widgets, the
// display or the event loop; it writes records from memory and nothing else.
namespace LostDisplay {

// Arms the last word (again: the latest `save` counts).
void saveOnAbruptExit(std::function<void()> save);
// The program has ended the ordinary way, or is about to end without saving: nothing is saved
// at exit any more.
void disarm();

} // namespace LostDisplay
