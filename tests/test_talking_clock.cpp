// test-links: parlanto_tools
#include "support/record_bytes.h"
#include "tools/clock_schedule.h"
#include "tools/clock_settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

struct Announcement
{
    QTime at;
    ClockReason reason;
    QString sentence;
};

// Runs the scheduler as the main window does: started at `start`, ticking every 50 s for a
// whole day, with the voice generation `sapiVersion`.
QList<Announcement> simulateDay(const ClockSettings &settings, const QDateTime &start, int sapiVersion = 5)
{
    QList<Announcement> said;
    QString last = clockMinuteText(start.time());
    const QDateTime intervalStart = start;
    for (QDateTime now = start.addSecs(50); now < start.addDays(1); now = now.addSecs(50)) {
        const ClockTick tick = clockTick(settings, now, intervalStart, last, sapiVersion);
        if (tick.reason != ClockReason::None)
            said.append({now.time(), tick.reason, tick.sentence});
        last = tick.lastClockMinute;
    }
    return said;
}

ClockSettings periodicOff()
{
    ClockSettings s = defaultClockSettings(QStringLiteral("/P"));
    s.SayOnHour = s.SayOnHalf = s.SayOnQuarter = 0;
    return s;
}

QDateTime at(int h, int m, int s = 0)
{
    return QDateTime(QDate(2026, 3, 10), QTime(h, m, s));
}

} // namespace

