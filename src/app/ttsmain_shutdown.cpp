#include "app/ttsmain.h"

#include "platform/dialogs.h"
#include "platform/program_folder.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>

// Closing the main window (which keeps the program running) and ending the program.

// ---- Closing and ending

void ttsmain::closeEvent(QCloseEvent *event)
{
    if (App.ExitRequested) {
        event->accept();
        return;
    }
    // Closing keeps the program running.
    event->ignore();
    minimiseOrHideToTray();
}

void ttsmain::Command9_Click()
{
    minimiseOrHideToTray();
}

// Hidden only where the tray icon can bring the window back; otherwise minimised, so that the
// user can still find it.
void ttsmain::minimiseOrHideToTray()
{
    setWindowState(windowState() | Qt::WindowMinimized);
    if (trayReachable())
        hide();
}

void ttsmain::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

const QStringList &ttsmain::unloadOrder()
{
    static const QStringList order = {
        QStringLiteral("howto"),          QStringLiteral("mp3end"),      QStringLiteral("setmyclock"),
        QStringLiteral("ttsaboutForm"),   QStringLiteral("ttsmain"),     QStringLiteral("updatewin"),
        QStringLiteral("wavtomp3"),       QStringLiteral("wavtomp3end"), QStringLiteral("BatchText2Sound"),
        QStringLiteral("SlideReadAloud"), QStringLiteral("ttsMenu"),
    };
    return order;
}

void ttsmain::setUnloadHandler(const QString &windowName, std::function<void()> unload)
{
    if (unload)
        m_unloadHandlers.insert(windowName, std::move(unload));
    else
        m_unloadHandlers.remove(windowName);
}

void ttsmain::ExitAll()
{
    // A dialog's window must not unload while the dialog's event loop is on the stack.
    if (m_deferredExit && Dialogs::anyOpen()) {
        m_deferredExit();
        return;
    }
    App.ExitRequested = true;
    App.UpdateCancel = true;
    RemoveTrayIcon();
    for (const QString &name : unloadOrder()) {
        if (name == QLatin1String("ttsmain")) {
            Form_Unload();
            continue;
        }
        const auto handler = m_unloadHandlers.take(name);
        if (handler)
            handler();
    }
    endProcess(0);
}

void ttsmain::Form_Unload()
{
    if (!App.ExitRequested)
        return;
    UnhookMainWindow();
    UnhookTextBox();
    if (WaveEndValue == 2)
        StopRecordingControl();
    const QString newVersion = programFile(QStringLiteral("newversion.ini"));
    if (QFile::exists(newVersion))
        QFile::remove(newVersion);
    SaveTTSSets();
    SaveWinSets();
    UnhookMainWindow();
    hide();
}

void ttsmain::endProcess(int code)
{
    m_processEndedFlag = true;
    if (m_processEnd)
        m_processEnd(code);
}
