#include "app/ttsmain.h"

#include "platform/clock.h"
#include "platform/mmedia.h"
#include "platform/program_folder.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "tools/bell_then_speak.h"
#include "tools/clock_schedule.h"
#include "tools/setmyclock.h"

#include <QPlainTextEdit>

// The talking clock in the main window: its settings at start-up, the scheduler, the test
// timer and the clock settings window.

namespace {
// The test timer fires once, right after the clock window starts it.
constexpr int TestTimerStartMs = 10;
} // namespace

void ttsmain::connectClockTimers()
{
    m_clockAnnouncer = new BellThenSpeak(
        Mmedia::shared(), [this](const QString &sentence) { speakClockSentence(sentence); }, this);
    connect(TimerSay, &IntervalTimer::Timer, this, &ttsmain::TimerSay_Timer);
    connect(TimerSayTest, &IntervalTimer::Timer, this, &ttsmain::TimerSayTest_Timer);
}

// Loads the talking-clock settings: stime.ini, or the defaults when there is none.
void ttsmain::initSetTime()
{
    App.clock = loadClockSettings(programFolder());
}

void ttsmain::TimerSay_Timer()
{
    const ClockTick tick = clockTick(App.clock, Clock::instance().now(), App.IntervalStart,
                                     App.LastClockMinute, App.speech.SapiVersion);
    if (!tick.newMinute)
        return;
    if (tick.reason != ClockReason::None)
        m_clockAnnouncer->run(App.clock.BellFile, tick.sentence);
    App.LastClockMinute = tick.lastClockMinute;
}

void ttsmain::TimerSayTest_Timer()
{
    TimerSayTest->setInterval(0);
    m_clockAnnouncer->run(App.TestBellFile, App.TestSentence);
}

// The clock speaks through its own voice object, whatever the document reading is doing.
void ttsmain::speakClockSentence(const QString &sentence)
{
    switch (App.speech.SapiVersion) {
    case 5:
        if (VoiceSayTime)
            VoiceSayTime->Speak(sentence, SpVoice::SVSFlagsAsync);
        break;
    case 4:
        if (TextToSpeech1)
            TextToSpeech1->Speak(sentence);
        break;
    default:
        break;
    }
}

setmyclock *ttsmain::showClockWindow()
{
    auto *window = qobject_cast<setmyclock *>(m_clockWindow.data());
    if (!window) {
        ClockWindowLinks links{App.clock,
                               App.IntervalStart,
                               App.TestBellFile,
                               App.TestSentence,
                               [this] { TimerSayTest->setInterval(TestTimerStartMs); },
                               [this] { return App.window.OpenFolder; },
                               RichTextBox1->font().family(),
                               programFolder()};
        window = new setmyclock(std::move(links), this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_clockWindow = window;
        setUnloadHandler(QStringLiteral("setmyclock"), [this] {
            if (m_clockWindow)
                m_clockWindow->close();
        });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
