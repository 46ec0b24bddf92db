// test-links: parlanto_platform
// Parlanto on a desktop without a notification area, as on Debian's GNOME: the real program on
// Xvfb with a window manager (openbox) and no tray host, driven from the keyboard alone
// (xdotool) and from other programs (parlanto-cli send, a second start with --open).
#include "support/x_server.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList Tools = {QStringLiteral("Xvfb"), QStringLiteral("openbox"), QStringLiteral("xdotool"),
                           QStringLiteral("xprop")};
const QString BatchTitle = QStringLiteral("Batch Convert Text Files to Sound Files - Parlanto");
const QString MenuTitle = QStringLiteral("Menu - Parlanto");

XServer *server = nullptr;

struct Output
{
    int status = -1;
    QString text;
};

} // namespace

class TestNoTray : public QObject
{
    Q_OBJECT
    QProcess windowManager;
    QTemporaryDir home;
    QTemporaryDir runtime;

    // Parlanto's environment: this test's display and folders, no session bus (so no tray host
    // of any kind) unless a test starts one, xcb as on any X11 desktop.
    QString sessionBus; // the private bus of the StatusNotifier test, else none

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = server->environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("PARLANTO_HOME"), home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("PARLANTO_INSTANCE"),
                   QStringLiteral("notray%1").arg(QCoreApplication::applicationPid()));
        env.insert(QStringLiteral("PARLANTO_AUDIO"), QStringLiteral("fast"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        if (!sessionBus.isEmpty())
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus);
        return env;
    }

    Output run(const QString &program, const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(program, arguments);
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()).trimmed()};
    }
    Output xdotool(const QStringList &arguments) const { return run(QStringLiteral("xdotool"), arguments); }
    bool key(const QString &keys) const { return xdotool({QStringLiteral("key"), keys}).status == 0; }
    QString activeWindow() const
    {
        return xdotool({QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")}).text;
    }
    qint64 activePid() const
    {
        return xdotool({QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")}).text.toLongLong();
    }
    bool windowShows(const QString &title) const
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                        QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')})
                   .status == 0;
    }
    bool startParlanto(QProcess &parlanto, const QStringList &arguments = {}) const
    {
        parlanto.setProcessEnvironment(environment());
        parlanto.start(QStringLiteral(PARLANTO_BIN), arguments);
        return parlanto.waitForStarted();
    }
    void removeRecords()
    {
        for (const char *name : {"stts.ini", "swin.ini"})
            QFile::remove(home.filePath(QLatin1String(name)));
    }
    bool recordsWritten() const
    {
        return QFile::exists(home.filePath(QStringLiteral("stts.ini"))) &&
               QFile::exists(home.filePath(QStringLiteral("swin.ini")));
    }

private slots:
    void initTestCase()
    {
        if (!server->missing.isEmpty())
            QSKIP(
                qPrintable(server->missing + QStringLiteral("missing (scripts/install-deps installs them)")));
        if (!server->ok())
            QSKIP("Xvfb did not start");
        QVERIFY(home.isValid() && runtime.isValid());
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // No first-run help window in the way.
        QFile mark(home.filePath(QStringLiteral("firstuse.done")));
        QVERIFY(mark.open(QIODevice::WriteOnly));
        mark.close();
        windowManager.setProcessEnvironment(server->environment());
        windowManager.start(QStringLiteral("openbox"), {});
        QVERIFY(windowManager.waitForStarted());
        // Running once it has claimed the screen; at the start of a loaded parallel run that has
        // taken over half a minute.
        QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("xprop"),
                                     {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                                     .text.contains(QLatin1String("window id")),
                                 90000);
    }

    void cleanupTestCase()
    {
        if (windowManager.state() != QProcess::NotRunning) {
            windowManager.terminate();
            windowManager.waitForFinished(5000);
        }
    }

    // From the keyboard alone: F10 opens the menu at the Menu button with the focus in it,
    // Escape gives the focus back, "t" opens the batch window, the window manager's Alt+F4
    // closes it, and Ctrl+Q ends Parlanto as "Exit all" does.
    void keyboardReachesTheMenuAndQuits()
    {
        QProcess parlanto;
        const auto stop = qScopeGuard([&parlanto] {
            parlanto.kill();
            parlanto.waitForFinished();
        });
        QSignalSpy finished(&parlanto, &QProcess::finished);
        QVERIFY(startParlanto(parlanto));
        const qint64 pid = parlanto.processId();
        QTRY_VERIFY_WITH_TIMEOUT(activePid() == pid, 30000);
        const QString mainWindow = activeWindow();

        QVERIFY(key(QStringLiteral("F10")));
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), MenuTitle, 10000);
        QVERIFY(key(QStringLiteral("Escape")));
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), mainWindow, 10000);
        QVERIFY(!windowShows(MenuTitle));

        QVERIFY(key(QStringLiteral("F10")));
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), MenuTitle, 10000);
        QVERIFY(key(QStringLiteral("t")));
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), BatchTitle, 10000);
        QVERIFY(!windowShows(MenuTitle));
        QVERIFY(key(QStringLiteral("alt+F4")));
        QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), mainWindow, 10000);
        QVERIFY(!windowShows(BatchTitle));

        removeRecords();
        QVERIFY(key(QStringLiteral("ctrl+q")));
        QVERIFY(finished.wait(20000) || !finished.isEmpty());
        QCOMPARE(parlanto.exitStatus(), QProcess::NormalExit);
        QCOMPARE(parlanto.exitCode(), 0);
        QVERIFY(recordsWritten());
    }

    // Other programs open windows of the running copy and end it; a start with --open starts
    // Parlanto and opens the window, a later one hands the request over and ends.
    void otherProgramsOpenWindowsAndQuit()
    {
        const QString cli = QStringLiteral(PARLANTO_CLI);
        QCOMPARE(run(cli, {QStringLiteral("send"), QStringLiteral("quit")}).status, 1);
        QCOMPARE(run(cli, {QStringLiteral("send"), QStringLiteral("open"), QStringLiteral("batch")}).status,
                 1);

        QProcess parlanto;
        const auto stop = qScopeGuard([&parlanto] {
            parlanto.kill();
            parlanto.waitForFinished();
        });
        QSignalSpy finished(&parlanto, &QProcess::finished);
        QVERIFY(startParlanto(parlanto, {QStringLiteral("--open"), QStringLiteral("batch")}));
        QTRY_VERIFY_WITH_TIMEOUT(windowShows(BatchTitle), 30000);

        QCOMPARE(
            run(QStringLiteral(PARLANTO_BIN), {QStringLiteral("--open"), QStringLiteral("clock")}).status, 0);
        QTRY_VERIFY_WITH_TIMEOUT(windowShows(QStringLiteral("Set Alarm Clock - Parlanto")), 10000);
        const struct
        {
            const char *name;
            QString title;
        } windows[] = {
            {"converter", QStringLiteral("Convert wav to mp3 - Parlanto")},
            {"slide", QStringLiteral("Slide read aloud words - Parlanto")},
            {"menu", MenuTitle},
        };
        for (const auto &window : windows) {
            QCOMPARE(
                run(cli, {QStringLiteral("send"), QStringLiteral("open"), QLatin1String(window.name)}).status,
                0);
            QTRY_VERIFY2_WITH_TIMEOUT(windowShows(window.title), window.name, 10000);
        }
        QCOMPARE(run(cli, {QStringLiteral("send"), QStringLiteral("open"), QStringLiteral("kitchen")}).status,
                 2);
        QCOMPARE(parlanto.state(), QProcess::Running);

        removeRecords();
        QCOMPARE(run(cli, {QStringLiteral("send"), QStringLiteral("quit")}).status, 0);
        QVERIFY(finished.wait(20000) || !finished.isEmpty());
        QCOMPARE(parlanto.exitStatus(), QProcess::NormalExit);
        QCOMPARE(parlanto.exitCode(), 0);
        QVERIFY(recordsWritten());
        // Nothing runs now: a quit from the desktop entry does nothing and says so by its silence.
        QCOMPARE(run(QStringLiteral(PARLANTO_BIN), {QStringLiteral("--quit")}).status, 0);
        QCOMPARE(run(cli, {QStringLiteral("send"), QStringLiteral("quit")}).status, 1);
    }

    // A StatusNotifier host instead of an XEmbed tray (a private session bus with a stand-in
    // watcher): the icon registers, carries its tip, and the host's Activate and ContextMenu
    // calls do what a left and a right click do.
    void statusNotifierHostGetsTheIcon()
    {
        const QString python =
            QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("gdbus")).isEmpty() || python.isEmpty())
            QSKIP("dbus-daemon, gdbus or python3 missing (scripts/install-deps installs them)");
        QProcess bus;
        QProcess watcher;
        QProcess parlanto;
        const auto stop = qScopeGuard([&] {
            for (QProcess *process : {&parlanto, &watcher, &bus}) {
                process->kill();
                process->waitForFinished();
            }
            sessionBus.clear();
        });
        bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address=1")});
        QVERIFY(bus.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(bus.canReadLine(), 10000);
        sessionBus = QString::fromUtf8(bus.readLine()).trimmed();
        watcher.setProcessEnvironment(environment());
        watcher.start(python, {QStringLiteral(PARLANTO_TEST_DATA "/status_notifier_watcher.py")});
        QTRY_VERIFY_WITH_TIMEOUT(watcher.canReadLine(), 10000);
        QCOMPARE(watcher.readLine().trimmed(), QByteArray("ready"));

        QVERIFY(startParlanto(parlanto));
        QTRY_VERIFY_WITH_TIMEOUT(activePid() == parlanto.processId(), 30000);
        const QString mainWindow = activeWindow();
        QTRY_VERIFY_WITH_TIMEOUT(watcher.canReadLine(), 10000);
        const QString item = QString::fromUtf8(watcher.readLine()).trimmed();
        const auto itemCall = [&](const QString &method, const QStringList &arguments) {
            return run(QStringLiteral("gdbus"),
                       QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                   QStringLiteral("--dest"), item, QStringLiteral("--object-path"),
                                   QStringLiteral("/StatusNotifierItem"), QStringLiteral("--method"),
                                   method} +
                           arguments);
        };
        const Output tip =
            itemCall(QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                     {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("ToolTip")});
        QCOMPARE(tip.status, 0);
        QVERIFY2(tip.text.contains(QLatin1String("'Parlanto, Left-click or Right-click please'")),
                 qPrintable(tip.text));

        // Right: the menu window. Left: the main window hides, and comes back.
        const QStringList at = {QStringLiteral("40"), QStringLiteral("40")};
        QCOMPARE(itemCall(QStringLiteral("org.kde.StatusNotifierItem.ContextMenu"), at).status, 0);
        QTRY_VERIFY_WITH_TIMEOUT(windowShows(MenuTitle), 10000);
        QCOMPARE(itemCall(QStringLiteral("org.kde.StatusNotifierItem.Activate"), at).status, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!windowShows(mainWindow), 10000);
        QVERIFY(!windowShows(MenuTitle));
        QCOMPARE(itemCall(QStringLiteral("org.kde.StatusNotifierItem.Activate"), at).status, 0);
        QTRY_VERIFY_WITH_TIMEOUT(windowShows(mainWindow), 10000);
    }
};

int main(int argc, char **argv)
{
    XServer x(Tools);
    server = &x;
    QCoreApplication app(argc, argv);
    TestNoTray test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_no_tray.moc"
