#include "platform/process_ending.h"

namespace {
// Read and written on the window thread only.
bool g_begun = false;
} // namespace

void ProcessEnding::begin()
{
    g_begun = true;
}

bool ProcessEnding::begun()
{
    return g_begun;
}

void ProcessEnding::reset()
{
    g_begun = false;
}
