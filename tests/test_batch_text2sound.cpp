#include "app/batch_text2sound_host.h"
#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/sound_files.h"
#include "support/test_home.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
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

} // namespace

// The batch window, end to end: real lists, real engines, the real encoder.
class TestBatchText2Sound : public QObject
{
    Q_OBJECT
    TestHome home;
    QString source; // with a blank in its name
    QString target;

    QStringList scratchFiles() const { return QDir(scratchRoot()).entryList(QDir::Files); }

    void useVoice(LoadedWindow &w, int generation)
    {
        const int row = listPosition(*w, generation, generation == 4 ? QStringLiteral("English") : QString());
        if (row < 0)
            QSKIP("no voice of this generation");
        pickVoice(*w, row);
        QCOMPARE(w.app.speech.SapiVersion, generation);
    }

    // Chooses the source folder in Dir1 and the target with the Select button, then ticks Check1.
    void chooseFiles(BatchText2Sound &batch, FakeDialogs &dialogs)
    {
        auto *model = qobject_cast<QFileSystemModel *>(batch.Dir1->model());
        QVERIFY(model);
        batch.Dir1->setCurrentIndex(model->index(source));
        QCOMPARE(batch.Text2->text(), source);
        QCOMPARE(batch.File1->count(), 3);
        dialogs.queueFolder(target);
        QTest::mouseClick(batch.Command3, Qt::LeftButton);
        QCOMPARE(batch.Text1->text(), target);
        const QPoint box(8, batch.Check1->height() / 2); // on the box, not past the caption
        if (batch.Check1->isChecked())
            QTest::mouseClick(batch.Check1, Qt::LeftButton, {}, box);
        QTest::mouseClick(batch.Check1, Qt::LeftButton, {}, box);
        QCOMPARE(batch.File1->selectedItems().size(), 3);
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("batchTest") + QByteArray::number(QCoreApplication::applicationPid()));
        if (QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty())
            QSKIP("lame is not installed");
        source = home.file(QStringLiteral("text files"));
        target = home.file(QStringLiteral("sound files"));
        QVERIFY(QDir().mkpath(source));
        QVERIFY(QDir().mkpath(target));
        write(source + QStringLiteral("/two words.txt"), Words.toUtf8());
        write(source + QStringLiteral("/empty.txt"), QByteArray());
        QStringEncoder utf16(QStringEncoder::Utf16LE);
        write(source + QStringLiteral("/wide.txt"),
              QByteArray("\xFF\xFE", 2) + QByteArray(utf16(QStringLiteral("Grüße. ") + Words)));
        write(source + QStringLiteral("/notes.md"), "not a text file of the list");
    }

    void mp3WithEspeakThenWavWithFlite()
    {
        FakeDialogs dialogs;
        LoadedWindow w;
        useVoice(w, 4);
        BatchText2Sound *batch = showBatchText2Sound(*w);
        chooseFiles(*batch, dialogs);

        QTest::mouseClick(batch->Command2, Qt::LeftButton);
        QVERIFY(w.app.job.Running);
        QCOMPARE(batch->Label4->text(), QStringLiteral("MP3s"));
        QVERIFY(batch->Command4->isEnabled());
        QVERIFY(!batch->Command1->isEnabled());
        QVERIFY(!batch->Text1->isEnabled());
        QTRY_COMPARE(batch->Label3->text(), QStringLiteral("1/3"));
        // Closing is refused while the batch runs.
        QVERIFY(!batch->close());
        QVERIFY(batch->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w.app.job.Running, 40000);

        QCOMPARE(batch->Label3->text(), QStringLiteral("3/3"));
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().last().text,
                 QStringLiteral("Converting is complete\n\nThese files could not be converted:\n"
                                "empty.txt: the file has no text to speak"));
        const double blanks = mp3Seconds(target + QStringLiteral("/two words.mp3"), home.path());
        const double wide = mp3Seconds(target + QStringLiteral("/wide.mp3"), home.path());
        QVERIFY2(blanks > 2, qPrintable(QString::number(blanks)));
        QVERIFY2(wide > blanks, qPrintable(QStringLiteral("%1 %2").arg(wide).arg(blanks)));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral("/empty.mp3")));
        QVERIFY2(scratchFiles().isEmpty(), qPrintable(scratchFiles().join(QLatin1Char(' '))));
        QCOMPARE(QDir(source).entryList(QDir::Files).size(), 4);
        QVERIFY(batch->Command1->isEnabled());
        QVERIFY(!batch->Command4->isEnabled());
        QCOMPARE(w.app.window.BatchSourceFolder, source);
        QCOMPARE(w.app.window.BatchTargetFolder, target);

        // The same files to WAV with a Flite voice.
        useVoice(w, 5);
        QTest::mouseClick(batch->Command5, Qt::LeftButton);
        QCOMPARE(batch->Label4->text(), QStringLiteral("WAVs"));
        QTRY_VERIFY_WITH_TIMEOUT(!w.app.job.Running, 40000);
        QCOMPARE(batch->Label3->text(), QStringLiteral("3/3"));
        QCOMPARE(dialogs.messages().size(), 2);
        QVERIFY(dialogs.messages().last().text.startsWith(QStringLiteral("Converting is complete\n")));
        const double fliteBlanks = wavSeconds(target + QStringLiteral("/two words.wav"));
        QVERIFY2(fliteBlanks > 2, qPrintable(QString::number(fliteBlanks)));
        QVERIFY(wavSeconds(target + QStringLiteral("/wide.wav")) > fliteBlanks);
        QVERIFY(scratchFiles().isEmpty());

        // A batch while another sound job runs is refused with the job message.
        QVERIFY(w.app.job.claim());
        QTest::mouseClick(batch->Command2, Qt::LeftButton);
        QCOMPARE(dialogs.messages().last().text, jobStillRunningMessage());
        QVERIFY(!batch->Command4->isEnabled());
        w.app.job.release();

        // Stop ends the file in work and leaves nothing behind; then the window closes.
        useVoice(w, 4);
        QTest::mouseClick(batch->Command2, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(batch->Label3->text(), QStringLiteral("2/3"), 10000);
        QTRY_VERIFY(!scratchFiles().isEmpty());
        QVERIFY(!batch->close());
        QTest::mouseClick(batch->Command4, Qt::LeftButton);
        QVERIFY(!w.app.job.Running);
        QVERIFY(batch->Command1->isEnabled());
        QVERIFY(scratchFiles().isEmpty());
        QTest::mouseClick(batch->Command1, Qt::LeftButton);
        QVERIFY(!batch->isVisible());
        QCOMPARE(dialogs.messages().size(), 3);
    }
};

QTEST_MAIN(TestBatchText2Sound)
#include "test_batch_text2sound.moc"
