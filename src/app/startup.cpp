#include "app/ttsmain.h"

#include "platform/dialogs.h"
#include "platform/program_folder.h"
#include "platform/record_codec.h"
#include "platform/shell.h"
#include "platform/single_instance.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>

// Start-up of the main window, step by step, and the start-up steps of the features that hook
// into the desktop later on (each of those does nothing until its feature exists).

ttsmain::LoadResult ttsmain::Form_Load(const QString &commandLine)
{
    // 1. One instance per user: a later one hands over its command line and ends.
    m_instance = std::make_unique<SingleInstance>();
    if (!m_instance->acquire()) {
        // 20. Second instance.
        App.StartMode = StartFrom(commandLine);
        if (App.StartMode == QLatin1String("explorer") || App.StartMode == QLatin1String("internet")) {
            QCoreApplication::processEvents();
            LinkAndSendMessage(commandLine);
        } else if (App.StartMode == QLatin1String("program")) {
            // Started again without an argument: the user is looking for the window.
            m_instance->send(QString());
        }
        m_instance.reset();
        endProcess(0);
        return LoadResult::Ended;
    }
    connect(m_instance.get(), &SingleInstance::showRequested, this, &ttsmain::bringToFront);
    // Holding the lock, any half-written record beside the real ones is a killed save's.
    removeStaleRecordTemporaries(programFolder());

    // 2.
    setWindowTitle(QStringLiteral("Parlanto"));
    Label8->setText(QStringLiteral("Parlanto"));
    // 3. (The text box has no length limit of its own.)
    HideVoiceListPending = true;
    StartTTS4Engine = -1;
    StartTTS4Speed = -1;
    StartTTS4Pitch = -1;
    // 4.
    createGeneration4Objects();
    createRunTimeTimers();
    // 5.
    GetEngines4();
    // 6. A voice object that cannot be made leaves its voices out.
    createGeneration5Objects();
    // 7.
    GetEngines5();
    // 8.
    if (Combo1->count() < 2) {
        noEngineExit();
        return LoadResult::Ended;
    }
    // 9.
    if (QFileInfo::exists(programFile(QStringLiteral("stts.ini"))))
        LoadTTSSets();
    else
        InitTTSSets();
    // 10.
    if (QFileInfo::exists(programFile(QStringLiteral("swin.ini"))))
        LoadWinSets();
    else
        InitWinSets();
    // 11.
    PlayStatus = 3;
    // 12.
    initSetTime();
    // 13.
    App.StartMode = StartFrom(commandLine);
    actOnStartMode(commandLine);
    if (m_processEndedFlag)
        return LoadResult::Ended;
    // 14.
    StartTTS4Engine = 0;
    StartTTS4Speed = 0;
    StartTTS4Pitch = 0;
    // 15.
    recordStartMoment();
    // 16.
    AddTrayIcon(QStringLiteral("Parlanto, Left-click or Right-click please"));
    // 17.
    MainWindowHook();
    // 18.
    RegisterClipboardViewer();
    TextBoxHook();
    // 19.
    if (isFirstRun())
        firstuse->setInterval(3000);
    showAsSettingsSay();
    return LoadResult::Running;
}

void ttsmain::noEngineExit()
{
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
        Shell::instance().open(site + QStringLiteral("/download.htm"));
    endProcess(0);
}

QString ttsmain::StartFrom(const QString &commandLine) const
{
    if (commandLine.isEmpty())
        return QStringLiteral("program");
    if (commandLine.size() == 1)
        return QString();
    return QFileInfo(commandLine).isFile() ? QStringLiteral("explorer") : QStringLiteral("internet");
}

// Hands the command line to the running instance.
void ttsmain::LinkAndSendMessage(const QString &commandLine)
{
    Q_UNUSED(commandLine);
}

// Reads the file or text handed over on the command line, or ends on an end command.
void ttsmain::actOnStartMode(const QString &commandLine)
{
    Q_UNUSED(commandLine);
}

// Loads the talking-clock settings.
void ttsmain::initSetTime() {}

void ttsmain::recordStartMoment()
{
    App.IntervalStart = QDateTime::currentDateTime();
    const QTime now = App.IntervalStart.time();
    App.LastClockMinute = QString::number(now.hour()) + QString::number(now.minute());
}

// Shows the notification-area icon with its tip.
void ttsmain::AddTrayIcon(const QString &tip)
{
    Q_UNUSED(tip);
}

// Removes the notification-area icon and its handler.
void ttsmain::RemoveTrayIcon() {}

// Watches the main window's minimise and close commands.
void ttsmain::MainWindowHook() {}
void ttsmain::UnhookMainWindow() {}

// Watches the clipboard for text to read aloud.
void ttsmain::RegisterClipboardViewer() {}

// Watches the text box's own messages.
void ttsmain::TextBoxHook() {}
void ttsmain::UnhookTextBox() {}

// Stops and closes a recording to a sound file that still runs.
void ttsmain::StopRecordingControl() {}

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

void ttsmain::showAsSettingsSay()
{
    if (!App.window.Visible && trayReachable())
        return;
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
