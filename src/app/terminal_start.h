#pragma once

#include <QStringList>

#include <memory>
#include <optional>

class QApplication;

// What `parlanto` settles on the terminal before it makes any window.

// The answer to `arguments` (the command line without the program name) that needs no window:
// "--help" or "-h" print how to start Parlanto and "--version" its version, on standard output
// (status 0); a desktop session without any display to connect to is said on standard error
// (status 1). Nothing for every other start: the window comes up.
std::optional<int> answerOnTerminal(const QStringList &arguments);
std::optional<int> answerOnTerminal(int argc, char *argv[]);

// The texts printed.
QString usageText();
QString versionLine();
QString noDisplayMessage(const QString &display);

// Makes the application object. Where its connection to the display fails (a display that is
// named but cannot be reached), the process ends with the no-display message and status 1
// instead of aborting.
std::unique_ptr<QApplication> startApplication(int &argc, char *argv[]);
