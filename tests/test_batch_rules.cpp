// test-links: parlanto_audio
#include "audio/BatchText2Sound.h"

#include <QDir>
#include <QStorageInfo>
#include <QtTest>

// The batch window's file names and remembered places.
class TestBatchRules : public QObject
{
    Q_OBJECT
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
};

QTEST_GUILESS_MAIN(TestBatchRules)
#include "test_batch_rules.moc"
