#include "tools/clock_schedule.h"

namespace {

qint64 minuteNumber(const QDateTime &moment)
{
    // Whole minutes since the epoch, in local wall time so that a boundary is where the clock
    // on the wall shows a new minute.
    const qint64 seconds = moment.toSecsSinceEpoch() + moment.offsetFromUtc();
    return seconds >= 0 ? seconds / 60 : -((-seconds + 59) / 60);
}

ClockReason periodicReason(const ClockSettings &s, int minute)
{
    if (minute == 0)
        return s.SayOnHour == 1 ? ClockReason::Hour : ClockReason::None;
    if (minute == 30)
        return s.SayOnHalf == 1 ? ClockReason::Half : ClockReason::None;
    if (minute == 15 || minute == 45)
        return s.SayOnQuarter == 1 ? ClockReason::Quarter : ClockReason::None;
    return ClockReason::None;
}

ClockReason alarmReason(const ClockSettings &s, const QDateTime &now, const QDateTime &intervalStart)
{
    const int hour = now.time().hour();
    const int minute = now.time().minute();
    if (s.IntervalAlarmOn == 1 && s.IntervalMinutes > 0 &&
        minuteBoundariesBetween(intervalStart, now) % s.IntervalMinutes == 0)
        return ClockReason::Interval;
    if (s.HourlyAlarmOn == 1 && minute == s.HourlyAlarmMinute)
        return ClockReason::Hourly;
    if (s.DailyAlarmOn == 1 && hour == s.DailyAlarmHour && minute == s.DailyAlarmMinute)
        return ClockReason::Daily;
    return ClockReason::None;
}

} // namespace

QString clockMinuteText(const QTime &time)
{
    return QString::number(time.hour()) + QString::number(time.minute());
}

QString shortClockSentence(const ClockSettings &settings, int hour)
{
    return settings.PrefixText + QLatin1Char(' ') + QString::number(hour) + QLatin1Char(' ') +
           settings.HourWord;
}

QString longClockSentence(const ClockSettings &settings, int hour, int minute)
{
    return shortClockSentence(settings, hour) + QLatin1Char(' ') + QString::number(minute) +
           QLatin1Char(' ') + settings.MinuteWord;
}

qint64 minuteBoundariesBetween(const QDateTime &from, const QDateTime &to)
{
    return qAbs(minuteNumber(to) - minuteNumber(from));
}

ClockTick clockTick(const ClockSettings &settings, const QDateTime &now, const QDateTime &intervalStart,
                    const QString &lastClockMinute, int sapiVersion)
{
    ClockTick tick;
    const QTime time = now.time();
    tick.lastClockMinute = clockMinuteText(time);
    if (tick.lastClockMinute == lastClockMinute) {
        tick.lastClockMinute = lastClockMinute;
        return tick;
    }
    tick.newMinute = true;
    if (sapiVersion != 4 && sapiVersion != 5)
        return tick;
    tick.reason = periodicReason(settings, time.minute());
    if (tick.reason == ClockReason::None)
        tick.reason = alarmReason(settings, now, intervalStart);
    if (tick.reason == ClockReason::Hour)
        tick.sentence = shortClockSentence(settings, time.hour());
    else if (tick.reason != ClockReason::None)
        tick.sentence = longClockSentence(settings, time.hour(), time.minute());
    return tick;
}
