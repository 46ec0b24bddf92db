#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// The shell's "open" action (files, web pages, mailto:) and child processes go through this
// seam so tests can watch them. No command line is ever built from user text.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual bool open(const QString &target) = 0; // URL or local file
    static Shell &instance();
    static void install(Shell *shell); // not owned; nullptr restores the desktop's
    static Shell *installed();         // the installed replacement, or nullptr
};

// What open() hands to the desktop: absolute or existing local paths as file URLs, texts with
// a scheme ("http:", "mailto:") as they are, anything else as a file relative to the current
// folder. Invalid (empty) for an empty target.
QUrl targetUrl(const QString &target);
