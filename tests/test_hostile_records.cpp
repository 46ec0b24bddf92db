// The outside files the windows read on their own (settings records, the converter's folders,
// the clock settings, the cursor, the instance address, word lists) with hostile things in
// their place: each read ends at once with its described outcome, nothing blocks the window
// thread, and a word list costs memory in proportion to its size.
#include "app/settings_records.h"
#include "audio/job_record.h"
#include "audio/wavtomp3.h"
#include "platform/bounded_file.h"
#include "platform/cursor_file.h"
#include "platform/program_folder.h"
#include "platform/record_codec.h"
#include "platform/single_instance.h"
#include "support/fake_dialogs.h"
#include "support/test_home.h"
#include "tools/SlideReadAloud.h"
#include "tools/clock_settings.h"
#include "tools/slide_rules.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Ends the whole test run when a step does not finish in time: a read that blocks on a FIFO
// would otherwise hang the test thread, which is the window thread, for good.
class Watchdog
{
public:
    explicit Watchdog(QByteArray what, int seconds = 60) : m_what(std::move(what))
    {
        m_thread = std::thread([this, seconds] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_finished; })) {
                std::fprintf(stderr, "FAIL: \"%s\" blocked for %d s\n", m_what.constData(), seconds);
                std::_Exit(1);
            }
        });
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
    }

private:
    QByteArray m_what;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

enum class Hostile
{
    Fifo,
    EndlessLink, // a link to /proc/self/pagemap: a regular file of size 0 that goes on and on
    DeviceLink,  // a link to /dev/zero
    Folder,
    Oversized, // a regular file one byte over the reader's cap
    Empty,
};

// Puts `kind` at `path`, in place of whatever was there.
bool plant(Hostile kind, const QString &path, qint64 cap)
{
    QFile::remove(path);
    QDir().rmdir(path);
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
    case Hostile::Fifo:
        return ::mkfifo(native.constData(), 0600) == 0;
    case Hostile::EndlessLink:
        return ::symlink("/proc/self/pagemap", native.constData()) == 0;
    case Hostile::DeviceLink:
        return ::symlink("/dev/zero", native.constData()) == 0;
    case Hostile::Folder:
        return QDir().mkdir(path);
    case Hostile::Oversized: {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(cap + 1); // sparse: costs no disk
    }
    case Hostile::Empty: {
        QFile file(path);
        return file.open(QIODevice::WriteOnly);
    }
    }
    return false;
}

// A FIFO, device or folder is not ours to replace: a write refuses it and leaves it there.
bool writerRefuses(Hostile kind)
{
    return kind == Hostile::Fifo || kind == Hostile::DeviceLink || kind == Hostile::Folder;
}

// What stands at `path`, without following a link.
mode_t typeAt(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & S_IFMT;
}

qint64 residentBytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atoll(line.c_str() + std::strlen(field)) * 1024;
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Hostile)

