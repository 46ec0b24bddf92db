#include "app/ttsmain.h"
#include "desktop/handed_file.h"
#include "desktop/intake_command.h"
#include "platform/program_folder.h"
#include "platform/program_picture.h"
#include "platform/single_instance.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/record_bytes.h"
#include "support/test_home.h"

#include <QComboBox>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

#include <future>

#include <sys/resource.h>
#include <sys/stat.h>

using Intake::Marker;

namespace {

// Runs parlanto-cli without blocking this thread, whose event loop must answer it.
int runCli(const QStringList &arguments, const QString &workingFolder = QString())
{
    QProcess cli;
    if (!workingFolder.isEmpty())
        cli.setWorkingDirectory(workingFolder);
    QSignalSpy finished(&cli, &QProcess::finished);
    cli.start(QStringLiteral(PARLANTO_CLI), arguments);
    if (!finished.wait(30000))
        return -1;
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

// A second start of Parlanto itself, with one argument, its home folder `home`.
int secondStart(const QString &argument, const QString &workingFolder, const QString &home)
{
    QProcess parlanto;
    parlanto.setWorkingDirectory(workingFolder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    parlanto.setProcessEnvironment(environment);
    QSignalSpy finished(&parlanto, &QProcess::finished);
    parlanto.start(QStringLiteral(PARLANTO_BIN), {argument});
    if (!finished.wait(30000))
        return -1;
    return parlanto.exitStatus() == QProcess::NormalExit ? parlanto.exitCode() : -1;
}

// Sends from another thread: the receiving window lives on this thread and needs its event
// loop running while the sender waits for the reply.
SingleInstance::Delivery deliverAside(const SingleInstance &sender, const QString &command)
{
    auto pending = std::async(std::launch::async, [&] { return sender.deliver(command, 10000); });
    while (pending.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return pending.get();
}

QByteArray frame(const QByteArray &payload)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint32>(quint32(payload.size()), bytes.data());
    return bytes + payload;
}

QString longText()
{
    QStringList sentences;
    for (int i = 0; i < 40; ++i)
        sentences
            << QStringLiteral("This is sentence number %1 of a long text to keep the voice busy.").arg(i);
    return sentences.join(QLatin1Char(' '));
}

// A Parlanto in a process of its own, as on a desktop: at most 1,024 open files, offscreen,
// under its own instance name (so this test's windows never meet it).
struct ChildParlanto
{
    explicit ChildParlanto(const QStringList &arguments)
        : instanceName(QByteArray("intakeChild") + QByteArray::number(QCoreApplication::applicationPid()))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PARLANTO_INSTANCE"), QString::fromLatin1(instanceName));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("PARLANTO_AUDIO"), QStringLiteral("fast"));
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] {
            rlimit limit = {};
            ::getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = std::min<rlim_t>(1024, limit.rlim_max);
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        process.start(QStringLiteral(PARLANTO_BIN), arguments);
        const QByteArray previous = qgetenv("PARLANTO_INSTANCE");
        qputenv("PARLANTO_INSTANCE", instanceName);
        sender = std::make_unique<SingleInstance>();
        qputenv("PARLANTO_INSTANCE", previous);
    }
    ~ChildParlanto()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool answers() const { return deliverAside(*sender, QString()) == SingleInstance::Delivery::Accepted; }

    QByteArray instanceName;
    QProcess process;
    std::unique_ptr<SingleInstance> sender;
};

} // namespace

class TestIntake : public QObject
{
    Q_OBJECT
    TestHome home;
    QTemporaryDir files;

