#include "app/batch_text2sound_host.h"
#include "app/orderly_exit.h"
#include "app/slide_read_aloud_host.h"
#include "app/ttsmain.h"
#include "app/wavtomp3_host.h"
#include "audio/BatchText2Sound.h"
#include "audio/wavtomp3.h"
#include "desktop/howto.h"
#include "platform/program_folder.h"
#include "speech/directss.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "support/x_server.h"
#include "tools/SlideReadAloud.h"
#include "tools/setmyclock.h"
#include "tools/updatewin.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

// An engine whose third mode cannot be selected: picking it asks whether to end the program.
class BrokenThirdMode : public DirectSS
{
public:
    bool Select(int index) override { return index != 3 && DirectSS::Select(index); }
};

// The vendor's site with a newer version whose installer does not match its hash.
class TamperedSite : public QObject
{
public:
    bool start()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    const QByteArray request = socket->readAll();
                    const QByteArray installer = "#!/bin/sh\necho tampered > marker\n";
                    const QByteArray body =
                        request.contains("updateinfo.ini")
                            ? "1.80\r\n" +
                                  QCryptographicHash::hash("other", QCryptographicHash::Sha256).toHex()
                            : installer;
                    socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QByteArray address() const { return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()); }

private:
    QTcpServer m_server;
};

// Each case opens a window and, once the event loop runs, has the user open a dialog or
// message box in it; it returns the window.
enum class Opening
{
    UpdateSorry,
    UpdateNotVerified,
    MainOpenFile,
    MainFont,
    MainColour,
    MainSave,
    VoiceQuestion,
    ClockBellBox,
    SlideNoWordFile,
    ConverterNoSource,
    BatchFolder,
    HelpAddInBox,
};

void later(QWidget *widget, const std::function<void()> &click)
{
    QTimer::singleShot(0, widget, click);
}

void clickLater(QAbstractButton *button)
{
    later(button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
}

} // namespace

Q_DECLARE_METATYPE(Opening)

class TestOrderlyExit : public QObject
{
    Q_OBJECT
    TestHome home;
    TamperedSite site;
    QByteArray instance = "exitTest" + QByteArray::number(QCoreApplication::applicationPid());

    QWidget *open(Opening opening, LoadedWindow &w)
    {
        ttsmain &main = *w;
        switch (opening) {
        case Opening::UpdateSorry: {
            qputenv("PARLANTO_SITE", "http://127.0.0.1:9");
            updatewin *update = main.ShowUpdateWindow();
            clickLater(update->Command4);
            return update;
        }
        case Opening::UpdateNotVerified: {
            qputenv("PARLANTO_SITE", site.address());
            updatewin *update = main.ShowUpdateWindow();
            QTest::mouseClick(update->Command4, Qt::LeftButton);
            if (!QTest::qWaitFor([update] { return update->Command5->isVisible(); }, 10000))
                return nullptr;
            clickLater(update->Command5);
            return update;
        }
        case Opening::MainOpenFile:
            clickLater(main.Command3);
            return &main;
        case Opening::MainFont:
            clickLater(main.Command2);
            return &main;
        case Opening::MainColour:
            clickLater(main.Command1);
            return &main;
        case Opening::MainSave:
            main.RichTextBox1->setPlainText(QStringLiteral("Something to save."));
            clickLater(main.Command4);
            return &main;
        case Opening::VoiceQuestion:
            pickVoice(main, 0);
            main.DirectSS1->setInitialized(0);
            later(&main, [&main] { pickVoice(main, 2); });
            return &main;
        case Opening::ClockBellBox: {
            setmyclock *clock = main.showClockWindow();
            clock->Text4->setText(home.file(QStringLiteral("no-bell.wav")));
            clickLater(clock->Command1);
            return clock;
        }
        case Opening::SlideNoWordFile: {
            SlideReadAloud *slides = showSlideReadAloud(main);
            slides->Text1->clear();
            clickLater(slides->Command2);
            return slides;
        }
        case Opening::ConverterNoSource: {
            wavtomp3 *converter = showWavToMp3(main);
            converter->Text1->clear();
            clickLater(converter->Command2);
            return converter;
        }
        case Opening::BatchFolder: {
            BatchText2Sound *batch = showBatchText2Sound(main);
            clickLater(batch->Command3);
            return batch;
        }
        case Opening::HelpAddInBox: {
            howto *help = howto::showWindow();
            later(help, [help] {
                QTest::mouseClick(help->Label3, Qt::LeftButton, {}, help->Label3->rect().center());
            });
            return help;
        }
        }
        return nullptr;
    }

