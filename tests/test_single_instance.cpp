// test-links: parlanto_platform
#include "platform/single_instance.h"
#include "support/test_home.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <future>
#include <memory>
#include <thread>

#include <cstdio>
#include <sys/stat.h>

// Sends from another thread: the receiving instance lives on this thread and needs its
// event loop running while the sender waits for the reply.
static bool sendAside(const SingleInstance &sender, const QString &command)
{
    auto pending = std::async(std::launch::async, [&] { return sender.send(command, 5000); });
    while (pending.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return pending.get();
}

static QByteArray frame(quint32 length, const QByteArray &payload)
{
    char header[4];
    qToLittleEndian<quint32>(length, header);
    return QByteArray(header, 4) + payload;
}

// Writes raw bytes to the instance and returns its one-byte reply, or -1 when it hung up
// without one.
static int rawExchange(const QString &server, const QByteArray &bytes, bool closeWrite = false)
{
    QLocalSocket socket;
    socket.connectToServer(server);
    if (!socket.waitForConnected(2000))
        return -2;
    socket.write(bytes);
    socket.flush();
    if (closeWrite) {
        socket.disconnectFromServer();
        return -1;
    }
    QDeadlineTimer deadline(8000);
    while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState &&
           !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (socket.bytesAvailable() < 1)
        return -1;
    char reply = 0;
    socket.read(&reply, 1);
    return reply;
}

class TestSingleInstance : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;
    QTemporaryDir runtime;

private slots:
    void initTestCase()
    {
        home = std::make_unique<TestHome>();
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("PARLANTO_INSTANCE", QByteArray::number(QCoreApplication::applicationPid()));
    }

    void onlyTheFirstAcquires()
    {
        auto first = std::make_unique<SingleInstance>();
        SingleInstance second;
        QVERIFY(first->acquire());
        QVERIFY(first->acquire()); // asking again changes nothing
        QVERIFY(!second.acquire());

        // Names are per user and per PARLANTO_INSTANCE; the lock guards the program folder and
        // lives there, the socket is in the runtime folder.
        const QString expected =
            QStringLiteral("ttsparl-FormDDE-%1-%2").arg(::geteuid()).arg(QCoreApplication::applicationPid());
        QCOMPARE(first->lockFilePath(), home->file(expected + QStringLiteral(".lock")));
        QCOMPARE(first->serverName(), runtime.filePath(expected + QStringLiteral(".socket")));
        QVERIFY(QFile::exists(first->lockFilePath()));
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(first->serverName()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0077), 0); // nobody but the user may connect

        // A different instance name does not collide.
        qputenv("PARLANTO_INSTANCE", "other");
        SingleInstance elsewhere;
        QVERIFY(elsewhere.acquire());
        qputenv("PARLANTO_INSTANCE", QByteArray::number(QCoreApplication::applicationPid()));

        // When the first ends, the next may take over.
        first.reset();
        QVERIFY(second.acquire());
    }

    void commandsReachTheFirstInstance()
    {
        SingleInstance first;
        QVERIFY(first.acquire());
        QStringList handled;
        first.setHandler([&](const QString &command) {
            handled.append(command);
            return !command.startsWith(QStringLiteral("refuse"));
        });
        QSignalSpy received(&first, &SingleInstance::commandReceived);
        SingleInstance later;
        QVERIFY(!later.acquire());

        const QString unicode = QString::fromUtf16(u"read \uAD74\uB9BC \u00E9 \U0001F600");
        QVERIFY(sendAside(later, QStringLiteral("-1c:\\docs\\a b.txt")));
        QVERIFY(sendAside(later, unicode));
        QVERIFY(!sendAside(later, QStringLiteral("refuse this")));
        // The empty command asks the first to show itself; the handler never sees it.
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        QVERIFY(sendAside(later, QString()));
        QCOMPARE(shown.count(), 1);
        QCOMPARE(handled, QStringList({QStringLiteral("-1c:\\docs\\a b.txt"), unicode,
                                       QStringLiteral("refuse this")}));
        QCOMPARE(received.count(), 3);
        QCOMPARE(received.at(1).at(0).toString(), unicode);
    }

    void anotherRuntimeFolderStillFindsTheFirst()
    {
        SingleInstance first;
        QVERIFY(first.acquire());
        QStringList handled;
        first.setHandler([&](const QString &command) {
            handled.append(command);
            return true;
        });
        QTemporaryDir otherRuntime;
        const QByteArray stableFallback =
            QFile::encodeName(QDir::tempPath() + QStringLiteral("/parlanto-") + QString::number(::geteuid()));
        for (const QByteArray &folder : {otherRuntime.path().toLocal8Bit(), QByteArray()}) {
            if (folder.isEmpty())
                qunsetenv("XDG_RUNTIME_DIR");
            else
                qputenv("XDG_RUNTIME_DIR", folder);
            SingleInstance later;
            QVERIFY(!later.acquire());
            QVERIFY(sendAside(later, QString::fromLatin1("from " + folder)));
            if (folder.isEmpty()) {
                // Without a runtime folder: one fixed private folder, never a fresh one.
                QCOMPARE(QFile::encodeName(later.serverName()).left(stableFallback.size()), stableFallback);
                QCOMPARE(SingleInstance().serverName(), later.serverName());
                struct stat info = {};
                QCOMPARE(::stat(stableFallback.constData(), &info), 0);
                QCOMPARE(int(info.st_mode & 0777), 0700);
            }
        }
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QCOMPARE(handled,
                 QStringList({QStringLiteral("from ") + otherRuntime.path(), QStringLiteral("from ")}));
    }

    void pendingBytesOverAllConnectionsAreCapped()
    {
        SingleInstance first;
        QVERIFY(first.acquire());
        first.setMaxPendingBytes(1000000);
        QStringList handled;
        first.setHandler([&](const QString &command) {
            handled.append(command.left(1));
            return true;
        });
        // Three senders announce commands and hold back their last bytes. Only the big one can
        // take the total over the cap, so it is the one dropped, whatever order they arrive in.
        const auto startSender = [&](QLocalSocket &socket, int length, int sent, char fill) {
            socket.connectToServer(first.serverName());
            QVERIFY(socket.waitForConnected(2000));
            socket.write(frame(quint32(length), QByteArray(sent, fill)));
        };
        QLocalSocket small1, big, small2;
        startSender(small1, 100010, 100000, 'a');
        startSender(big, 900010, 900000, 'b');
        startSender(small2, 100010, 100000, 'c');
        QTRY_COMPARE(big.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(small1.state(), QLocalSocket::ConnectedState);
        QCOMPARE(small2.state(), QLocalSocket::ConnectedState);

        small1.write(QByteArray(10, 'a'));
        QTRY_COMPARE(small1.bytesAvailable(), qint64(1));
        QCOMPARE(small1.read(1), QByteArray(1, '\x01'));
        QCOMPARE(handled, QStringList{QStringLiteral("a")});
    }

    void badMessagesAreDroppedAndTheServerCarriesOn()
    {
        SingleInstance first;
        QVERIFY(first.acquire());
        QStringList handled;
        first.setHandler([&](const QString &command) {
            handled.append(command);
            return true;
        });
        const QString server = first.serverName();

        QCOMPARE(rawExchange(server, frame(SingleInstance::MaxCommandBytes + 1, "x")), 0);
        QCOMPARE(rawExchange(server, frame(0xFFFFFFFFu, QByteArray())), 0);
        QCOMPARE(rawExchange(server, frame(4, QByteArray("\xFF\xFE\xC3\x28", 4))), 0);
        // A sender that hangs up mid-command is forgotten.
        rawExchange(server, frame(100, QByteArray(10, 'a')), true);
        // Two commands on one connection are both handled, also when the sender hangs up at once.
        QCOMPARE(rawExchange(server, frame(3, "one") + frame(3, "two")), 1);
        QTRY_COMPARE(handled.size(), 2);
        rawExchange(server, frame(5, "three") + frame(4, "four"), true);
        QTRY_COMPARE(handled.size(), 4);

        // A command that is too large is refused by the sender before it is sent.
        SingleInstance later;
        QVERIFY(!sendAside(later, QString(SingleInstance::MaxCommandBytes + 1, QLatin1Char('x'))));
        QVERIFY(sendAside(later, QStringLiteral("still here")));
        QCOMPARE(handled, QStringList({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"),
                                       QStringLiteral("four"), QStringLiteral("still here")}));
    }

    void stalledSendersAreCutOff()
    {
        SingleInstance first;
        QVERIFY(first.acquire());
        QLocalSocket socket;
        socket.connectToServer(first.serverName());
        QVERIFY(socket.waitForConnected(2000));
        socket.write(frame(50, "only part"));
        socket.flush();
        QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QLocalSocket::UnconnectedState,
                                 SingleInstance::ReadTimeoutMs + 3000);
        SingleInstance later;
        QVERIFY(sendAside(later, QStringLiteral("next")));
    }

    // The holder takes its instance in acquire(), or as the program starts: taken ahead on
    // another thread, then adopted by acquire().
    void aKilledInstanceDoesNotBlockTheNext_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("acquired") << QStringLiteral("--hold-instance");
        QTest::newRow("taken ahead") << QStringLiteral("--hold-instance-ahead");
    }

    void aKilledInstanceDoesNotBlockTheNext()
    {
        QFETCH(QString, mode);
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {mode});
        QVERIFY(holder.waitForStarted());
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += holder.readAllStandardOutput()).contains("ready"), 10000);

        // While it lives, it is the first instance and answers commands.
        SingleInstance later;
        QVERIFY(!later.acquire());
        QVERIFY(sendAside(later, QStringLiteral("hello")));

        holder.kill(); // SIGKILL: no chance to clean up
        QVERIFY(holder.waitForFinished());
        QVERIFY(QFile::exists(later.lockFilePath()));
        QVERIFY(QFile::exists(later.serverName()));

        SingleInstance next;
        QVERIFY(next.acquire());
        QVERIFY(sendAside(later, QStringLiteral("to the new first")));
    }
};

// Helper mode: hold the instance until killed.
static int holdInstance(int argc, char **argv, bool ahead)
{
    if (ahead)
        std::thread([] { SingleInstance::acquireAhead(); }).join();
    QCoreApplication app(argc, argv);
    SingleInstance instance;
    if (!instance.acquire())
        return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--hold-instance") == 0)
        return holdInstance(argc, argv, false);
    if (argc > 1 && qstrcmp(argv[1], "--hold-instance-ahead") == 0)
        return holdInstance(argc, argv, true);
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_single_instance.moc"
