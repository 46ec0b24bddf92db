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

#include <QCursor>
#include <QPointer>
#include <QToolButton>

#include <functional>

namespace {

using ControlCommand::Window;

QPointer<ttsMenu> openMenu;
// Set when an item of the open menu opens a window: that window keeps the keyboard focus.
bool menuOpenedWindow = false;

ttsMenuActions menuActions(ttsmain &main)
{
    const auto opens = [&main](Window window) {
        return [&main, window] {
            menuOpenedWindow = true;
            showProgramWindow(main, window);
        };
    };
    ttsMenuActions actions;
    actions.PlayStatus = [&main] { return main.PlayStatus; };
    actions.WatchClipboard = [&main] { return main.App.window.WatchClipboard; };
    actions.setWatchClipboard = [&main](bool on) { main.App.window.WatchClipboard = on; };
    actions.speakPauseResume = [&main] { main.Command5_Click(); };
    actions.stopReading = [&main] { main.Command6_Click(); };
    actions.showSlideReadAloud = opens(Window::Slide);
    actions.showBatchText2Sound = opens(Window::Batch);
    actions.showWavToMp3 = opens(Window::Converter);
    actions.showClock = opens(Window::Clock);
    actions.showUpdate = opens(Window::Update);
    actions.showAbout = opens(Window::About);
    actions.showHelp = opens(Window::Help);
    actions.showPronunciation = [&main] { showPronunciation(main); };
    actions.ejectCd = [] { mciSendString(QStringLiteral("set CDAudio door open")); };
    actions.closeCd = [] { mciSendString(QStringLiteral("set CDAudio door closed")); };
    actions.ExitAll = [&main] { main.ExitAll(); };
    return actions;
}

// Each opening loads the menu anew, so it shows the state of this moment.
ttsMenu *loadMenu(ttsmain &main, QPoint cursor)
{
    unloadTrayMenu();
    // The end of the program closes the menu with the other windows.
    main.setUnloadHandler(QStringLiteral("ttsMenu"), unloadTrayMenu);
    menuOpenedWindow = false;
    openMenu = new ttsMenu(menuActions(main));
    openMenu->Form_Load(cursor);
    return openMenu;
}

void showMenu(ttsMenu *menu)
{
    menu->show();
    menu->raise();
    menu->activateWindow();
}

bool mainWindowShows(const ttsmain &main)
{
    return main.isVisible() && !(main.windowState() & Qt::WindowMinimized);
}

} // namespace

void showTrayMenu(ttsmain &main, QPoint cursor)
{
    showMenu(loadMenu(main, cursor));
}

void showMenuFromMainWindow(ttsmain &main, QWidget *control, std::optional<QPoint> cursor)
{
    const QRect button(control->mapToGlobal(QPoint(0, 0)), control->size());
    ttsMenu *menu = loadMenu(main, cursor.value_or(button.topRight()));
    if (!cursor)
        menu->placeBeside(button);
    QPointer<QWidget> focused = main.focusWidget();
    QObject::connect(menu, &QObject::destroyed, &main, [&main, menu, focused] {
        // Not when another menu has taken this one's place, an item opened a window, or the
        // program is ending.
        const bool replaced = openMenu && openMenu.data() != menu;
        if (replaced || menuOpenedWindow || main.processEnded() || !mainWindowShows(main))
            return;
        main.activateWindow();
        if (focused)
            focused->setFocus(Qt::PopupFocusReason);
    });
    showMenu(menu);
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

void showProgramWindow(ttsmain &main, Window window)
{
    switch (window) {
    case Window::Batch:
        showBatchText2Sound(main);
        break;
    case Window::Converter:
        showWavToMp3(main);
        break;
    case Window::Clock:
        main.showClockWindow();
        break;
    case Window::Slide:
        showSlideReadAloud(main);
        break;
    case Window::Update:
        main.ShowUpdateWindow();
        break;
    case Window::About:
        ttsaboutForm::showWindow();
        break;
    case Window::Help:
        howto::showWindow();
        break;
    case Window::Menu:
        if (mainWindowShows(main))
            showMenuFromMainWindow(main, main.Command10, std::nullopt);
        else
            showTrayMenu(main, QCursor::pos());
        break;
    }
}