class HostileRecordsTest : public QObject
{
    Q_OBJECT
    std::optional<TestHome> m_home;

private slots:
    void initTestCase()
    {
        m_home.emplace();
        qputenv("PARLANTO_INSTANCE",
                QByteArray("hostileTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void hostileFileInPlace_data()
    {
        QTest::addColumn<Hostile>("kind");
        QTest::newRow("FIFO") << Hostile::Fifo;
        QTest::newRow("link to /proc/self/pagemap") << Hostile::EndlessLink;
        QTest::newRow("link to /dev/zero") << Hostile::DeviceLink;
        QTest::newRow("folder") << Hostile::Folder;
        QTest::newRow("oversized") << Hostile::Oversized;
        QTest::newRow("empty") << Hostile::Empty;
    }
    void hostileFileInPlace()
    {
        QFETCH(Hostile, kind);
        const Watchdog watchdog(QTest::currentDataTag());
        const QString folder = programFolder();
        const auto place = [&](const QString &name, qint64 cap = MaxRecordFileBytes) {
            const QString path = folder + QLatin1Char('/') + name;
            return plant(kind, path, cap) ? path : QString();
        };
        // A refused write leaves the hostile thing as it was; any other puts a record in place.
        const mode_t hostileType = kind == Hostile::Fifo     ? mode_t(S_IFIFO)
                                   : kind == Hostile::Folder ? mode_t(S_IFDIR)
                                                             : mode_t(S_IFLNK);
        const auto keptOrReplaced = [&](const QString &path) {
            QCOMPARE(typeAt(path), writerRefuses(kind) ? hostileType : mode_t(S_IFREG));
        };
        const auto afterWrite = [&](const QString &path, bool written) {
            QCOMPARE(written, !writerRefuses(kind));
            keptOrReplaced(path);
        };

        // Speech and window settings and the hand-off record: an empty file is a damaged record
        // (every field zero or empty); anything else counts as no file, so the defaults apply.
        const QString speech = place(QString::fromLatin1(SpeechSettingsFileName));
        const QString window = place(QString::fromLatin1(WindowSettingsFileName));
        const QString handOff = place(QString::fromLatin1(VoiceHandOffFileName));
        QVERIFY(!speech.isEmpty() && !window.isEmpty() && !handOff.isEmpty());
        if (kind == Hostile::Empty) {
            QCOMPARE(loadSpeechSettings(speech), std::optional(decodeSpeechSettings({})));
            QCOMPARE(loadWindowSettings(window), std::optional(decodeWindowSettings({})));
            QCOMPARE(loadVoiceHandOff(handOff), std::optional(VoiceHandOff{}));
        } else {
            QVERIFY(!loadSpeechSettings(speech));
            QVERIFY(!loadWindowSettings(window));
            QVERIFY(!loadVoiceHandOff(handOff));
        }
        const SpeechSettings voice{5, 2, QStringLiteral("slt"), 55, 45};
        afterWrite(speech, saveSpeechSettings(speech, voice));
        if (!writerRefuses(kind))
            QCOMPARE(loadSpeechSettings(speech), std::optional(voice));
        afterWrite(window, saveWindowSettings(window, WindowSettings{}));
        afterWrite(handOff, saveVoiceHandOff(handOff, QStringLiteral("slt (TTS5.0)"), 5));

        // Clock settings: the defaults.
        const QString clock = place(QString::fromLatin1(ClockSettingsFileName));
        QCOMPARE(loadClockSettings(folder), defaultClockSettings(folder));
        afterWrite(clock, saveClockSettings(folder, defaultClockSettings(folder)));

        // The converter's folders: the program folder for both; closing writes them back.
        const QString converter = place(QStringLiteral("tomp3.ini"));
        {
            JobRecord job;
            wavtomp3 converterWindow(job);
            QCOMPARE(converterWindow.Folders.LastSourceFolder, folder);
            QCOMPARE(converterWindow.Folders.LastTargetFolder, folder);
            converterWindow.Form_Unload();
        }
        keptOrReplaced(converter);

        // The hand cursor: none, so the standard shape stands in.
        QVERIFY(!readCursorFile(place(QStringLiteral("H_POINT.CUR"), 1024 * 1024)));

        // The instance address: a second start finds no first instance, and the first one
        // records its address, or leaves the hostile file alone.
        {
            SingleInstance instance(QStringLiteral("hostile"));
            QVERIFY(plant(kind, instance.addressFilePath(), 4096));
            QVERIFY(!instance.send(QStringLiteral("hello"), 1000));
            QVERIFY(instance.acquire());
            keptOrReplaced(instance.addressFilePath());
        }
        // The first-run mark: written or refused, never waited on.
        place(QStringLiteral("firstuse.done"));
        markFirstRunDone();
        QVERIFY(!isFirstRun());

        // A word list, chosen in the dialog and then begun: a message that says what is wrong.
        const QString words = place(QStringLiteral("words.txt"), SlideRules::LargestWordFileBytes);
        FakeDialogs dialogs;
        SlideReadAloud slide{SlideReadAloudHost{}};
        dialogs.queueFile(words);
        QTest::mouseClick(slide.Command5, Qt::LeftButton);
        QCOMPARE(slide.Label2->text(), QStringLiteral("0 word"));
        const QString shown = QDir::toNativeSeparators(words);
        const QString expected = kind == Hostile::Empty ? QString()
                                 : kind == Hostile::Folder
                                     ? QStringLiteral("\"%1\" is a folder, not a file.").arg(shown)
                                 : kind == Hostile::Fifo || kind == Hostile::DeviceLink
                                     ? QStringLiteral("\"%1\" is not a regular file.").arg(shown)
                                     : QStringLiteral("The file \"%1\" is too large").arg(shown);
        if (kind == Hostile::Empty) {
            QVERIFY(dialogs.messages().isEmpty());
        } else {
            QCOMPARE(dialogs.messages().size(), 1);
            QVERIFY2(dialogs.messages().last().text.startsWith(expected),
                     qPrintable(dialogs.messages().last().text));
            QCOMPARE(dialogs.messages().last().title, QStringLiteral("Parlanto"));
        }
        // Typed rather than chosen, Begin reads the file again and refuses it the same way.
        slide.Text1->setText(words);
        slide.CountCaption.clear();
        QTest::mouseClick(slide.Command2, Qt::LeftButton);
        QVERIFY(!slide.SlideRunning);
        QCOMPARE(slide.Label2->text(), QStringLiteral("0 word"));
        QVERIFY(dialogs.messages().last().text.startsWith(kind == Hostile::Empty ? words + " has no word"
                                                                                 : expected));
    }

    // A word list costs at most three times its size while it loads, whether it holds millions
    // of empty lines or one very long line.
    void wordListMemory_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<qint64>("lines");
        constexpr qint64 Size = 40 * 1024 * 1024;
        QTest::newRow("empty lines") << QByteArray("\n") << QByteArray() << Size;
        QTest::newRow("one long line") << QByteArray("x") << QByteArray("\r\nlast") << qint64(2);
    }
    void wordListMemory()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, tail);
        QFETCH(qint64, lines);
        constexpr qint64 Size = 40 * 1024 * 1024;
        const QString path = m_home->file(QStringLiteral("large.txt"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray block = line.repeated(1024 * 1024 / line.size());
            for (qint64 left = Size - tail.size(); left > 0; left -= block.size())
                QVERIFY(file.write(block.constData(), qMin<qint64>(left, block.size())) > 0);
            QVERIFY(file.write(tail) == tail.size());
        }
        QCOMPARE(QFileInfo(path).size(), Size);

        // The peak resident size starts again from the current one (Linux 4.0 and later).
        {
            std::ofstream clear("/proc/self/clear_refs");
            clear << "5";
            QVERIFY(clear.flush());
        }
        const qint64 before = residentBytes("VmRSS:");
        {
            const SlideRules::WordFile file = SlideRules::readWordFile(path);
            QVERIFY(file.error.isEmpty());
            QCOMPARE(file.lines.size(), lines);
            QCOMPARE(file.lines.value(lines - 1), lines == 2 ? QStringLiteral("last") : QString());
        }
        const qint64 growth = residentBytes("VmHWM:") - before;
        QVERIFY2(growth <= 3 * Size + 8 * 1024 * 1024,
                 qPrintable(QStringLiteral("%1 bytes for a list of %2").arg(growth).arg(Size)));
        QFile::remove(path);
    }
};

QTEST_MAIN(HostileRecordsTest)
#include "test_hostile_records.moc"
