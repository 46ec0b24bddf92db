#pragma once

#include <QString>
#include <QStringList>

// Which of Qt's display platforms Parlanto asks for, decided before the application object
// exists. On a Wayland session that also offers X11 (XWayland), X11 ("xcb"): there a window can
// be placed at the pointer (the menu window opens where the tray icon was clicked), kept above
// the others (the menu window) and the clipboard watcher hears copies made in any program, while
// native Wayland allows none of these to an ordinary window. Nothing (Qt's own choice) when the
// user has chosen a platform, on X11 sessions and where there is no X display at all.
struct DisplayEnvironment
{
    QString qpaPlatform;    // QT_QPA_PLATFORM
    QString waylandDisplay; // WAYLAND_DISPLAY
    QString x11Display;     // DISPLAY
    QString sessionType;    // XDG_SESSION_TYPE
    QStringList arguments;  // the command line, for Qt's own -platform option

    static DisplayEnvironment current(const QStringList &arguments);
};
QString preferredDisplayPlatform(const DisplayEnvironment &environment);

// Asks Qt for the preferred platform for the application object about to be made; the choice
// is not passed on to the programs Parlanto starts (browser, encoder). Returns the platform
// asked for, or "" when Qt chooses.
QString choosePreferredDisplayPlatform(int argc, char **argv);
// After the application object exists: the environment of the programs Parlanto starts is left
// as the user's session has it.
void forgetPreferredDisplayPlatform(const QString &chosen);
