#include "app/batch_text2sound_host.h"
#include "app/pronunciation_host.h"
#include "app/slide_read_aloud_host.h"
#include "app/tray_menu_host.h"
#include "app/ttsmain.h"
#include "audio/BatchText2Sound.h"
#include "audio/mp3end.h"
#include "audio/wavtomp3.h"
#include "audio/wavtomp3end.h"
#include "desktop/howto.h"
#include "desktop/ttsaboutForm.h"
#include "platform/accessibility.h"
#include "platform/font_colour_dialog.h"
#include "platform/program_folder.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "tools/PronunciationWindow.h"
#include "tools/SlideReadAloud.h"
#include "tools/setmyclock.h"
#include "tools/updatewin.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Roles a user acts on: each must be announced with a name that says what it is.
bool isInteractive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ScrollBar:
    case QAccessible::Slider:
    case QAccessible::ComboBox:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::PageTab:
    case QAccessible::PageTabList:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Dial:
    case QAccessible::HotkeyField:
        return true;
    default:
        return false;
    }
}

// Rows and cells of lists and trees are named by their text; the walk stops at the view.
bool holdsItems(QAccessible::Role role)
{
    return role == QAccessible::List || role == QAccessible::Tree || role == QAccessible::Table;
}

QString describe(QAccessibleInterface *node)
{
    QObject *object = node->object();
    return QStringLiteral("%1 %2 (%3)")
        .arg(object ? QString::fromLatin1(object->metaObject()->className()) : QStringLiteral("?"),
             object ? object->objectName() : QString(), QString::number(node->role(), 16));
}

// Walks the accessibility tree below `node`; every interactive control without a name that
// says what it is (a letter in it: "29" names nothing) is added to `unnamed`.
void collectUnnamed(QAccessibleInterface *node, QStringList &unnamed, int depth = 0)
{
    if (!node || depth > 40)
        return;
    const QString name = node->text(QAccessible::Name).trimmed();
    const bool saysWhat = std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.isLetter(); });
    if (isInteractive(node->role()) && !saysWhat)
        unnamed << describe(node) + QStringLiteral(" named \"%1\"").arg(name);
    if (holdsItems(node->role()))
        return;
    for (int i = 0; i < node->childCount(); ++i)
        collectUnnamed(node->child(i), unnamed, depth + 1);
}

QAccessibleInterface *interfaceOf(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

QString accessibleName(QWidget *widget)
{
    QAccessibleInterface *node = interfaceOf(widget);
    return node ? node->text(QAccessible::Name) : QString();
}

// Interactive widgets a user can tab to: shown, enabled and taking focus from the keyboard.
bool tabbable(const QWidget *widget)
{
    const bool interactive =
        qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QAbstractSlider *>(widget) ||
        qobject_cast<const QComboBox *>(widget) || qobject_cast<const QPlainTextEdit *>(widget) ||
        // a label that acts on Enter as it does on a click
        (qobject_cast<const QLabel *>(widget) && widget->focusPolicy() != Qt::NoFocus);
    const QWidget *window = widget->window();
    // The layout parks a hidden text box far outside the window.
    const bool inView = QRect(widget->mapTo(window, QPoint()), widget->size()).intersects(window->rect());
    return interactive && widget->isVisibleTo(window) && widget->isEnabled() &&
           (widget->focusPolicy() & Qt::TabFocus) && inView;
}

} // namespace

// Every window as a screen reader and a keyboard user meet it.
class TestAccessibility : public QObject
{
    Q_OBJECT
    TestHome home;
    std::unique_ptr<LoadedWindow> main;

    // How each window is opened: as the program opens it where it can.
    using Opener = std::function<QWidget *(LoadedWindow &)>;

