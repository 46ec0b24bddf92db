#include "app/ttsmain.h"
#include "audio/mp3_encoder.h"
#include "audio/mp3end.h"
#include "audio/parlocx.h"
#include "platform/program_folder.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/small_filesystem.h"
#include "support/sound_files.h"
#include "support/test_home.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString Speech = QStringLiteral("Parlanto saves this text as a sound file. It is short, "
                                      "so the test stays quick.");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every file in `folder`, hidden part files too.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The percentages the window caption showed, in order.
QList<int> percentagesOf(const QStringList &captions)
{
    static const QRegularExpression completed(QStringLiteral("Completed: (\\d+)%"));
    QList<int> shown;
    for (const QString &caption : captions)
        if (const auto match = completed.match(caption); match.hasMatch())
            shown << match.captured(1).toInt();
    return shown;
}

// An encoder in the program folder that makes the real MP3 but hands over only its first half
// until `gate` exists, so that a test sees the job in the middle of encoding.
void installGatedEncoder(const QString &work, const QString &gate)
{
    const QString lame = QStandardPaths::findExecutable(QStringLiteral("lame"));
    writeFile(programFile(QStringLiteral("lame")),
              QStringLiteral("#!/bin/sh\n"
                             "'%1' --quiet -f \"$2\" '%2' || exit 1\n"
                             "head -c $(( $(stat -c %s '%2') / 2 )) '%2' > \"$3\"\n"
                             "while [ ! -e '%3' ]; do sleep 0.05; done\n"
                             "cat '%2' > \"$3\"\n")
                  .arg(lame, work, gate)
                  .toUtf8());
    QVERIFY(QFile::setPermissions(programFile(QStringLiteral("lame")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// From `seconds` on, keeps opening a FIFO for writing until it is told to stop, so that a reader
// blocked on it is set free (again and again) and the test fails instead of hanging.
class FifoWatchdog
{
public:
    FifoWatchdog(const QString &fifo, int seconds)
        : m_thread([this, path = QFile::encodeName(fifo), seconds] {
              std::unique_lock lock(m_mutex);
              auto wait = std::chrono::milliseconds(seconds * 1000);
              while (!m_done.wait_for(lock, wait, [this] { return m_stop; })) {
                  const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                  if (fd >= 0) {
                      m_freed = true; // someone was blocked reading it
                      ::close(fd);
                  }
                  wait = std::chrono::milliseconds(100);
              }
          })
    {}
    ~FifoWatchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    bool freedAReader() const { return m_freed; }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_stop = false;
    std::atomic<bool> m_freed = false;
    std::thread m_thread;
};

} // namespace

// The Save button, end to end: the dialog, the overwrite question, the recording by the real
// engines, the real encoder, and the completion window or the message of a failure.
class TestSaveSound : public QObject
{
    Q_OBJECT
    TestHome home;
    QString folder; // a folder with a blank in its name

    // Presses Save with the answers queued and waits until the job has ended one way or the other.
    void save(LoadedWindow &w, FakeDialogs &dialogs, const QString &name, int filter)
    {
        dialogs.queueFile(name, filter);
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.app.job.Running, 20000);
    }

    void useVoice(LoadedWindow &w, int generation)
    {
        const int row = listPosition(*w, generation, generation == 4 ? QStringLiteral("English") : QString());
        if (row < 0)
            QSKIP("no voice of this generation");
        pickVoice(*w, row);
        QCOMPARE(w.app.speech.SapiVersion, generation);
    }

    // Every file under the scratch folder, in any process's folder.
    QStringList scratchFiles() const
    {
        QStringList files;
        QDirIterator it(scratchRoot(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        return files;
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("saveTest") + QByteArray::number(QCoreApplication::applicationPid()));
        folder = home.file(QStringLiteral("my sounds"));
        QVERIFY(QDir().mkpath(folder));
        if (QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty())
            QSKIP("lame is not installed");
    }

    void init() { QFile::remove(programFile(QStringLiteral("lame"))); }

    void wavAndMp3WithAGeneration4Voice()
    {
        FakeDialogs dialogs;
        FakeShell shell;
        LoadedWindow w;
        useVoice(w, 4);
        w->RichTextBox1->setPlainText(Speech);

        // WAV: recorded beside the target and renamed when whole; no temporary file stays.
        const QString wav = folder + QStringLiteral("/first try.wav");
        save(w, dialogs, folder + QStringLiteral("/first try"), 4);
        QVERIFY(dialogs.messages().isEmpty());
        const double spoken = wavSeconds(wav);
        QVERIFY2(spoken > 2, qPrintable(QString::number(spoken)));
        QVERIFY(scratchFiles().isEmpty());
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("first try.wav")});
        QVERIFY(w->CompletionWindow);
        QVERIFY(w->CompletionWindow->isVisible());
        QCOMPARE(w->CompletionWindow->windowTitle(), QStringLiteral("Pley by media player - Parlanto"));
        QCOMPARE(w->CompletionWindow->Label2->text(), wav);
        QCOMPARE(w->CompletionWindow->Label5->text(),
                 QStringLiteral("REC engine: ") + w->Combo1->currentText());
        QCOMPARE(w->windowTitle(), w->Combo1->currentText());
        QCOMPARE(Parlocx::waveEnd(), int(Parlocx::WaveEndConsumed));
        QTest::mouseClick(w->CompletionWindow->Command1, Qt::LeftButton);
        QCOMPARE(shell.opened(), QStringList{wav});
        QTest::mouseClick(w->CompletionWindow->Command2, Qt::LeftButton);
        QTRY_VERIFY(!w->CompletionWindow);

        // MP3: recorded, encoded, copied to the target; it decodes to about the WAV's length.
        const QString mp3 = folder + QStringLiteral("/second try.mp3");
        save(w, dialogs, mp3, 3);
        QVERIFY(dialogs.messages().isEmpty());
        QVERIFY(w->CompletionWindow);
        QCOMPARE(w->CompletionWindow->Label2->text(), mp3);
        const double decoded = mp3Seconds(mp3, home.path());
        QVERIFY2(qAbs(decoded - spoken) < 0.15, qPrintable(QStringLiteral("%1 %2").arg(decoded).arg(spoken)));
        QVERIFY(scratchFiles().isEmpty());
        QCOMPARE(w.app.window.SaveFileType, QStringLiteral(".mp3"));
        QCOMPARE(w.app.window.SaveFolder, folder + QLatin1Char('/'));

        // The next dialog starts in that folder with the MP3 filter.
        dialogs.queueFileCancel();
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        const Dialogs::FileRequest asked = dialogs.fileCalls().last().request;
        QCOMPARE(asked.title, QStringLiteral("Save as"));
        QCOMPARE(asked.filterIndex, 3);
        QCOMPARE(asked.initialFolder, folder + QLatin1Char('/'));
        QCOMPARE(asked.filters.at(2).first, QStringLiteral("MP3 File (*.mp3)"));
    }

    void wavWithAGeneration5Voice()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 5);
        w->RichTextBox1->setPlainText(Speech);
        const QString wav = folder + QStringLiteral("/flite voice.wav");
        save(w, dialogs, wav, 4);
        QVERIFY(dialogs.messages().isEmpty());
        QVERIFY(wavSeconds(wav) > 2);
        QVERIFY(w->CompletionWindow);
        QVERIFY(scratchFiles().isEmpty());

        // A file that cannot be made ends with a message, not the completion window.
        w->CompletionWindow->close();
        QTRY_VERIFY(!w->CompletionWindow);
        const QString lost = folder + QStringLiteral("/gone/flite.wav");
        save(w, dialogs, lost, 4);
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY(dialogs.messages().first().text.startsWith(lost + QStringLiteral(" could not be made: ")));
        QVERIFY(!w->CompletionWindow);
    }

    void overwriteQuestion()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        w->RichTextBox1->setPlainText(Speech);
        const QString target = folder + QStringLiteral("/kept.mp3");
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the user's old file");
        old.close();

        // No (the default) leaves the file exactly as it was and starts nothing.
        dialogs.queueFile(target, 3);
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(dialogs.messages().size(), 1);
        const Dialogs::Message asked = dialogs.messages().first();
        QCOMPARE(asked.title, QStringLiteral("Message"));
        QCOMPARE(asked.text,
                 target + QStringLiteral(" is already exist,do you want to overwrite it ? (If you are "
                                         "playing this file, please close it, then click Yes to "
                                         "overwrite it)"));
        QCOMPARE(asked.buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(asked.defaultButton, 1);
        QVERIFY(!w.app.job.Running);
        QVERIFY(!w->Timer101->isRunning());
        QCOMPARE(readAll(target), QByteArray("the user's old file"));
        QCOMPARE(w->windowTitle(), w->Combo1->currentText());

        // Text forms: the plain-text filter decides, and its question has no playing hint.
        const QString text = folder + QStringLiteral("/notes.rtf.txt");
        dialogs.queueFile(folder + QStringLiteral("/notes.rtf"), 2);
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(readAll(text), Speech.toLocal8Bit() + "\r\n");
        dialogs.queueFile(text, 2);
        dialogs.queueAnswer(Dialogs::Answer::Yes);
        w->RichTextBox1->setPlainText(QStringLiteral("Changed."));
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(dialogs.messages().last().text,
                 text + QStringLiteral(" is already exist,do you want to overwrite it ?"));
        QCOMPARE(readAll(text), QByteArray("Changed.\r\n"));
        dialogs.queueFile(folder + QStringLiteral("/notes"), 1);
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(readAll(folder + QStringLiteral("/notes.rtf")), QByteArray("Changed.\r\n"));

        // Blanks only: nothing is asked at all.
        const int asks = int(dialogs.fileCalls().size());
        w->RichTextBox1->setPlainText(QStringLiteral("   "));
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(int(dialogs.fileCalls().size()), asks);
    }

    void failuresGiveAMessageAndNoCompletionWindow()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        w->RichTextBox1->setPlainText(Speech);

        // An encoder that fails: its reason, the file's name, nothing left behind.
        QFile lame(programFile(QStringLiteral("lame")));
        QVERIFY(lame.open(QIODevice::WriteOnly));
        lame.write("#!/bin/sh\necho 'Unsupported data format' >&2\nexit 1\n");
        lame.close();
        lame.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString mp3 = folder + QStringLiteral("/never made.mp3");
        save(w, dialogs, mp3, 3);
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().first().title, QStringLiteral("Parlanto"));
        QCOMPARE(dialogs.messages().first().text,
                 mp3 + QStringLiteral(" could not be made: the MP3 encoder ended with exit code 1: "
                                      "Unsupported data format"));
        QVERIFY(!w->CompletionWindow);
        QVERIFY(!QFile::exists(mp3));
        QVERIFY(scratchFiles().isEmpty());
        QVERIFY(!w->Timer2->isRunning() && !w->Timer102->isRunning());
        lame.remove();

        // A recording that cannot be written: its folder is gone.
        dialogs.clearRecords();
        const QString lost = folder + QStringLiteral("/gone/lost.wav");
        save(w, dialogs, lost, 4);
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY2(dialogs.messages().first().text.startsWith(lost + QStringLiteral(" could not be made: ")),
                 qPrintable(dialogs.messages().first().text));
        QVERIFY(!w->CompletionWindow);
        QVERIFY(!QFile::exists(lost));
    }

    void aSecondJobIsRefusedWhileOneRuns()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        w->RichTextBox1->setPlainText(Speech);
        const QString first = folder + QStringLiteral("/first job.mp3");
        dialogs.queueFile(first, 3);
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QVERIFY(w.app.job.Running);
        QVERIFY(w->windowTitle().contains(QStringLiteral("REC Engine: ")));

        dialogs.queueFile(folder + QStringLiteral("/second job.mp3"), 3);
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().first().text,
                 QStringLiteral(
                     "A sound file is still being made. Please wait until it is finished, then try again."));
        QTRY_VERIFY_WITH_TIMEOUT(!w.app.job.Running, 20000);
        QVERIFY(w->CompletionWindow);
        QCOMPARE(w->CompletionWindow->Label2->text(), first);
        QVERIFY(QFileInfo(first).size() > 0);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/second job.mp3")));
    }

    // A full file system under the chosen name: the job ends with a message naming the reason,
    // and neither a truncated file nor a part file stays there.
    void aFullDiskEndsTheSaveWithItsReason_data()
    {
        QTest::addColumn<int>("filter");
        QTest::newRow("MP3, moved from the scratch folder") << 3;
        QTest::newRow("WAV, recorded beside the target") << 4;
    }
    void aFullDiskEndsTheSaveWithItsReason()
    {
        QFETCH(int, filter);
        SmallFileSystem disk(512);
        if (!disk.usable())
            QSKIP("mounting a small file system needs root");
        disk.fill(8 * 1024);
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        w->RichTextBox1->setPlainText(Speech);
        const QString target =
            disk.file(filter == 3 ? QStringLiteral("full.mp3") : QStringLiteral("full.wav"));
        save(w, dialogs, target, filter);
        QCOMPARE(dialogs.messages().size(), 1);
        const QString said = dialogs.messages().first().text;
        QVERIFY2(said.startsWith(target + QStringLiteral(" could not be made: ")) &&
                     said.contains(QStringLiteral("No space left on device")),
                 qPrintable(said));
        QVERIFY(!w->CompletionWindow);
        QCOMPARE(filesIn(disk.path()), QStringList{QStringLiteral("filler")});
        QVERIFY2(scratchFiles().isEmpty(), qPrintable(scratchFiles().join(QLatin1Char(' '))));
    }

    // The caption moves while the encoder works: a slow encoder shows a percentage between the
    // recording's 50 and the end's 100.
    void theCaptionMovesWhileEncoding()
    {
        const QString gate = home.file(QStringLiteral("encoder may finish"));
        installGatedEncoder(home.file(QStringLiteral("encoder work.mp3")), gate);
        const auto openGate = qScopeGuard([&] { writeFile(gate, "go"); });
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        w->RichTextBox1->setPlainText(Speech);
        QStringList captions;
        connect(w.window.get(), &QWidget::windowTitleChanged, this,
                [&](const QString &caption) { captions << caption; });
        const QString mp3 = folder + QStringLiteral("/slowly encoded.mp3");
        dialogs.queueFile(mp3, 3);
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        const auto encodingShown = [&] {
            const QList<int> shown = percentagesOf(captions);
            return std::any_of(shown.cbegin(), shown.cend(), [](int p) { return p > 50 && p < 100; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(encodingShown(), 20000);
        QVERIFY(w->Timer2->isRunning());
        writeFile(gate, "go");
        QTRY_VERIFY_WITH_TIMEOUT(!w.app.job.Running, 20000);
        QVERIFY(dialogs.messages().isEmpty());
        QVERIFY(w->CompletionWindow);
        QVERIFY(mp3Seconds(mp3, home.path()) > 2);
        const QList<int> shown = percentagesOf(captions);
        QVERIFY(std::is_sorted(shown.cbegin(), shown.cend()));
    }

    // A Flite save shows how much of the text has been spoken, not "Waiting" until the end.
    void aFliteSaveShowsItsProgress()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 5);
        QString text;
        for (int i = 0; i < 6; ++i)
            text += Speech + QLatin1Char(' ');
        w->RichTextBox1->setPlainText(text);
        QStringList captions;
        connect(w.window.get(), &QWidget::windowTitleChanged, this,
                [&](const QString &caption) { captions << caption; });
        save(w, dialogs, folder + QStringLiteral("/flite progress.wav"), 4);
        QVERIFY(dialogs.messages().isEmpty());
        QVERIFY(w->CompletionWindow);
        const QList<int> shown = percentagesOf(captions);
        const auto between =
            std::count_if(shown.cbegin(), shown.cend(), [](int p) { return p > 0 && p < 100; });
        QVERIFY2(between >= 3, qPrintable(captions.join(QLatin1Char('\n'))));
        QVERIFY(std::is_sorted(shown.cbegin(), shown.cend()));
        QVERIFY(captions.first().contains(QStringLiteral("Waiting")));
        QCOMPARE(w->windowTitle(), w->Combo1->currentText());
    }

    // "registry.ini" that cannot take the recording's end: the generation-4 save still ends with
    // its completion window, and nothing blocks on a FIFO.
    void aSaveEndsWhateverRegistryIniIs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("in a read-only program folder") << "read-only";
    }
    void aSaveEndsWhateverRegistryIniIs()
    {
        QFETCH(QString, kind);
        const QByteArray savedHome = qgetenv("PARLANTO_HOME");
        const auto restoreHome = qScopeGuard([&] { qputenv("PARLANTO_HOME", savedHome); });
        const bool readOnly = kind == QLatin1String("read-only");
        if (readOnly && ::geteuid() != 0)
            QSKIP("mounting the program folder read-only needs root");
        QTemporaryDir ownHome;
        qputenv("PARLANTO_HOME", QFile::encodeName(ownHome.path()));
        const QString registry = programFile(QStringLiteral("registry.ini"));
        std::optional<FifoWatchdog> watchdog;
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(registry));
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(registry).constData(), 0600), 0);
            watchdog.emplace(registry, 30);
        }

        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        // Read-only from here on, for root too: the folder mounted read-only over itself.
        const auto unmount = qScopeGuard([&] {
            if (readOnly)
                QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), ownHome.path()});
        });
        if (readOnly) {
            QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                                       {QStringLiteral("--bind"), ownHome.path(), ownHome.path()}),
                     0);
            QCOMPARE(
                QProcess::execute(QStringLiteral("mount"),
                                  {QStringLiteral("-o"), QStringLiteral("remount,bind,ro"), ownHome.path()}),
                0);
            QVERIFY(!QFile(programFile(QStringLiteral("probe"))).open(QIODevice::WriteOnly));
        }
        w->RichTextBox1->setPlainText(Speech);
        const QString wav = folder + QStringLiteral("/registry ") + kind + QStringLiteral(".wav");
        save(w, dialogs, wav, 4);
        QVERIFY2(!watchdog || !watchdog->freedAReader(), "the window thread blocked on the FIFO");
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(dialogs.messages().isEmpty(), qPrintable(dialogs.messages().value(0).text));
        QVERIFY(w->CompletionWindow);
        QVERIFY(wavSeconds(wav) > 2);
        QCOMPARE(Parlocx::waveEnd(), int(Parlocx::WaveEndConsumed));
        if (kind == QLatin1String("folder"))
            QVERIFY(QFileInfo(registry).isDir());
    }

    // What a killed Parlanto left in the scratch folder goes at the next start; the files of a
    // process that still runs (another program folder's window, parlanto-cli) stay.
    void leftoversGoAtTheNextStart()
    {
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted());
        const qint64 gone = ended.processId();
        QVERIFY(gone > 0);
        QVERIFY(ended.waitForFinished());
        QProcess running;
        running.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(running.waitForStarted());
        const auto stopRunning = qScopeGuard([&] {
            running.kill();
            running.waitForFinished();
        });
        const QString root = scratchRoot();
        const QString goneFolder = root + QLatin1Char('/') + QString::number(gone);
        const QString runningFolder = root + QLatin1Char('/') + QString::number(running.processId());
        QVERIFY(QDir().mkpath(goneFolder) && QDir().mkpath(runningFolder));
        writeFile(goneFolder + QStringLiteral("/tmp$.wav"), QByteArray(1 << 20, 'w'));
        writeFile(runningFolder + QStringLiteral("/tmp$.wav"), "in work");
        writeFile(root + QStringLiteral("/tmp$.mp3"), "an older version's");
        writeFile(ownScratchFolder() + QStringLiteral("/w2mtmp.wav"), "nothing runs before start-up");

        LoadedWindow w;
        QCOMPARE(scratchFiles(), QStringList{runningFolder + QStringLiteral("/tmp$.wav")});
        QVERIFY(!QFileInfo::exists(goneFolder));
    }

    // "Exit all" (also what a termination signal does) in the middle of a save to MP3 ends the
    // recording or the encoder and removes the job's files.
    void exitAllRemovesTheJobsFiles_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("whileEncoding");
        QTest::newRow("eSpeak NG recording") << 4 << false;
        QTest::newRow("Flite recording") << 5 << false;
        QTest::newRow("encoding") << 4 << true;
    }
    void exitAllRemovesTheJobsFiles()
    {
        QFETCH(int, generation);
        QFETCH(bool, whileEncoding);
        const QString gate = home.file(QStringLiteral("encoder may finish"));
        QFile::remove(gate);
        if (whileEncoding)
            installGatedEncoder(home.file(QStringLiteral("encoder work.mp3")), gate);
        const auto openGate = qScopeGuard([&] { writeFile(gate, "go"); });
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, generation);
        QString text;
        while (text.size() < (whileEncoding ? 200 : 30000)) // long enough to be in work at the exit
            text += Speech + QLatin1Char(' ');
        w->RichTextBox1->setPlainText(text);
        const QString mp3 = folder + QStringLiteral("/never finished.mp3");
        dialogs.queueFile(mp3, 3);
        bool exitQueued = false;
        if (generation == 5) {
            // The Flite recording holds the Save button's handler: the exit comes from within.
            connect(w.window.get(), &QWidget::windowTitleChanged, this, [&](const QString &caption) {
                if (exitQueued || !caption.contains(QStringLiteral("Completed: ")))
                    return;
                exitQueued = true;
                QTimer::singleShot(0, w.window.get(), [&] { w->ExitAll(); });
            });
        }
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        if (generation == 4) {
            if (whileEncoding)
                QTRY_VERIFY_WITH_TIMEOUT(w->Timer2->isRunning(), 20000);
            else
                QTRY_VERIFY(QFileInfo(w.app.job.JobWavPath).size() > 0);
            QVERIFY(!scratchFiles().isEmpty());
            w->ExitAll();
        }
        QVERIFY(w.app.ExitRequested);
        QCOMPARE(w.endCalls, 1);
        QVERIFY(!w.app.job.Running);
        QVERIFY(!w->Encoder->isRunning());
        QVERIFY(!w->Ttsparlvcocx1->isRecording());
        QVERIFY2(scratchFiles().isEmpty(), qPrintable(scratchFiles().join(QLatin1Char(' '))));
        QVERIFY(!filesIn(folder).contains(QStringLiteral("never finished.mp3")));
        QVERIFY(filesIn(folder).filter(QStringLiteral(".part")).isEmpty());
        QVERIFY(dialogs.messages().isEmpty());
    }
};

QTEST_MAIN(TestSaveSound)
#include "test_save_sound.moc"
