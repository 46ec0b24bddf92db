// test-links: parlanto_platform
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// `parlanto` started from a terminal as users start it: --help and --version answer there and
// end, and a start without a display ends with a message and status 1 instead of Qt's abort.
class TestTerminalStart : public QObject
{
    Q_OBJECT
    QTemporaryDir scratch;

    struct Outcome
    {
        QProcess::ExitStatus status = QProcess::CrashExit;
        int code = -1;
        QString out;
        QString err;
    };

    // Runs the program with `arguments` in an environment of its own: no display unless `display`
    // is given, no platform chosen unless `platform` is.
    Outcome run(const QStringList &arguments, const QString &display = QString(),
                const QString &platform = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        if (!platform.isEmpty())
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.insert(QStringLiteral("PARLANTO_HOME"), scratch.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), scratch.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("PARLANTO_INSTANCE"),
                   QStringLiteral("terminalTest%1").arg(QCoreApplication::applicationPid()));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PARLANTO_BIN), arguments);
        Outcome outcome;
        if (!program.waitForFinished(60000)) {
            program.kill();
            program.waitForFinished();
            return outcome;
        }
        outcome.status = program.exitStatus();
        outcome.code = program.exitCode();
        outcome.out = QString::fromLocal8Bit(program.readAllStandardOutput());
        outcome.err = QString::fromLocal8Bit(program.readAllStandardError());
        return outcome;
    }

    // A display number no X server answers on.
    static QString deadDisplay()
    {
        int number = 900 + int(QCoreApplication::applicationPid() % 90);
        while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
               QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            ++number;
        return QStringLiteral(":%1").arg(number);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QVERIFY(QDir(scratch.path()).mkpath(QStringLiteral("run")));
        QFile::setPermissions(scratch.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Neither needs a display: both answer where there is none.
    void helpAndVersionPrintAndEnd()
    {
        const Outcome help = run({QStringLiteral("--help")});
        QCOMPARE(help.status, QProcess::NormalExit);
        QCOMPARE(help.code, 0);
        QVERIFY2(help.out.startsWith(QLatin1String("Usage: parlanto [FILE | TEXT]\n")), qPrintable(help.out));
        for (const char *said : {"--version", "Exit all", "Ctrl+Q", "parlanto-cli send quit"})
            QVERIFY2(help.out.contains(QLatin1String(said)), said);
        QCOMPARE(help.err, QString());

        const Outcome version = run({QStringLiteral("--version")});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, QStringLiteral("Parlanto 1.71\n"));
        QCOMPARE(version.err, QString());
    }

    void noDisplayEndsWithAMessage_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("says");
        QTest::newRow("no display set") << QString() << QString() << QStringLiteral("no display is set");
        const QString dead = deadDisplay();
        QTest::newRow("a display nobody answers on")
            << dead << QString() << QStringLiteral("the display \"%1\" cannot be reached").arg(dead);
        QTest::newRow("X11 asked for, no display set")
            << QString() << QStringLiteral("xcb") << QStringLiteral("no display is set");
    }
    void noDisplayEndsWithAMessage()
    {
        QFETCH(QString, display);
        QFETCH(QString, platform);
        QFETCH(QString, says);
        const Outcome outcome = run({QStringLiteral("Hello")}, display, platform);
        QCOMPARE(outcome.status, QProcess::NormalExit);
        QCOMPARE(outcome.code, 1);
        QVERIFY2(outcome.err.contains(says), qPrintable(outcome.err));
        QVERIFY2(outcome.err.contains(QLatin1String("parlanto-cli")), qPrintable(outcome.err));
        QCOMPARE(outcome.out, QString());
    }
};

QTEST_GUILESS_MAIN(TestTerminalStart)
#include "test_terminal_start.moc"
