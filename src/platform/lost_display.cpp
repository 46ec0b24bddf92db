#include "platform/lost_display.h"

#include <cstdlib>
#include <thread>

namespace {

std::function<void()> g_save;
std::thread::id g_thread;
bool g_registered = false;

extern "C" void saveAtExit()
{
    // Only an exit on the thread the records belong to: another thread would read them while
    // the window thread may still be changing them.
    if (!g_save || std::this_thread::get_id() != g_thread)
        return;
    const std::function<void()> save = std::move(g_save);
    g_save = nullptr;
    save();
}

} // namespace

void LostDisplay::saveOnAbruptExit(std::function<void()> save)
{
    g_save = std::move(save);
    g_thread = std::this_thread::get_id();
    if (!g_registered)
        g_registered = std::atexit(saveAtExit) == 0;
}

void LostDisplay::disarm()
{
    g_save = nullptr;
}
