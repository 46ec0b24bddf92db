#pragma once

#include <QStringList>

// Runs one parlanto-cli command (arguments without the program name) and returns the exit
// code: 0 success, 1 failure, 2 usage error.
int runCli(const QStringList &arguments);
