#pragma once

#include "app/settings_records.h"
#include "audio/job_record.h"
#include "tools/clock_settings.h"

#include <QDateTime>
#include <QString>

// Process-wide state shared by the windows. One instance lives for the whole run, owned by
// main() and handed to the main window by reference.
struct AppState
{
    // Decides whether closing the main window ends the program.
    bool ExitRequested = false;
    // Tells a running download of the update window to stop.
    bool UpdateCancel = false;
    // False while the update window is open: it refuses to close but by its own Close button.
    bool UpdateCloseAllowed = true;
    // Start-up classification of the command line: "explorer", "internet", "program" or "".
    QString StartMode;
    // Start moment, and its hour and minute joined without leading zeros (9:35 -> "935").
    QDateTime IntervalStart;
    QString LastClockMinute;

    SpeechSettings speech;
    WindowSettings window;

    // The talking clock's settings, and the bell and sentence the clock window hands to the test
    // timer.
    ClockSettings clock;
    QString TestBellFile;
    QString TestSentence;
    // The one sound-file job at a time (saves, conversions, batches).
    JobRecord job;
};
