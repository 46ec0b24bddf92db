#include "tools/clock_settings.h"

#include "platform/record_codec.h"

#include <QDir>
#include <QFileInfo>

namespace {

struct FieldWriter
{
    RecordWriter w;
    void longValue(const int32_t &v) { w.writeLong(v); }
    void text(const QString &v) { w.writeString(v); }
};

// Takes a field only when some of its bytes are there, so a short file keeps the values it
// never reached.
struct FieldReader
{
    RecordReader r;
    void longValue(int32_t &v)
    {
        if (!r.atEnd())
            v = r.readLong();
    }
    void text(QString &v)
    {
        if (!r.atEnd())
            v = r.readString();
    }
};

// The fields in their on-disk order, walked by the writer and the reader alike; do not reorder.
template <typename Io, typename Settings> void clockFields(Io &io, Settings &s)
{
    io.longValue(s.SayOnHour);
    io.longValue(s.SayOnHalf);
    io.longValue(s.SayOnQuarter);
    io.text(s.PrefixText);
    io.text(s.HourWord);
    io.text(s.MinuteWord);
    io.text(s.BellFile);
    io.longValue(s.IntervalAlarmOn);
    io.longValue(s.IntervalMinutes);
    io.longValue(s.HourlyAlarmOn);
    io.longValue(s.HourlyAlarmMinute);
    io.longValue(s.DailyAlarmOn);
    io.longValue(s.DailyAlarmHour);
    io.longValue(s.DailyAlarmMinute);
}

QString fileIn(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name);
}

} // namespace

QString defaultBellFile(const QString &programFolder)
{
    return fileIn(programFolder, QStringLiteral("bell.wav"));
}

ClockSettings defaultClockSettings(const QString &programFolder)
{
    ClockSettings settings;
    settings.BellFile = defaultBellFile(programFolder);
    return settings;
}

QByteArray encode(const ClockSettings &settings)
{
    FieldWriter io;
    clockFields(io, settings);
    return io.w.data();
}

ClockSettings decodeClockSettings(const QByteArray &data, const ClockSettings &missing)
{
    FieldReader io{RecordReader(data)};
    ClockSettings settings = missing;
    clockFields(io, settings);
    return settings;
}

ClockSettings loadClockSettings(const QString &programFolder)
{
    const ClockSettings defaults = defaultClockSettings(programFolder);
    const QString path = fileIn(programFolder, QLatin1String(ClockSettingsFileName));
    const std::optional<QByteArray> data = readRecordFile(path);
    ClockSettings settings = data ? decodeClockSettings(*data, defaults) : defaults;
    if (!QFileInfo(settings.BellFile).isFile())
        settings.BellFile = defaults.BellFile;
    return settings;
}

bool saveClockSettings(const QString &programFolder, const ClockSettings &settings)
{
    return writeRecordFile(fileIn(programFolder, QLatin1String(ClockSettingsFileName)), encode(settings));
}
