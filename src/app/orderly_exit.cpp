#include "app/orderly_exit.h"

#include "app/ttsmain.h"
#include "platform/dialogs.h"
#include "platform/lost_display.h"
#include "platform/process_ending.h"
#include "platform/program_folder.h"

#include <QCoreApplication>

OrderlyExit::OrderlyExit(ttsmain &window, QObject *parent) : QObject(parent), m_window(window)
{
    connect(&m_signals, &TerminationSignals::terminationRequested, this, &OrderlyExit::request);
    // An "Exit all" asked for while a dialog runs (a command from another program) waits for it.
    m_window.setDeferredExit([this] { request(); });
}

OrderlyExit::~OrderlyExit()
{
    m_window.setDeferredExit(nullptr);
    LostDisplay::disarm();
    ProcessEnding::reset();
}

void OrderlyExit::request()
{
    if (m_requested || m_window.processEnded())
        return;
    m_requested = true;
    ProcessEnding::begin();
    Dialogs::closeOpen();
    // Every event loop on the stack returns (a dialog's, a wait's), and then the main one.
    QCoreApplication::exit(0);
}

int OrderlyExit::exec()
{
    const AppState &app = m_window.App;
    LostDisplay::saveOnAbruptExit([&app, folder = programFolder()] { writeRecordsFromMemory(app, folder); });
    // An end asked for during start-up, before the event loop ran, is not lost.
    const int code = m_requested ? 0 : QCoreApplication::exec();
    finish();
    return code;
}

void OrderlyExit::finish()
{
    LostDisplay::disarm();
    // Every loop has returned: ExitAll runs now, whatever may still look open.
    m_window.setDeferredExit(nullptr);
    if (!m_window.processEnded())
        m_window.ExitAll();
    // The windows closed by the end go now, with nothing of theirs left on the stack.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void writeRecordsFromMemory(const AppState &app, const QString &folder)
{
    saveSpeechSettings(folder + QLatin1Char('/') + QLatin1String(SpeechSettingsFileName), app.speech);
    saveWindowSettings(folder + QLatin1Char('/') + QLatin1String(WindowSettingsFileName), app.window);
    saveClockSettings(folder, app.clock);
}