// The scheduler's rules, the clock's sentences and its settings record.
class TestTalkingClock : public QObject
{
    Q_OBJECT

private slots:
    // A whole simulated day per row: how many announcements, and what some of them say.
    void simulatedDay()
    {
        struct Row
        {
            const char *name;
            std::function<void(ClockSettings &)> set;
            QDateTime start;
            int count;
            QList<QPair<QTime, QString>> samples; // announcements that must be among them
            QString first;
        };
        const QList<Row> rows = {
            {"defaults, started at midnight",
             [](ClockSettings &) {},
             at(0, 0, 20),
             95,
             {{QTime(9, 0), "The time is 9 o'clock"},
              {QTime(13, 30), "The time is 13 o'clock 30 minute"},
              {QTime(23, 45), "The time is 23 o'clock 45 minute"}},
             "The time is 0 o'clock 15 minute"},
            {"defaults, started just before a quarter",
             [](ClockSettings &) {},
             at(9, 14, 55),
             96,
             {{QTime(0, 0), "The time is 0 o'clock"}},
             "The time is 9 o'clock 15 minute"},
            {"own words, empty prefix keeps its space",
             [](ClockSettings &s) {
                 s.PrefixText.clear();
                 s.HourWord = "Uhr";
                 s.MinuteWord = "Minuten";
             },
             at(0, 0, 20),
             95,
             {{QTime(7, 0), " 7 Uhr"}, {QTime(7, 45), " 7 Uhr 45 Minuten"}},
             " 0 Uhr 15 Minuten"},
            {"hour only",
             [](ClockSettings &s) { s.SayOnHalf = s.SayOnQuarter = 0; },
             at(0, 0, 20),
             23,
             {{QTime(12, 0), "The time is 12 o'clock"}},
             "The time is 1 o'clock"},
            {"quarter and half without hour (hand-made file)",
             [](ClockSettings &s) { s.SayOnHour = 0; },
             at(0, 0, 20),
             72,
             {{QTime(5, 30), "The time is 5 o'clock 30 minute"}},
             "The time is 0 o'clock 15 minute"},
            {"switch values other than 1 are off",
             [](ClockSettings &s) { s.SayOnHour = s.SayOnHalf = s.SayOnQuarter = -1; },
             at(0, 0, 20),
             0,
             {},
             {}},
            {"hourly alarm at minute 0, hour off",
             [](ClockSettings &s) {
                 s = periodicOff();
                 s.HourlyAlarmOn = 1;
                 s.HourlyAlarmMinute = 0;
             },
             at(0, 0, 20),
             23,
             {{QTime(9, 0), "The time is 9 o'clock 0 minute"}},
             "The time is 1 o'clock 0 minute"},
            {"daily alarm 7:05 fires once",
             [](ClockSettings &s) {
                 s = periodicOff();
                 s.DailyAlarmOn = 1;
                 s.DailyAlarmHour = 7;
                 s.DailyAlarmMinute = 5;
             },
             at(0, 0, 20),
             1,
             {{QTime(7, 5), "The time is 7 o'clock 5 minute"}},
             "The time is 7 o'clock 5 minute"},
            {"daily alarm with never values",
             [](ClockSettings &s) {
                 s = periodicOff();
                 s.DailyAlarmOn = 1;
             },
             at(0, 0, 20),
             0,
             {},
             {}},
            {"interval of 7 minutes",
             [](ClockSettings &s) {
                 s = periodicOff();
                 s.IntervalAlarmOn = 1;
                 s.IntervalMinutes = 7;
             },
             at(0, 0, 20),
             1439 / 7,
             {{QTime(0, 7), "The time is 0 o'clock 7 minute"}, {QTime(23, 55), {}}},
             "The time is 0 o'clock 7 minute"},
            // Periodic announcements absorb the interval alarm at minutes 0 and 30.
            {"interval of 10 minutes beside the defaults",
             [](ClockSettings &s) {
                 s.IntervalAlarmOn = 1;
                 s.IntervalMinutes = 10;
             },
             at(0, 0, 20),
             95 + 143 - 47,
             {{QTime(0, 10), "The time is 0 o'clock 10 minute"}},
             "The time is 0 o'clock 10 minute"},
            {"interval of 0 minutes never fires",
             [](ClockSettings &s) {
                 s = periodicOff();
                 s.IntervalAlarmOn = 1;
                 s.IntervalMinutes = 0;
             },
             at(0, 0, 20),
             0,
             {},
             {}},
            {"negative interval never fires",
             [](ClockSettings &s) {
                 s = periodicOff();
                 s.IntervalAlarmOn = 1;
                 s.IntervalMinutes = -5;
             },
             at(0, 0, 20),
             0,
             {},
             {}},
            {"interval with its switch off",
             [](ClockSettings &s) {
                 s = periodicOff();
                 s.IntervalMinutes = 1;
             },
             at(0, 0, 20),
             0,
             {},
             {}},
        };
        for (const Row &row : rows) {
            ClockSettings settings = defaultClockSettings(QStringLiteral("/P"));
            row.set(settings);
            const QList<Announcement> said = simulateDay(settings, row.start);
            const QByteArray name = row.name;
            QVERIFY2(said.size() == row.count, name + ": " + QByteArray::number(said.size()) +
                                                   " announcements, not " + QByteArray::number(row.count));
            // One announcement per minute at most, and never in the minute of start-up.
            QSet<QTime> minutes;
            for (const Announcement &a : said) {
                const QTime minute(a.at.hour(), a.at.minute());
                QVERIFY2(!minutes.contains(minute), name + " twice at " + minute.toString().toLatin1());
                minutes.insert(minute);
                QVERIFY2(minute != QTime(row.start.time().hour(), row.start.time().minute()), name);
            }
            if (!row.first.isEmpty())
                QCOMPARE(said.first().sentence, row.first);
            for (const auto &[time, sentence] : row.samples) {
                const auto it = std::find_if(said.begin(), said.end(), [&](const Announcement &a) {
                    return a.at.hour() == time.hour() && a.at.minute() == time.minute();
                });
                QVERIFY2(it != said.end(), name + ": nothing at " + time.toString().toLatin1());
                if (!sentence.isEmpty())
                    QCOMPARE(it->sentence, sentence);
            }
        }
    }