    // The tray's popup menu window, as a right click on the tray icon opens it.
    static Opener trayMenu()
    {
        return [](LoadedWindow &w) -> QWidget * {
            showTrayMenu(*w, QPoint(200, 200));
            return trayMenuWindow();
        };
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("a11yTest") + QByteArray::number(QCoreApplication::applicationPid()));
        markFirstRunDone();
        QAccessible::setActive(true);
        main = std::make_unique<LoadedWindow>();
        QCOMPARE(main->result, ttsmain::LoadResult::Running);
    }

    void cleanupTestCase() { main.reset(); }

    void everyControlIsNamed_data()
    {
        QTest::addColumn<Opener>("open");
        QTest::newRow("ttsmain") << Opener([](LoadedWindow &w) -> QWidget * {
            // The voice list as the Voice button shows it.
            w->Command7_Click();
            return w.window.get();
        });
        QTest::newRow("setmyclock") << Opener(
            [](LoadedWindow &w) -> QWidget * { return w->showClockWindow(); });
        QTest::newRow("SlideReadAloud")
            << Opener([](LoadedWindow &w) -> QWidget * { return showSlideReadAloud(*w); });
        QTest::newRow("BatchText2Sound")
            << Opener([](LoadedWindow &w) -> QWidget * { return showBatchText2Sound(*w); });
        QTest::newRow("updatewin") << Opener(
            [](LoadedWindow &w) -> QWidget * { return w->ShowUpdateWindow(); });
        QTest::newRow("howto") << Opener([](LoadedWindow &) -> QWidget * { return howto::showWindow(); });
        QTest::newRow("ttsaboutForm")
            << Opener([](LoadedWindow &) -> QWidget * { return ttsaboutForm::showWindow(); });
        QTest::newRow("wavtomp3") << Opener(
            [](LoadedWindow &w) -> QWidget * { return new wavtomp3(w.app.job, w.window.get()); });
        QTest::newRow("mp3end") << Opener(
            [](LoadedWindow &w) -> QWidget * { return new mp3end(w.app.job, w.window.get()); });
        QTest::newRow("wavtomp3end") << Opener(
            [](LoadedWindow &w) -> QWidget * { return new wavtomp3end(w.app.job, w.window.get()); });
        QTest::newRow("font and colour") << Opener([](LoadedWindow &w) -> QWidget * {
            return new FontColourDialog(w.window.get(), w->font(), Qt::black);
        });
        QTest::newRow("ttsMenu") << trayMenu();
        QTest::newRow("PronunciationWindow")
            << Opener([](LoadedWindow &w) -> QWidget * { return showPronunciation(*w); });
    }
    void everyControlIsNamed()
    {
        QFETCH(Opener, open);
        QPointer<QWidget> window = open(*main);
        if (!window)
            QSKIP("this window is not part of the program yet");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QStringList unnamed;
        collectUnnamed(interfaceOf(window), unnamed);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral("\n  "))));
        if (window != main->window.get())
            window->close();
    }

    // The bars and the slider announce what they set and where they stand; the value labels
    // are tied to them and read with their values.
    void barsAndSliderReportTheirValues()
    {
        ttsmain &w = **main;
        w.show();
        w.RichTextBox1->setPlainText(QStringLiteral("One two three four five six seven."));
        QTRY_VERIFY(w.cpvSlider1->isEnabled());
        const struct
        {
            QAbstractSlider *control;
            QString name;
            QLabel *valueLabel;
        } controls[] = {
            {w.VScroll1, QStringLiteral("Volume"), w.Label1},
            {w.VScroll2, QStringLiteral("Rate"), w.Label5},
            {w.VScroll3, QStringLiteral("Pitch"), w.Label3},
            {w.cpvSlider1, QStringLiteral("Reading position"), nullptr},
        };
        for (const auto &c : controls) {
            QCOMPARE(accessibleName(c.control), c.name);
            QAccessibleValueInterface *value = interfaceOf(c.control)->valueInterface();
            QVERIFY2(value, qPrintable(c.name));
            c.control->setValue(c.control->minimum() + 1);
            QCOMPARE(value->currentValue().toInt(), c.control->minimum() + 1);
            if (c.valueLabel) {
                QCOMPARE(c.valueLabel->buddy(), c.control);
                QCOMPARE(accessibleName(c.valueLabel), c.name + QLatin1Char(' ') + c.valueLabel->text());
            }
        }
        w.Label13->setText(QStringLiteral("00:01:02"));
        QCOMPARE(accessibleName(w.Label13), QStringLiteral("Elapsed time 00:01:02"));
    }

    // Tab from the first control comes round again having visited every control a user can
    // reach, the three bars and the slider among them; arrow keys then move a bar.
    void tabbingReachesEveryControl()
    {
        ttsmain &w = **main;
        w.show();
        w.raise();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.RichTextBox1->setPlainText(QStringLiteral("One two three four five six seven."));
        QTRY_VERIFY(w.cpvSlider1->isEnabled());
        QVERIFY2(w.RichTextBox1->isVisible() && w.RichTextBox1->x() < w.width(), "the text box is shown");

        QSet<QWidget *> expected;
        for (QWidget *child : w.findChildren<QWidget *>())
            if (child->window() == &w && tabbable(child))
                expected.insert(child);
        for (QWidget *must :
             std::initializer_list<QWidget *>{w.VScroll1, w.VScroll2, w.VScroll3, w.cpvSlider1,
                                              w.RichTextBox1, w.Command5, w.Check1, w.Label10})
            QVERIFY2(expected.contains(must), qPrintable(must->objectName()));

        w.RichTextBox1->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), w.RichTextBox1);
        QList<QWidget *> visited{w.RichTextBox1};
        for (int step = 0; step < 60; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *now = QApplication::focusWidget();
            QVERIFY(now);
            if (now == w.RichTextBox1)
                break;
            QVERIFY2(!visited.contains(now), qPrintable(now->objectName() + QStringLiteral(" twice")));
            visited << now;
        }
        QCOMPARE(QApplication::focusWidget(), w.RichTextBox1);
        QStringList missed;
        for (QWidget *widget : expected)
            if (!visited.contains(widget))
                missed << widget->objectName();
        QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QLatin1Char(' '))));
        // No tab stop outside the window's own controls.
        for (QWidget *widget : visited)
            QVERIFY2(expected.contains(widget), qPrintable(widget->objectName()));

        // The version line, reached by the keyboard, offers more engines on Enter.
        {
            FakeShell shell;
            w.Label10->setFocus(Qt::TabFocusReason);
            QTest::keyClick(w.Label10, Qt::Key_Return);
            QCOMPARE(shell.opened().size(), 1);
            QVERIFY(shell.opened().constFirst().endsWith(QLatin1String("/download.htm")));
        }

        // The volume bar, reached by the keyboard, goes up with the Up key and down with Down.
        w.VScroll1->setFocus(Qt::TabFocusReason);
        w.VScroll1->setValue(50);
        QTest::keyClick(w.VScroll1, Qt::Key_Up);
        QCOMPARE(w.VScroll1->value(), 51);
        QCOMPARE(w.Label1->text(), QStringLiteral("51"));
        QTest::keyClick(w.VScroll1, Qt::Key_Down);
        QCOMPARE(w.VScroll1->value(), 50);
        const int position = w.cpvSlider1->value();
        w.cpvSlider1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w.cpvSlider1, Qt::Key_Right);
        QCOMPARE(w.cpvSlider1->value(), position + 1);
    }

    // Escape closes the completion windows and the small windows with a Close button.
    void escapeCloses_data()
    {
        QTest::addColumn<Opener>("open");
        QTest::newRow("mp3end") << Opener([](LoadedWindow &w) -> QWidget * { return new mp3end(w.app.job); });
        QTest::newRow("wavtomp3end") << Opener(
            [](LoadedWindow &w) -> QWidget * { return new wavtomp3end(w.app.job); });
        QTest::newRow("wavtomp3") << Opener(
            [](LoadedWindow &w) -> QWidget * { return new wavtomp3(w.app.job, w.window.get()); });
        QTest::newRow("howto") << Opener([](LoadedWindow &) -> QWidget * { return howto::showWindow(); });
        QTest::newRow("ttsaboutForm")
            << Opener([](LoadedWindow &) -> QWidget * { return ttsaboutForm::showWindow(); });
        QTest::newRow("updatewin") << Opener(
            [](LoadedWindow &w) -> QWidget * { return w->ShowUpdateWindow(); });
        QTest::newRow("ttsMenu") << trayMenu();
        QTest::newRow("PronunciationWindow")
            << Opener([](LoadedWindow &w) -> QWidget * { return showPronunciation(*w); });
    }
    void escapeCloses()
    {
        QFETCH(Opener, open);
        QPointer<QWidget> window = open(*main);
        if (!window)
            QSKIP("this window is not part of the program yet");
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QWidget *focus = window->focusWidget() ? window->focusWidget() : window.data();
        QTest::keyClick(focus, Qt::Key_Escape);
        QTRY_VERIFY(!window || !window->isVisible());
        delete window.data();
    }

    // The spoken word's highlight stays readable on any back and text colour the user picks.
    void highlightKeepsContrast_data()
    {
        QTest::addColumn<QColor>("back");
        QTest::addColumn<QColor>("text");
        QTest::newRow("black on white") << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("white on black") << QColor(Qt::black) << QColor(Qt::white);
        QTest::newRow("yellow on navy") << QColor(0, 0, 128) << QColor(Qt::yellow);
        QTest::newRow("black on the highlight blue") << QColor(48, 140, 198) << QColor(Qt::black);
        QTest::newRow("mid grey") << QColor(118, 118, 118) << QColor(Qt::white);
        QTest::newRow("pale yellow") << QColor(255, 255, 225) << QColor(0, 0, 128);
        QTest::newRow("dark red on pink") << QColor(255, 192, 203) << QColor(128, 0, 0);
        QTest::newRow("green on green") << QColor(0, 128, 0) << QColor(0, 255, 0);
    }
    void highlightKeepsContrast()
    {
        QFETCH(QColor, back);
        QFETCH(QColor, text);
        ttsmain &w = **main;
        // Chosen through the window's own colour paths, at a large font.
        w.applyBackColour(back);
        w.applyTextColour(text);
        QFont large = w.RichTextBox1->font();
        large.setPointSize(48);
        w.RichTextBox1->setFont(large);
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            const QPalette palette = w.RichTextBox1->palette();
            const QColor highlight = palette.color(group, QPalette::Highlight);
            const QColor highlighted = palette.color(group, QPalette::HighlightedText);
            QCOMPARE(palette.color(group, QPalette::Base), back);
            QVERIFY2(Accessibility::contrastRatio(highlight, back) >= Accessibility::ReadableContrast,
                     qPrintable(highlight.name() + QStringLiteral(" on ") + back.name()));
            QVERIFY2(Accessibility::contrastRatio(highlighted, highlight) >= Accessibility::ReadableContrast,
                     qPrintable(highlighted.name() + QStringLiteral(" on ") + highlight.name()));
        }
    }

    // As a screen-reader user's desktop sees the program: under Xvfb with the accessibility bus,
    // read from outside the process. The main window names every control, and Tab visits the
    // three bars and the slider.
    void mainWindowSeenFromOutside()
    {
        const QString python = QStringLiteral("/usr/bin/python3"); // Debian's, which has pyatspi
        for (const char *tool : {"Xvfb", "dbus-daemon", "xdotool"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
        if (!QFileInfo::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")) ||
            QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import pyatspi")}) != 0)
            QSKIP("at-spi2-core or python3-pyatspi is not installed");
        const QString script = QStringLiteral(PARLANTO_TEST_DATA "/../support/atspi_check.py");

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char *sub : {"run", "cache", "home"})
            QVERIFY(QDir(dir.path()).mkpath(QLatin1String(sub)));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A display of this test's own, free on this machine.
        int display = 600 + int(QCoreApplication::applicationPid() % 300);
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)))
            ++display;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("PARLANTO_HOME"), dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("PARLANTO_INSTANCE"),
                   QStringLiteral("a11yOutside%1").arg(QCoreApplication::applicationPid()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Qt offers its tree on the bus without asking the desktop's settings first.
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));

        // Declared in start order: each is stopped, in reverse order, when the test ends.
        QProcess xvfb;
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral(":%1").arg(display), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                    QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                    QStringLiteral("-noreset")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)), 10000);
        QProcess bus;
        bus.setProcessEnvironment(env);
        bus.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1"),
                   QStringLiteral("--address=unix:path=") + dir.filePath(QStringLiteral("bus"))});
        QVERIFY(bus.waitForReadyRead(10000));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QString::fromLocal8Bit(bus.readLine()).trimmed());

        // A document to read, so that the position slider is available; no first-run help.
        QFile text(dir.filePath(QStringLiteral("home/words.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Volume, rate and pitch are set with the bars below the document.\n");
        text.close();
        QFile mark(dir.filePath(QStringLiteral("home/firstuse.done")));
        QVERIFY(mark.open(QIODevice::WriteOnly));
        mark.close();
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PARLANTO_BIN), {text.fileName()});
        QVERIFY(program.waitForStarted());

        // The script waits for the program to show itself on the bus, for as long as the program
        // runs: a loaded machine may take long to start it.
        const QString pid = QString::number(program.processId());
        const auto ask = [&](const QStringList &arguments) {
            QProcess check;
            check.setProcessEnvironment(env);
            check.start(python, QStringList{script, QStringLiteral("parlanto"), pid} + arguments);
            check.waitForFinished(240000);
            return QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError());
        };

        const QString tree = ask({QStringLiteral("tree")});
        QVERIFY2(tree.contains(QLatin1String("NAMED")), qPrintable(tree));
        QVERIFY2(!tree.contains(QLatin1String("UNNAMED")), qPrintable(tree));
        for (const char *control :
             {"scroll bar Volume", "scroll bar Rate", "scroll bar Pitch", "slider Reading position",
              "text Document", "combo box Voice", "check box Text", "push button Speak"})
            QVERIFY2(tree.contains(QStringLiteral("NAMED %1\n").arg(QLatin1String(control))), control);

        const QString tabs = ask({QStringLiteral("tab"), QStringLiteral("20")});
        for (const char *control :
             {"scroll bar Volume", "scroll bar Rate", "scroll bar Pitch", "slider Reading position"})
            QVERIFY2(tabs.contains(QStringLiteral("FOCUS %1\n").arg(QLatin1String(control))),
                     qPrintable(tabs));

        program.kill();
        program.waitForFinished();
        bus.terminate();
        bus.waitForFinished();
        xvfb.terminate();
        xvfb.waitForFinished();
    }

    void contrastRatioFollowsTheGuidelines()
    {
        QCOMPARE(qRound(Accessibility::contrastRatio(Qt::black, Qt::white) * 100), 2100);
        QCOMPARE(Accessibility::contrastRatio(Qt::red, Qt::red), 1.0);
        // #767676 on white is the lightest grey that passes.
        QVERIFY(Accessibility::contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white) >= 4.5);
        QVERIFY(Accessibility::contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white) < 4.5);
        // A style highlight that already stands out is kept as it is.
        const Accessibility::HighlightColours navy{QColor(0, 0, 128), QColor(Qt::white)};
        const auto kept = Accessibility::readableHighlight(Qt::white, Qt::black, navy);
        QCOMPARE(kept.background, navy.background);
        QCOMPARE(kept.text, navy.text);
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
