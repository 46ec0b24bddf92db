#pragma once

#include <QString>
#include <QStringList>

// The shell's "open" action (files, web pages, mailto:) and child processes go through this
// seam so tests can watch them. No command line is ever built from user text.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual bool open(const QString &target) = 0; // URL or local file
    static Shell &instance();
    static void install(Shell *shell); // not owned; nullptr restores the desktop's
};
