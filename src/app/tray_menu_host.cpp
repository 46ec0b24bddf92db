#include "app/tray_menu_host.h"

// The menu window is not there yet: opening it does nothing and there is never one to close.
void showTrayMenu(ttsmain &, QPoint) {}

void unloadTrayMenu() {}

QWidget *trayMenuWindow()
{
    return nullptr;
}