    // Single ticks: the ranking when two are due in one minute, the interval alarm's minute
    // boundaries, and what ends a tick early.
    void oneTick()
    {
        struct Row
        {
            const char *name;
            std::function<void(ClockSettings &)> set;
            QDateTime intervalStart;
            QDateTime now;
            QString last;
            int sapi;
            bool newMinute;
            ClockReason reason;
            QString sentence;
        };
        const auto hourlyAt0 = [](ClockSettings &s) {
            s.HourlyAlarmOn = 1;
            s.HourlyAlarmMinute = 0;
        };
        const auto allAlarms = [](ClockSettings &s) {
            s = periodicOff();
            s.IntervalAlarmOn = 1;
            s.IntervalMinutes = 5;
            s.HourlyAlarmOn = 1;
            s.HourlyAlarmMinute = 20;
            s.DailyAlarmOn = 1;
            s.DailyAlarmHour = 10;
            s.DailyAlarmMinute = 20;
        };
        const auto interval10 = [](ClockSettings &s) {
            s = periodicOff();
            s.IntervalAlarmOn = 1;
            s.IntervalMinutes = 10;
        };
        const QString long1020 = "The time is 10 o'clock 20 minute";
        const QList<Row> rows = {
            {"hour beats the hourly alarm", hourlyAt0, at(8, 0), at(9, 0, 10), "859", 5, true,
             ClockReason::Hour, "The time is 9 o'clock"},
            {"hourly alarm when hour is off",
             [&](ClockSettings &s) {
                 hourlyAt0(s);
                 s.SayOnHour = 0;
             },
             at(8, 0), at(9, 0, 10), "859", 4, true, ClockReason::Hourly, "The time is 9 o'clock 0 minute"},
            {"hour off, nothing due",
             [](ClockSettings &s) { s.SayOnHour = 0; },
             at(8, 0),
             at(9, 0, 10),
             "859",
             5,
             true,
             ClockReason::None,
             {}},
            {"interval beats hourly and daily", allAlarms, at(10, 0, 30), at(10, 20, 5), "1019", 5, true,
             ClockReason::Interval, long1020},
            {"hourly beats daily", allAlarms, at(10, 1, 30), at(10, 20, 5), "1019", 5, true,
             ClockReason::Hourly, long1020},
            {"daily alone",
             [&](ClockSettings &s) {
                 allAlarms(s);
                 s.HourlyAlarmMinute = 21;
             },
             at(10, 1, 30), at(10, 20, 5), "1019", 5, true, ClockReason::Daily, long1020},
            {"half beats every alarm",
             [&](ClockSettings &s) {
                 allAlarms(s);
                 s.SayOnHalf = 1;
                 s.HourlyAlarmMinute = 30;
             },
             at(10, 0, 30), at(10, 30, 5), "1029", 5, true, ClockReason::Half,
             "The time is 10 o'clock 30 minute"},
            {"interval: 10:07:20 to 10:17:00 is 10 boundaries", interval10, at(10, 7, 20), at(10, 17, 0),
             "1016", 5, true, ClockReason::Interval, "The time is 10 o'clock 17 minute"},
            {"interval: 10:07:20 to 10:16:59 is 9",
             interval10,
             at(10, 7, 20),
             at(10, 16, 59),
             "1015",
             5,
             true,
             ClockReason::None,
             {}},
            {"interval: still the minute of the save is 0", interval10, at(10, 7, 20), at(10, 7, 59), "106",
             5, true, ClockReason::Interval, "The time is 10 o'clock 7 minute"},
            {"interval: boundaries counted across midnight", interval10, at(23, 55, 40),
             at(0, 5, 1).addDays(1), "04", 5, true, ClockReason::Interval, "The time is 0 o'clock 5 minute"},
            {"interval: a start after now counts backwards", interval10, at(10, 20, 0), at(10, 10, 30), "109",
             5, true, ClockReason::Interval, "The time is 10 o'clock 10 minute"},
            {"the same minute again",
             [](ClockSettings &) {},
             at(8, 0),
             at(9, 15, 40),
             "915",
             5,
             false,
             ClockReason::None,
             {}},
            {"no voice: the minute passes silently",
             [](ClockSettings &) {},
             at(8, 0),
             at(9, 15, 0),
             "914",
             0,
             true,
             ClockReason::None,
             {}},
            {"midnight in 24-hour form", [](ClockSettings &) {}, at(8, 0), at(0, 0, 3), "2359", 5, true,
             ClockReason::Hour, "The time is 0 o'clock"},
        };
        for (const Row &row : rows) {
            ClockSettings settings = defaultClockSettings(QStringLiteral("/P"));
            row.set(settings);
            const ClockTick tick = clockTick(settings, row.now, row.intervalStart, row.last, row.sapi);
            const QByteArray name = row.name;
            QVERIFY2(tick.newMinute == row.newMinute, name);
            QVERIFY2(tick.reason == row.reason, name + ": reason " + QByteArray::number(int(tick.reason)));
            QVERIFY2(tick.sentence == row.sentence, name + ": " + tick.sentence.toUtf8());
            QCOMPARE(tick.lastClockMinute, clockMinuteText(row.now.time()));
        }
        QCOMPARE(clockMinuteText(QTime(9, 35)), QStringLiteral("935"));
        QCOMPARE(clockMinuteText(QTime(0, 0)), QStringLiteral("00"));
        QCOMPARE(minuteBoundariesBetween(at(10, 7, 20), at(10, 17, 0)), 10);
    }

