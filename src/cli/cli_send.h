#pragma once

#include <QStringList>

// parlanto-cli send: hands one command to the running Parlanto window. Returns the exit code.
int sendCommand(const QStringList &args);

// True when the arguments ask for the desktop's primary selection, which needs a GUI
// application object rather than a console one.
bool sendNeedsSelection(const QStringList &arguments);
