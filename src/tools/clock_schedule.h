#pragma once

#include "tools/clock_settings.h"

#include <QDateTime>
#include <QString>

// The hour and minute joined without leading zeros (9:35 -> "935"): how the scheduler marks
// the minute it has acted on.
QString clockMinuteText(const QTime &time);

// "The time is 9 o'clock": the words as stored, joined by single spaces.
QString shortClockSentence(const ClockSettings &settings, int hour);
// "The time is 14 o'clock 45 minute".
QString longClockSentence(const ClockSettings &settings, int hour, int minute);

// Minute boundaries crossed between two moments, whichever comes first: 10:07:20 to 10:17:00
// is 10.
qint64 minuteBoundariesBetween(const QDateTime &from, const QDateTime &to);

// Why the clock speaks in a minute. The periodic announcements win over the alarms, and the
// alarms rank interval, hourly, daily.
enum class ClockReason
{
    None,
    Hour,
    Half,
    Quarter,
    Interval,
    Hourly,
    Daily
};

struct ClockTick
{
    bool newMinute = false; // false: this minute was already dealt with; nothing changes
    ClockReason reason = ClockReason::None;
    QString sentence;        // what to announce; empty with ClockReason::None
    QString lastClockMinute; // the mark to keep for the next tick
};

// One scheduler tick at `now`: whether a new minute has begun since `lastClockMinute` and what,
// if anything, to announce. Nothing is announced without a voice (a generation other than 4
// or 5). An interval alarm of 0 minutes or less never fires.
ClockTick clockTick(const ClockSettings &settings, const QDateTime &now, const QDateTime &intervalStart,
                    const QString &lastClockMinute, int sapiVersion);
