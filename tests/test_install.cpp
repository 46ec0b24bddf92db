// test-links: parlanto_platform
// Installs the built tree into a temporary prefix, as 'make install PREFIX=…' does, and checks
// what a desktop user meets there: files in their places, a valid desktop entry and metainfo,
// manual pages that agree with the programs, and programs that run from the prefix alone.
#include "support/test_home.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &args, const QString &folder = {},
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, args);
    if (!process.waitForStarted())
        return {-1, {}, QStringLiteral("cannot start ") + program};
    process.closeWriteChannel();
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, QStringLiteral("timed out: ") + program};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The text a manual page shows, near enough to search for options: roff's "\-" is a '-'.
QString manualText(const QString &path)
{
    QString text = readText(path);
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    return text;
}

QSet<QString> longOptions(const QString &text)
{
    QSet<QString> options;
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*"));
    for (auto it = option.globalMatch(text); it.hasNext();)
        options.insert(it.next().captured());
    return options;
}

const QString SourceDir = QDir::cleanPath(QStringLiteral(PARLANTO_TEST_DATA "/../.."));
const QString BuildDir = QDir::cleanPath(QStringLiteral(PARLANTO_BIN "/../.."));
const QString AppId = QStringLiteral("example.parlanto.Parlanto");

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;
    QTemporaryDir prefixDir;
    QString prefix;

    QString installed(const QString &relative) const { return prefix + QLatin1Char('/') + relative; }

    static void requireTool(const QString &tool)
    {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed")));
    }

