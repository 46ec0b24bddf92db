#include "app/ttsmain.h"

#include "app/pronunciation_host.h"
#include "audio/parlocx.h"
#include "desktop/howto.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/program_folder.h"
#include "platform/program_picture.h"
#include "platform/record_codec.h"
#include "platform/shell.h"
#include "platform/single_instance.h"
#include "speech/pronunciation_file.h"
#include "tools/clock_schedule.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QToolButton>

#include <cstdio>

namespace {

void useProgramIcon()
{
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(QIcon(programPicture(QStringLiteral("parlanto.png"))));
}

} // namespace

// Start-up of the main window, step by step, and the start-up steps of the features that hook
// into the desktop later on (each of those does nothing until its feature exists).

ttsmain::LoadResult ttsmain::Form_Load(const QString &startLine)
{
    // A start option that asks to open a window or to end is no text to read.
    const QString commandLine = takeStartRequest(startLine);
    // One instance per user: a later one hands over its command line and ends.
    m_instance = std::make_unique<SingleInstance>();
    if (!m_instance->acquire()) {
        if (handOverStartRequest()) {
            m_instance.reset();
            endProcess(0);
            return LoadResult::Ended;
        }
        // A later instance: a file, text or command goes to the running one, which does with
        // it what a first start would; a start without an argument brings its window forward;
        // anything else ends quietly.
        App.StartMode = StartFrom(commandLine);
        int exitCode = 0;
        if (App.StartMode == QLatin1String("explorer") || App.StartMode == QLatin1String("internet")) {
            QCoreApplication::processEvents();
            if (!LinkAndSendMessage(commandLine)) {
                std::fputs("parlanto: the running Parlanto did not take this over.\n", stderr);
                exitCode = 1;
            }
        } else if (App.StartMode == QLatin1String("program")) {
            // Started again without an argument: the user is looking for the window.
            m_instance->send(QString());
        }
        m_instance.reset();
        endProcess(exitCode);
        return LoadResult::Ended;
    }
    if (quitRequestedAtStart()) {
        m_instance.reset();
        endProcess(0);
        return LoadResult::Ended;
    }
    listenForCommands();
    connect(m_instance.get(), &SingleInstance::showRequested, this, &ttsmain::bringToFront);
    // Holding the lock, any half-written record beside the real ones is a killed save's.
    removeStaleRecordTemporaries(programFolder());
    // Likewise the temporary sound files of jobs that no running process owns (a killed save).
    removeStaleScratch();

    // Caption and product name.
    setWindowTitle(QStringLiteral("Parlanto"));
    Label8->setText(QStringLiteral("Parlanto"));
    // Voice-list picks are ignored until the start-up argument has been acted on. (The text
    // box has no length limit of its own.)
    HideVoiceListPending = true;
    StartTTS4Engine = -1;
    StartTTS4Speed = -1;
    StartTTS4Pitch = -1;
    // The generation-4 speech objects and the run-time timers, in their fixed order.
    createGeneration4Objects();
    createRunTimeTimers();
    // The generation-4 voices into the list.
    GetEngines4();
    // The generation-5 voice objects; one that cannot be made leaves its voices out.
    createGeneration5Objects();
    // The generation-5 voices into the list.
    GetEngines5();
    // Fewer than two voices: offer the download page and end.
    if (Combo1->count() < 2) {
        makeTextBox();
        noEngineExit();
        return LoadResult::Ended;
    }
    // Speech settings: the record, else the defaults.
    if (QFileInfo::exists(programFile(QStringLiteral("stts.ini"))))
        LoadTTSSets();
    else
        InitTTSSets();
    // Window settings: the record, else the defaults.
    if (QFileInfo::exists(programFile(QStringLiteral("swin.ini"))))
        LoadWinSets();
    else
        InitWinSets();
    // The user's pronunciation rules, for everything said from now on, and the way to edit them.
    Pronunciation::loadUserRules();
    addPronunciationEntry(*this);
    // Idle.
    PlayStatus = 3;
    // The talking clock's settings.
    initSetTime();
    // The start-up argument: read a file or text, or end at once.
    App.StartMode = StartFrom(commandLine);
    actOnStartMode(commandLine);
    if (m_processEndedFlag)
        return LoadResult::Ended;
    // From here on voice-list picks count.
    StartTTS4Engine = 0;
    StartTTS4Speed = 0;
    StartTTS4Pitch = 0;
    startTakingCommands();
    // The start moment, for the talking clock.
    recordStartMoment();
    // The window hook sees the window's state from its first showing on.
    MainWindowHook();
    // The first start in this program folder shows the help after 3 s.
    if (isFirstRun())
        firstuse->setInterval(3000);
    // A window recorded visible is shown first: the tray icon and the clipboard watcher are not
    // needed for it to appear, and nothing reaches them before the event loop runs. A window
    // recorded hidden stays hidden only when the tray icon is there to bring it back.
    const bool shownAtOnce = App.window.Visible;
    if (shownAtOnce)
        showAsSettingsSay();
    makeTextBox();
    showPictures();
    AddTrayIcon(QStringLiteral("Parlanto, Left-click or Right-click please"));
    RegisterClipboardViewer();
    TextBoxHook();
    if (!shownAtOnce)
        showAsSettingsSay();
    runStartRequest();
    return LoadResult::Running;
}

void ttsmain::noEngineExit()
{
    useProgramIcon();
    App.ExitRequested = true;
    RemoveTrayIcon();
    const QString site = vendorSite();
    const auto answer =
        msgBox(this,
               QStringLiteral("Can not find appropriate speech engine! Free download appropriate "
                              "speech engine from ") +
                   site + QStringLiteral(" ?"),
               Dialogs::Buttons::YesNo, Dialogs::Icon::Critical, QStringLiteral("Parlanto"));
    if (answer == Dialogs::Answer::Yes)
        openWithDesktop(this, site + QStringLiteral("/download.htm"));
    endProcess(0);
}

// Nothing is announced in the minute of start-up, and the interval alarm counts from now.
void ttsmain::recordStartMoment()
{
    App.IntervalStart = Clock::instance().now();
    App.LastClockMinute = clockMinuteText(App.IntervalStart.time());
}

// Stops and closes a recording to a sound file that still runs.
void ttsmain::StopRecordingControl()
{
    if (!Ttsparlvcocx1)
        return;
    Ttsparlvcocx1->Stop();
    Ttsparlvcocx1->Close();
}

// The first start in this program folder shows the help window after 3 s; the mark is left
// once it has been shown, so a start ended sooner still counts as the first.
bool ttsmain::isFirstRun() const
{
    return ::isFirstRun();
}

void ttsmain::firstuse_Timer()
{
    firstuse->setInterval(0);
    markFirstRunDone();
    Command8_Click();
}

// The pictures of the program: its icon for every window, the Speak button's faces. Neither
// is needed for the window to appear, and both are read from the program folder, where the
// user may have put pictures of their own; the first paint comes after this.
void ttsmain::showPictures()
{
    useProgramIcon();
    m_speakPicture = QIcon(programPicture(QStringLiteral("speak.bmp")));
    m_pausePicture = QIcon(programPicture(QStringLiteral("pause.bmp")));
    Command5->setIcon(m_pauseFaceShown ? m_pausePicture : m_speakPicture);
}

void ttsmain::showAsSettingsSay()
{
    if (!App.window.Visible && trayReachable())
        return;
    App.window.Visible = true;
    switch (App.window.WindowState) {
    case 1:
        showMinimized();
        break;
    case 2:
        showMaximized();
        break;
    default:
        showNormal();
        break;
    }
}
