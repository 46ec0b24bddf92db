#pragma once

// Whether the user can bring a hidden main window back from a notification-area icon. Closing
// the window hides it only when that is so; otherwise it is minimised, so that it can always be
// found again, and a start whose window record says "hidden" shows it anyway.
//
// No tray icon is shown yet, so the answer is always no. Once the icon exists this becomes "the
// icon is shown and QSystemTrayIcon::isSystemTrayAvailable()".
inline bool trayIconReachable()
{
    return false;
}
