#include "app/ttsmain.h"
#include "desktop/intake_command.h"
#include "platform/program_folder.h"
#include "platform/single_instance.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"
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
#include <QtEndian>
#include <QtTest>

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

// A second start of Parlanto itself, with one argument.
int secondStart(const QString &argument, const QString &workingFolder = QString())
{
    QProcess parlanto;
    if (!workingFolder.isEmpty())
        parlanto.setWorkingDirectory(workingFolder);
    QSignalSpy finished(&parlanto, &QProcess::finished);
    parlanto.start(QStringLiteral(PARLANTO_BIN), {argument});
    if (!finished.wait(30000))
        return -1;
    return parlanto.exitStatus() == QProcess::NormalExit ? parlanto.exitCode() : -1;
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
    QString writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(files.filePath(name));
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
            {Marker + "-3", Command::FilePath, ""},
            {Marker + "_4", Command::FilePath, ""},
            {Marker.toLower() + "_1hello", Command::FilePath, "hello"},
            {Marker.left(31) + "_1", Command::FilePath, ""},
            {"/home/me/My Notes/a b.txt", Command::FilePath, "txt"},
            {"", Command::FilePath, ""},
        };
        for (const auto &c : commands) {
            QCOMPARE(Intake::classify(c.command), c.kind);
            if (c.kind != Command::FilePath)
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
            {"program", "", Kind::Nothing, "", false},
            {"", "x", Kind::Nothing, "", false},
        };
        for (const auto &s : starts) {
            const Intake::StartAction action = Intake::startAction(s.mode, s.line);
            QCOMPARE(action.kind, s.kind);
            QCOMPARE(action.text, s.text);
            QCOMPARE(action.fromOtherProgram, s.fromOther);
        }

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
            auto w = englishWindow(Marker + "_1Read this aloud please.");
            QCOMPARE((*w)->RichTextBox1->toPlainText(), QStringLiteral("Read this aloud please."));
            QCOMPARE((*w)->PlayStatus, 1);
        }
        {
            const QString path = writeFile("my notes file.txt", "Text of a file with blanks in its name.");
            auto w = englishWindow(path);
            QCOMPARE((*w)->App.StartMode, QStringLiteral("explorer"));
            QCOMPARE((*w)->RichTextBox1->toPlainText(),
                     QStringLiteral("Text of a file with blanks in its name."));
            QCOMPARE((*w)->PlayStatus, 1);
        }
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

        // A second start with a path (with blanks, relative to its own folder) hands it over.
        const QString path = writeFile("a b c.txt", "Handed over by a second start.");
        QCOMPARE(secondStart(QStringLiteral("a b c.txt"), files.path()), 0);
        QTRY_COMPARE(win.RichTextBox1->toPlainText(), QStringLiteral("Handed over by a second start."));
        QTRY_COMPARE(win.PlayStatus, 1);
        QCOMPARE(runCli({"send", "stop"}), 0);
        QTRY_COMPARE(win.PlayStatus, 3);

        // Paths that name no readable file, a device among them, leave the document alone.
        for (const QString &stray :
             {QStringLiteral("/no/such/file.txt"), QStringLiteral("/dev/zero"), QStringLiteral("/tmp")}) {
            QVERIFY(win.FormDDE_LinkExecute(stray));
            QCOMPARE(win.RichTextBox1->toPlainText(), QStringLiteral("Handed over by a second start."));
            QCOMPARE(win.PlayStatus, 3);
        }

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

        // A 20 MB read command (a long document of ordinary lines) is taken whole.
        QString big;
        const QString line = QStringLiteral("A line of a very long document handed over at once.\n");
        while (big.size() < 20 * 1024 * 1024)
            big += line;
        client.write(frame(Intake::readCommand(big).toUtf8()));
        QTRY_COMPARE_WITH_TIMEOUT(client.bytesAvailable(), qint64(1), 60000);
        QCOMPARE(win.RichTextBox1->document()->characterCount() - 1, big.size());
        win.Command6_Click();
        qDeleteAll(rogues);
    }
};

QTEST_MAIN(TestIntake)
#include "test_intake.moc"
