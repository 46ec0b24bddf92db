#include "platform/clock.h"

namespace {
Clock *installedClock = nullptr;
}

Clock &Clock::instance()
{
    static SystemClock systemClock;
    return installedClock ? *installedClock : static_cast<Clock &>(systemClock);
}

void Clock::install(Clock *clock)
{
    installedClock = clock;
}
