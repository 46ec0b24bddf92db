#include "app/ttsmain.h"
#include "platform/mci.h"
#include "platform/mmedia.h"
#include "platform/program_folder.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/record_bytes.h"
#include "support/test_home.h"
#include "support/user_home.h"
#include "tools/bell_then_speak.h"
#include "tools/setmyclock.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void click(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

QColor background(const QLineEdit *box)
{
    return box->palette().color(box->isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base);
}

} // namespace

// The clock settings window driven through its widgets, and the bell-then-speak sequence it
// tests and the scheduler runs.
class TestClockWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;

private slots:
    void initTestCase()
    {
        home = std::make_unique<TestHome>();
        qputenv("PARLANTO_INSTANCE",
                QByteArray("clockTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void settingsWindowSavesTestsAndTheClockAnnounces()
    {
        FakeClock clock(QDateTime(QDate(2026, 3, 10), QTime(9, 14, 30)));
        FakeDialogs dialogs;
        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        const QString bell = programFile(QStringLiteral("bell.wav"));
        const QString stime = programFile(QStringLiteral("stime.ini"));
        QVERIFY(!QFile::exists(stime));
        QCOMPARE(w.app.clock.BellFile, bell);
        QCOMPARE(w.app.LastClockMinute, QStringLiteral("914"));

        QStringList sent;
        Mmedia::shared().setSender([&sent](const QString &command, QString *answer) {
            sent.append(command);
            return mciSendString(command, answer);
        });

        setmyclock *win = w->showClockWindow();
        QCOMPARE(win->windowTitle(), QStringLiteral("Set Alarm Clock - Parlanto"));
        QVERIFY(win->Check1->isChecked() && win->Check2->isChecked() && win->Check3->isChecked());
        QCOMPARE(win->Text1->text(), QStringLiteral("The time is"));
        QCOMPARE(win->Text4->text(), bell);
        QCOMPARE(win->Label1->text(), QStringLiteral("9"));
        QCOMPARE(win->Label2->text(), QStringLiteral("14"));
        for (QLineEdit *box : {win->Text5, win->Text6, win->Text7, win->Text8}) {
            QVERIFY(!box->isEnabled());
            QVERIFY(box->text().isEmpty()); // the never-values 70 and 25 show empty
            QCOMPARE(background(box), QColor(0xE0E0E0));
        }

        // The ladder: Quarter implies Half, Half implies Hour.
        click(win->Check1);
        QVERIFY(!win->Check1->isChecked() && !win->Check2->isChecked() && !win->Check3->isChecked());
        click(win->Check3);
        QVERIFY(win->Check1->isChecked() && win->Check2->isChecked() && win->Check3->isChecked());
        click(win->Check2);
        QVERIFY(win->Check1->isChecked() && !win->Check2->isChecked() && !win->Check3->isChecked());
        click(win->Check2);
        QVERIFY(win->Check1->isChecked() && win->Check2->isChecked() && !win->Check3->isChecked());

        // Alarm boxes: ticking enables their number boxes, which take digits only.
        click(win->Check4);
        QVERIFY(win->Text5->isEnabled());
        QCOMPARE(background(win->Text5), QColor(Qt::white));
        QTest::keyClicks(win->Text5, QStringLiteral("3 min"));
        QCOMPARE(win->Text5->text(), QStringLiteral("3"));
        click(win->Check5);
        QTest::keyClicks(win->Text6, QStringLiteral("4x5y"));
        QTest::keyClick(win->Text6, Qt::Key_Backspace);
        QTest::keyClicks(win->Text6, QStringLiteral("6"));
        QCOMPARE(win->Text6->text(), QStringLiteral("46"));
        QTest::keyClicks(win->Text6, QStringLiteral("12345678901"));
        QCOMPARE(win->Text6->text().size(), 9);
        win->Text6->setText(QStringLiteral("46"));
        click(win->Check6);
        QVERIFY(win->Text7->isEnabled() && win->Text8->isEnabled());
        QTest::keyClicks(win->Text7, QStringLiteral("7")); // minute left empty
        click(win->Check6);
        QVERIFY(!win->Text7->isEnabled());
        QCOMPARE(background(win->Text7), QColor(0xE0E0E0));
        click(win->Check6);

        // A bell that does not exist is refused, and nothing is saved.
        win->Text4->setText(home->file(QStringLiteral("gone.wav")));
        click(win->Command1);
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(dialogs.messages().first().text, QStringLiteral("Bell file is not exists"));
        QCOMPARE(dialogs.messages().first().title, QStringLiteral("Parlanto"));
        QVERIFY(!QFile::exists(stime));

        // Save writes what the window shows; the daily alarm without its minute is switched off.
        win->Text4->setText(QStringLiteral("  ") + bell + QStringLiteral(" "));
        win->Text3->setText(QStringLiteral(" minutes "));
        click(win->Command1);
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY(!win->Check6->isChecked());
        const QByteArray expected = RecordBytes()
                                        .longValue(1)
                                        .longValue(1)
                                        .longValue(0)
                                        .string("The time is")
                                        .string("o'clock")
                                        .string("minutes")
                                        .string(bell)
                                        .longValue(1)
                                        .longValue(3)
                                        .longValue(1)
                                        .longValue(46)
                                        .longValue(0)
                                        .longValue(25)
                                        .longValue(70)
                                        .data();
        QCOMPARE(fileBytes(stime), expected);
        QCOMPARE(w.app.clock.HourlyAlarmMinute, 46);
        QCOMPARE(w.app.IntervalStart, clock.now());

        // Reopened, the window shows what was saved.
        click(win->Command2);
        QTRY_VERIFY(!w->findChild<setmyclock *>());
        win = w->showClockWindow();
        QVERIFY(win->Check1->isChecked() && win->Check2->isChecked() && !win->Check3->isChecked());
        QCOMPARE(win->Text5->text(), QStringLiteral("3"));
        QCOMPARE(win->Text6->text(), QStringLiteral("46"));
        QVERIFY(win->Text6->isEnabled() && !win->Text7->isEnabled() && win->Text7->text().isEmpty());

        // Test: the bell starts, two seconds later it is closed and the sentence is spoken.
        const int generation = w.app.speech.SapiVersion;
        QVERIFY(generation == 4 || generation == 5);
        std::unique_ptr<QSignalSpy> spoken =
            generation == 5
                ? std::make_unique<QSignalSpy>(w->VoiceSayTime.get(), &SpVoice::StartStream)
                : std::make_unique<QSignalSpy>(w->TextToSpeech1.get(), &TextToSpeech::SpeakingStarted);
        QSignalSpy bellStarted(w->clockAnnouncer(), &BellThenSpeak::bellStarted);
        QSignalSpy handedOver(w->clockAnnouncer(), &BellThenSpeak::sentenceHandedOver);
        sent.clear();
        QElapsedTimer sinceTest;
        sinceTest.start();
        click(win->Command4);
        QCOMPARE(w.app.TestSentence, QStringLiteral("The time is 9 o'clock 14 minutes"));
        QTRY_COMPARE(bellStarted.size(), 1);
        QCOMPARE(sent, (QStringList{"Open " + bell + " ALIAS 14wav TYPE Waveaudio wait", "Play 14wav"}));
        QString length;
        QCOMPARE(mciSendString(QStringLiteral("status 14wav length"), &length), 0); // the real bell is open
        QCOMPARE(length, QStringLiteral("1500"));
        QCOMPARE(handedOver.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(handedOver.size(), 1, 5000);
        QVERIFY(sinceTest.elapsed() >= BellThenSpeak::BellPauseMs);
        QCOMPARE(handedOver.first().first().toString(), w.app.TestSentence);
        QCOMPARE(sent.last(), QStringLiteral("Close 14wav"));
        QTRY_COMPARE(spoken->size(), 1);
        QCOMPARE(dialogs.messages().size(), 1);

        // The scheduler: 09:15 passes silently (Quarter is off), the interval alarm speaks at
        // 09:17, three minute boundaries after the save, and only once in that minute.
        clock.set(QDateTime(QDate(2026, 3, 10), QTime(9, 15, 20)));
        w->TimerSay_Timer();
        clock.set(QDateTime(QDate(2026, 3, 10), QTime(9, 16, 10)));
        w->TimerSay_Timer();
        QCOMPARE(bellStarted.size(), 1);
        clock.set(QDateTime(QDate(2026, 3, 10), QTime(9, 17, 0)));
        w->TimerSay_Timer();
        clock.set(QDateTime(QDate(2026, 3, 10), QTime(9, 17, 50)));
        w->TimerSay_Timer();
        QCOMPARE(w.app.LastClockMinute, QStringLiteral("917"));
        QCOMPARE(bellStarted.size(), 2);
        QCOMPARE(bellStarted.last().first().toString(), bell);
        QTRY_COMPARE_WITH_TIMEOUT(handedOver.size(), 2, 5000);
        QCOMPARE(handedOver.last().first().toString(), QStringLiteral("The time is 9 o'clock 17 minutes"));
        QTRY_COMPARE(spoken->size(), 2);

        // Test without a bell: the user is told, and the sentence still follows the pause.
        win->Text4->setText(home->file(QStringLiteral("gone.wav")));
        click(win->Command4);
        QCOMPARE(dialogs.messages().size(), 2);
        QCOMPARE(dialogs.messages().last().text, QStringLiteral("Bell file is not exists"));
        QTRY_COMPARE_WITH_TIMEOUT(handedOver.size(), 3, 5000);
        QTRY_COMPARE(spoken->size(), 3);

        Mmedia::shared().setSender(nullptr);
    }

    // "&Bell file" asks for a sound file and puts the chosen one in the bell box; the dialog
    // first starts in the user's documents, then in the folder of the last opened document.
    void bellFileButtonChoosesTheBell()
    {
        UserHome user;
        user.makeDocuments();
        FakeDialogs dialogs;
        LoadedWindow w;
        setmyclock *win = w->showClockWindow();
        const QString before = win->Text4->text();

        const QString chime = user.documents() + QStringLiteral("/chime.wav");
        dialogs.queueFile(chime);
        click(win->Command3);
        QCOMPARE(dialogs.fileCalls().size(), 1);
        const Dialogs::FileRequest asked = dialogs.fileCalls().first().request;
        QCOMPARE(asked.title, QStringLiteral("Select A File"));
        QCOMPARE(asked.initialFolder, user.documents());
        QCOMPARE(asked.filters.first().second, QStringLiteral("*.wav"));
        QCOMPARE(win->Text4->text(), chime);

        w.app.window.OpenFolder = user.path() + QLatin1Char('/');
        win->Text4->setText(before);
        click(win->Command3); // nothing queued: cancelled
        QCOMPARE(dialogs.fileCalls().size(), 2);
        QCOMPARE(dialogs.fileCalls().last().request.initialFolder, user.path() + QLatin1Char('/'));
        QCOMPARE(win->Text4->text(), before);
    }
};

QTEST_MAIN(TestClockWindow)
#include "test_clock_window.moc"
