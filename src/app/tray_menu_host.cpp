#include "app/tray_menu_host.h"

#include "app/batch_text2sound_host.h"
#include "app/pronunciation_host.h"
#include "app/slide_read_aloud_host.h"
#include "app/ttsmain.h"
#include "app/wavtomp3_host.h"
#include "desktop/howto.h"
#include "desktop/ttsMenu.h"
#include "desktop/ttsaboutForm.h"
#include "platform/mci.h"

#include <QPointer>

namespace {

QPointer<ttsMenu> openMenu;

ttsMenuActions menuActions(ttsmain &main)
{
    ttsMenuActions actions;
    actions.PlayStatus = [&main] { return main.PlayStatus; };
    actions.WatchClipboard = [&main] { return main.App.window.WatchClipboard; };
    actions.setWatchClipboard = [&main](bool on) { main.App.window.WatchClipboard = on; };
    actions.speakPauseResume = [&main] { main.Command5_Click(); };
    actions.stopReading = [&main] { main.Command6_Click(); };
    actions.showSlideReadAloud = [&main] { showSlideReadAloud(main); };
    actions.showBatchText2Sound = [&main] { showBatchText2Sound(main); };
    actions.showWavToMp3 = [&main] { showWavToMp3(main); };
    actions.showClock = [&main] { main.showClockWindow(); };
    actions.showUpdate = [&main] { main.ShowUpdateWindow(); };
    actions.showAbout = [] { ttsaboutForm::showWindow(); };
    actions.showHelp = [] { howto::showWindow(); };
    actions.showPronunciation = [&main] { showPronunciation(main); };
    actions.ejectCd = [] { mciSendString(QStringLiteral("set CDAudio door open")); };
    actions.closeCd = [] { mciSendString(QStringLiteral("set CDAudio door closed")); };
    actions.ExitAll = [&main] { main.ExitAll(); };
    return actions;
}

} // namespace

void showTrayMenu(ttsmain &main, QPoint cursor)
{
    // Each opening loads the menu anew, so it shows the state of this moment.
    unloadTrayMenu();
    // The end of the program closes the menu with the other windows.
    main.setUnloadHandler(QStringLiteral("ttsMenu"), unloadTrayMenu);
    openMenu = new ttsMenu(menuActions(main));
    openMenu->Form_Load(cursor);
    openMenu->show();
    openMenu->raise();
    openMenu->activateWindow();
}

void unloadTrayMenu()
{
    if (openMenu)
        openMenu->close();
    openMenu = nullptr;
}

QWidget *trayMenuWindow()
{
    // A menu that has just closed itself is gone already, though deleted a moment later.
    return openMenu && openMenu->isVisible() ? openMenu.data() : nullptr;
}
