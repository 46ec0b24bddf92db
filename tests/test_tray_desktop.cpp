#include "app/tray_menu_host.h"
#include "app/ttsmain.h"
#include "desktop/ttsMenu.h"
#include "platform/program_folder.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "support/x_server.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

// The tray icon and the clipboard watcher on a real X server: Xvfb on a display of this test's
// own, with Debian's small tray host `trayer`, driven by `xdotool` clicks and `xclip` copies.

namespace {

const QStringList Tools = {QStringLiteral("Xvfb"), QStringLiteral("trayer"), QStringLiteral("xdotool"),
                           QStringLiteral("xclip")};

XServer *server = nullptr;

} // namespace

class TestTrayDesktop : public QObject
{
    Q_OBJECT
    TestHome home;
    QProcess trayer;

    static int runTool(const QStringList &arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(server->environment());
        tool.start(QStringLiteral("xdotool"), arguments);
        return tool.waitForFinished(10000) ? tool.exitCode() : -1;
    }
    static bool clickAt(QPoint at, int button)
    {
        return runTool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                        QStringLiteral("click"), QString::number(button)}) == 0;
    }

    // Clicks until `done` holds: under load the tray host may take the first click before the
    // icon it embeds is in place to receive it.
    template <typename Done> static bool clickUntil(QPoint at, int button, Done done)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!clickAt(at, button))
                return false;
            if (QTest::qWaitFor(done, 4000))
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        if (!server->missing.isEmpty())
            QSKIP(
                qPrintable(server->missing + QStringLiteral("missing (scripts/install-deps installs them)")));
        if (!server->ok())
            QSKIP("Xvfb did not start");
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        qputenv("PARLANTO_INSTANCE",
                QByteArray("trayDesk") + QByteArray::number(QCoreApplication::applicationPid()));
        markFirstRunDone();
    }

    void cleanupTestCase()
    {
        if (trayer.state() != QProcess::NotRunning) {
            trayer.terminate();
            trayer.waitForFinished(5000);
        }
    }

    // Without a tray host a closed window stays on the desktop, minimised; text copied before
    // the start is not read.
    void withoutTrayHostClosingMinimises()
    {
        LoadedWindow w;
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(!w->trayReachable());
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        QVERIFY(w->windowState() & Qt::WindowMinimized);
        QCOMPARE(w->RichTextBox1->toPlainText(), QString());
        QCOMPARE(w->PlayStatus, 3);
    }

    void trayIconDrivesTheWindow()
    {
        trayer.setProcessEnvironment(server->environment());
        trayer.start(QStringLiteral("trayer"),
                     {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                      QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request")});
        QVERIFY(trayer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);

        LoadedWindow w;
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QVERIFY(w->trayIcon());
        QCOMPARE(w->trayIcon()->toolTip(), QStringLiteral("Parlanto, Left-click or Right-click please"));
        QVERIFY(w->trayReachable());
        // The icon sits in the tray host at the bottom right of the screen.
        QTRY_VERIFY_WITH_TIMEOUT(w->trayIcon()->geometry().bottom() > 700, 10000);
        const QPoint icon = w->trayIcon()->geometry().center();
        const bool maximised = w->windowState() & Qt::WindowMaximized;

        // Left click: hidden; again: back as it was.
        QVERIFY(clickUntil(icon, 1, [&] { return !w->isVisible(); }));
        QVERIFY(clickAt(icon, 1));
        QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 10000);
        QCOMPARE(bool(w->windowState() & Qt::WindowMaximized), maximised);

        // Right click: the menu opens on top, its bottom-right corner at the click (the icon is
        // at the bottom right of the screen), and its close picture closes it again.
        QVERIFY(clickAt(icon, 3));
        QTRY_COMPARE_WITH_TIMEOUT(w->TrayCursorPosition, icon, 10000);
        QVERIFY(w->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(trayMenuWindow() && trayMenuWindow()->isVisible(), 10000);
        auto *menu = qobject_cast<ttsMenu *>(trayMenuWindow());
        QVERIFY(menu);
        QVERIFY(menu->windowFlags() & Qt::WindowStaysOnTopHint);
        QTRY_VERIFY_WITH_TIMEOUT((menu->frameGeometry().bottomRight() - icon).manhattanLength() <= 4, 10000);
        QVERIFY(clickAt(menu->Image0->mapToGlobal(menu->Image0->rect().center()), 1));
        QTRY_VERIFY_WITH_TIMEOUT(!trayMenuWindow(), 10000);

        // A word copied in another program replaces the document and is read.
        QVERIFY(server->copy(QStringLiteral("Hello")));
        QTRY_COMPARE_WITH_TIMEOUT(w->RichTextBox1->toPlainText(), QStringLiteral("Hello"), 10000);
        QCOMPARE(w->SpokenText, QStringLiteral("Hello"));

        // Exit all: the icon leaves the tray and both settings records are written.
        QList<QPointer<QWidget>> trayWindows;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window != w.window.get() && window->isVisible())
                trayWindows << window;
        QVERIFY(!trayWindows.isEmpty());
        w->ExitAll();
        QCOMPARE(w.endCalls, 1);
        QVERIFY(!w->trayIcon());
        QTRY_VERIFY_WITH_TIMEOUT(
            std::none_of(trayWindows.begin(), trayWindows.end(),
                         [](const QPointer<QWidget> &window) { return window && window->isVisible(); }),
            10000);
        QVERIFY(QFile::exists(programFile(QStringLiteral("stts.ini"))));
        QVERIFY(QFile::exists(programFile(QStringLiteral("swin.ini"))));
    }
};

int main(int argc, char **argv)
{
    XServer x(Tools);
    server = &x;
    if (x.ok()) {
        qputenv("DISPLAY", x.display.toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The tray through the X11 embedding protocol of the tray host, not a session bus.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        // On the clipboard before the program starts (and owned by xclip before it connects).
        const QString early = QStringLiteral("Copied before the start");
        x.copy(early);
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            QProcess paste;
            paste.setProcessEnvironment(x.environment());
            paste.start(QStringLiteral("xclip"),
                        {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
            if (paste.waitForFinished(5000) && paste.readAllStandardOutput() == early.toUtf8())
                break;
            QThread::msleep(20);
        }
    }
    QApplication app(argc, argv);
    TestTrayDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_tray_desktop.moc"