    static std::unique_ptr<LoadedWindow> englishWindow(const QString &commandLine = QString())
    {
        auto w = std::make_unique<LoadedWindow>(SpeechFactory::standard(), commandLine);
        // Picking a voice stops any reading, so only a window started without text gets one.
        if (w->result == ttsmain::LoadResult::Running && commandLine.isEmpty())
            pickVoice(**w, listPosition(**w, 4, QStringLiteral("English")));
        return w;
    }
    QString writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(QDir(files.path()).filePath(path));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QString();
        return file.fileName();
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("intakeTest") + QByteArray::number(QCoreApplication::applicationPid()));
        // Silent but in real time, so a reading lasts long enough to pause and stop it.
        qputenv("PARLANTO_AUDIO", "null");
        QVERIFY(files.isValid());
    }

    void commandStringRules()
    {
        using Intake::Command;
        const struct
        {
            QString command;
            Command kind;
            QString payload;
        } commands[] = {
            {Marker + "_1hello", Command::Read, "hello"},
            {Marker + "_2", Command::Toggle, ""},
            {Marker + "_3", Command::Stop, ""},
            {Marker + "-4500003Flite (TTS5.0)", Command::ChangeVoice, "500003Flite (TTS5.0)"},
            {Marker + "-", Command::End, ""},
            {Marker + "-3", Command::FilePath, ""},
            {Marker + "_4", Command::FilePath, ""},
            {Marker.toLower() + "_1hello", Command::FilePath, "hello"},
            {Marker.left(31) + "_1", Command::FilePath, ""},
            {"/home/me/My Notes/a b.txt", Command::FilePath, "txt"},
            {"", Command::FilePath, ""},
        };
        for (const auto &c : commands) {
            QCOMPARE(Intake::classify(c.command), c.kind);
            if (c.kind != Command::FilePath && c.kind != Command::End)
                QCOMPARE(Intake::payload(c.command), c.payload);
        }

        // First-start classification and what is done with it.
        using Kind = Intake::StartAction::Kind;
        QCOMPARE(Intake::startFrom("", false), QStringLiteral("program"));
        QCOMPARE(Intake::startFrom("x", true), QString());
        QCOMPARE(Intake::startFrom("/a b.txt", true), QStringLiteral("explorer"));
        QCOMPARE(Intake::startFrom("some words", false), QStringLiteral("internet"));
        const struct
        {
            QString mode, line;
            Kind kind;
            QString text;
            bool fromOther;
        } starts[] = {
            {"explorer", "/a b.txt", Kind::ReadFile, "/a b.txt", false},
            {"internet", "some words", Kind::ReadText, "some words", false},
            {"internet", Marker + "_1read me", Kind::ReadText, "read me", true},
            // Position 34 is skipped whatever it holds.
            {"internet", Marker + "_9read me", Kind::ReadText, "read me", true},
            {"internet", Marker + "-", Kind::End, "", true},
            {"internet", Marker + "-4anything", Kind::End, "", true},
            // Meant as files that are not there.
            {"internet", "~/notes/helo.txt", Kind::MissingFile, "~/notes/helo.txt", false},
            {"internet", "/home/me/My Notes/helo.txt", Kind::MissingFile, "/home/me/My Notes/helo.txt",
             false},
            {"internet", "notes/helo.txt", Kind::MissingFile, "notes/helo.txt", false},
            {"internet", "My Notes/a b.txt", Kind::MissingFile, "My Notes/a b.txt", false},
            // Text that merely holds a slash.
            {"internet", "Mix 1/2 cup of flour.", Kind::ReadText, "Mix 1/2 cup of flour.", false},
            {"internet", "Good morning, everyone.", Kind::ReadText, "Good morning, everyone.", false},
            {"internet", "one line\n/and another", Kind::ReadText, "one line\n/and another", false},
            {"program", "", Kind::Nothing, "", false},
            {"", "x", Kind::Nothing, "", false},
        };
        for (const auto &s : starts) {
            const Intake::StartAction action = Intake::startAction(s.mode, s.line);
            QCOMPARE(action.kind, s.kind);
            QCOMPARE(action.text, s.text);
            QCOMPARE(action.fromOtherProgram, s.fromOther);
        }

        // What a later start sends so that the running instance does what a first start would.
        const struct
        {
            QString mode, line, sent;
        } handOvers[] = {
            {"explorer", "a.txt", "/abs/a.txt"},
            {"internet", "Good morning, everyone.", Intake::readCommand("Good morning, everyone.")},
            {"internet", "notes/helo.txt", "/abs/a.txt"},
            {"internet", Marker + "_9read me", Intake::readCommand("read me")},
            {"internet", Marker + "-", Intake::endCommand()},
            {"internet", Marker + "-x", Intake::endCommand()},
            // The commands the running instance knows go over unchanged.
            {"internet", Intake::toggleCommand(), Intake::toggleCommand()},
            {"internet", Intake::stopCommand(), Intake::stopCommand()},
            {"internet", Intake::readCommand("hi"), Intake::readCommand("hi")},
            {"internet", Marker + "-4500001Flite (TTS5.0)", Marker + "-4500001Flite (TTS5.0)"},
            {"program", "", ""},
        };
        for (const auto &h : handOvers)
            QCOMPARE(Intake::handOverCommand(h.mode, h.line, "/abs/a.txt"), h.sent);

        // Change-voice payloads, and the builders producing what the receiver parses.
        const Intake::VoiceChange good =
            Intake::parseVoiceChange(Intake::voiceCommand(5, 3, "Flite (TTS5.0)"));
        QCOMPARE(good.generation, QLatin1Char('5'));
        QCOMPARE(good.index, std::optional<int>(3));
        QCOMPARE(good.listText, QStringLiteral("Flite (TTS5.0)"));
        const Intake::VoiceChange bad = Intake::parseVoiceChange(Marker + "-440a001Name (TTS4.0)");
        QCOMPARE(bad.index, std::nullopt);
        QCOMPARE(bad.listText, QStringLiteral("Name (TTS4.0)"));
        QCOMPARE(Intake::parseVoiceChange(Marker + "-4").generation, QChar());
        QCOMPARE(Intake::classify(Intake::readCommand("x")), Command::Read);
        QCOMPARE(Intake::classify(Intake::toggleCommand()), Command::Toggle);
        QCOMPARE(Intake::classify(Intake::stopCommand()), Command::Stop);
        QCOMPARE(Intake::startAction("internet", Intake::endCommand()).kind, Kind::End);
    }

    void startArgumentsOfAFirstStart()
    {
        FakeDialogs dialogs;
        {
            auto w = englishWindow(Marker + "-");
            QCOMPARE(w->result, ttsmain::LoadResult::Ended);
            QCOMPARE(w->endCalls, 1);
        }
        {
            // One character: the program starts and reads nothing.
            auto w = englishWindow(QStringLiteral("x"));
            QCOMPARE(w->result, ttsmain::LoadResult::Running);
            QCOMPARE((*w)->RichTextBox1->toPlainText(), QString());
            QCOMPARE((*w)->PlayStatus, 3);
        }
        {
            // Longer than any file name: text all the same, never "a file that cannot be read".
            const QString sentence = QStringLiteral("Read this long sentence aloud, please. ").repeated(8);
            auto w = englishWindow(sentence);
            QCOMPARE((*w)->RichTextBox1->toPlainText(), sentence);
            QCOMPARE((*w)->PlayStatus, 1);
        }
        {
            auto w = englishWindow(Marker + "_1Read this aloud please.");
            QCOMPARE((*w)->RichTextBox1->toPlainText(), QStringLiteral("Read this aloud please."));
            QCOMPARE((*w)->PlayStatus, 1);
            // Reading from the start: the Speak button shows its pause picture.
            const auto face = [](const QIcon &icon) {
                return icon.pixmap(24).toImage().convertToFormat(QImage::Format_RGB32);
            };
            QCOMPARE(face((*w)->Command5->icon()), face(QIcon(programPicture(QStringLiteral("pause.bmp")))));
            (*w)->Command6_Click();
            QCOMPARE(face((*w)->Command5->icon()), face(QIcon(programPicture(QStringLiteral("speak.bmp")))));
            QVERIFY(face((*w)->Command5->icon()) != face(QIcon(programPicture(QStringLiteral("pause.bmp")))));
        }
        {
            const QString path = writeFile("my notes file.txt", "Text of a file with blanks in its name.");
            auto w = englishWindow(path);
            QCOMPARE((*w)->App.StartMode, QStringLiteral("explorer"));
            QCOMPARE((*w)->RichTextBox1->toPlainText(),
                     QStringLiteral("Text of a file with blanks in its name."));
            QCOMPARE((*w)->PlayStatus, 1);
        }
        // A path to nothing readable starts the program with a message, never reads the path
        // aloud and never waits on a pipe.
        const QString fifo = files.filePath(QStringLiteral("first.fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const struct
        {
            QString argument, message;
        } stray[] = {
            {files.filePath(QStringLiteral("notes/helo.txt")), QStringLiteral("does not exist")},
            {fifo, QStringLiteral("is not a regular file")},
        };
        for (const auto &s : stray) {
            dialogs.clearRecords();
            auto w = englishWindow(s.argument);
            QCOMPARE(w->result, ttsmain::LoadResult::Running);
            QCOMPARE((*w)->RichTextBox1->toPlainText(), QString());
            QCOMPARE((*w)->PlayStatus, 3);
            QTRY_COMPARE(dialogs.messages().size(), 1);
            QVERIFY2(dialogs.messages().first().text.contains(s.message),
                     qPrintable(dialogs.messages().first().text));
            QVERIFY(dialogs.messages().first().text.contains(s.argument));
        }
    }

    // A second start does what a first start does with the same argument, through the
    // running window.
    void secondStartsActAsFirstStarts()
    {
        FakeDialogs dialogs;
        auto w = englishWindow();
        ttsmain &win = **w;

        QDir(files.path()).mkpath(QStringLiteral("home"));
        const QString homeFolder = files.filePath(QStringLiteral("home"));
        const QString fifo = files.filePath(QStringLiteral("second.fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(
            QFile::link(QStringLiteral("/proc/self/pagemap"), files.filePath(QStringLiteral("pagemap.txt"))));
        const QString kept = writeFile("a b c.txt", "Handed over by a second start.");
        QVERIFY(QDir().mkpath(HandedFile::handOverFolder()));
        const QString handOver = HandedFile::handOverFolder() + QStringLiteral("/speak-1.txt");
        QFile handOverFile(handOver);
        QVERIFY(handOverFile.open(QIODevice::WriteOnly));
        handOverFile.write("Text from the word processor.");
        handOverFile.close();

        const QString unchanged = QStringLiteral("unchanged");
        const struct
        {
            const char *name;
            QString argument;
            int exitCode;
            QString document; // what the window then holds and reads; empty: left alone
            QString message;  // part of the message the window shows; empty: none
        } starts[] = {
            {"readable file, relative, with blanks", "a b c.txt", 0, "Handed over by a second start.", ""},
            {"text", "Good morning, everyone.", 0, "Good morning, everyone.", ""},
            {"hand-over file", handOver, 0, "Text from the word processor.", ""},
            {"missing file with a path", "notes/helo.txt", 1, "",
             "\"" + files.filePath(QStringLiteral("notes/helo.txt")) + "\" does not exist"},
            {"missing file in the home folder", "~/notes/helo.txt", 1, "",
             "\"" + homeFolder + "/notes/helo.txt\" does not exist"},
            {"FIFO", fifo, 1, "", "is not a regular file"},
            {"link to an endless kernel file", "pagemap.txt", 1, "", "is not a regular file"},
            {"device", "/dev/zero", 1, "", "is not a regular file"},
        };
        for (const auto &s : starts) {
            win.Command6_Click();
            win.RichTextBox1->setPlainText(unchanged);
            dialogs.clearRecords();
            QCOMPARE(secondStart(s.argument, files.path(), homeFolder), s.exitCode);
            if (s.document.isEmpty()) {
                QTRY_COMPARE(dialogs.messages().size(), 1);
                QVERIFY2(dialogs.messages().first().text.contains(s.message), s.name);
                QCOMPARE(win.RichTextBox1->toPlainText(), unchanged);
                QCOMPARE(win.PlayStatus, 3);
            } else {
                QTRY_COMPARE(win.RichTextBox1->toPlainText(), s.document);
                QTRY_COMPARE(win.PlayStatus, 1);
                QVERIFY2(dialogs.messages().isEmpty(), s.name);
            }
        }
        // Files handed over by the add-ins are removed once read; the user's own files stay.
        QVERIFY(!QFile::exists(handOver));
        QVERIFY(QFile::exists(kept));

        // The end marker ends the running copy, as it ends a first start.
        QCOMPARE(secondStart(Intake::endCommand(), files.path(), homeFolder), 0);
        QTRY_COMPARE(w->endCalls, 1);
    }

    void commandsFromOtherProcessesDriveTheRunningWindow()
    {
        auto w = englishWindow();
        ttsmain &win = **w;
        win.RichTextBox1->setPlainText(QStringLiteral("unchanged"));

        // Read, then the toggle twice (pause, resume), then stop.
        QCOMPARE(runCli({"send", "read", longText()}), 0);
        QTRY_COMPARE(win.PlayStatus, 1);
        QCOMPARE(win.RichTextBox1->toPlainText(), longText());
        QCOMPARE(runCli({"send", "toggle"}), 0);
        QTRY_COMPARE(win.PlayStatus, 2);
        QCOMPARE(runCli({"send", "toggle"}), 0);
        QTRY_COMPARE(win.PlayStatus, 1);
        QCOMPARE(runCli({"send", "stop"}), 0);
        QTRY_COMPARE(win.PlayStatus, 3);

        // Usage and a missing instance are told apart by the exit status.
        QCOMPARE(runCli({"send", "dance"}), 2);
        QCOMPARE(runCli({"send", "file", "/no/such/file.txt"}), 1);
    }

    void voiceChangeFromTheBrowserIsKeptForTheNextStart()
    {
        const QList<SpObjectToken> tokens = SpVoice::GetVoices();
        if (tokens.size() < 2)
            QSKIP("needs two Flite voices");
        QString listText;
        {
            auto w = englishWindow();
            ttsmain &win = **w;
            // The volume bar low while a generation-4 voice speaks; the command brings a
            // generation-5 voice, which must speak at the bar's volume as a pick would.
            win.VScroll1->setValue(20);
            const int position = listPosition(win, 5) + 1;
            listText = win.Combo1->itemText(position);
            const int index = VoiceCatalog::indexOf(win.Combo1->itemData(position).toInt());
            win.RichTextBox1->setPlainText(longText());
            win.Command5_Click();
            QCOMPARE(win.PlayStatus, 1);

            QCOMPARE(runCli({"send", "voice", listText}), 0);
            QTRY_COMPARE(win.windowTitle(), listText);
            QCOMPARE(win.PlayStatus, 3); // stopped, not restarted
            QCOMPARE(win.App.speech.SapiVersion, 5);
            QCOMPARE(win.App.speech.CurrentEngineIndex, index);
            QCOMPARE(win.VScroll2->value(), win.NewsVoice1->Rate() * 5 + 50);
            QCOMPARE(win.NewsVoice1->Volume(), 20);
            QCOMPARE(win.Combo1->currentText(), listText);
            QCOMPARE(win.ListClosed, true);
            RecordBytes expected;
            expected.string(listText).string(QStringLiteral("5"));
            QFile handOff(programFile(QStringLiteral("IEVoiceName.ini")));
            QVERIFY(handOff.open(QIODevice::ReadOnly));
            QCOMPARE(handOff.readAll(), expected.data());
            win.ExitAll();
        }
        auto next = std::make_unique<LoadedWindow>();
        QCOMPARE(next->app.speech.CurrentVoiceName, VoiceCatalog::nameWithoutSuffix(listText));

        // A malformed index changes no engine, but caption and hand-off file show what came.
        ttsmain &win = **next;
        const int before = win.App.speech.CurrentEngineIndex;
        win.FormDDE_LinkExecute(Marker + "-45x0000Nobody (TTS5.0)");
        QCOMPARE(win.windowTitle(), QStringLiteral("Nobody (TTS5.0)"));
        QCOMPARE(win.App.speech.CurrentEngineIndex, before);
        QFile handOff(programFile(QStringLiteral("IEVoiceName.ini")));
        QVERIFY(handOff.open(QIODevice::ReadOnly));
        QVERIFY(handOff.readAll().contains("Nobody (TTS5.0)"));
    }

    // Nothing a command carries may grow a caption, the list, a record or a message past what
    // the desktop takes; such commands are refused whole and change nothing.
    void commandsBeyondTheBoundsAreRefused()
    {
        FakeDialogs dialogs;
        auto w = englishWindow();
        ttsmain &win = **w;
        SingleInstance sender;
        const QString name = QStringLiteral(" (TTS5.0)");
        const auto voiceNamed = [&](const QString &text) { return Intake::voiceCommand(5, 0, text); };
        const QString atCap = QString(Intake::MaxVoiceTextLength - name.size(), QLatin1Char('v')) + name;
        QString fullText;
        while (fullText.size() < SingleInstance::MaxCommandBytes - Intake::PrefixLength)
            fullText += QStringLiteral("A line of a long text handed over at once.\n");
        fullText.truncate(SingleInstance::MaxCommandBytes - Intake::PrefixLength);

        using Delivery = SingleInstance::Delivery;
        const struct
        {
            const char *name;
            QString command;
            Delivery delivery;
        } commands[] = {
            {"voice name past the limit", voiceNamed(QString(Intake::MaxVoiceTextLength + 1, 'v')),
             Delivery::Refused},
            {"megabyte voice name", voiceNamed(QString(1000000, 'v')), Delivery::Refused},
            {"line break in a voice name", voiceNamed("Evil\nName (TTS5.0)"), Delivery::Refused},
            {"escape in a voice name", voiceNamed(QStringLiteral("Evil\x1b[2J (TTS5.0)")), Delivery::Refused},
            {"path longer than any path", "/" + QString(5000, 'p'), Delivery::Refused},
            {"line break in a path", "/tmp/a\nb.txt", Delivery::Refused},
            {"read command past the cap", Intake::readCommand(fullText + "x"), Delivery::Refused},
            {"voice name at the limit", voiceNamed(atCap), Delivery::Accepted},
            {"read command at the cap", Intake::readCommand(fullText), Delivery::Accepted},
        };
        const auto handOffRecord = [] {
            QFile file(programFile(QStringLiteral("IEVoiceName.ini")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        for (const auto &c : commands) {
            const QString title = win.windowTitle();
            const QString listText = win.Combo1->currentText();
            const QByteArray record = handOffRecord();
            QVERIFY2(deliverAside(sender, c.command) == c.delivery, c.name);
            if (c.delivery == Delivery::Refused) {
                QVERIFY2(win.windowTitle() == title, c.name);
                QVERIFY2(win.Combo1->currentText() == listText, c.name);
                QVERIFY2(handOffRecord() == record, c.name);
            }
        }
        QCOMPARE(win.windowTitle(), atCap);
        QCOMPARE(win.RichTextBox1->document()->characterCount() - 1, fullText.size());
        QCOMPARE(win.PlayStatus, 1);
        win.Command6_Click();
        // A sender that ignores the cap is refused by the receiver all the same.
        QLocalSocket raw;
        raw.connectToServer(sender.serverName());
        QVERIFY(raw.waitForConnected(3000));
        raw.write(frame(Intake::readCommand(fullText + "x").toUtf8()));
        QTRY_VERIFY(raw.bytesAvailable() > 0 || raw.state() == QLocalSocket::UnconnectedState);
        if (raw.bytesAvailable() > 0)
            QCOMPARE(raw.read(1), QByteArray(1, '\0'));
        QCOMPARE(win.PlayStatus, 3);
        // Refused commands leave no message behind.
        QCOMPARE(dialogs.messages().size(), 0);
    }

    void receiverSurvivesBadAndHeavyTraffic()
    {
        auto w = englishWindow();
        ttsmain &win = **w;
        // Rogue clients: random bytes, an empty frame, a frame that claims 2 GiB and stops.
        SingleInstance probe;
        const QString name = probe.serverName();
        QList<QLocalSocket *> rogues;
        const QByteArray rogueData[] = {
            QByteArray::fromHex("ffffffff00112233"),
            frame(QByteArray()),
            QByteArray::fromHex("00000080") + QByteArray(1000, 'x'),
        };
        for (const QByteArray &bytes : rogueData) {
            auto *socket = new QLocalSocket(this);
            socket->connectToServer(name);
            QVERIFY(socket->waitForConnected(3000));
            socket->write(bytes);
            socket->flush();
            rogues << socket;
        }
        QByteArray random(4096, '\0');
        for (char &c : random)
            c = char(QRandomGenerator::global()->bounded(256));
        auto *noise = new QLocalSocket(this);
        noise->connectToServer(name);
        QVERIFY(noise->waitForConnected(3000));
        noise->write(random);
        rogues << noise;

        // Meanwhile 1,000 well-formed commands in a row on one connection act in order.
        QLocalSocket client;
        client.connectToServer(name);
        QVERIFY(client.waitForConnected(3000));
        QByteArray burst;
        for (int i = 0; i < 1000; ++i)
            burst += frame(Intake::readCommand(QStringLiteral("Command %1.").arg(i)).toUtf8());
        client.write(burst);
        QTRY_COMPARE_WITH_TIMEOUT(client.bytesAvailable(), qint64(1000), 60000);
        QVERIFY(!client.readAll().contains('\0'));
        QCOMPARE(win.RichTextBox1->toPlainText(), QStringLiteral("Command 999."));
        win.Command6_Click();
        qDeleteAll(rogues);
    }

    // A desktop allows a program some 1,024 open files. A crowd of idle connections must not
    // use them up and shut the running Parlanto's door for good, nor may a removed socket.
    void theRunningInstanceOutlastsIdleConnectionsAndALostSocket()
    {
        rlimit limit = {};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        if (limit.rlim_max < 1400)
            QSKIP("this test needs to hold more than 1,100 connections");
        ChildParlanto child({});
        QVERIFY(child.process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(child.answers(), 20000);
        // This process needs more files than the child may have.
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 4096);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);

        const QString server = child.sender->serverName();
        std::vector<std::unique_ptr<QLocalSocket>> crowd;
        for (int i = 0; i < 1100; ++i) {
            crowd.push_back(std::make_unique<QLocalSocket>());
            crowd.back()->connectToServer(server);
            crowd.back()->waitForConnected(1000);
            if (i % 100 == 0)
                QCoreApplication::processEvents();
        }
        QVERIFY(deliverAside(*child.sender, Intake::readCommand(QStringLiteral("After the crowd."))) ==
                SingleInstance::Delivery::Accepted);
        crowd.clear();

        // Its socket removed behind its back, it listens anew within moments.
        QVERIFY(QFile::remove(server));
        QTRY_VERIFY_WITH_TIMEOUT(child.answers(), 5000);

        // The end command ends it, settings written, exit status 0.
        QVERIFY(deliverAside(*child.sender, Intake::endCommand()) == SingleInstance::Delivery::Accepted);
        QVERIFY(child.process.waitForFinished(20000));
        QCOMPARE(child.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.process.exitCode(), 0);
    }

    // Other users may read every process's command line: a text Parlanto was started with
    // does not stay there.
    void aStartedTextLeavesTheCommandLine()
    {
        const QString secret = QStringLiteral("Good morning, secret words.");
        ChildParlanto child({secret});
        QVERIFY(child.process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(child.answers(), 20000);
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(child.process.processId()));
        QVERIFY(commandLine.open(QIODevice::ReadOnly));
        const QByteArray shown = commandLine.readAll();
        QVERIFY(shown.startsWith(QFile::encodeName(QStringLiteral(PARLANTO_BIN))));
        QVERIFY2(!shown.contains("secret"), shown.constData());
        QVERIFY(deliverAside(*child.sender, Intake::endCommand()) == SingleInstance::Delivery::Accepted);
        QVERIFY(child.process.waitForFinished(20000));
    }
};

QTEST_MAIN(TestIntake)
#include "test_intake.moc"
