#include "app/terminal_start.h"

#include "desktop/ttsaboutForm.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// The display setting as Qt will use it, for the messages.
QString displayName()
{
    const QString x11 = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!x11.isEmpty())
        return x11;
    return wayland;
}

void printTo(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QtMessageHandler previousHandler = nullptr;

// Qt ends a start whose platform plugin cannot reach the display with a fatal message and an
// abort; this ends it with the program's own message and status 1. Other messages go on as
// before (Qt's warning names the display it tried).
void endOnFatal(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        if (previousHandler)
            previousHandler(type, context, message);
        return;
    }
    printTo(stderr, noDisplayMessage(displayName()));
    std::_Exit(1);
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Usage: parlanto [FILE | TEXT]\n"
        "Reads text aloud in a desktop window and saves it as text, WAV or MP3 files.\n"
        "\n"
        "  FILE        a text or rich-text file (.txt, .rtf) to open and read aloud\n"
        "  TEXT        any other argument: the text to read aloud (several are joined with blanks)\n"
        "  -h, --help  print this help and end\n"
        "  --version   print the version and end\n"
        "\n"
        "Only one Parlanto runs at a time: started again, it hands the file or text to the running one.\n"
        "Closing the window keeps Parlanto in the tray; end it with the tray menu's \"Exit all\",\n"
        "Ctrl+Q in the main window, or `parlanto-cli send quit`.\n"
        "Without a desktop session, use parlanto-cli (try: parlanto-cli --help).\n");
}

QString versionLine()
{
    return QStringLiteral("Parlanto ") + ttsaboutForm::versionText().section(QLatin1Char(' '), -1) +
           QLatin1Char('\n');
}

QString noDisplayMessage(const QString &display)
{
    const QString which = display.isEmpty()
                              ? QStringLiteral("no display is set (DISPLAY and WAYLAND_DISPLAY are empty)")
                              : QStringLiteral("the display \"%1\" cannot be reached").arg(display);
    return QStringLiteral("parlanto: cannot open a window: %1.\n"
                          "Parlanto needs a desktop session; without one, use parlanto-cli "
                          "(try: parlanto-cli --help).\n")
        .arg(which);
}

std::optional<int> answerOnTerminal(const QStringList &arguments)
{
    if (arguments.size() == 1) {
        const QString &only = arguments.first();
        if (only == QLatin1String("--help") || only == QLatin1String("-h")) {
            printTo(stdout, usageText());
            return 0;
        }
        if (only == QLatin1String("--version")) {
            printTo(stdout, versionLine());
            return 0;
        }
    }
    // A platform asked for by name (offscreen, a VNC server, …) may need no display; Qt says
    // itself when it cannot start that one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && displayName().isEmpty()) {
        printTo(stderr, noDisplayMessage(QString()));
        return 1;
    }
    return std::nullopt;
}

std::optional<int> answerOnTerminal(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return answerOnTerminal(arguments);
}

std::unique_ptr<QApplication> startApplication(int &argc, char *argv[])
{
    previousHandler = qInstallMessageHandler(endOnFatal);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
    return application;
}
