#include "app/app_state.h"
#include "app/ttsmain.h"
#include "platform/program_folder.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("parlanto"));
    // Closing the main window hides it; only ExitAll ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(programFile(QStringLiteral("parlanto.png"))));

    AppState state;
    ttsmain window(state);
    const QStringList arguments = QApplication::arguments().mid(1);
    if (window.Form_Load(arguments.join(QLatin1Char(' '))) == ttsmain::LoadResult::Ended)
        return 0;
    return QApplication::exec();
}
