// test-links: parlanto_audio
#include "audio/BatchText2Sound.h"
#include "audio/job_record.h"
#include "platform/program_folder.h"
#include "support/fake_dialogs.h"
#include "support/test_home.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QtTest>

// The batch window's file names, remembered places, drive list and the refusals of a batch start.
class TestBatchRules : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void fileNames_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("wavTemp");
        QTest::addColumn<QString>("finalMp3");
        QTest::addColumn<QString>("wavTarget");
        QTest::newRow("plain") << "a.txt"
                               << "/out"
                               << "/scratch/a.wav"
                               << "/out/a.mp3"
                               << "/out/a.wav";
        QTest::newRow("blanks kept") << "two words.txt"
                                     << " /my out/ "
                                     << "/scratch/two words.wav"
                                     << "/my out/two words.mp3"
                                     << "/my out/two words.wav";
        QTest::newRow("upper-case extension") << "B.TXT"
                                              << "/out/"
                                              << "/scratch/B.wav"
                                              << "/out/B.mp3"
                                              << "/out/B.wav";
        QTest::newRow("only the last dot goes") << "v1.2.txt"
                                                << "/o"
                                                << "/scratch/v1.2.wav"
                                                << "/o/v1.2.mp3"
                                                << "/o/v1.2.wav";
    }
    void fileNames()
    {
        QFETCH(QString, entry);
        QFETCH(QString, target);
        QFETCH(QString, wavTemp);
        QFETCH(QString, finalMp3);
        QFETCH(QString, wavTarget);
        QCOMPARE(BatchNames::wavTemp(QStringLiteral("/scratch"), entry), wavTemp);
        QCOMPARE(BatchNames::mp3Temp(QStringLiteral("/scratch/"), entry),
                 wavTemp.chopped(3) + QStringLiteral("mp3"));
        QCOMPARE(BatchNames::finalMp3(target, entry), finalMp3);
        QCOMPARE(BatchNames::wavTarget(target, entry), wavTarget);
        QCOMPARE(BatchNames::sourceFile(QStringLiteral("/in"), entry), QStringLiteral("/in/") + entry);
    }

    void places_data()
    {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("folder");
        const QString home = QDir::homePath();
        QTest::newRow("record default drive") << "c:"
                                              << "/"
                                              << "c:";
        QTest::newRow("record default folder") << "C:\\"
                                               << "C:\\" << home;
        QTest::newRow("empty") << ""
                               << "/" << home;
        QTest::newRow("a real folder") << "/srv/texts"
                                       << "/srv/texts"
                                       << "/srv/texts";
    }
    void places()
    {
        QFETCH(QString, remembered);
        QFETCH(QString, drive);
        QFETCH(QString, folder);
        QCOMPARE(BatchNames::driveOfRemembered(remembered), drive);
        QCOMPARE(BatchNames::folderOfRemembered(remembered), folder);
    }

    void folderForDrive()
    {
        const QString home = QDir::homePath();
        const QString homeRoot = QStorageInfo(home).rootPath();
        QCOMPARE(BatchNames::folderForDrive(homeRoot, home), home);
        QCOMPARE(BatchNames::folderForDrive(homeRoot, QStringLiteral("c:\\")), home);
        QCOMPARE(BatchNames::folderForDrive(homeRoot, QStringLiteral("/no/such/folder")), homeRoot);
        // A folder on another volume than the chosen one gives that volume's root.
        QCOMPARE(BatchNames::folderForDrive(QStringLiteral("/nowhere-mounted"), home),
                 QStringLiteral("/nowhere-mounted"));
    }

    void completeMessage()
    {
        QCOMPARE(BatchNames::completeMessage({}), QStringLiteral("Converting is complete"));
        QCOMPARE(
            BatchNames::completeMessage({QStringLiteral("a.txt: why"), QStringLiteral("b c.txt: other")}),
            QStringLiteral("Converting is complete\n\nThese files could not be converted:\na.txt: why\n"
                           "b c.txt: other"));
    }

    // Each refusal of "Begin convert", pressed on the window: its message (or none), and nothing
    // started.
    void refusals_data()
    {
        QTest::addColumn<QString>("folder"); // "texts" holds a.txt, "none" no text file
        QTest::addColumn<QString>("target"); // "OUT" stands for a writable folder
        QTest::addColumn<bool>("select");
        QTest::addColumn<QString>("message"); // empty: no message at all
        QTest::newRow("no text files listed") << "none"
                                              << "" << true << "";
        QTest::newRow("empty target") << "texts"
                                      << "   " << true << "Please select target folder";
        QTest::newRow("missing target")
            << "texts"
            << "/no/such/folder" << true << "Please select an available target folder";
        QTest::newRow("write-test file missing")
            << "texts"
            << "OUT" << true << "Some files are lost, please reinstall Parlanto";
        // Nobody, root included, can create a file in /proc.
        QTest::newRow("target not writable") << "texts"
                                             << "/proc" << true << "Can not write to target folder";
        QTest::newRow("nothing selected") << "texts"
                                          << "OUT" << false << "Please select at least one file";
        QTest::newRow("another job running") << "texts"
                                             << "OUT" << true << jobStillRunningMessage();
    }
    void refusals()
    {
        QFETCH(QString, folder);
        QFETCH(QString, target);
        QFETCH(bool, select);
        QFETCH(QString, message);
        const QString texts = home.file(QStringLiteral("texts"));
        const QString out = home.file(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(texts) && QDir().mkpath(out) &&
                QDir().mkpath(home.file(QStringLiteral("none"))));
        QFile text(texts + QStringLiteral("/a.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Some words.");
        text.close();
        const QString dot = programFile(QStringLiteral("ttsparlSpeak.dot"));
        QVERIFY(QFile::exists(dot));
        const bool hideDot = QTest::currentDataTag() == QByteArray("write-test file missing");
        if (hideDot)
            QVERIFY(QFile::rename(dot, dot + QStringLiteral(".away")));
        const auto restore = qScopeGuard([&] {
            if (hideDot)
                QFile::rename(dot + QStringLiteral(".away"), dot);
        });

        FakeDialogs dialogs;
        JobRecord job;
        job.Running = QTest::currentDataTag() == QByteArray("another job running");
        BatchText2Sound batch(BatchText2SoundHost{}, job);
        batch.show();
        batch.setDir1Path(home.file(folder));
        batch.Text1->setText(target == QLatin1String("OUT") ? out : target);
        if (select)
            batch.File1->selectAll();
        QTest::mouseClick(batch.Command2, Qt::LeftButton);

        if (message.isEmpty()) {
            QVERIFY(dialogs.messages().isEmpty());
        } else {
            QCOMPARE(dialogs.messages().size(), 1);
            QCOMPARE(dialogs.messages().first().text, message);
            QCOMPARE(dialogs.messages().first().title, QStringLiteral("Parlanto"));
        }
        QVERIFY(!batch.Command4->isEnabled());
        QVERIFY(batch.Command2->isEnabled());
        QCOMPARE(batch.CloseAllowed, short(-1));
        QCOMPARE(job.Running, QTest::currentDataTag() == QByteArray("another job running"));
        QVERIFY(QDir(out).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    // The drive list holds the root of every mounted, ready volume, and shows the one of the
    // folder listed.
    void driveList()
    {
        JobRecord job;
        BatchText2Sound batch(BatchText2SoundHost{}, job);
        QStringList mounted;
        for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
            if (volume.isValid() && volume.isReady())
                mounted << volume.rootPath();
        QStringList listed;
        for (int i = 0; i < batch.Drive1->count(); ++i)
            listed << batch.Drive1->itemText(i);
        QCOMPARE(listed, mounted);
        QVERIFY(listed.contains(QStringLiteral("/")));
        QCOMPARE(batch.Drive1->currentText(), QStorageInfo(batch.dir1Path()).rootPath());
    }
};

QTEST_MAIN(TestBatchRules)
#include "test_batch_rules.moc"
