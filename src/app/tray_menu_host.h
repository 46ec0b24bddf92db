#pragma once

#include <QPoint>

class QWidget;
class ttsmain;

// The popup menu window opened by a right click on the tray icon. Each opening loads it anew at
// `cursor` (screen pixels, the position of that click), so its Speak/Pause caption and clipboard
// switch show the state of that moment.
void showTrayMenu(ttsmain &main, QPoint cursor);
// Closes the menu if it is open (a left click on the tray icon, the end of the program).
void unloadTrayMenu();
// The open menu window, or nullptr.
QWidget *trayMenuWindow();
