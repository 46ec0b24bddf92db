#pragma once

#include <QStringList>

// parlanto-cli send: hands one command to the running Parlanto window. Returns the exit code.
int sendCommand(const QStringList &args);

// True when the arguments ask for the desktop's primary selection, which needs a GUI
// application object rather than a console one.
bool sendNeedsSelection(const QStringList &arguments);

// send quit / send open WINDOW (cli_send_control.cpp): end the running Parlanto as "Exit all"
// does, or open one of its windows there.
bool isControlRequest(const QString &what);
int sendControlRequest(const QString &what, const QStringList &rest);
