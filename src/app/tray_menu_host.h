#pragma once

#include "desktop/control_command.h"

#include <QPoint>

class QWidget;
class ttsmain;

// The popup menu window opened by a right click on the tray icon. Each opening loads it anew at
// `cursor` (screen pixels, the position of that click), so its Speak/Pause caption and clipboard
// switch show the state of that moment.
void showTrayMenu(ttsmain &main, QPoint cursor);
// The same menu opened from the main window: beside `control` (its Menu button) when opened
// from the keyboard, else at `cursor`. Closed without opening a window of its own (Escape, its
// close picture, Speak, Stop...), it gives the keyboard focus back to where it was.
void showMenuFromMainWindow(ttsmain &main, QWidget *control, std::optional<QPoint> cursor);
// Closes the menu if it is open (a left click on the tray icon, the end of the program).
void unloadTrayMenu();
// The open menu window, or nullptr.
QWidget *trayMenuWindow();

// Shows one of the windows the menu opens (the menu itself among them: at the Menu button when
// the main window shows, else at the pointer). The menu's items and requests from other programs
// both come here.
void showProgramWindow(ttsmain &main, ControlCommand::Window window);
