#include "app/tray_menu_host.h"
#include "audio/wavtomp3.h"
#include "desktop/ttsMenu.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QtTest>

#include <memory>

namespace {

const QString Home = QStringLiteral("http://www.parlanto.example");
const QString Download = Home + QStringLiteral("/download.htm");

// A menu whose actions write their names into `done`, with the clipboard switch on.
struct RecordingMenu
{
    RecordingMenu(int playStatus = 3, QPoint cursor = {600, 500})
    {
        ttsMenuActions actions;
        const auto record = [this](const char *name) { return [this, name] { done.append(name); }; };
        actions.PlayStatus = [playStatus] { return playStatus; };
        actions.WatchClipboard = [this] { return watch; };
        actions.setWatchClipboard = [this](bool on) {
            watch = on;
            done.append(on ? QStringLiteral("watch on") : QStringLiteral("watch off"));
        };
        actions.speakPauseResume = record("speak");
        actions.stopReading = record("stop");
        actions.showSlideReadAloud = record("slides");
        actions.showBatchText2Sound = record("batch");
        actions.showWavToMp3 = record("wavtomp3");
        actions.showClock = record("clock");
        actions.showUpdate = record("update");
        actions.showAbout = record("about");
        actions.showHelp = record("help");
        actions.showPronunciation = record("pronunciation");
        actions.ejectCd = record("eject");
        actions.closeCd = record("close cd");
        actions.ExitAll = record("exit");
        menu = new ttsMenu(actions);
        menu->Form_Load(cursor);
        menu->show();
    }
    ~RecordingMenu() { delete menu; }
    QWidget *control(const QString &name) const { return menu->findChild<QWidget *>(name); }
    // Whether the menu is still up once pending deletions have run.
    bool open() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return menu && menu->isVisible();
    }

    QPointer<ttsMenu> menu;
    QStringList done;
    bool watch = true;
};

QColor backOf(QWidget *item)
{
    return static_cast<MenuLabel *>(item)->BackColor;
}

} // namespace

class TestTrayMenu : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;
    std::unique_ptr<FakeShell> shell;

