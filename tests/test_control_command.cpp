// test-links: parlanto_desktop
#include "desktop/control_command.h"
#include "desktop/intake_command.h"

#include <QtTest>

// Control requests share the socket with the reading commands; no reading command, however it
// is made, may be taken for one, and each request survives the trip as itself.

using ControlCommand::Request;
using ControlCommand::Window;
using Kind = Request::Kind;
Q_DECLARE_METATYPE(std::optional<Request>)

class TestControlCommand : public QObject
{
    Q_OBJECT

private slots:
    void receivedStrings_data()
    {
        QTest::addColumn<QString>("received");
        QTest::addColumn<std::optional<Request>>("request");
        const QString nul(QChar(0));
        const std::optional<Request> none;
        // Reading commands and paths, including ones that spell a request's words.
        QTest::newRow("read") << Intake::readCommand(QStringLiteral("quit")) << none;
        QTest::newRow("read a NUL") << Intake::readCommand(nul + QStringLiteral("parlanto-control quit"))
                                    << none;
        QTest::newRow("toggle") << Intake::toggleCommand() << none;
        QTest::newRow("stop") << Intake::stopCommand() << none;
        QTest::newRow("voice") << Intake::voiceCommand(4, 1, QStringLiteral("English (TTS4.0)")) << none;
        QTest::newRow("end") << Intake::endCommand() << none;
        QTest::newRow("path quit") << QStringLiteral("quit") << none;
        QTest::newRow("path open batch") << QStringLiteral("/home/ann/open batch") << none;
        QTest::newRow("words without NUL") << QStringLiteral("parlanto-control quit") << none;
        // Requests, and near misses that are neither.
        const QString prefix = nul + QStringLiteral("parlanto-control ");
        QTest::newRow("quit") << prefix + QStringLiteral("quit") << std::optional(Request{Kind::Quit});
        QTest::newRow("open batch") << prefix + QStringLiteral("open batch")
                                    << std::optional(Request{Kind::Open, Window::Batch});
        QTest::newRow("open menu") << prefix + QStringLiteral("open menu")
                                   << std::optional(Request{Kind::Open, Window::Menu});
        QTest::newRow("unknown window") << prefix + QStringLiteral("open kitchen") << none;
        QTest::newRow("quit with more") << prefix + QStringLiteral("quit now") << none;
        QTest::newRow("open alone") << prefix + QStringLiteral("open") << none;
        QTest::newRow("NUL alone") << nul << none;
    }
    void receivedStrings()
    {
        QFETCH(QString, received);
        QFETCH(std::optional<Request>, request);
        QCOMPARE(ControlCommand::parse(received), request);
        if (request) {
            QCOMPARE(ControlCommand::command(*request), received);
        } else if (received.startsWith(Intake::Marker)) {
            // A reading command keeps its meaning.
            QVERIFY(Intake::classify(received) != Intake::Command::FilePath ||
                    received == Intake::endCommand());
        }
    }

    void everyWindowMakesTheTrip()
    {
        QCOMPARE(ControlCommand::windowNames().size(), int(Window::Menu) + 1);
        for (const QString &name : ControlCommand::windowNames()) {
            const Request request{Kind::Open, *ControlCommand::windowNamed(name)};
            QCOMPARE(ControlCommand::parse(ControlCommand::command(request)), std::optional(request));
            QCOMPARE(ControlCommand::fromStartArguments(QStringLiteral("--open ") + name),
                     std::optional(request));
        }
    }

    void startArguments_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<std::optional<Request>>("request");
        QTest::newRow("quit") << "--quit" << std::optional(Request{Kind::Quit});
        QTest::newRow("clipboard") << "--speak-clipboard" << std::optional(Request{Kind::SpeakClipboard});
        QTest::newRow("open") << "--open slide" << std::optional(Request{Kind::Open, Window::Slide});
        // Everything else stays a file or a text to read.
        QTest::newRow("text") << "Good morning" << std::optional<Request>();
        QTest::newRow("unknown window") << "--open kitchen" << std::optional<Request>();
        QTest::newRow("open alone") << "--open" << std::optional<Request>();
        QTest::newRow("quit in a sentence") << "--quit now" << std::optional<Request>();
        QTest::newRow("empty") << "" << std::optional<Request>();
    }
    void startArguments()
    {
        QFETCH(QString, commandLine);
        QFETCH(std::optional<Request>, request);
        QCOMPARE(ControlCommand::fromStartArguments(commandLine), request);
    }
};

QTEST_GUILESS_MAIN(TestControlCommand)
#include "test_control_command.moc"
