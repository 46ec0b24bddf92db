#include "app/batch_text2sound_host.h"
#include "app/ttsmain.h"
#include "platform/interval_timer.h"
#include "platform/program_folder.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/small_filesystem.h"
#include "support/sound_files.h"
#include "support/test_home.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTreeView>
#include <QtEndian>
#include <QtTest>

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QString Words =
    QStringLiteral("Parlanto turns this folder of text files into sound files, one by one.");

int wordCount(const QString &text)
{
    return int(text.split(QRegularExpression(QStringLiteral("\\W+")), Qt::SkipEmptyParts).size());
}

} // namespace

// The batch window, end to end: real lists, real engines, the real encoder.
class TestBatchText2Sound : public QObject
{
    Q_OBJECT
    TestHome home;
    QString source;               // with a blank in its name, as is one of its files
    QMap<QString, QString> texts; // what each non-empty file says, by name

    // Every file under the scratch folder, in any process's folder.
    QStringList scratchFiles() const
    {
        QStringList files;
        QDirIterator it(scratchRoot(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        return files;
    }
    // Every file in `folder`, hidden part files too.
    static QStringList filesIn(const QString &folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    void useVoice(LoadedWindow &w, int generation)
    {
        const int row = listPosition(*w, generation, generation == 4 ? QStringLiteral("English") : QString());
        if (row < 0)
            QSKIP("no voice of this generation");
        pickVoice(*w, row);
        QCOMPARE(w.app.speech.SapiVersion, generation);
    }

    // Chooses `folder` in Dir1 and `target` with the Select button, then ticks Check1.
    void chooseFiles(BatchText2Sound &batch, FakeDialogs &dialogs, const QString &folder,
                     const QString &target, int count)
    {
        auto *model = qobject_cast<QFileSystemModel *>(batch.Dir1->model());
        QVERIFY(model);
        batch.Dir1->setCurrentIndex(model->index(folder));
        QCOMPARE(batch.Text2->text(), folder);
        QCOMPARE(batch.File1->count(), count);
        dialogs.queueFolder(target);
        QTest::mouseClick(batch.Command3, Qt::LeftButton);
        QCOMPARE(batch.Text1->text(), target);
        const QPoint box(8, batch.Check1->height() / 2); // on the box, not past the caption
        if (batch.Check1->isChecked())
            QTest::mouseClick(batch.Check1, Qt::LeftButton, {}, box);
        QTest::mouseClick(batch.Check1, Qt::LeftButton, {}, box);
        QCOMPARE(batch.File1->selectedItems().size(), count);
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("batchTest") + QByteArray::number(QCoreApplication::applicationPid()));
        if (QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty())
            QSKIP("lame is not installed");
        source = home.file(QStringLiteral("text files"));
        QVERIFY(QDir().mkpath(source));
        // Several encodings: UTF-8 without a mark, UTF-16 with one, Windows-1252; and an empty file.
        texts[QStringLiteral("two words")] = Words;
        texts[QStringLiteral("wide")] = QStringLiteral("Grüße aus Köln. ") + Words;
        texts[QStringLiteral("latin")] = QStringLiteral("Café crème, s'il vous plaît. ") + Words;
        write(source + QStringLiteral("/two words.txt"), Words.toUtf8());
        write(source + QStringLiteral("/empty.txt"), QByteArray());
        QStringEncoder utf16(QStringEncoder::Utf16LE);
        write(source + QStringLiteral("/wide.txt"),
              QByteArray("\xFF\xFE", 2) + QByteArray(utf16(texts[QStringLiteral("wide")])));
        write(source + QStringLiteral("/latin.txt"), texts[QStringLiteral("latin")].toLatin1());
        write(source + QStringLiteral("/notes.md"), "not a text file of the list");
    }

    // Both chains with both generations, and an encoder that fails on one file of an MP3 batch:
    // every other non-empty file gives a playable file of about its text's length, the counter
    // runs 1/N to N/N, and nothing temporary stays in the scratch or the source folder.
    void convert_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("mp3");
        QTest::addColumn<QString>("encoderFailsOn");
        QTest::newRow("eSpeak NG to MP3") << 4 << true << QString();
        QTest::newRow("eSpeak NG to WAV") << 4 << false << QString();
        QTest::newRow("Flite to MP3") << 5 << true << QString();
        QTest::newRow("Flite to WAV") << 5 << false << QString();
        QTest::newRow("encoder fails on one file") << 4 << true << QStringLiteral("latin");
    }

    void convert()
    {
        QFETCH(int, generation);
        QFETCH(bool, mp3);
        QFETCH(QString, encoderFailsOn);
        const QString target =
            home.file(QStringLiteral("sound files, ") + QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(target));
        // An encoder in the program folder goes before the one on PATH: this one fails on one input.
        const QString standIn = programFile(QStringLiteral("lame"));
        const auto removeStandIn = qScopeGuard([&] { QFile::remove(standIn); });
        if (!encoderFailsOn.isEmpty()) {
            write(standIn,
                  QStringLiteral("#!/bin/sh\ncase \"$2\" in *%1*) echo 'cannot encode this file' >&2; "
                                 "exit 3;; esac\nexec '%2' \"$@\"\n")
                      .arg(encoderFailsOn, QStandardPaths::findExecutable(QStringLiteral("lame")))
                      .toUtf8());
            QVERIFY(QFile::setPermissions(standIn, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, generation);
        BatchText2Sound *batch = showBatchText2Sound(*w);
        chooseFiles(*batch, dialogs, source, target, 4);
        QStringList counter; // Label3 as each file starts
        for (IntervalTimer *start : {batch->Timer41, batch->Timer51, batch->TimerWAV41, batch->TimerWAV51})
            connect(start, &IntervalTimer::Timer, batch, [&] { counter << batch->Label3->text(); });

        QTest::mouseClick(mp3 ? batch->Command2 : batch->Command5, Qt::LeftButton);
        QVERIFY(w.app.job.Running);
        QCOMPARE(batch->Label4->text(), mp3 ? QStringLiteral("MP3s") : QStringLiteral("WAVs"));
        QVERIFY(batch->Command4->isEnabled());
        QVERIFY(!batch->Command1->isEnabled());
        QVERIFY(!batch->Text1->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!w.app.job.Running, 60000);

        QCOMPARE(counter, QStringList({"1/4", "2/4", "3/4", "4/4"}));
        QStringList failed{QStringLiteral("empty.txt: the file has no text to speak")};
        if (!encoderFailsOn.isEmpty())
            failed << encoderFailsOn + QStringLiteral(".txt: the MP3 encoder ended with exit code 3: "
                                                      "cannot encode this file");
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().last().text,
                 QStringLiteral("Converting is complete\n\nThese files could not be converted:\n") +
                     failed.join(QLatin1Char('\n')));
        const QString extension = mp3 ? QStringLiteral(".mp3") : QStringLiteral(".wav");
        QStringList made{QStringLiteral("two words") + extension, QStringLiteral("wide") + extension};
        if (encoderFailsOn.isEmpty())
            made << QStringLiteral("latin") + extension;
        made.sort();
        QCOMPARE(filesIn(target), made);
        for (const QString &file : std::as_const(made)) {
            const QString path = target + QLatin1Char('/') + file;
            const double seconds = mp3 ? mp3Seconds(path, home.path()) : wavSeconds(path);
            // About the words' length: between 1.5 and 4.5 words a second.
            const int words = wordCount(texts.value(QFileInfo(file).completeBaseName()));
            QVERIFY2(seconds > words / 4.5 && seconds < words / 1.5,
                     qPrintable(QStringLiteral("%1: %2 s for %3 words").arg(file).arg(seconds).arg(words)));
        }
        QVERIFY2(scratchFiles().isEmpty(), qPrintable(scratchFiles().join(QLatin1Char(' '))));
        QCOMPARE(QDir(source).entryList(QDir::Files).size(), 5);
        QVERIFY(batch->Command1->isEnabled());
        QVERIFY(!batch->Command4->isEnabled());
        QCOMPARE(w.app.window.BatchSourceFolder, source);
        QCOMPARE(w.app.window.BatchTargetFolder, target);
    }

    // Closing is refused while a batch runs; Stop ends the file in work, leaves nothing behind and
    // lets the window close. A batch while another sound job runs is refused.
    void stopThenClose()
    {
        const QString longSource = home.file(QStringLiteral("long text"));
        const QString target = home.file(QStringLiteral("stopped"));
        QVERIFY(QDir().mkpath(longSource));
        QVERIFY(QDir().mkpath(target));
        QString text;
        while (text.size() < 30000) // long enough to be still in work when Stop is pressed
            text += Words + QLatin1Char(' ');
        write(longSource + QStringLiteral("/long one.txt"), text.toUtf8());
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        BatchText2Sound *batch = showBatchText2Sound(*w);
        QCOMPARE(batch->windowTitle(), QStringLiteral("Batch Convert Text Files to Sound Files - Parlanto"));
        chooseFiles(*batch, dialogs, longSource, target, 1);

        QVERIFY(w.app.job.claim());
        QTest::mouseClick(batch->Command2, Qt::LeftButton);
        QCOMPARE(dialogs.messages().last().text, jobStillRunningMessage());
        QVERIFY(!batch->Command4->isEnabled());
        w.app.job.release();

        QTest::mouseClick(batch->Command2, Qt::LeftButton);
        QTRY_COMPARE(batch->Label3->text(), QStringLiteral("1/1"));
        QTRY_VERIFY(!scratchFiles().isEmpty());
        QVERIFY(!batch->close());
        QVERIFY(batch->isVisible());
        QTest::mouseClick(batch->Command4, Qt::LeftButton);
        QVERIFY(!w.app.job.Running);
        QVERIFY(batch->Command1->isEnabled());
        QVERIFY(scratchFiles().isEmpty());
        QVERIFY(filesIn(target).isEmpty());
        QCOMPARE(QDir(longSource).entryList(QDir::Files).size(), 1);
        QTest::mouseClick(batch->Command1, Qt::LeftButton);
        QVERIFY(!batch->isVisible());
        QCOMPARE(dialogs.messages().size(), 1); // no "Converting is complete" after Stop
    }

    // "Exit all" (also what a termination signal does) in the middle of a WAV file: the file in
    // work goes, rather than stay as a valid-looking WAV with the end of the speech missing.
    void exitAllInTheMiddleOfAWavFile()
    {
        const QString longSource = home.file(QStringLiteral("long text"));
        const QString target = home.file(QStringLiteral("exited"));
        QVERIFY(QDir().mkpath(longSource));
        QVERIFY(QDir().mkpath(target));
        QString text;
        while (text.size() < 30000) // long enough to be still in work at the exit
            text += Words + QLatin1Char(' ');
        write(longSource + QStringLiteral("/long one.txt"), text.toUtf8());
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        BatchText2Sound *batch = showBatchText2Sound(*w);
        chooseFiles(*batch, dialogs, longSource, target, 1);
        QTest::mouseClick(batch->Command5, Qt::LeftButton);
        QTRY_VERIFY(!filesIn(target).isEmpty());
        QVERIFY(filesIn(target).first().endsWith(QStringLiteral(".part")));
        w->ExitAll();
        QCOMPARE(w.endCalls, 1);
        QVERIFY(!w.app.job.Running);
        QVERIFY(!batch->Ttsparlvcocx1.isRecording());
        QVERIFY2(filesIn(target).isEmpty(), qPrintable(filesIn(target).join(QLatin1Char(' '))));
        QVERIFY(dialogs.messages().isEmpty());
    }

    // A target folder on a full disk: each file ends with its reason in the closing message, no
    // file under a final name is incomplete, and the part file a killed batch left there is gone.
    void aFullTargetFolder_data()
    {
        QTest::addColumn<bool>("mp3");
        QTest::newRow("WAV, recorded beside the target") << false;
        QTest::newRow("MP3, moved from the scratch folder") << true;
    }
    void aFullTargetFolder()
    {
        QFETCH(bool, mp3);
        SmallFileSystem disk(512);
        if (!disk.usable())
            QSKIP("mounting a small file system needs root");
        const QString oneFile = home.file(QStringLiteral("one file"));
        QVERIFY(QDir().mkpath(oneFile));
        write(oneFile + QStringLiteral("/two words.txt"), Words.toUtf8());
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted());
        const qint64 gone = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QString killed = disk.file(QStringLiteral(".earlier.wav.%1.part").arg(gone));
        write(killed, "k");
        disk.fill(4 * 1024); // with the killed part's page, room for the write test, not for a sound file

        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        BatchText2Sound *batch = showBatchText2Sound(*w);
        chooseFiles(*batch, dialogs, oneFile, disk.path(), 1);
        QTest::mouseClick(mp3 ? batch->Command2 : batch->Command5, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.app.job.Running, 30000);

        QCOMPARE(dialogs.messages().size(), 1);
        const QString said = dialogs.messages().first().text;
        QVERIFY2(said.startsWith(QStringLiteral(
                     "Converting is complete\n\nThese files could not be converted:\ntwo words.txt: ")) &&
                     said.contains(QStringLiteral("No space left on device")),
                 qPrintable(said));
        QCOMPARE(filesIn(disk.path()), QStringList{QStringLiteral("filler")});
        QVERIFY2(scratchFiles().isEmpty(), qPrintable(scratchFiles().join(QLatin1Char(' '))));
        QVERIFY(batch->Command1->isEnabled());
    }
};

QTEST_MAIN(TestBatchText2Sound)
#include "test_batch_text2sound.moc"
