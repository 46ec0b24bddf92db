#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "tools/updatewin.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// The vendor's site as the test wants it: fixed responses by path, served whole, cut off
// half-way through the body, or stalled after the first tenth of it; or, as a hostile server
// does, the head followed by a body that never ends (chunked, or raw whatever the head
// announced), or the body dripped a byte at a time.
class Site : public QObject
{
public:
    enum class Mode
    {
        Whole,
        DropHalfway,
        Stall,
        EndlessChunked,
        EndlessRaw,
        Drip,
    };
    struct Page
    {
        QByteArray raw;
        Mode mode = Mode::Whole;
    };

    bool start()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &Site::accept);
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QByteArray address() const { return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()); }
    quint16 port() const { return m_server.serverPort(); }
    void serve(const QByteArray &path, const Page &page) { m_pages.insert(path, page); }
    // Body bytes handed to the network so far, and the requests by path.
    qint64 bytesSent = 0;
    QHash<QByteArray, int> requests;

    static QByteArray response(const QByteArray &body, int status = 200, bool withLength = true)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Error") +
                          "\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n";
        if (withLength)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        return head + "\r\n" + body;
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            // A later connection may get the same address: it must not find this one's request.
            connect(socket, &QObject::destroyed, this, [this, socket] { m_requests.remove(socket); });
        }
    }
    void answer(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> words = request.split(' ');
        ++requests[words.value(1)];
        const Page page = m_pages.value(words.value(1), Page{response("not here", 404)});
        const qsizetype bodyStart = page.raw.indexOf("\r\n\r\n") + 4;
        const qsizetype bodySize = page.raw.size() - bodyStart;
        switch (page.mode) {
        case Mode::Whole:
            socket->write(page.raw);
            socket->disconnectFromHost();
            break;
        case Mode::DropHalfway:
            socket->write(page.raw.left(bodyStart + bodySize / 2));
            socket->disconnectFromHost();
            break;
        case Mode::Stall:
            socket->write(page.raw.left(bodyStart + bodySize / 10));
            break;
        case Mode::EndlessChunked:
        case Mode::EndlessRaw: {
            const bool chunked = page.mode == Mode::EndlessChunked;
            socket->write(page.raw.left(bodyStart));
            // Topped up as fast as the reader takes it, for as long as the connection stands.
            const auto topUp = [this, socket, chunked] {
                static const QByteArray piece(64 * 1024, 'x');
                while (socket->state() == QAbstractSocket::ConnectedState &&
                       socket->bytesToWrite() < 256 * 1024) {
                    socket->write(chunked ? "10000\r\n" + piece + "\r\n" : piece);
                    bytesSent += piece.size();
                }
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
            topUp();
            break;
        }
        case Mode::Drip: {
            socket->write(page.raw.left(bodyStart));
            auto *drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [this, socket, body = page.raw.mid(bodyStart)] {
                if (bytesSent < body.size())
                    socket->write(body.mid(bytesSent++, 1));
            });
            drip->start(200);
            break;
        }
        }
    }

    QTcpServer m_server;
    QHash<QByteArray, Page> m_pages;
    QHash<QTcpSocket *, QByteArray> m_requests;
};

// A stand-in installer: a script that leaves a marker in the folder it is started in.
const QByteArray Installer = "#!/bin/sh\necho installed > marker\n# " + QByteArray(200000, 'x') + "\n";

QByteArray versionFile(const QByteArray &version, const QByteArray &installer)
{
    return version + "\r\n" + QCryptographicHash::hash(installer, QCryptographicHash::Sha256).toHex() +
           "\r\n";
}

QByteArray redirect(const QByteArray &location)
{
    return "HTTP/1.1 302 Found\r\nConnection: close\r\nLocation: " + location +
           "\r\nContent-Length: 0\r\n\r\n";
}

