#include "app/ttsmain.h"
#include "app/up_scroll_bar.h"
#include "platform/program_folder.h"
#include "platform/single_instance.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLockFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <signal.h>

namespace {

// A generation-4 engine with a single voice.
class OneVoiceDirectSS : public DirectSS
{
public:
    int CountEngines() const override { return 1; }
    QString ModeName(int index) const override { return index == 1 ? QStringLiteral("Solo") : QString(); }
};

SpeechFactory oneVoiceOnly()
{
    SpeechFactory factory = SpeechFactory::standard();
    factory.makeDirectSS = [] { return std::make_unique<OneVoiceDirectSS>(); };
    factory.makeSpVoice = [] { return std::unique_ptr<SpVoice>(); };
    return factory;
}

} // namespace

class TestTtsmainWindow : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void initTestCase()
    {
        // This process's windows take the single-instance lock under a name of their own.
        qputenv("PARLANTO_INSTANCE",
                QByteArray("winTest") + QByteArray::number(QCoreApplication::applicationPid()));
        // A program folder past its first start; firstRunHelpArmsOnlyOnce has a fresh one.
        markFirstRunDone();
    }

    void startUpBuildsTheWindow()
    {
        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        QCOMPARE(w.endCalls, 0);
        // Without a saved voice the voice of the locale is current and names the window.
        QCOMPARE(w->windowTitle(), w->Combo1->currentText());
        QCOMPARE(w->Label8->text(), QStringLiteral("Parlanto"));
        QCOMPARE(w->Label10->text(), QStringLiteral("Version 1.71"));
        QCOMPARE(w->Label13->text(), QStringLiteral("00:00:00"));
        QCOMPARE(w->PlayStatus, 3);
        QCOMPARE(w->StartTTS4Engine, 0);
        QCOMPARE(w->StartTTS4Speed, 0);
        QCOMPARE(w->StartTTS4Pitch, 0);
        QVERIFY(!w->Combo1->isVisible());
        QVERIFY(w->Combo1->count() >= 2);
        // The text box, made once the window shows, is first among the controls: below the
        // others, first for a screen reader, and where the focus goes as the window turns active.
        QVERIFY(w->RichTextBox1 && w->RichTextBox1->isVisible());
        QCOMPARE(w->children().indexOf(w->RichTextBox1), 0);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), w->RichTextBox1);
        QCOMPARE(w->Combo1->count(), w->SAPI4VoiceCount + w->SAPI5VoiceCount);

        // The nine buttons, left to right, with captions and tips.
        const QList<QPair<QToolButton *, QStringList>> buttons = {
            {w->Command7, {"&Voice", "Change voice"}},
            {w->Command5, {"S&peak", "Read aloud"}},
            {w->Command6, {"&Stop", "Stop speaking"}},
            {w->Command3, {"&Open", "Load text file (.txt, .rtf) to read aloud"}},
            {w->Command4,
             {"S&ave",
              "save text as text file or audio file. To save as audio file, TTS5 is faster than TTS4"}},
            {w->Command8, {"&Help", "How does this application work?"}},
            {w->Command1, {"&BColor", "Change text back color"}},
            {w->Command2, {"Fo&nt", "Change text font"}},
            {w->Command9, {"&Close", "Close this window"}},
        };
        int left = 336; // 5040 twips
        for (const auto &[button, texts] : buttons) {
            QCOMPARE(button->text(), texts[0]);
            QCOMPARE(button->toolTip(), texts[1]);
            QCOMPARE(button->parentWidget(), w->Frame1);
            QCOMPARE(button->geometry(), QRect(left, 0, 49, 45));
            QCOMPARE(button->font().family(), QStringLiteral("Arial"));
            left += 48; // 720 twips
        }
        QCOMPARE(w->Frame1->size(), QSize(787, 105));
        QCOMPARE(w->Check1->text(), QStringLiteral("&Text"));
        QCOMPARE(w->Label2->text(), QStringLiteral("Volume"));
        QCOMPARE(w->Label6->text(), QStringLiteral("Rate"));
        QCOMPARE(w->Label4->text(), QStringLiteral("Pitch"));
        QCOMPARE(w->Label4->toolTip(),
                 QStringLiteral("Change voice pitch. Note: pitch of some voices can be changed."));
        QCOMPARE(w->Label10->toolTip(),
                 QStringLiteral("Double click to download more text to speech engines"));
        QCOMPARE(w->Combo1->font().family(), QStringLiteral("Tahoma"));
        QVERIFY(!w->Command5->icon().isNull());
        QVERIFY(!w->windowIcon().isNull());
        QCOMPARE(w->Label1->font().family(), QStringLiteral("Tahoma"));

        // The long-running timers: only the clock scheduler and the periodic save run.
        QCOMPARE(w->TimerSay->interval(), 50000);
        QCOMPARE(w->SaveSettings->interval(), 15000);
        for (IntervalTimer *idle : {w->Timer101, w->Timer1, w->Timer102, w->Timer2, w->ReadingTime,
                                    w->TimerSayTest, w->firstuse, w->MonitorText1Len})
            QVERIFY(!idle->isRunning());
        QVERIFY(w->TimerSay->isRunning());
        QVERIFY(w->SaveSettings->isRunning());
        // The start moment for the talking clock: hour and minute without leading zeros.
        const QTime started = w.app.IntervalStart.time();
        QCOMPARE(w.app.LastClockMinute, QString::number(started.hour()) + QString::number(started.minute()));
    }

    void heightDecidesWhetherTheTextBoxShows()
    {
        LoadedWindow w;
        w->show();
        // The layout works on the window's outer size, frame included, as twips always did.
        const QSize frame = w->frameGeometry().size() - w->size();
        const auto resizeOuter = [&](int width, int height) {
            w->resize(width - frame.width(), height - frame.height());
        };

        // 133 px = 1995 twips: not above 2000, the text box goes out of sight.
        resizeOuter(800, 133);
        QCOMPARE(w->RichTextBox1->x(), 6667);
        QCOMPARE(w->Frame1->pos(), QPoint(800 - 787, 0));
        QVERIFY(!w->Check1->isChecked());
        QCOMPARE(w->Check1->toolTip(), QStringLiteral("Show text box"));
        QVERIFY(!w.app.window.TextBoxShown);
        QCOMPARE(w.app.window.Height, 1995);

        // 560 px = 8400 twips: text box from the top, panel below it, flush right.
        resizeOuter(800, 560);
        QCOMPARE(w->RichTextBox1->geometry(), QRect(7, 0, 780, 415));
        QCOMPARE(w->Frame1->pos(), QPoint(13, 422));
        QVERIFY(w->Check1->isChecked());
        QCOMPARE(w->Check1->toolTip(), QStringLiteral("Hide text box"));
        QVERIFY(w.app.window.TextBoxShown);
        QCOMPARE(w.app.window.Width, 12000);
        QCOMPARE(w.app.window.Height, 8400);
        QCOMPARE(w->RichTextBox1->toolTip(), QStringLiteral("Paste text here"));

        // Just above the threshold (up to 145 px) no text box fits above the panel: laid out as
        // a low window. Every button stays in view and the text box never covers them.
        for (const int height : {135, 140, 145, 150}) {
            resizeOuter(800, 560);
            resizeOuter(800, height);
            QCOMPARE(w->Check1->isChecked(), height >= 145);
            const QRect buttons = w->Command9->geometry().translated(w->Frame1->pos());
            QVERIFY(w->rect().contains(buttons));
            QVERIFY(!w->RichTextBox1->geometry().intersects(w->Frame1->geometry()));
        }

        // Back to a low window and up again: hidden, then shown and ticked once more.
        resizeOuter(800, 120);
        QVERIFY(!w->Check1->isChecked());
        resizeOuter(700, 500);
        QVERIFY(w->Check1->isChecked());
        QCOMPARE(w->RichTextBox1->x(), 7);
        QCOMPARE(w->Frame1->x(), 700 - 787); // narrower than the panel: its left part is cut off

        // Minimising keeps the last size and records the state.
        w->setWindowState(Qt::WindowMinimized);
        QCOMPARE(w.app.window.WindowState, 1);
        QCOMPARE(w.app.window.Width, 10500);
    }

    void barsShowWhereTheirSettingIs()
    {
        LoadedWindow w;
        w->show();
        for (QScrollBar *bar : {w->VScroll1, w->VScroll2, w->VScroll3}) {
            QCOMPARE(bar->size(), QSize(25, 27));
            auto *up = static_cast<UpScrollBar *>(bar);
            bar->setValue(100);
            const QRect top = up->thumbRect();
            bar->setValue(0);
            const QRect bottom = up->thumbRect();
            for (const QRect &thumb : {top, bottom}) {
                QVERIFY(thumb.height() >= 4);
                QVERIFY(bar->rect().contains(thumb));
            }
            QVERIFY(top.bottom() < bottom.top()); // 100 at the top, 0 at the bottom
        }
    }

    void firstRunHelpArmsOnlyOnce()
    {
        QTemporaryDir fresh;
        const QByteArray previousHome = qgetenv("PARLANTO_HOME");
        qputenv("PARLANTO_HOME", fresh.path().toLocal8Bit());
        {
            LoadedWindow first;
            QCOMPARE(first->firstuse->interval(), 3000);
            QVERIFY(first->firstuse->isRunning());
            emit first->firstuse->Timer();
            QCOMPARE(first->firstuse->interval(), 0);
            QVERIFY(!first->firstuse->isRunning());
        }
        LoadedWindow later;
        QCOMPARE(later.result, ttsmain::LoadResult::Running);
        QCOMPARE(later->firstuse->interval(), 0);
        qputenv("PARLANTO_HOME", previousHome);
    }

    void closingMinimisesWithoutATrayAndHidesWithOne()
    {
        for (const bool tray : {false, true}) {
            LoadedWindow w(SpeechFactory::standard(), QString(),
                           [tray](ttsmain &window) { window.setTrayReachable([tray] { return tray; }); });
            w->show();
            QVERIFY(w->isVisible());
            QVERIFY(!w->close());
            // Without a tray the window must stay where the user can find it.
            QCOMPARE(w->isVisible(), !tray);
            QVERIFY(w->windowState() & Qt::WindowMinimized);
            QCOMPARE(w.endCalls, 0);
            QVERIFY(!w.app.ExitRequested);

            w->bringToFront();
            QVERIFY(w->isVisible());
            QVERIFY(!(w->windowState() & Qt::WindowMinimized));
            QTest::mouseClick(w->Command9, Qt::LeftButton);
            QCOMPARE(w->isVisible(), !tray);
            QVERIFY(w->windowState() & Qt::WindowMinimized);
            QCOMPARE(w.endCalls, 0);
        }
    }

    void exitAllUnloadsWindowsInOrder()
    {
        LoadedWindow w;
        w->show();
        const QString newVersion = programFile(QStringLiteral("newversion.ini"));
        {
            QFile file(newVersion);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("1.72");
        }
        QStringList unloaded;
        QStringList newVersionSeenBy;
        for (const QString &name : ttsmain::unloadOrder()) {
            if (name == QLatin1String("ttsmain"))
                continue;
            w->setUnloadHandler(name, [&, name] {
                unloaded.append(name);
                if (QFile::exists(newVersion))
                    newVersionSeenBy.append(name);
            });
        }
        w->ExitAll();

        QCOMPARE(unloaded,
                 (QStringList{"howto", "mp3end", "setmyclock", "ttsaboutForm", "updatewin", "wavtomp3",
                              "wavtomp3end", "BatchText2Sound", "SlideReadAloud", "ttsMenu"}));
        // The main window unloads after the about window and before the update window.
        QCOMPARE(newVersionSeenBy, (QStringList{"howto", "mp3end", "setmyclock", "ttsaboutForm"}));
        QVERIFY(!QFile::exists(newVersion));
        QVERIFY(w.app.ExitRequested);
        QVERIFY(w.app.UpdateCancel);
        QVERIFY(!w->isVisible());
        QCOMPARE(w.endCalls, 1);
        QCOMPARE(w.endCode, 0);
        QVERIFY(w->processEnded());
        // Once ending, a close request is no longer turned into hiding.
        QVERIFY(w->close());
    }

    void fewerThanTwoVoicesOffersTheDownloadAndEnds()
    {
        for (const auto answer : {Dialogs::Answer::Yes, Dialogs::Answer::No}) {
            FakeDialogs dialogs;
            FakeShell shell;
            dialogs.queueAnswer(answer);
            LoadedWindow w(oneVoiceOnly());
            QCOMPARE(w.result, ttsmain::LoadResult::Ended);
            QCOMPARE(w->Combo1->count(), 1);
            QCOMPARE(w.endCalls, 1);
            QVERIFY(w.app.ExitRequested);
            QCOMPARE(dialogs.messages().size(), 1);
            const Dialogs::Message &message = dialogs.messages().first();
            QCOMPARE(message.text, QStringLiteral("Can not find appropriate speech engine! Free download "
                                                  "appropriate speech engine from ") +
                                       vendorSite() + QStringLiteral(" ?"));
            QCOMPARE(message.title, QStringLiteral("Parlanto"));
            QCOMPARE(message.buttons, Dialogs::Buttons::YesNo);
            QCOMPARE(message.icon, Dialogs::Icon::Critical);
            if (answer == Dialogs::Answer::Yes)
                QCOMPARE(shell.opened(), QStringList{vendorSite() + QStringLiteral("/download.htm")});
            else
                QVERIFY(shell.opened().isEmpty());
            // Start-up stopped there: no timers beyond the ones made before the voices.
            QCOMPARE(w->StartTTS4Engine, -1);
            QVERIFY(!w->isVisible());
        }
    }

    void secondWindowInTheSameSessionEnds()
    {
        LoadedWindow first;
        QCOMPARE(first.result, ttsmain::LoadResult::Running);
        // One character: a later start that ends without contacting the first.
        LoadedWindow second(SpeechFactory::standard(), QStringLiteral("x"));
        QCOMPARE(second.result, ttsmain::LoadResult::Ended);
        QCOMPARE(second.endCalls, 1);
        QCOMPARE(second->Combo1->count(), 0); // it never got as far as the voices
        QCOMPARE(first.endCalls, 0);
        QVERIFY(!first->processEnded());
    }

    void secondStartWithoutArgumentBringsTheRunningWindowBack()
    {
        LoadedWindow first;
        QCOMPARE(first.result, ttsmain::LoadResult::Running);
        first->close(); // minimised: no tray here
        first->setWindowState(Qt::WindowMinimized);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(PARLANTO_BIN), {});
        QVERIFY(second.waitForStarted());
        // The first answers on this thread's event loop while the second waits for it.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(first->isVisible());
        QVERIFY(!(first->windowState() & Qt::WindowMinimized));
        QCOMPARE(first.endCalls, 0);
    }

    void terminationEndsLikeExitAll()
    {
        const QByteArray instance = "termTest" + QByteArray::number(QCoreApplication::applicationPid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PARLANTO_INSTANCE"), QString::fromLatin1(instance));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const int signalNumber : {SIGTERM, SIGINT}) {
            for (const char *name : {"stts.ini", "swin.ini"})
                QFile::remove(programFile(QLatin1String(name)));
            // Left by a save that was killed half-way.
            const QString stale = programFile(QStringLiteral("swin.ini.Ab12Cd"));
            QFile(stale).open(QIODevice::WriteOnly);
            QVERIFY(QFile::exists(stale));

            QProcess program;
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(PARLANTO_BIN), {});
            QVERIFY(program.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(stale), 20000);
            ::kill(pid_t(program.processId()), signalNumber);
            QVERIFY(program.waitForFinished(20000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            QVERIFY(QFile::exists(programFile(QStringLiteral("stts.ini"))));
            QVERIFY(QFile::exists(programFile(QStringLiteral("swin.ini"))));
            qputenv("PARLANTO_INSTANCE", instance);
            QLockFile lock(SingleInstance().lockFilePath());
            QVERIFY(lock.tryLock(0)); // released, not merely stale
            lock.unlock();
        }
        qputenv("PARLANTO_INSTANCE",
                QByteArray("winTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void singleInstanceWithTheProgram()
    {
        const QByteArray instance = "binTest" + QByteArray::number(QCoreApplication::applicationPid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PARLANTO_INSTANCE"), QString::fromLatin1(instance));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("PARLANTO_AUDIO"), QStringLiteral("fast"));
        qputenv("PARLANTO_INSTANCE", instance);
        const QString lockPath = SingleInstance().lockFilePath();
        const auto holder = [&]() -> qint64 {
            qint64 pid = 0;
            QString host, app;
            return QLockFile(lockPath).getLockInfo(&pid, &host, &app) ? pid : 0;
        };
        const auto start = [&](QProcess &process) {
            process.setProcessEnvironment(env);
            process.setProgram(QStringLiteral(PARLANTO_BIN));
            process.start();
            QVERIFY(process.waitForStarted());
        };

        QProcess first;
        start(first);
        QTRY_COMPARE_WITH_TIMEOUT(holder(), first.processId(), 20000);

        // A second start with no argument ends at once; the first one runs on untouched.
        QProcess second;
        start(second);
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(holder(), first.processId());

        // A killed first instance does not block the next start.
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        QProcess third;
        start(third);
        QTRY_COMPARE_WITH_TIMEOUT(holder(), third.processId(), 20000);
        QProcess fourth;
        start(fourth);
        QVERIFY(fourth.waitForFinished(20000));
        QCOMPARE(third.state(), QProcess::Running);

        third.kill();
        QVERIFY(third.waitForFinished(10000));
        qputenv("PARLANTO_INSTANCE",
                QByteArray("winTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }
};

QTEST_MAIN(TestTtsmainWindow)
#include "test_ttsmain_window.moc"
