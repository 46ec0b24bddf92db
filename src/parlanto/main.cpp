#include "app/app_state.h"
#include "app/orderly_exit.h"
#include "app/ttsmain.h"
#include "platform/program_folder.h"

#include <QApplication>
#include <QIcon>
#include <QSessionManager>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("parlanto"));
    // Closing the main window hides it; only ExitAll ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(programFile(QStringLiteral("parlanto.png"))));

    AppState state;
    ttsmain window(state);
    // A termination request (logout, kill, Ctrl+C) or the end of the desktop session ends the
    // program as "Exit all" does, settings written, the instance lock released; a lost display
    // still writes the settings.
    OrderlyExit ending(window);
    // The session manager may still cancel the logout: only save here.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.SaveSettings_Timer(); });

    const QStringList arguments = QApplication::arguments().mid(1);
    if (window.Form_Load(arguments.join(QLatin1Char(' '))) == ttsmain::LoadResult::Ended)
        return 0;
    return ending.exec();
}
