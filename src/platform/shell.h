#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

// The shell's "open" action (files, web pages, mailto:) and child processes go through this
// seam so tests can watch them. No command line is ever built from user text.
class Shell
{
public:
    // Runs on the window thread when the desktop learns only after open() has returned that
    // no program took the target.
    using LateFailure = std::function<void()>;

    virtual ~Shell() = default;
    // Hands a URL or local file to the desktop's program for it; false when nothing takes it.
    virtual bool open(const QString &target, LateFailure failed = {}) = 0;
    static Shell &instance();
    static void install(Shell *shell); // not owned; nullptr restores the desktop's
    static Shell *installed();         // the installed replacement, or nullptr
};

// What open() hands to the desktop: absolute or existing local paths as file URLs, texts with
// a scheme ("http:", "mailto:") as they are, anything else as a file relative to the current
// folder. Invalid (empty) for an empty target.
QUrl targetUrl(const QString &target);

// Every "open" of a file, page or mail address: opens `target` with the desktop's program for
// it and, when the file is missing or no program opens it, says so in a message in front of
// `owner` that names the target. Returns false when it is known at once that nothing opened.
bool openWithDesktop(QWidget *owner, const QString &target);

// The texts of those messages.
QString missingFileMessage(const QString &target);
QString notOpenedMessage(const QString &target);
