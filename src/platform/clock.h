#pragma once

#include <QDateTime>

// Where the time of day comes from wherever it decides behaviour (the talking clock, the
// media control's aliases). Production reads the system clock; tests install a clock they
// step themselves.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // The process-wide clock: the system clock unless a test installed another.
    static Clock &instance();
    // Installs a replacement (not owned); nullptr puts the system clock back.
    static void install(Clock *clock);
};

// The local time of the machine.
class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
