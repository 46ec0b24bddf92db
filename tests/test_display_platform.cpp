// test-links: parlanto_platform
#include "platform/display_platform.h"

#include <QtTest>

// Which display platform Parlanto asks Qt for, by session.
class TestDisplayPlatform : public QObject
{
    Q_OBJECT

private slots:
    void platformBySession_data()
    {
        QTest::addColumn<QString>("qpa");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("x11");
        QTest::addColumn<QString>("session");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QStringList none;
        QTest::newRow("X11 session") << ""
                                     << ""
                                     << ":0"
                                     << "x11" << none << "";
        QTest::newRow("Wayland with XWayland") << ""
                                               << "wayland-0"
                                               << ":0"
                                               << "wayland" << none << "xcb";
        QTest::newRow("Wayland display, no session type") << ""
                                                          << "wayland-0"
                                                          << ":1"
                                                          << "" << none << "xcb";
        QTest::newRow("Wayland session type only") << ""
                                                   << ""
                                                   << ":0"
                                                   << "wayland" << none << "xcb";
        QTest::newRow("Wayland without X") << ""
                                           << "wayland-0"
                                           << ""
                                           << "wayland" << none << "";
        QTest::newRow("the user's variable") << "wayland"
                                             << "wayland-0"
                                             << ":0"
                                             << "wayland" << none << "";
        QTest::newRow("the user's option")
            << ""
            << "wayland-0"
            << ":0"
            << "wayland" << QStringList{QStringLiteral("-platform"), QStringLiteral("wayland")} << "";
        QTest::newRow("no display at all") << ""
                                           << ""
                                           << ""
                                           << "tty" << none << "";
    }
    void platformBySession()
    {
        QFETCH(QString, qpa);
        QFETCH(QString, wayland);
        QFETCH(QString, x11);
        QFETCH(QString, session);
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QCOMPARE(preferredDisplayPlatform({qpa, wayland, x11, session, arguments}), expected);
    }
};

QTEST_GUILESS_MAIN(TestDisplayPlatform)
#include "test_display_platform.moc"