private slots:
    void initTestCase()
    {
        home = std::make_unique<TestHome>();
        // A prefix with a blank in it, unlike the one the build was configured for: the
        // programs must find their files relative to where they are.
        prefix = prefixDir.filePath(QStringLiteral("my prefix"));
        const Run install = run(QStringLiteral("cmake"),
                                {QStringLiteral("--install"), BuildDir, QStringLiteral("--prefix"), prefix});
        QVERIFY2(install.exitCode == 0, qPrintable(install.out + install.err));
    }

    void everyFileLandsInItsPlace()
    {
        QStringList expected = {
            QStringLiteral("bin/parlanto"),
            QStringLiteral("bin/parlanto-cli"),
            QStringLiteral("libexec/parlanto/parlanto-send"),
            QStringLiteral("lib/parlanto/libparlanto_sound.so"),
            QStringLiteral("lib/parlanto/libparlanto_pdf.so"),
            QStringLiteral("lib/parlanto/libparlanto_markup.so"),
            QStringLiteral("lib/parlanto/libparlanto_cli.so"),
            QStringLiteral("lib/parlanto/libparlanto_encoders.so"),
            QStringLiteral("lib/parlanto/libparlanto_web.so"),
            QStringLiteral("lib/parlanto/libpcaudio.so.0"),
            QStringLiteral("share/applications/") + AppId + QStringLiteral(".desktop"),
            QStringLiteral("share/metainfo/") + AppId + QStringLiteral(".metainfo.xml"),
            QStringLiteral("share/icons/hicolor/48x48/apps/parlanto.png"),
            QStringLiteral("share/icons/hicolor/128x128/apps/parlanto.png"),
            QStringLiteral("share/icons/hicolor/256x256/apps/parlanto.png"),
            QStringLiteral("share/icons/hicolor/scalable/apps/parlanto.svg"),
            QStringLiteral("share/man/man1/parlanto.1.gz"),
            QStringLiteral("share/man/man1/parlanto-cli.1.gz"),
            QStringLiteral("share/kio/servicemenus/parlanto-speak.desktop"),
            QStringLiteral("share/parlanto/nautilus/Speak by Parlanto"),
            QStringLiteral("share/doc/parlanto/copyright"),
        };
        // Every shipped asset, whatever others add to the folder later.
        QDirIterator assets(SourceDir + QStringLiteral("/assets"), QDir::Files, QDirIterator::Subdirectories);
        while (assets.hasNext()) {
            const QString file = assets.next();
            expected << QStringLiteral("share/parlanto/") +
                            QDir(SourceDir + QStringLiteral("/assets")).relativeFilePath(file);
        }
        QVERIFY(expected.size() > 14);
        for (const QString &file : expected)
            QVERIFY2(QFileInfo(installed(file)).isFile(), qPrintable(file));
        for (const QString &program : {QStringLiteral("bin/parlanto"), QStringLiteral("bin/parlanto-cli"),
                                       QStringLiteral("share/parlanto/nautilus/Speak by Parlanto")})
            QVERIFY2(QFileInfo(installed(program)).isExecutable(), qPrintable(program));

        // The theme icons have the sizes their folders promise.
        for (const int size : {48, 128, 256}) {
            const QImage icon(
                installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/parlanto.png").arg(size)));
            QCOMPARE(icon.size(), QSize(size, size));
            QVERIFY(icon.hasAlphaChannel());
        }
    }

    // The entry validates; Parlanto is offered for text files without claiming to be their
    // first choice; each action runs a start option the manual documents.
    void desktopEntryValidatesAndItsActionsAreDocumented()
    {
        const QString entry =
            installed(QStringLiteral("share/applications/") + AppId + QStringLiteral(".desktop"));
        const QString text = readText(entry);
        QVERIFY(text.contains(QStringLiteral("\nExec=parlanto %f\n")));
        QVERIFY(text.contains(
            QStringLiteral("\nMimeType=text/plain;text/rtf;application/rtf;application/pdf;"
                           "application/epub+zip;application/vnd.oasis.opendocument.text;"
                           "application/vnd.openxmlformats-officedocument.wordprocessingml.document;"
                           "text/html;application/xhtml+xml;text/markdown;\n")));
        QVERIFY(text.contains(QStringLiteral("\nInitialPreference=0\n")));
        const QString menu =
            readText(installed(QStringLiteral("share/kio/servicemenus/parlanto-speak.desktop")));
        QVERIFY(menu.contains(QStringLiteral("\nName=Speak by Parlanto\nIcon=parlanto\nExec=parlanto %f\n")));

        const QString manual = manualText(SourceDir + QStringLiteral("/docs/man/parlanto.1"));
        static const QRegularExpression action(QStringLiteral("\\[Desktop Action ([a-z-]+)\\]\\n"
                                                              "Name=([^\\n]+)\\n(?:Icon=[^\\n]+\\n)?"
                                                              "Exec=parlanto (--[a-z-]+)( [a-z]+)?\\n"));
        QStringList actions;
        for (auto it = action.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            actions << match.captured(1);
            // The option and the window it names, each a term of its own in the manual.
            for (const QString &term : {match.captured(3), match.captured(4).trimmed()})
                QVERIFY2(term.isEmpty() || manual.contains(QRegularExpression(
                                               QStringLiteral("\\n\\.B[IR]? ") +
                                               QRegularExpression::escape(term) + QStringLiteral("[ \\n]"))),
                         qPrintable(match.captured(0)));
        }
        const QString listed = text.section(QStringLiteral("\nActions="), 1).section(QLatin1Char('\n'), 0, 0);
        QCOMPARE(actions.join(QLatin1Char(';')) + QLatin1Char(';'), listed);
        QVERIFY(actions.contains(QStringLiteral("quit")));
        QVERIFY(actions.contains(QStringLiteral("batch")));

        requireTool(QStringLiteral("desktop-file-validate"));
        const Run check = run(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY2(check.exitCode == 0 && !check.out.contains(QStringLiteral("error")),
                 qPrintable(check.out + check.err));
    }

    void metainfoValidates()
    {
        requireTool(QStringLiteral("appstreamcli"));
        const Run check =
            run(QStringLiteral("appstreamcli"),
                {QStringLiteral("validate"), QStringLiteral("--no-net"),
                 installed(QStringLiteral("share/metainfo/") + AppId + QStringLiteral(".metainfo.xml"))});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
    }

    void manualPagesFormatWithoutWarnings_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("parlanto") << "parlanto";
        QTest::newRow("parlanto-cli") << "parlanto-cli";
    }
    void manualPagesFormatWithoutWarnings()
    {
        QFETCH(QString, page);
        requireTool(QStringLiteral("man"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        const Run shown = run(QStringLiteral("man"),
                              {QStringLiteral("--warnings=all"), QStringLiteral("-l"),
                               installed(QStringLiteral("share/man/man1/%1.1.gz").arg(page))},
                              {}, environment);
        QVERIFY2(shown.exitCode == 0, qPrintable(shown.err));
        QVERIFY2(shown.err.isEmpty(), qPrintable(shown.err));
        QVERIFY(shown.out.contains(QStringLiteral("SYNOPSIS")));
        QVERIFY(shown.out.contains(QStringLiteral("ENVIRONMENT")));
    }

    // Every option the programs' help texts name is in the manual, and the manual names no
    // option the programs do not know.
    void cliManualAgreesWithHelp()
    {
        const QString cli = installed(QStringLiteral("bin/parlanto-cli"));
        const Run mainHelp = run(cli, {QStringLiteral("--help")});
        QCOMPARE(mainHelp.exitCode, 0);
        // The commands the main help lists, each with its own help and its section in the manual.
        static const QRegularExpression command(QStringLiteral("^  ([a-z]+) "),
                                                QRegularExpression::MultilineOption);
        QStringList commands;
        for (auto it = command.globalMatch(mainHelp.out.section(QStringLiteral("Commands:"), 1));
             it.hasNext();)
            commands << it.next().captured(1);
        QVERIFY(commands.size() >= 3);
        QString help = mainHelp.out;
        for (const QString &name : commands) {
            const Run shown = run(cli, {name, QStringLiteral("--help")});
            QVERIFY2(shown.exitCode == 0, qPrintable(name + shown.err));
            help += shown.out;
        }
        const QString manual = manualText(SourceDir + QStringLiteral("/docs/man/parlanto-cli.1"));
        const QSet<QString> helpOptions = longOptions(help);
        QVERIFY(helpOptions.contains(QStringLiteral("--voice")));
        for (const QString &option : helpOptions)
            QVERIFY2(manual.contains(option), qPrintable(option + QStringLiteral(" is not in the manual")));
        for (const QString &option : longOptions(manual))
            QVERIFY2(helpOptions.contains(option) || option == QLatin1String("--"),
                     qPrintable(option + QStringLiteral(" is in the manual but not in --help")));
        for (const QString &name : commands)
            QVERIFY2(manual.contains(QStringLiteral("\n.B ") + name + QLatin1Char('\n')), qPrintable(name));
    }

    // Every environment variable the programs read is in the manual of the program that reads it.
    void manualsNameEveryEnvironmentVariable()
    {
        static const QRegularExpression read(
            QStringLiteral("(?:qEnvironmentVariable(?:IsEmpty|IsSet)?|qgetenv|getenv)\\(\"([A-Z_]+)\"\\)"));
        const QString manual = readText(SourceDir + QStringLiteral("/docs/man/parlanto.1"));
        const QString cliManual = readText(SourceDir + QStringLiteral("/docs/man/parlanto-cli.1"));
        // Variables read only by the command-line program's own front end belong in its manual.
        QSet<QString> variables, cliVariables;
        QDirIterator sources(SourceDir + QStringLiteral("/src"),
                             {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                             QDirIterator::Subdirectories);
        while (sources.hasNext()) {
            const QString path = sources.next();
            QSet<QString> &into = path.contains(QStringLiteral("/src/cli/")) ? cliVariables : variables;
            for (auto it = read.globalMatch(readText(path)); it.hasNext();)
                into.insert(it.next().captured(1));
        }
        QVERIFY(variables.contains(QStringLiteral("PARLANTO_HOME")));
        for (const QString &variable : variables)
            QVERIFY2(manual.contains(QStringLiteral(".B ") + variable + QLatin1Char('\n')),
                     qPrintable(variable));
        for (const QString &variable : cliVariables)
            QVERIFY2(cliManual.contains(QStringLiteral(".B ") + variable + QLatin1Char('\n')),
                     qPrintable(variable));
        QVERIFY(cliManual.contains(QStringLiteral(".B PARLANTO_AUDIO\n")));
    }

    void installedCliRuns()
    {
        const QString cli = installed(QStringLiteral("bin/parlanto-cli"));
        const Run help = run(cli, {QStringLiteral("--help")}, QDir::tempPath());
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.startsWith(QStringLiteral("Usage: parlanto-cli COMMAND")));
        const Run voices = run(cli, {QStringLiteral("voices")}, QDir::tempPath());
        QVERIFY2(voices.exitCode == 0, qPrintable(voices.err));
        QVERIFY(voices.out.contains(QStringLiteral(" (TTS4.0)\n")));
        QVERIFY(voices.out.contains(QStringLiteral(" (TTS5.0)\n")));
        // 'send' runs in the helper installed beside the prefix's libraries.
        const Run send = run(cli, {QStringLiteral("send"), QStringLiteral("--help")}, QDir::tempPath());
        QVERIFY2(send.exitCode == 0, qPrintable(send.err));
        QVERIFY(send.out.startsWith(QStringLiteral("Usage: parlanto-cli send")));
    }

    // Run from the prefix, Parlanto seeds a new program folder from the prefix's assets, not
    // from the source tree it was built from.
    void installedProgramSeedsFromItsOwnAssets()
    {
        QFile marker(installed(QStringLiteral("share/parlanto/only-in-the-prefix.txt")));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.write("installed");
        marker.close();

        QTemporaryDir programFolder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PARLANTO_HOME"), programFolder.path());
        environment.insert(QStringLiteral("PARLANTO_INSTANCE"), QStringLiteral("install-test"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("PARLANTO_AUDIO"), QStringLiteral("fast"));
        QProcess parlanto;
        const auto stop = qScopeGuard([&parlanto] {
            parlanto.kill();
            parlanto.waitForFinished();
        });
        parlanto.setProcessEnvironment(environment);
        parlanto.setWorkingDirectory(QDir::tempPath());
        parlanto.start(installed(QStringLiteral("bin/parlanto")), {});
        QVERIFY(parlanto.waitForStarted());
        for (const QString &name : {QStringLiteral("only-in-the-prefix.txt"), QStringLiteral("speak.bmp"),
                                    QStringLiteral("parlanto.png")})
            QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(programFolder.filePath(name)), qPrintable(name), 60000);
        QCOMPARE(parlanto.state(), QProcess::Running);
    }

    // GNOME Files starts its script in the shown folder with the selected name; Parlanto gets
    // the absolute path, blanks and all, as its one argument.
    void nautilusScriptHandsOverOneAbsolutePath()
    {
        QTemporaryDir scratch;
        const QString bin = scratch.filePath(QStringLiteral("bin"));
        const QString folder = scratch.filePath(QStringLiteral("My letters"));
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(folder));
        // A stand-in parlanto that writes each argument it gets on a line of its own.
        const QString log = scratch.filePath(QStringLiteral("arguments"));
        QFile fake(bin + QStringLiteral("/parlanto"));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$ARGUMENT_LOG\"\n");
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           bin + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("ARGUMENT_LOG"), log);
        const QString script = installed(QStringLiteral("share/parlanto/nautilus/Speak by Parlanto"));

        const Run relative = run(script, {QStringLiteral("letter to Bob.txt")}, folder, environment);
        QCOMPARE(relative.exitCode, 0);
        QCOMPARE(readText(log), QDir(folder).canonicalPath() + QStringLiteral("/letter to Bob.txt\n"));

        const Run absolute =
            run(script, {QStringLiteral("/tmp/a b.rtf"), QStringLiteral("second")}, folder, environment);
        QCOMPARE(absolute.exitCode, 0);
        QCOMPARE(readText(log), QStringLiteral("/tmp/a b.rtf\n"));
    }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"