    // The record against bytes put together from the field table.
    void recordBytes()
    {
        const QTemporaryDir dir;
        const QString folder = dir.path();
        const ClockSettings defaults = defaultClockSettings(folder);
        const QString bell = folder + "/bell.wav";
        QCOMPARE(defaults.BellFile, bell);
        const QByteArray defaultBytes = RecordBytes()
                                            .longValue(1)
                                            .longValue(1)
                                            .longValue(1)
                                            .string("The time is")
                                            .string("o'clock")
                                            .string("minute")
                                            .string(bell)
                                            .longValue(0)
                                            .longValue(0)
                                            .longValue(0)
                                            .longValue(70)
                                            .longValue(0)
                                            .longValue(25)
                                            .longValue(70)
                                            .data();
        QCOMPARE(encode(defaults), defaultBytes);
        QCOMPARE(defaultBytes.size(), 40 + 8 + 11 + 7 + 6 + bell.toLocal8Bit().size());

        // Held-out values, with a bell that exists, are read as written.
        QFile bellFile(folder + "/my bell.wav");
        QVERIFY(bellFile.open(QIODevice::WriteOnly));
        bellFile.close();
        const QByteArray handMade = RecordBytes()
                                        .longValue(0)
                                        .longValue(1)
                                        .longValue(1)
                                        .string("Es ist")
                                        .string("Uhr")
                                        .string("")
                                        .string(bellFile.fileName())
                                        .longValue(1)
                                        .longValue(12)
                                        .longValue(1)
                                        .longValue(75)
                                        .longValue(1)
                                        .longValue(6)
                                        .longValue(59)
                                        .data();
        const QString path = folder + "/stime.ini";
        QVERIFY(!QFile::exists(path));
        QCOMPARE(loadClockSettings(folder), defaults); // no file: defaults, and nothing written
        QVERIFY(!QFile::exists(path));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(handMade + "trailing bytes are ignored");
        }
        ClockSettings expected;
        expected.SayOnHour = 0;
        expected.PrefixText = "Es ist";
        expected.HourWord = "Uhr";
        expected.MinuteWord = "";
        expected.BellFile = bellFile.fileName();
        expected.IntervalAlarmOn = 1;
        expected.IntervalMinutes = 12;
        expected.HourlyAlarmOn = 1;
        expected.HourlyAlarmMinute = 75;
        expected.DailyAlarmOn = 1;
        expected.DailyAlarmHour = 6;
        expected.DailyAlarmMinute = 59;
        QCOMPARE(loadClockSettings(folder), expected);

        // Saving replaces the file whole and leaves nothing else behind.
        QVERIFY(saveClockSettings(folder, expected));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), handMade);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // A stored bell that is gone falls back to the shipped one.
        QVERIFY(bellFile.remove());
        QCOMPARE(loadClockSettings(folder).BellFile, bell);

        // A file cut short keeps the defaults for what it never reached; an empty one is all defaults.
        ClockSettings cut = defaults;
        cut.SayOnHour = 0;
        cut.PrefixText = "Es ist";
        QCOMPARE(decodeClockSettings(handMade.left(4 * 3 + 2 + 6), defaults), cut);
        QCOMPARE(decodeClockSettings(QByteArray(), defaults), defaults);
    }
};

QTEST_GUILESS_MAIN(TestTalkingClock)
#include "test_talking_clock.moc"
