#include "app/ttsmain.h"
#include "audio/mp3end.h"
#include "desktop/addin_installers.h"
#include "desktop/help_viewer.h"
#include "desktop/howto.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest>

// The help window as a user meets it: opened from the main window, its lines read, each
// installer line and link clicked.
class TestHowto : public QObject
{
    Q_OBJECT
    TestHome home;

    static howto *openFromMainWindow(LoadedWindow &w)
    {
        QTest::mouseClick(w->Command8, Qt::LeftButton);
        howto *help = howto::window();
        return help;
    }
    static QStringList captions(const howto *help)
    {
        QStringList texts;
        for (const QLabel *line : help->lines)
            texts.append(line->text());
        return texts;
    }
    static void click(QWidget *widget)
    {
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    }

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("howtoTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void helpButtonOpensTheHelpWindow()
    {
        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        QVERIFY(!howto::window());
        howto *help = openFromMainWindow(w);
        QVERIFY(help);
        QTRY_VERIFY(help->isVisible());
        QCOMPARE(help->windowTitle(), QStringLiteral("How does it work? - Parlanto"));
        QVERIFY(!help->isModal());
        const QStringList texts = captions(help);
        for (const char *line :
             {"How to listen to web page?",
              "want to listen to, right-click mouse, click Speak by Parlanto command",
              "click Speak by Parlanto command, the text file will be spoken.",
              "How to listen to Microsoft Word document ?", "click here, add                   to MS Word.",
              "click here, add                    to WordPerfect.", "click here, add to LibreOffice Writer.",
              "FAQ Online", "Some functions will take effect after restarting computer."})
            QVERIFY2(texts.contains(QLatin1String(line)), line);
        // The page links show the program's own hand cursor, drawn from H_POINT.CUR.
        QCOMPARE(help->Label2->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(help->Label8->cursor().shape(), Qt::BitmapCursor);
        // A second press of Help raises the same window.
        QCOMPARE(openFromMainWindow(w), help);

        // Ending the program closes it.
        w->ExitAll();
        QTRY_VERIFY(!howto::window());
    }

    void installerLinesInstallOrSayWhy()
    {
        FakeDialogs dialogs;
        FakeShell shell;
        LoadedWindow w;
        howto *help = openFromMainWindow(w);
        QVERIFY(help);

        // A machine without the word processors gets their messages.
        click(help->Label3);
        click(help->Image7);
        QCOMPARE(dialogs.messages().size(), 2);
        QCOMPARE(dialogs.messages()[0].text, QStringLiteral("Can not find MS Word"));
        QCOMPARE(dialogs.messages()[0].title, QStringLiteral("Parlanto"));
        QVERIFY(dialogs.messages()[1].text.startsWith(QStringLiteral("Can not find Wordperfect.")));

        // With Word's path in the registry the picture beside the line installs the template.
        QTemporaryDir office;
        QVERIFY(QDir().mkpath(office.filePath(QStringLiteral("Startup"))));
        Registry::setValue(wordKey(), QStringLiteral("Path"), office.path());
        click(help->Image2);
        QCOMPARE(dialogs.messages().size(), 3);
        QCOMPARE(dialogs.messages()[2].title, QStringLiteral("Success -- Parlanto"));
        QVERIFY(QFile::exists(office.filePath(QStringLiteral("Startup/ttsparlSpeak.dot"))));

        // A Word error the installer cannot name offers to mail it; Yes opens the mail.
        Registry::setValue(wordKey(), QStringLiteral("Path"), office.filePath(QStringLiteral("gone")));
        dialogs.queueAnswer(Dialogs::Answer::Yes);
        click(help->Label3);
        QCOMPARE(dialogs.messages().size(), 4);
        QCOMPARE(dialogs.messages()[3].buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(shell.opened().size(), 1);
        QVERIFY(shell.opened()[0].startsWith(QStringLiteral("mailto:support@parlanto.example?subject=")));

        // The Writer line hands the shipped extension to LibreOffice's extension manager.
        QTemporaryDir bin;
        const QString record = bin.filePath(QStringLiteral("arguments"));
        QFile script(bin.filePath(QStringLiteral("unopkg")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + record.toLocal8Bit() +
                     "'\necho 'installed'\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
        QSignalSpy finished(help, &howto::writerInstallFinished);
        click(help->Label11);
        QVERIFY(finished.wait(10000));
        qputenv("PATH", path);
        QCOMPARE(dialogs.messages().size(), 5);
        QCOMPARE(dialogs.messages()[4].title, QStringLiteral("Success -- Parlanto"));
        QFile arguments(record);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        const QString oxt = programFile(QStringLiteral("parlanto.oxt"));
        QCOMPARE(QString::fromLocal8Bit(arguments.readAll()).trimmed().split(QLatin1Char('\n')),
                 unopkgAddArguments(oxt));
        QVERIFY(QFileInfo(oxt).size() > 0);
        QVERIFY(help->isVisible()); // installers leave the window open
    }

    void linksOpenThePagesAndClose()
    {
        FakeDialogs dialogs;
        FakeShell shell;
        LoadedWindow w;

        // The help page on this computer is shown by Parlanto itself, not by the desktop.
        click(openFromMainWindow(w)->Label2);
        QTRY_VERIFY(!howto::window());
        QVERIFY(HelpViewer::window());
        QCOMPARE(HelpViewer::window()->Browser->source(),
                 QUrl::fromLocalFile(programFile(QStringLiteral("faq.htm"))));
        QVERIFY(shell.opened().isEmpty());
        HelpViewer::unloadWindow();

        click(openFromMainWindow(w)->Label8);
        QTRY_VERIFY(!howto::window());
        QCOMPARE(shell.opened(), QStringList{vendorSite() + QStringLiteral("/faq.htm")});

        click(openFromMainWindow(w)->Command1);
        QTRY_VERIFY(!howto::window());

        // From the keyboard: Enter on a focused link.
        howto *help = openFromMainWindow(w);
        help->Label8->setFocus();
        QTest::keyClick(help->Label8, Qt::Key_Return);
        QTRY_VERIFY(!howto::window());
        QCOMPARE(shell.opened().size(), 2);

        help = openFromMainWindow(w);
        QTest::mouseDClick(help, Qt::LeftButton, {}, QPoint(2, 2));
        QTRY_VERIFY(!howto::window());
        QVERIFY(dialogs.messages().isEmpty());
    }

    // "Help on this computer" shows faq.htm in Parlanto's help viewer: a page read and moved
    // through from the keyboard, its own links followed there, others handed to the desktop.
    void helpPageIsShownInsideParlanto()
    {
        FakeDialogs dialogs;
        FakeShell shell;
        LoadedWindow w;
        click(openFromMainWindow(w)->Label2);
        HelpViewer *viewer = HelpViewer::window();
        QVERIFY(viewer);
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Help - Parlanto"));
        QTextBrowser *page = viewer->Browser;
        QVERIFY(page->toPlainText().contains(QLatin1String("Parlanto help")));
        QVERIFY(page->toPlainText().contains(QLatin1String("Exit all")));
        QCOMPARE(page->accessibleName(), QStringLiteral("Help page"));
        QCOMPARE(page->verticalScrollBar()->value(), 0);
        QVERIFY(!viewer->Command1->isEnabled());

        // Tab reaches the first link of the contents ("the main window"), Enter follows it:
        // the same page, scrolled down to that part.
        page->setFocus();
        QTest::keyClick(page, Qt::Key_Tab);
        QCOMPARE(page->textCursor().selectedText(), QStringLiteral("the main window"));
        QTest::keyClick(page, Qt::Key_Return);
        QCOMPARE(page->source().fragment(), QStringLiteral("main"));
        QTRY_VERIFY(page->verticalScrollBar()->value() > 0);
        QVERIFY(viewer->Command1->isEnabled());
        QTest::mouseClick(viewer->Command1, Qt::LeftButton);
        QVERIFY(page->source().fragment().isEmpty());

        // Another page of the help, beside it, is followed here too; anything else goes out.
        QFile more(programFile(QStringLiteral("more.htm")));
        QVERIFY(more.open(QIODevice::WriteOnly));
        more.write("<html><body><p>More help.</p></body></html>");
        more.close();
        viewer->Browser_AnchorClicked(QUrl(QStringLiteral("more.htm")));
        QVERIFY(page->toPlainText().contains(QLatin1String("More help.")));
        QVERIFY(shell.opened().isEmpty());
        const QString site = QStringLiteral("http://www.parlanto.example/download.htm");
        viewer->Browser_AnchorClicked(QUrl(site));
        viewer->Browser_AnchorClicked(QUrl(QStringLiteral("bell.wav")));
        QCOMPARE(shell.opened(), (QStringList{site, programFile(QStringLiteral("bell.wav"))}));
        QVERIFY(dialogs.messages().isEmpty());

        // Escape closes it; a help page that is missing is named in a message instead.
        QTest::keyClick(page, Qt::Key_Escape);
        QTRY_VERIFY(!HelpViewer::window());
        const QString faq = programFile(QStringLiteral("faq.htm"));
        const QString kept = programFile(QStringLiteral("faq.kept"));
        QVERIFY(QFile::rename(faq, kept));
        click(openFromMainWindow(w)->Label2);
        QVERIFY(QFile::rename(kept, faq));
        QVERIFY(!HelpViewer::window());
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY(dialogs.messages().first().text.contains(faq));
    }

    // Where the desktop opens nothing, the control the user pressed says so, naming the page or
    // file, instead of doing nothing at all.
    void failedOpensAreReported_data()
    {
        using Press = std::function<QString(LoadedWindow &)>; // presses, returns the target
        QTest::addColumn<Press>("press");
        QTest::newRow("FAQ Online") << Press([](LoadedWindow &w) {
            click(openFromMainWindow(w)->Label8);
            return vendorSite() + QStringLiteral("/faq.htm");
        });
        QTest::newRow("the version label's download page") << Press([](LoadedWindow &w) {
            QTest::mouseDClick(w->Label10, Qt::LeftButton);
            return vendorSite() + QStringLiteral("/download.htm");
        });
        QTest::newRow("Play of a saved sound file") << Press([](LoadedWindow &w) {
            w.app.job.JobTargetPath = programFile(QStringLiteral("bell.wav"));
            auto *done = new mp3end(w.app.job);
            done->show();
            QTest::mouseClick(done->Command1, Qt::LeftButton);
            done->close();
            return w.app.job.JobTargetPath;
        });
    }
    void failedOpensAreReported()
    {
        using Press = std::function<QString(LoadedWindow &)>;
        QFETCH(Press, press);
        FakeDialogs dialogs;
        FakeShell shell;
        shell.setResult(false);
        LoadedWindow w;
        const QString target = press(w);
        QCOMPARE(shell.opened(), QStringList{target});
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY2(dialogs.messages().first().text.contains(target),
                 qPrintable(dialogs.messages().first().text));
        howto::unloadWindow();
    }

    void firstRunTimerOpensTheHelpWindow()
    {
        LoadedWindow w;
        QVERIFY(!howto::window());
        w->firstuse->setInterval(1);
        QTRY_VERIFY(howto::window() && howto::window()->isVisible());
        QCOMPARE(w->firstuse->interval(), 0);
        howto::unloadWindow();
        QTRY_VERIFY(!howto::window());
    }
};

QTEST_MAIN(TestHowto)
#include "test_howto.moc"