private slots:
    void initTestCase()
    {
        home = std::make_unique<TestHome>();
        qputenv("PARLANTO_SITE", Home.toUtf8());
    }
    void init() { shell = std::make_unique<FakeShell>(); }
    void cleanup() { shell.reset(); }

    // Every item and picture, clicked with the mouse: what it does and whether the menu closes.
    void clicksActAndCloseOrStayOpen_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("action"); // a recorded action, "open <address>", or empty
        QTest::addColumn<bool>("closes");
        const auto both = [](int item, const QString &action, bool closes) {
            QTest::newRow(qPrintable(QStringLiteral("Label%1").arg(item)))
                << QStringLiteral("Label%1").arg(item) << action << closes;
            QTest::newRow(qPrintable(QStringLiteral("Picture%1").arg(item)))
                << QStringLiteral("Picture%1").arg(item) << action << closes;
        };
        both(1, QStringLiteral("exit"), true);
        both(2, QStringLiteral("about"), true);
        both(3, QStringLiteral("help"), true);
        both(4, QStringLiteral("update"), true);
        both(5, QStringLiteral("clock"), true);
        both(6, QStringLiteral("close cd"), true);
        both(7, QStringLiteral("eject"), false);
        both(9, QStringLiteral("open ") + Download, true);
        both(10, QStringLiteral("wavtomp3"), true);
        both(12, QStringLiteral("batch"), true);
        both(13, QStringLiteral("slides"), true);
        QTest::newRow("Label8") << "Label8" << QStringLiteral("open ") + Home << true;
        QTest::newRow("Picture8") << "Picture8" << QString() << false;
        QTest::newRow("Label11") << "Label11"
                                 << "speak" << true;
        QTest::newRow("Label14") << "Label14"
                                 << "stop" << true;
        QTest::newRow("Label15") << "Label15"
                                 << "watch off" << false;
        QTest::newRow("Label16") << "Label16"
                                 << "pronunciation" << true;
        QTest::newRow("Check1") << "Check1"
                                << "watch off" << false;
        QTest::newRow("Image0") << "Image0" << QString() << true;
        for (int index = 0; index < 16; ++index)
            QTest::newRow(qPrintable(QStringLiteral("Image1(%1)").arg(index)))
                << QStringLiteral("Image1_%1").arg(index) << QStringLiteral("open ") + Download << true;
    }
    void clicksActAndCloseOrStayOpen()
    {
        QFETCH(QString, control);
        QFETCH(QString, action);
        QFETCH(bool, closes);
        RecordingMenu m;
        QWidget *target = m.control(control);
        QVERIFY(target);
        QVERIFY(!target->accessibleName().trimmed().isEmpty());
        // The check box has no caption: its box is at the left.
        const QPoint at =
            control == QLatin1String("Check1") ? QPoint(6, target->height() / 2) : target->rect().center();
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        QStringList seen = m.done;
        for (const QString &page : shell->opened())
            seen.append(QStringLiteral("open ") + page);
        QCOMPARE(seen, action.isEmpty() ? QStringList() : QStringList{action});
        QCOMPARE(m.open(), !closes);
    }

    void backgroundClickCloses()
    {
        RecordingMenu m;
        QVERIFY(!m.menu->childAt(2, 2));
        QTest::mouseClick(m.menu, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(m.done.isEmpty());
        QVERIFY(!m.open());
    }

    // The bottom-right corner at the cursor, unless the menu would leave the screen's left or
    // top edge: then it opens to the right of or below the cursor.
    void placementAtTheCursor_data()
    {
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<bool>("toTheRight");
        QTest::addColumn<bool>("below");
        QTest::newRow("near the top-left corner") << QPoint(10, 12) << true << true;
        QTest::newRow("near the bottom-right corner") << QPoint(1270, 1010) << false << false;
        QTest::newRow("near the left edge, low") << QPoint(40, 1010) << true << false;
        QTest::newRow("near the top edge, right") << QPoint(1270, 30) << false << true;
    }
    void placementAtTheCursor()
    {
        QFETCH(QPoint, cursor);
        QFETCH(bool, toTheRight);
        QFETCH(bool, below);
        RecordingMenu m(3, cursor);
        const QRect frame = m.menu->frameGeometry();
        QCOMPARE(toTheRight ? frame.left() : frame.right() + 1, cursor.x());
        QCOMPARE(below ? frame.top() : frame.bottom() + 1, cursor.y());
        QVERIFY(m.menu->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void itemsLightUpUnderTheMouse()
    {
        RecordingMenu m;
        QVERIFY(QTest::qWaitForWindowExposed(m.menu));
        const auto moveTo = [&](QWidget *control) {
            QTest::mouseMove(m.menu->windowHandle(), control->mapTo(m.menu, control->rect().center()));
        };
        const QColor normal = ttsMenu::colourOf(ttsMenu::NormalBackColour);
        const QColor lit = ttsMenu::colourOf(ttsMenu::HighlightBackColour);
        QCOMPARE(lit, QColor(128, 128, 255));
        QCOMPARE(normal, QColor(224, 224, 224));
        const QStringList items = {QStringLiteral("Label9"), QStringLiteral("Label10"),
                                   QStringLiteral("Label12"), QStringLiteral("Label15")};
        const auto litItems = [&] {
            QStringList on;
            for (const QString &name : items) {
                const QColor back = backOf(m.control(name));
                if (back == lit)
                    on.append(name);
                else if (back != normal)
                    on.append(name + QStringLiteral(" in another colour"));
            }
            return on;
        };
        const struct
        {
            const char *control;
            QStringList lit;
            int closeBorder;
        } moves[] = {
            {"Label10", {QStringLiteral("Label10")}, 0},
            {"Picture12", {QStringLiteral("Label12")}, 0},
            {"Check1", {QStringLiteral("Label15")}, 0},
            {"Image1_13", {QStringLiteral("Label9")}, 0},
            {"Image0", {}, 1},
        };
        for (const auto &move : moves) {
            QWidget *control = m.control(QString::fromLatin1(move.control));
            moveTo(control);
            QTRY_COMPARE(litItems(), move.lit);
            QCOMPARE(m.menu->Image0->BorderStyle, move.closeBorder);
        }
        QCOMPARE(m.menu->Label10->ForeColor, QColor(Qt::black));
        moveTo(m.control(QStringLiteral("Label12")));
        QTRY_COMPARE(m.menu->Label12->ForeColor, QColor(Qt::white));
        QTest::mouseMove(m.menu->windowHandle(), QPoint(2, 2));
        QTRY_COMPARE(litItems(), QStringList());
        QCOMPARE(m.menu->Label12->ForeColor, QColor(Qt::black));
    }

    void theKeyboardReachesAndChoosesItems()
    {
        RecordingMenu m;
        QWidget *first = m.menu->focusWidget();
        QCOMPARE(first, m.menu->Label9);
        // Tab and the arrow keys walk through every item once and come back.
        QSet<QWidget *> visited;
        QWidget *current = first;
        do {
            visited.insert(current);
            QTest::keyClick(current, visited.size() % 2 ? Qt::Key_Tab : Qt::Key_Down);
            current = m.menu->focusWidget();
        } while (current != first && visited.size() < 100);
        QCOMPARE(visited.size(), 16 + 16 + 2); // the items, the download pictures, Check1, Image0
        QTest::keyClick(m.menu->Label9, Qt::Key_Up);
        QCOMPARE(m.menu->focusWidget(), m.menu->Image0);
        // Space on the check box switches it and leaves the menu open; Enter on an item chooses it.
        m.menu->Check1->setFocus();
        QTest::keyClick(m.menu->Check1, Qt::Key_Space);
        QCOMPARE(m.done, QStringList{QStringLiteral("watch off")});
        m.menu->Label14->setFocus();
        QTest::keyClick(m.menu->Label14, Qt::Key_Return);
        QCOMPARE(m.done.last(), QStringLiteral("stop"));
        QVERIFY(!m.open());

        RecordingMenu again;
        QTest::keyClick(again.menu->focusWidget(), Qt::Key_Escape);
        QVERIFY(again.done.isEmpty());
        QVERIFY(!again.open());
    }

    // Each item's underlined letter chooses it, with or without Alt; Ctrl+Q is "Exit all" too.
    void accessKeysChooseTheirItems_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("done");
        QTest::addColumn<bool>("closes");
        const int none = Qt::NoModifier;
        const struct
        {
            char key;
            const char *done;
            bool closes;
        } keys[] = {
            {'x', "exit", true},     {'t', "batch", true},  {'w', "wavtomp3", true},   {'i', "clock", true},
            {'l', "slides", true},   {'u', "update", true}, {'a', "about", true},      {'h', "help", true},
            {'p', "speak", true},    {'s', "stop", true},   {'b', "watch off", false}, {'e', "eject", false},
            {'c', "close cd", true},
        };
        for (const auto &k : keys)
            QTest::newRow(k.done) << int(Qt::Key_A + (k.key - 'a')) << none << k.done << k.closes;
        QTest::newRow("Alt+X") << int(Qt::Key_X) << int(Qt::AltModifier) << "exit" << true;
        QTest::newRow("Ctrl+Q") << int(Qt::Key_Q) << int(Qt::ControlModifier) << "exit" << true;
        QTest::newRow("a letter of no item") << int(Qt::Key_Z) << none << "" << false;
    }
    void accessKeysChooseTheirItems()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, done);
        QFETCH(bool, closes);
        RecordingMenu m;
        QTest::keyClick(m.menu->focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(m.done.join(QLatin1Char(',')), done);
        QCOMPARE(!m.open(), closes);
    }

    void theVendorsDomain()
    {
        QCOMPARE(vendorDomain(QStringLiteral("http://www.parlanto.example")),
                 QStringLiteral("parlanto.example"));
        QCOMPARE(vendorDomain(QStringLiteral("https://www.parlanto.example")),
                 QStringLiteral("parlanto.example"));
        QCOMPARE(vendorDomain(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("127.0.0.1:9"));
        RecordingMenu m;
        QCOMPARE(m.menu->Label8->text(), QStringLiteral("parlanto.example"));
    }

    // Through the real main window: the caption follows the reading at each opening, and the
    // items drive the reading.
    void speakOrPauseFollowsTheReadingAtOpening()
    {
        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        w->RichTextBox1->setPlainText(
            QStringLiteral("A menu opened during a long reading pauses it. ").repeated(40));
        showTrayMenu(*w, {400, 400});
        auto *menu = qobject_cast<ttsMenu *>(trayMenuWindow());
        QVERIFY(menu);
        QCOMPARE(menu->Label11->text(), QStringLiteral("Speak"));
        QCOMPARE(menu->Label11->toolTip(), QStringLiteral("Speak"));
        QCOMPARE(menu->Label1->toolTip(), QStringLiteral("Exit Parlanto"));
        QTest::mouseClick(menu->Label11, Qt::LeftButton);
        QCOMPARE(w->PlayStatus, 1);
        QVERIFY(!trayMenuWindow());

        showTrayMenu(*w, {400, 400});
        menu = qobject_cast<ttsMenu *>(trayMenuWindow());
        QCOMPARE(menu->Label11->text(), QStringLiteral("Pause"));
        QCOMPARE(menu->Label11->toolTip(), QStringLiteral("Pause speaking"));
        QTest::mouseClick(menu->Label11, Qt::LeftButton);
        QCOMPARE(w->PlayStatus, 2);

        showTrayMenu(*w, {400, 400});
        menu = qobject_cast<ttsMenu *>(trayMenuWindow());
        QCOMPARE(menu->Label11->text(), QStringLiteral("Speak"));
        QTest::mouseClick(menu->Label14, Qt::LeftButton);
        QCOMPARE(w->PlayStatus, 3);
        QVERIFY(!trayMenuWindow());
    }

    void watchClipboardTwiceLeavesTheRecordAndTheMenu()
    {
        LoadedWindow w;
        for (const bool start : {true, false}) {
            w->App.window.WatchClipboard = start;
            showTrayMenu(*w, {400, 400});
            auto *menu = qobject_cast<ttsMenu *>(trayMenuWindow());
            QVERIFY(menu);
            QCOMPARE(menu->Check1->isChecked(), start);
            QTest::mouseClick(menu->Label15, Qt::LeftButton);
            QCOMPARE(w->App.window.WatchClipboard, !start);
            QCOMPARE(menu->Check1->isChecked(), !start);
            QTest::mouseClick(menu->Label15, Qt::LeftButton);
            QCOMPARE(w->App.window.WatchClipboard, start);
            QCOMPARE(menu->Check1->isChecked(), start);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(trayMenuWindow(), menu);
            unloadTrayMenu();
            QVERIFY(!trayMenuWindow());
        }
    }

    void itemsOpenTheirWindowsAndExitAllEndsWithTheMenu()
    {
        LoadedWindow w;
        showTrayMenu(*w, {400, 400});
        QTest::mouseClick(qobject_cast<ttsMenu *>(trayMenuWindow())->Label10, Qt::LeftButton);
        auto *converter = w->findChild<wavtomp3 *>();
        QVERIFY(converter);
        QVERIFY(converter->isVisible());
        QVERIFY(!trayMenuWindow());

        showTrayMenu(*w, {400, 400});
        QTest::mouseClick(qobject_cast<ttsMenu *>(trayMenuWindow())->Label8, Qt::LeftButton);
        QCOMPARE(shell->opened(), QStringList{Home});

        showTrayMenu(*w, {400, 400});
        QPointer<QWidget> menu = trayMenuWindow();
        QTest::mouseClick(qobject_cast<ttsMenu *>(menu.data())->Label1, Qt::LeftButton);
        QCOMPARE(w.endCalls, 1);
        QVERIFY(!trayMenuWindow());
        QVERIFY(!converter->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!menu);
    }
};

QTEST_MAIN(TestTrayMenu)
#include "test_tray_menu.moc"
