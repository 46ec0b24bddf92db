#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "tools/updatewin.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// The vendor's site as the test wants it: fixed responses by path, served whole, cut off
// half-way through the body, or stalled after the first tenth of it.
class Site : public QObject
{
public:
    enum class Mode
    {
        Whole,
        DropHalfway,
        Stall,
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
    void serve(const QByteArray &path, const Page &page) { m_pages.insert(path, page); }

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
        }
    }
    void answer(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> words = request.split(' ');
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
        QTRY_COMPARE(w.endCalls, 1);
        QCOMPARE(win->Label20->text(), QStringLiteral("100%"));
        QCOMPARE(win->Label4->width(), win->Label40->width());
        QTRY_VERIFY(QFileInfo::exists(file("marker")));
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
};

QTEST_MAIN(TestUpdatewin)
#include "test_updatewin.moc"
