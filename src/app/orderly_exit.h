#pragma once

#include "platform/termination_signals.h"

#include <QObject>
#include <QString>

class ttsmain;
struct AppState;

// How the program ends when it is asked to from outside: a termination signal (logout, `kill`,
// Ctrl+C, a closed terminal), the end of the desktop session, or an end command that arrives
// while a dialog is open. It ends as "Exit all" does, but from the bottom of the stack: every
// open dialog is closed as if cancelled and every event loop returns first, then ExitAll runs
// and the windows closed on the way are deleted. A window is never deleted while its own
// dialog's event loop is on the stack.
//
// It also keeps a last word for a lost display (see lost_display.h): the settings records are
// written from memory when the window system goes away under the program.
class OrderlyExit : public QObject
{
    Q_OBJECT
public:
    explicit OrderlyExit(ttsmain &window, QObject *parent = nullptr);
    ~OrderlyExit() override;

    // Begins the end: closes the open dialogs and tells every running event loop to return.
    void request();
    bool requested() const { return m_requested; }

    // Runs the program's event loop until the program ends, then finishes the end; the exit
    // code. Call it once start-up has left the program running.
    int exec();

private:
    void finish();

    ttsmain &m_window;
    TerminationSignals m_signals;
    bool m_requested = false;
};

// Writes the settings records ("stts.ini", "swin.ini", "stime.ini") into `folder` from the
// records in memory, touching no window: what a lost display still allows.
void writeRecordsFromMemory(const AppState &app, const QString &folder);