// Real message boxes, as the user sees them: each is recorded, left open for a while (the
// network keeps running meanwhile) and then answered with its default button.
struct BoxAnswerer
{
    explicit BoxAnswerer(int holdMs)
    {
        QObject::connect(&poll, &QTimer::timeout, [this, holdMs] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (box != current) {
                current = box;
                texts.append(box->text());
                shown.start();
                onShown();
            } else if (shown.elapsed() >= holdMs) {
                onAnswered();
                box->defaultButton()->click();
            }
        });
        poll.start(20);
    }
    QTimer poll;
    QPointer<QMessageBox> current;
    QElapsedTimer shown;
    QStringList texts;
    std::function<void()> onShown = [] {};
    std::function<void()> onAnswered = [] {};
};

} // namespace

Q_DECLARE_METATYPE(Site::Mode)

class TestUpdatewin : public QObject
{
    Q_OBJECT
    TestHome home;
    Site site;

    updatewin *open(LoadedWindow &w)
    {
        updatewin *win = w->ShowUpdateWindow();
        win->activateWindow();
        return win;
    }
    void click(QPushButton *button)
    {
        QVERIFY(button->isVisible());
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QString file(const char *name) const { return home.file(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("updateTest") + QByteArray::number(QCoreApplication::applicationPid()));
        QVERIFY(site.start());
        qputenv("PARLANTO_SITE", site.address());
    }
    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        QFile::remove(file("marker"));
        QFile::remove(file("tempsetup.exe"));
    }

