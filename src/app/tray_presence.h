#pragma once

#include <QSystemTrayIcon>

// Whether the user can bring a hidden main window back from a notification-area icon. Closing
// the window hides it only when that is so; otherwise it is minimised, so that it can always be
// found again, and a start whose window record says "hidden" shows it anyway.
inline bool trayIconReachable(const QSystemTrayIcon *icon)
{
    return icon && icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}