    // The program with a private program folder, runtime folder and instance, on `display`.
    QProcessEnvironment programEnvironment(const XServer &x, const QTemporaryDir &dir) const
    {
        QProcessEnvironment env = x.environment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("PARLANTO_HOME"), dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("PARLANTO_INSTANCE"), QString::fromLatin1(instance + "bin"));
        env.insert(QStringLiteral("PARLANTO_AUDIO"), QStringLiteral("fast"));
        return env;
    }
    static bool prepareFolders(const QTemporaryDir &dir)
    {
        QDir root(dir.path());
        if (!root.mkpath(QStringLiteral("home")) || !root.mkpath(QStringLiteral("runtime")))
            return false;
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // No help window three seconds into the first run.
        return QFile(dir.filePath(QStringLiteral("home/firstuse.done"))).open(QIODevice::WriteOnly);
    }
    static QString xdotool(const QProcessEnvironment &env, const QStringList &arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(20000))
            tool.kill();
        return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    }
    // Starts the program and waits until its main window is up; its window id.
    static QString startProgram(QProcess &program, const QProcessEnvironment &env)
    {
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(PARLANTO_BIN), {});
        if (!program.waitForStarted())
            return {};
        return xdotool(env,
                       {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--pid"), QString::number(program.processId()),
                        QStringLiteral("--name"), QStringLiteral("^Parlanto$")})
            .section(QLatin1Char('\n'), 0, 0);
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE", instance);
        markFirstRunDone();
        QVERIFY(site.start());
    }

    // A termination signal while a dialog or message box runs its own event loop ends the
    // program as "Exit all" does: the box closes as if cancelled, its window unloads only
    // after the box's loop has returned, the settings are written, nothing is freed twice.
    void terminationWithADialogOpenEndsLikeExitAll_data()
    {
        QTest::addColumn<Opening>("opening");
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("update window, Sorry box") << Opening::UpdateSorry << SIGTERM;
        QTest::newRow("update window, not verified box") << Opening::UpdateNotVerified << SIGHUP;
        QTest::newRow("main window, open file dialog") << Opening::MainOpenFile << SIGINT;
        QTest::newRow("main window, font dialog") << Opening::MainFont << SIGTERM;
        QTest::newRow("main window, colour dialog") << Opening::MainColour << SIGHUP;
        QTest::newRow("main window, save dialog") << Opening::MainSave << SIGINT;
        QTest::newRow("main window, voice-switch question") << Opening::VoiceQuestion << SIGTERM;
        QTest::newRow("clock window, bell file box") << Opening::ClockBellBox << SIGHUP;
        QTest::newRow("slide reader, word file box") << Opening::SlideNoWordFile << SIGINT;
        QTest::newRow("converter, source box") << Opening::ConverterNoSource << SIGTERM;
        QTest::newRow("batch window, folder dialog") << Opening::BatchFolder << SIGHUP;
        QTest::newRow("help window, add-in box") << Opening::HelpAddInBox << SIGINT;
    }
    void terminationWithADialogOpenEndsLikeExitAll()
    {
        QFETCH(Opening, opening);
        QFETCH(int, signalNumber);
        for (const char *name : {"stts.ini", "swin.ini", "newversion.ini"})
            QFile::remove(home.file(QLatin1String(name)));
        QFile(home.file(QStringLiteral("newversion.ini"))).open(QIODevice::WriteOnly);

        {
            SpeechFactory factory = SpeechFactory::standard();
            if (opening == Opening::VoiceQuestion)
                factory.makeDirectSS = [] { return std::make_unique<BrokenThirdMode>(); };
            LoadedWindow w(factory);
            QCOMPARE(w.result, ttsmain::LoadResult::Running);
            // The end as the program has it: the event loop is told to quit.
            w->setProcessEnd([&w](int code) {
                ++w.endCalls;
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(), [code] { QCoreApplication::exit(code); },
                    Qt::QueuedConnection);
            });
            OrderlyExit ending(*w);
            QPointer<QWidget> window = open(opening, w);
            QVERIFY(window);

            // The signal comes once the box or dialog has been up for a moment, from inside
            // its own event loop.
            QPointer<QWidget> seen;
            QElapsedTimer shown;
            QTimer signalWhenShown;
            connect(&signalWhenShown, &QTimer::timeout, this, [&] {
                QWidget *modal = QApplication::activeModalWidget();
                if (!modal || !qobject_cast<QDialog *>(modal))
                    return;
                if (!seen) {
                    seen = modal;
                    shown.start();
                } else if (shown.elapsed() > 200) {
                    signalWhenShown.stop();
                    ::raise(signalNumber);
                }
            });
            signalWhenShown.start(20);
            QTimer giveUp; // when no dialog shows, or the end does not come
            giveUp.setSingleShot(true);
            connect(&giveUp, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
            giveUp.start(20000);

            QCOMPARE(ending.exec(), 0);
            QVERIFY(seen.isNull() || !seen->isVisible());
            QVERIFY(w->processEnded());
            QCOMPARE(w.endCalls, 1);
            QVERIFY(!QApplication::activeModalWidget());
            QVERIFY(window.isNull() || !window->isVisible());
        }
        // The quit that ExitAll asked for once the loop had ended already.
        QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
        QVERIFY(QFileInfo::exists(home.file(QStringLiteral("stts.ini"))));
        QVERIFY(QFileInfo::exists(home.file(QStringLiteral("swin.ini"))));
        QVERIFY(!QFileInfo::exists(home.file(QStringLiteral("newversion.ini"))));
        QVERIFY(!QFileInfo::exists(home.file(QStringLiteral("marker"))));
        qputenv("PARLANTO_SITE", "http://127.0.0.1:9");
    }

    // The program itself, on an X server: SIGTERM while its open-file dialog is up.
    void programEndsOnTerminationWithItsDialogOpen()
    {
        XServer x({QStringLiteral("Xvfb"), QStringLiteral("xdotool")});
        if (!x.missing.isEmpty())
            QSKIP(qPrintable(x.missing + QStringLiteral("not installed (scripts/install-deps)")));
        QVERIFY(x.ok());
        QTemporaryDir dir;
        QVERIFY(prepareFolders(dir));
        const QProcessEnvironment env = programEnvironment(x, dir);
        QProcess program;
        const QString window = startProgram(program, env);
        QVERIFY2(!window.isEmpty(), program.readAll().constData());

        xdotool(env, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        xdotool(env, {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("alt+o")});
        const QString dialog =
            xdotool(env, {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--pid"), QString::number(program.processId()),
                          QStringLiteral("--name"), QStringLiteral("^Select A File$")});
        QVERIFY(!dialog.isEmpty());

        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(20000));
        const QByteArray output = program.readAll();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 0, output.constData());
        QVERIFY2(!output.contains("double free") && !output.contains("corruption"), output.constData());
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("home/stts.ini"))));
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("home/swin.ini"))));
    }

    // The X server goes away under the running program: it still writes its records, the
    // clock's included (which only a change in the clock window or this last word writes).
    void lostDisplayStillWritesTheRecords()
    {
        XServer x({QStringLiteral("Xvfb"), QStringLiteral("xdotool")});
        if (!x.missing.isEmpty())
            QSKIP(qPrintable(x.missing + QStringLiteral("not installed (scripts/install-deps)")));
        QVERIFY(x.ok());
        QTemporaryDir dir;
        QVERIFY(prepareFolders(dir));
        QProcess program;
        QVERIFY(!startProgram(program, programEnvironment(x, dir)).isEmpty());

        x.stop();
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        for (const char *name : {"stts.ini", "swin.ini", "stime.ini"})
            QVERIFY2(QFileInfo(dir.filePath(QStringLiteral("home/") + QLatin1String(name))).size() > 0, name);
    }
};

QTEST_MAIN(TestOrderlyExit)
#include "test_orderly_exit.moc"
