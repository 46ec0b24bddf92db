// The smallest Qt Widgets program that shows a window: what start-up time and idle memory of
// Parlanto's main window are measured against.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(400, 300);
    window.show();
    return QApplication::exec();
}
