#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

inline constexpr char ClockSettingsFileName[] = "stime.ini";

// The talking clock's settings. A switch is on only when it holds exactly 1. An alarm time
// not in use holds a value no clock reading reaches: 70 for a minute, 25 for an hour.
struct ClockSettings
{
    static constexpr int32_t NeverMinute = 70;
    static constexpr int32_t NeverHour = 25;

    // Field order is the on-disk order of stime.ini; do not reorder.
    int32_t SayOnHour = 1;                              // Long: announce at minute 0
    int32_t SayOnHalf = 1;                              // Long: announce at minute 30
    int32_t SayOnQuarter = 1;                           // Long: announce at minutes 15 and 45
    QString PrefixText = QStringLiteral("The time is"); // String: words before the hour
    QString HourWord = QStringLiteral("o'clock");       // String: word after the hour
    QString MinuteWord = QStringLiteral("minute");      // String: word after the minute
    QString BellFile;                                   // String: full path of the bell sound
    int32_t IntervalAlarmOn = 0;                        // Long
    int32_t IntervalMinutes = 0;                        // Long: period of the interval alarm
    int32_t HourlyAlarmOn = 0;                          // Long
    int32_t HourlyAlarmMinute = NeverMinute;            // Long
    int32_t DailyAlarmOn = 0;                           // Long
    int32_t DailyAlarmHour = NeverHour;                 // Long
    int32_t DailyAlarmMinute = NeverMinute;             // Long

    bool operator==(const ClockSettings &) const = default;
};

// The bell shipped in the program folder.
QString defaultBellFile(const QString &programFolder);
// The settings used when there is no stime.ini.
ClockSettings defaultClockSettings(const QString &programFolder);

QByteArray encode(const ClockSettings &settings);
// A record cut short keeps the values of `missing` for the fields past its data; bytes after
// the last field are ignored.
ClockSettings decodeClockSettings(const QByteArray &data, const ClockSettings &missing);

// The settings of the program folder: stime.ini when it exists, else the defaults (nothing is
// written). A bell file that no longer exists falls back to the shipped bell.
ClockSettings loadClockSettings(const QString &programFolder);
// Replaces stime.ini whole, or leaves the old file; false when it could not be written.
bool saveClockSettings(const QString &programFolder, const ClockSettings &settings);
