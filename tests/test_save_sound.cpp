#include "app/ttsmain.h"
#include "audio/mp3end.h"
#include "audio/parlocx.h"
#include "platform/program_folder.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/sound_files.h"
#include "support/test_home.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

namespace {

const QString Speech = QStringLiteral("Parlanto saves this text as a sound file. It is short, "
                                      "so the test stays quick.");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

    QStringList scratchFiles() const { return QDir(scratchRoot()).entryList(QDir::Files); }

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

        // WAV: straight into the target, no temporary file, completion window.
        const QString wav = folder + QStringLiteral("/first try.wav");
        save(w, dialogs, folder + QStringLiteral("/first try"), 4);
        QVERIFY(dialogs.messages().isEmpty());
        const double spoken = wavSeconds(wav);
        QVERIFY2(spoken > 2, qPrintable(QString::number(spoken)));
        QVERIFY(scratchFiles().isEmpty());
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
};

QTEST_MAIN(TestSaveSound)
#include "test_save_sound.moc"