    void sameVersionFindsNothingAndOnlyCloseCloses()
    {
        site.serve("/update/updateinfo.ini", {Site::response(versionFile("1.71", Installer))});
        FakeDialogs dialogs;
        LoadedWindow w;
        QFile stale(file("newversion.ini"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QPointer<updatewin> win = open(w);
        QVERIFY(!QFileInfo::exists(file("newversion.ini")));
        QCOMPARE(win->windowTitle(), QStringLiteral("Update Online - Parlanto"));
        QCOMPARE(win->Label1->text(), QStringLiteral("Current version 1.71"));
        QCOMPARE(win->Label2->text(), QStringLiteral("Click \"Check\" button"));
        QVERIFY(!win->Command5->isVisible());
        QVERIFY(!win->Command1->isVisible());
        QVERIFY(!win->Label5->isVisible());

        // Alt+C is the Check button.
        QVERIFY(QTest::qWaitForWindowActive(win));
        QTest::keyClick(win, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(win->Label5->isVisible());
        QCOMPARE(win->Label5->text(), QStringLiteral("No new version"));
        QCOMPARE(win->Label2->text(), QStringLiteral("Request has been handled"));
        QVERIFY(!win->Command5->isVisible());
        QVERIFY(QFileInfo::exists(file("newversion.ini")));

        // Closing by the window manager is refused but still removes the version file.
        win->close();
        QVERIFY(win->isVisible());
        QVERIFY(!QFileInfo::exists(file("newversion.ini")));

        click(win->Command8);
        QTRY_VERIFY(win.isNull());
        QVERIFY(dialogs.messages().isEmpty());
        QCOMPARE(w.endCalls, 0);
    }

    void newerVersionIsDownloadedVerifiedAndRun()
    {
        // A comma-decimal locale must not change how versions compare.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        site.serve("/update/updateinfo.ini", {Site::response(versionFile("1.80", Installer))});
        site.serve("/update/updatec.exe", {Site::response(Installer)});
        FakeDialogs dialogs;
        LoadedWindow w;
        updatewin *win = open(w);
        QFile::remove(file("stts.ini"));
        QFile::remove(file("swin.ini"));

        click(win->Command4);
        QTRY_VERIFY(win->Label5->isVisible());
        QCOMPARE(win->Label5->text(), QStringLiteral("Found new version 1.80"));
        QVERIFY(win->Label6->isVisible());
        QCOMPARE(win->Label6->text(), QStringLiteral("Click \"Update\" button"));
        QVERIFY(win->Label8->isVisible());
        QVERIFY(win->Command1->isVisible());

        click(win->Command5);
        QVERIFY(!win->Command4->isEnabled());
        // A download, a hash and a process start: on a loaded machine this takes longer than the
        // usual wait.
        QTRY_COMPARE_WITH_TIMEOUT(w.endCalls, 1, 30000);
        QCOMPARE(win->Label20->text(), QStringLiteral("100%"));
        QCOMPARE(win->Label4->width(), win->Label40->width());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(file("marker")), 30000);
        const QFileInfo installer(file("tempsetup.exe"));
        QCOMPARE(installer.size(), Installer.size());
        QCOMPARE(installer.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // The program's last changes are kept before it ends.
        QVERIFY(QFileInfo::exists(file("stts.ini")));
        QVERIFY(QFileInfo::exists(file("swin.ini")));
        QVERIFY(dialogs.messages().isEmpty());
    }

    void exitAllStopsADownloadAndClosesTheWindow()
    {
        site.serve("/update/updateinfo.ini", {Site::response(versionFile("1.80", Installer))});
        site.serve("/update/updatec.exe", {Site::response(Installer), Site::Mode::Stall});
        FakeDialogs dialogs;
        LoadedWindow w;
        QPointer<updatewin> win = open(w);
        click(win->Command4);
        QTRY_VERIFY(win->Command5->isVisible());
        click(win->Command5);
        QTRY_COMPARE(win->Label20->text(), QStringLiteral("10%"));

        w->ExitAll();
        QVERIFY(win.isNull() || !win->isVisible());
        QCOMPARE(w.endCalls, 1);
        QTRY_VERIFY(win.isNull());
        QVERIFY(!QFileInfo::exists(file("marker")));
        QVERIFY(dialogs.messages().isEmpty());
    }

    void failedUpdatesRunNothing_data()
    {
        QTest::addColumn<QByteArray>("versionPage");
        QTest::addColumn<QByteArray>("installerPage");
        QTest::addColumn<Site::Mode>("installerMode");
        QTest::addColumn<QString>("message"); // the message box shown, empty for none
        QTest::addColumn<QString>("state");   // Label2 at the end, empty to skip

        const QString sorry = QStringLiteral("Sorry, maybe you do not connect to Internet or an error has "
                                             "occurred on the author's website, please try after a while");
        const QString unverified = QStringLiteral(
            "The update could not be verified, so it has been removed and not run. Please try after a while");
        const QByteArray good = Site::response(versionFile("1.80", Installer));
        const QByteArray tampered = Installer + "echo tampered >> marker\n";
        QTest::newRow("tampered installer") << good << Site::response(tampered) << Site::Mode::Whole
                                            << unverified << "Request has been handled";
        QTest::newRow("no hash line") << Site::response("1.80\r\n") << Site::response(Installer)
                                      << Site::Mode::Whole << unverified << "";
        QTest::newRow("error page as version file") << Site::response("<html><body>Oops</body></html>\n")
                                                    << QByteArray() << Site::Mode::Whole << sorry << "";
        QTest::newRow("server error") << Site::response("1.80\n", 500) << QByteArray() << Site::Mode::Whole
                                      << sorry << "Unable to Connect to Server";
        QTest::newRow("connection dropped")
            << good << Site::response(Installer) << Site::Mode::DropHalfway << ""
            << "Unable to Connect to Server";
        QTest::newRow("no size") << good << Site::response(Installer, 200, false) << Site::Mode::Whole
                                 << sorry << "";
        QTest::newRow("stopped") << good << Site::response(Installer) << Site::Mode::Stall << ""
                                 << "";
    }
    void failedUpdatesRunNothing()
    {
        QFETCH(QByteArray, versionPage);
        QFETCH(QByteArray, installerPage);
        QFETCH(Site::Mode, installerMode);
        QFETCH(QString, message);
        QFETCH(QString, state);
        site.serve("/update/updateinfo.ini", {versionPage});
        site.serve("/update/updatec.exe", {installerPage, installerMode});
        FakeDialogs dialogs;
        LoadedWindow w;
        QPointer<updatewin> win = open(w);

        click(win->Command4);
        QTRY_VERIFY(win->Command4->isEnabled());
        if (!installerPage.isEmpty()) {
            QCOMPARE(win->Label5->text(), QStringLiteral("Found new version 1.80"));
            click(win->Command5);
            if (installerMode == Site::Mode::Stall) {
                QTRY_COMPARE(win->Label20->text(), QStringLiteral("10%"));
                click(win->Command1);
            }
            QTRY_VERIFY(win->Command4->isEnabled());
            QCOMPARE(win->Label20->text(), QStringLiteral("0%"));
            QVERIFY(!win->Label4->isVisible());
            // Only a stop leaves the partial download, and it stays unrun.
            QCOMPARE(QFileInfo::exists(file("tempsetup.exe")), installerMode == Site::Mode::Stall);
        } else {
            QVERIFY(!win->Command5->isVisible());
            QVERIFY(!QFileInfo::exists(file("newversion.ini")));
        }
        QTRY_COMPARE(dialogs.messages().size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(dialogs.messages().constFirst().text, message);
            QCOMPARE(dialogs.messages().constFirst().title, QStringLiteral("Update Online - Parlanto"));
        }
        if (!state.isEmpty())
            QCOMPARE(win->Label2->text(), state);
        QCOMPARE(w.endCalls, 0);
        QVERIFY(!QFileInfo::exists(file("marker")));

        click(win->Command8);
        QTRY_VERIFY(win.isNull());
        QVERIFY(!QFileInfo::exists(file("newversion.ini")));
    }

    // Hostile servers: a body without end, a size beyond any installer, a byte every now and
    // then, redirects away from the site. Each ends in bounded time and memory with the
    // window's failure outcome, and nothing is run.
    void hostileSitesEndWithinBounds_data()
    {
        QTest::addColumn<QByteArray>("versionPath"); // what Check asks for, as the site answers
        QTest::addColumn<QByteArray>("versionPage");
        QTest::addColumn<Site::Mode>("versionMode");
        QTest::addColumn<QByteArray>("installerPage");
        QTest::addColumn<Site::Mode>("installerMode");
        QTest::addColumn<QString>("message"); // the box shown, empty for none
        QTest::addColumn<QString>("state");   // Label2 (or Label5 without an installer) at the end

        const QString sorry = QStringLiteral("Sorry, maybe you do not connect to Internet or an error has "
                                             "occurred on the author's website, please try after a while");
        const QString unverified = QStringLiteral(
            "The update could not be verified, so it has been removed and not run. Please try after a while");
        const QString unable = QStringLiteral("Unable to Connect to Server");
        const QByteArray good = Site::response(versionFile("1.80", Installer));
        const QByteArray chunkedHead =
            "HTTP/1.1 200 OK\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n";
        const QByteArray hugeHead =
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1099511627776\r\n\r\n";
        const QByteArray dripped = Site::response(QByteArray(100, '1'));
        const QByteArray v = "/update/updateinfo.ini";
        const Site::Mode whole = Site::Mode::Whole;

        QTest::newRow("endless version file")
            << v << chunkedHead << Site::Mode::EndlessChunked << QByteArray() << whole << sorry << unable;
        QTest::newRow("version file larger than announced possible")
            << v << hugeHead << Site::Mode::EndlessRaw << QByteArray() << whole << sorry << unable;
        QTest::newRow("version file dripped")
            << v << dripped << Site::Mode::Drip << QByteArray() << whole << sorry << unable;
        QTest::newRow("endless installer without a size")
            << v << good << whole << chunkedHead << Site::Mode::EndlessChunked << sorry << "";
        QTest::newRow("installer larger than any installer")
            << v << good << whole << hugeHead << Site::Mode::EndlessRaw << unverified << "";
        QTest::newRow("installer dripped")
            << v << good << whole << dripped << Site::Mode::Drip << "" << unable;
        QTest::newRow("version file redirected to another port")
            << v << redirect("http://127.0.0.1:%other/update/updateinfo.ini") << whole << QByteArray()
            << whole << sorry << unable;
        QTest::newRow("installer redirected to another host")
            << v << good << whole << redirect("http://localhost:%port/moved/updatec.exe") << whole << ""
            << unable;
        QTest::newRow("redirect loop")
            << v << redirect("/update/updateinfo.ini") << whole << QByteArray() << whole << sorry << unable;
        QTest::newRow("redirect within the site is followed")
            << v << redirect("/update/v2.ini") << whole << QByteArray() << whole << ""
            << "No new version";
    }
    void hostileSitesEndWithinBounds()
    {
        QFETCH(QByteArray, versionPath);
        QFETCH(QByteArray, versionPage);
        QFETCH(Site::Mode, versionMode);
        QFETCH(QByteArray, installerPage);
        QFETCH(Site::Mode, installerMode);
        QFETCH(QString, message);
        QFETCH(QString, state);

        // Another site, where no redirect may lead; it would offer a newer version.
        Site other;
        QVERIFY(other.start());
        other.serve("/update/updateinfo.ini", {Site::response(versionFile("1.80", Installer))});
        const auto place = [&](QByteArray page) {
            return page.replace("%other", QByteArray::number(other.port()))
                .replace("%port", QByteArray::number(site.port()));
        };
        site.serve(versionPath, {place(versionPage), versionMode});
        site.serve("/update/v2.ini", {Site::response(versionFile("1.71", Installer))});
        site.serve("/update/updatec.exe", {place(installerPage), installerMode});
        site.serve("/moved/updatec.exe", {Site::response(Installer)});
        site.bytesSent = 0;
        site.requests.clear();

        // The deadline shortened: one second plus what the size takes at 1 MiB/s.
        update::TransferLimits limits;
        limits.deadlineFloorMs = 1000;
        limits.minimumBytesPerSecond = 1024 * 1024;
        // Real boxes, held open for a while: the sending must have stopped before one shows.
        BoxAnswerer boxes(600);
        qint64 sentWhileShown = -1;
        boxes.onShown = [&] { sentWhileShown = site.bytesSent; };
        boxes.onAnswered = [&] { sentWhileShown = site.bytesSent - sentWhileShown; };
        LoadedWindow w;
        QPointer<updatewin> win = open(w);
        win->setTransferLimits(limits);
        QElapsedTimer took;
        took.start();

        click(win->Command4);
        QTRY_VERIFY_WITH_TIMEOUT(win->Command4->isEnabled(), 10000);
        if (!installerPage.isEmpty()) {
            QCOMPARE(win->Label5->text(), QStringLiteral("Found new version 1.80"));
            click(win->Command5);
            QTRY_VERIFY_WITH_TIMEOUT(win->Command4->isEnabled(), 10000);
            QCOMPARE(win->Label20->text(), QStringLiteral("0%"));
            QVERIFY(!QFileInfo::exists(file("tempsetup.exe")));
        }
        QTRY_COMPARE(boxes.texts.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(boxes.texts.constFirst(), message);
            QTRY_VERIFY(!boxes.current);
            QVERIFY2(sentWhileShown < 1024 * 1024, QByteArray::number(sentWhileShown));
        }
        if (!state.isEmpty())
            QCOMPARE((installerPage.isEmpty() && message.isEmpty() ? win->Label5 : win->Label2)->text(),
                     state);
        QVERIFY2(took.elapsed() < 8000, QByteArray::number(took.elapsed()));
        QCOMPARE(other.requests.size(), 0);
        QCOMPARE(site.requests.value("/moved/updatec.exe"), 0);
        QCOMPARE(w.endCalls, 0);
        QVERIFY(!QFileInfo::exists(file("marker")));

        click(win->Command8);
        QTRY_VERIFY(win.isNull());
    }
};

QTEST_MAIN(TestUpdatewin)
#include "test_updatewin.moc"
