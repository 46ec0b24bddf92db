// test-links: parlanto_audio
#include "audio/job_record.h"
#include "audio/wavtomp3.h"
#include "audio/wavtomp3end.h"
#include "platform/program_folder.h"
#include "platform/record_codec.h"
#include "platform/wav_writer.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/test_home.h"
#include "support/user_home.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

namespace {

double wavSeconds(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    const qsizetype data = bytes.indexOf("data", 12);
    if (bytes.size() < 44 || data < 0)
        return -1;
    return double(qFromLittleEndian<quint32>(bytes.constData() + data + 4)) /
           qFromLittleEndian<quint32>(bytes.constData() + 28);
}

} // namespace

// The converter window, driven through its own buttons and the dialogs seam, with the real lame.
class TestWavToMp3 : public QObject
{
    Q_OBJECT
    TestHome home;
    QString source; // a WAV made by another program, in a folder with a blank

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty())
            QSKIP("lame and sox are needed");
        QVERIFY(QDir().mkpath(home.file(QStringLiteral("from here"))));
        QVERIFY(QDir().mkpath(home.file(QStringLiteral("to there"))));
        source = home.file(QStringLiteral("from here/a tone.wav"));
        QCOMPARE(QProcess::execute(QStringLiteral("sox"),
                                   {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"),
                                    QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-c"),
                                    QStringLiteral("1"), source, QStringLiteral("synth"), QStringLiteral("3"),
                                    QStringLiteral("sine"), QStringLiteral("300")}),
                 0);
    }

    void convertsWithBlanksInBothPaths()
    {
        FakeDialogs dialogs;
        FakeShell shell;
        UserHome user;
        user.makeDocuments();
        JobRecord job;
        wavtomp3 window(job);
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Convert wav to mp3 - Parlanto"));
        // First load: both folders are the program folder.
        QCOMPARE(window.Folders.LastSourceFolder, programFolder());

        dialogs.queueFile(source, 1);
        QTest::mouseClick(window.Image1, Qt::LeftButton);
        QCOMPARE(dialogs.fileCalls().last().request.title, QStringLiteral("Select A File"));
        // The program folder is hidden: the dialog starts in the user's documents instead.
        QCOMPARE(dialogs.fileCalls().last().request.initialFolder, user.documents());
        QCOMPARE(window.Text1->text(), source);
        const QString target = home.file(QStringLiteral("to there/the tone"));
        dialogs.queueFile(target, 1);
        QTest::mouseClick(window.Image2, Qt::LeftButton);
        QCOMPARE(window.Text2->text(), target + QStringLiteral(".mp3"));

        QTest::mouseClick(window.Command2, Qt::LeftButton);
        QCOMPARE(window.ConvertCase, 4);
        QVERIFY(window.Label1->isVisible());
        QVERIFY(job.Running);
        // The label never shows more than 100% while the encoder runs.
        QTRY_VERIFY_WITH_TIMEOUT(window.CompletionWindow || !job.Running, 20000);
        QVERIFY(window.Label1->text().remove(QLatin1Char('%')).toInt() <= 100);
        QVERIFY(dialogs.messages().isEmpty());
        QVERIFY(window.CompletionWindow);
        QVERIFY(!window.Label1->isVisible());
        QCOMPARE(window.CompletionWindow->windowTitle(), QStringLiteral("Ok - Parlanto"));
        QCOMPARE(window.CompletionWindow->Label2->text(), source);
        QCOMPARE(window.CompletionWindow->Label4->text(), target + QStringLiteral(".mp3"));

        // The MP3 decodes to the length of its source.
        const QString decoded = home.file(QStringLiteral("decoded.wav"));
        QCOMPARE(
            QProcess::execute(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("--decode"),
                                                       target + QStringLiteral(".mp3"), decoded}),
            0);
        QVERIFY2(qAbs(wavSeconds(decoded) - 3.0) < 0.1, qPrintable(QString::number(wavSeconds(decoded))));
        QTest::mouseClick(window.CompletionWindow->Command1, Qt::LeftButton);
        QCOMPARE(shell.opened(), QStringList{target + QStringLiteral(".mp3")});

        // Closing keeps the folders in tomp3.ini for the next time.
        QTest::mouseClick(window.Command1, Qt::LeftButton);
        const ConverterFolders kept = decodeConverterFolders(
            readRecordFile(programFile(QStringLiteral("tomp3.ini"))).value_or(QByteArray()));
        QCOMPARE(kept.LastSourceFolder, home.file(QStringLiteral("from here/")));
        QCOMPARE(kept.LastTargetFolder, home.file(QStringLiteral("to there/")));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("short source") << "/a.wave"
                                      << "/tmp/x.mp3"
                                      << "Please select a source wav file";
        QTest::newRow("missing source") << "/nowhere/a.wav"
                                        << "/tmp/x.mp3"
                                        << "/nowhere/a.wav is not exist";
        QTest::newRow("short target") << "SOURCE"
                                      << "/b.mp3"
                                      << "Please input a target mp3 file name, like as c:\\hero.mp3";
        QTest::newRow("running job") << "SOURCE"
                                     << "/tmp/x.mp3"
                                     << "A sound file is still being made. Please wait until it is finished, "
                                        "then try again.";
        // The encoder would turn a text into a blip of noise and report success.
        QTest::newRow("text file as source") << "TEXT"
                                             << "TARGET"
                                             << "TEXT cannot be converted: the file is not a WAV sound file.";
        QTest::newRow("damaged WAV as source")
            << "DAMAGED"
            << "TARGET"
            << "DAMAGED cannot be converted: the file is a damaged WAV file "
               "(it holds no sound data).";
    }
    void refusals()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, message);
        // Stand-ins: a text file, and a WAV cut off before its samples.
        const QString text = home.file(QStringLiteral("from here/notes.txt"));
        QFile notes(text);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("Dear diary, this is not a sound file.\n");
        notes.close();
        const QString damaged = home.file(QStringLiteral("from here/cut.wav"));
        QFile cut(damaged);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(WavWriter::header(0).chopped(8)); // the format, then nothing
        cut.close();
        const QString target = home.file(QStringLiteral("to there/refused.mp3"));
        const QMap<QString, QString> stands{{QStringLiteral("SOURCE"), source},
                                            {QStringLiteral("TEXT"), text},
                                            {QStringLiteral("DAMAGED"), damaged},
                                            {QStringLiteral("TARGET"), target}};
        from = stands.value(from, from);
        to = stands.value(to, to);
        message.replace(QStringLiteral("TEXT"), text).replace(QStringLiteral("DAMAGED"), damaged);

        FakeDialogs dialogs;
        JobRecord job;
        job.Running = QTest::currentDataTag() == QByteArray("running job");
        wavtomp3 window(job);
        window.Text1->setText(from);
        window.Text2->setText(to);
        QTest::mouseClick(window.Command2, Qt::LeftButton);
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().first().text, message);
        QCOMPARE(dialogs.messages().first().title, QStringLiteral("Parlanto"));
        QVERIFY(!window.Label1->isVisible());
        QVERIFY(!window.Encoder.isRunning());
        QVERIFY(!window.CompletionWindow);
        QVERIFY(QDir(home.file(QStringLiteral("to there")))
                    .entryList(QDir::Files | QDir::Hidden)
                    .filter(QStringLiteral("refused"))
                    .isEmpty());
    }

    void overwriteNoAndAFailingEncoder()
    {
        FakeDialogs dialogs;
        JobRecord job;
        wavtomp3 window(job);
        const QString target = home.file(QStringLiteral("kept.mp3"));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        window.Text1->setText(source);
        window.Text2->setText(target);
        QTest::mouseClick(window.Command2, Qt::LeftButton); // answered No by default
        QCOMPARE(dialogs.messages().first().text,
                 target + QStringLiteral(" is already exist,do you want to overwrite it ?"));
        QCOMPARE(dialogs.messages().first().icon, Dialogs::Icon::Critical);
        QVERIFY(!job.Running);
        QVERIFY(!window.Label1->isVisible());

        // An encoder that fails: a message naming the file, no completion window.
        QFile lame(programFile(QStringLiteral("lame")));
        QVERIFY(lame.open(QIODevice::WriteOnly));
        lame.write("#!/bin/sh\nexit 2\n");
        lame.close();
        lame.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        dialogs.clearRecords();
        window.Text2->setText(home.file(QStringLiteral("to there/no tone.mp3")));
        QTest::mouseClick(window.Command2, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!job.Running, 10000);
        lame.remove();
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().first().text,
                 home.file(QStringLiteral("to there/no tone.mp3")) +
                     QStringLiteral(" could not be made: the MP3 encoder ended "
                                    "with exit code 2"));
        QVERIFY(!window.CompletionWindow);
        QVERIFY(QDir(scratchRoot()).entryList(QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestWavToMp3)
#include "test_wavtomp3.moc"
