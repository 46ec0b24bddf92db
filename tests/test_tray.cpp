#include "app/tray_rules.h"
#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextCursor>
#include <QToolButton>
#include <QtTest>

// The tray icon's left click on the main window, and the clipboard watcher. The offscreen
// platform has no tray: the icon's clicks are handed to the window's handler directly.
class TestTray : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("trayTest") + QByteArray::number(QCoreApplication::applicationPid()));
        markFirstRunDone();
    }

    void tipIsFixedLengthButShownWithoutPadding()
    {
        QCOMPARE(fixedTrayTip(QStringLiteral("Parlanto")).size(), 64);
        QCOMPARE(shownTrayTip(fixedTrayTip(QStringLiteral("Parlanto, Left-click "))),
                 QStringLiteral("Parlanto, Left-click"));
        QCOMPARE(fixedTrayTip(QString(70, u'x')), QString(64, u'x'));
    }

    // Where a hidden normal window may come back, by the screen's height in pixels.
    void placementCheck_data()
    {
        QTest::addColumn<int>("screenHeight");
        QTest::addColumn<QList<int>>("ltwh");   // left, top, width, height in twips
        QTest::addColumn<QList<int>>("placed"); // left, top, maximised
        const auto px = [](int pixels) { return pixels * 15; };
        QTest::newRow("on screen") << 768 << QList<int>{px(100), px(50), 9000, 6000}
                                   << QList<int>{px(100), px(50), 0};
        QTest::newRow("negative edges") << 768 << QList<int>{-300, -15, 9000, 6000} << QList<int>{0, 0, 0};
        QTest::newRow("2400 wide") << 768 << QList<int>{px(10), px(10), 2400, 6000}
                                   << QList<int>{px(10), px(10), 1};
        QTest::newRow("360 high") << 768 << QList<int>{px(10), px(10), 9000, 360}
                                  << QList<int>{px(10), px(10), 1};
        QTest::newRow("2415 x 375") << 768 << QList<int>{px(10), px(10), 2415, 375}
                                    << QList<int>{px(10), px(10), 0};
        QTest::newRow("480: left 518")
            << 480 << QList<int>{px(518), px(410), 9000, 6000} << QList<int>{px(518), px(410), 0};
        QTest::newRow("480: left 519") << 480 << QList<int>{px(519), 0, 9000, 6000} << QList<int>{0, 0, 0};
        QTest::newRow("480: top 411") << 480 << QList<int>{0, px(411), 9000, 6000} << QList<int>{0, 0, 0};
        QTest::newRow("600: left 678")
            << 600 << QList<int>{px(678), px(532), 9000, 6000} << QList<int>{px(678), px(532), 0};
        QTest::newRow("600: left 679")
            << 600 << QList<int>{px(679), px(20), 9000, 6000} << QList<int>{0, 0, 0};
        QTest::newRow("600: top 533")
            << 600 << QList<int>{px(20), px(533), 9000, 6000} << QList<int>{0, 0, 0};
        QTest::newRow("1080: left 900")
            << 1080 << QList<int>{px(900), px(700), 9000, 6000} << QList<int>{px(900), px(700), 0};
        QTest::newRow("1080: left 901")
            << 1080 << QList<int>{px(901), px(20), 9000, 6000} << QList<int>{0, 0, 0};
        QTest::newRow("1080: top 701")
            << 1080 << QList<int>{px(20), px(701), 9000, 6000} << QList<int>{0, 0, 0};
    }
    void placementCheck()
    {
        QFETCH(int, screenHeight);
        QFETCH(QList<int>, ltwh);
        QFETCH(QList<int>, placed);
        const TrayPlacement result = trayPlacementCheck(ltwh[0], ltwh[1], ltwh[2], ltwh[3], screenHeight);
        QCOMPARE(result, (TrayPlacement{placed[0], placed[1], placed[2] != 0}));
    }

    // Left clicks on the icon, from each state the window can be in, on an 800 x 600 screen. `prepare` brings
    // the window into the state; `visible` and `state` (0 normal, 1 minimised, 2 maximised) are what the next
    // left click leaves.
    void leftClickShowsAndHides_data()
    {
        using Prepare = std::function<void(ttsmain &)>;
        QTest::addColumn<Prepare>("prepare");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("state");
        QTest::addColumn<QPoint>("position");
        const QPoint any(-1, -1);
        const auto minimise = [](ttsmain &w) { w.setWindowState(w.windowState() | Qt::WindowMinimized); };
        QTest::newRow("shown normal: hidden")
            << Prepare([](ttsmain &w) { w.showNormal(); }) << false << 0 << any;
        QTest::newRow("shown maximised: hidden")
            << Prepare([](ttsmain &w) { w.showMaximized(); }) << false << 2 << any;
        QTest::newRow("closed normal: back normal") << Prepare([](ttsmain &w) {
            w.showNormal();
            w.close();
        }) << true << 0 << any;
        QTest::newRow("hidden by the tray, maximised: back maximised") << Prepare([](ttsmain &w) {
            w.showMaximized();
            w.TrayMessageHook(ttsmain::TrayLeftButtonUp);
        }) << true << 2 << any;
        QTest::newRow("maximised, minimised, closed: back maximised") << Prepare([minimise](ttsmain &w) {
            w.showMaximized();
            minimise(w);
            w.close();
        }) << true << 2 << any;
        QTest::newRow("maximised, closed with Close: back maximised") << Prepare([](ttsmain &w) {
            w.showMaximized();
            QTest::mouseClick(w.Command9, Qt::LeftButton);
        }) << true << 2 << any;
        QTest::newRow("shown minimised from normal: restored") << Prepare([minimise](ttsmain &w) {
            w.showNormal();
            minimise(w);
        }) << true << 0 << any;
        QTest::newRow("shown minimised from maximised: maximised") << Prepare([minimise](ttsmain &w) {
            w.showMaximized();
            minimise(w);
        }) << true << 2 << any;
        QTest::newRow("hidden at 2400 x 360 twips: maximised") << Prepare([](ttsmain &w) {
            w.showNormal();
            // Outer size 160 x 24 pixels, frame included.
            w.resize(QSize(160, 24) - (w.frameGeometry().size() - w.size()));
            w.hide();
        }) << true << 2 << any;
        QTest::newRow("hidden with its left edge past 678 px: top-left corner") << Prepare([](ttsmain &w) {
            w.showNormal();
            w.resize(500, 400);
            w.move(700, 30);
            w.hide();
        }) << true << 0 << QPoint(0, 0);
        QTest::newRow("hidden at 600 px and above the top: top clipped only") << Prepare([](ttsmain &w) {
            w.showNormal();
            w.resize(500, 400);
            w.move(600, -40);
            w.hide();
        }) << true << 0 << QPoint(600, 0);
    }
    void leftClickShowsAndHides()
    {
        using Prepare = std::function<void(ttsmain &)>;
        QFETCH(Prepare, prepare);
        QFETCH(bool, visible);
        QFETCH(int, state);
        QFETCH(QPoint, position);
        // An 800 x 600 screen.
        LoadedWindow w(SpeechFactory::standard(), QString(), [](ttsmain &window) {
            window.setTrayReachable([] { return true; });
            window.setTrayScreenHeight([] { return 600; });
        });
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        prepare(*w);
        w->TrayMessageHook(ttsmain::TrayLeftButtonUp);
        QCOMPARE(w->isVisible(), visible);
        const Qt::WindowStates states = w->windowState();
        QCOMPARE((states & Qt::WindowMinimized) ? 1 : (states & Qt::WindowMaximized) ? 2 : 0, state);
        if (position != QPoint(-1, -1))
            QCOMPARE(w->pos(), position);
        // Only left clicks count: the right one leaves the window as it is.
        w->TrayMessageHook(ttsmain::TrayRightButtonUp);
        QCOMPARE(w->isVisible(), visible);
        QCOMPARE(w->TrayCursorPosition, QCursor::pos());
    }

    void clipboardTextIsReadAloud()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        // Text copied before the start is not read.
        clipboard->setText(QStringLiteral("copied before the start"));
        LoadedWindow w;
        QCoreApplication::processEvents();
        QCOMPARE(w->RichTextBox1->toPlainText(), QString());
        QCOMPARE(w->PlayStatus, 3);

        // A word replaces the document, untrimmed, and is read at once.
        w->RichTextBox1->setPlainText(QStringLiteral("The user's own document."));
        const QString copied = QStringLiteral("  Hello from the clipboard \n");
        clipboard->setText(copied);
        QCOMPARE(w->RichTextBox1->toPlainText(), copied);
        QCOMPARE(w->PlayStatus, 1);
        QCOMPARE(w->SpokenText.trimmed(), copied.trimmed());

        // Another copy while reading interrupts it and reads the new text.
        clipboard->setText(QStringLiteral("Second"));
        QCOMPARE(w->RichTextBox1->toPlainText(), QStringLiteral("Second"));
        QCOMPARE(w->SpokenText, QStringLiteral("Second"));
        QTRY_COMPARE_WITH_TIMEOUT(w->PlayStatus, 3, 20000);

        // Blanks, nothing at all, or any copy with the watcher off: the document stays.
        clipboard->setText(QStringLiteral(" \t \n "));
        clipboard->clear();
        w.app.window.WatchClipboard = false;
        clipboard->setText(QStringLiteral("Not wanted"));
        QCOMPARE(w->RichTextBox1->toPlainText(), QStringLiteral("Second"));
        QCOMPARE(w->PlayStatus, 3);

        // Once the program has ended it hears of the clipboard no more.
        w.app.window.WatchClipboard = true;
        w->ExitAll();
        clipboard->setText(QStringLiteral("After the end"));
        QCOMPARE(w->RichTextBox1->toPlainText(), QStringLiteral("Second"));
    }

    // A copy replaces what the user typed as one edit: one Ctrl+Z in the text box brings the
    // typed notes back whole. A copy equal to the document is still read, from its start.
    void copiedTextIsUndoneWithCtrlZ()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        LoadedWindow w;
        QPlainTextEdit *box = w->RichTextBox1;
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("My notes"));
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClicks(box, QStringLiteral("second line, not saved"));
        const QString typed = QStringLiteral("My notes\nsecond line, not saved");
        QCOMPARE(box->toPlainText(), typed);

        const QString copied = QStringLiteral("Copied from a web page.\nTwo lines of it.");
        clipboard->setText(copied);
        QCOMPARE(box->toPlainText(), copied);
        QCOMPARE(w->PlayStatus, 1);
        QCOMPARE(w->SpokenText, copied);
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        QCOMPARE(w->PlayStatus, 3);

        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(box->toPlainText(), typed);
        // And the copy comes back with Ctrl+Shift+Z, again whole.
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(box->toPlainText(), copied);

        // The same text copied again (say, from this very box) is read again, from its start,
        // wherever the cursor stood.
        QTextCursor middle = box->textCursor();
        middle.setPosition(10);
        box->setTextCursor(middle);
        clipboard->clear();
        clipboard->setText(copied);
        QCOMPARE(w->PlayStatus, 1);
        QCOMPARE(w->SpokenText, copied);
        QCOMPARE(box->toPlainText(), copied);
        QTest::mouseClick(w->Command6, Qt::LeftButton);
        // Copying it again added no step of its own: one Ctrl+Z still brings the typed notes.
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(box->toPlainText(), typed);
    }
};

QTEST_MAIN(TestTray)
#include "test_tray.moc"
