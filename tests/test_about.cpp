#include "app/app_state.h"
#include "app/ttsmain.h"
#include "desktop/ttsaboutForm.h"
#include "platform/program_folder.h"
#include "support/fake_shell.h"
#include "support/test_home.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// The About window: who made Parlanto, which version, what it runs with, and its running line.
class TestAbout : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void showsProductVersionContactAndEngines()
    {
        FakeShell shell;
        ttsaboutForm *about = ttsaboutForm::showWindow();
        QVERIFY(about);
        QSignalSpy lameKnown(about, &ttsaboutForm::lameVersionKnown);
        QTRY_VERIFY(about->isVisible());
        QCOMPARE(about->windowTitle(), QStringLiteral("About - Parlanto"));
        QCOMPARE(about->Label1->text(), QStringLiteral("Parlanto"));
        // The same version the main window shows.
        AppState app;
        const ttsmain main(app);
        QCOMPARE(about->Label2->text(), main.Label10->text());
        QCOMPARE(about->Label4->text(), vendorSite());
        QVERIFY(about->Label5->text().endsWith(vendorSupport()));
        QVERIFY2(QRegularExpression(QStringLiteral("^eSpeak NG \\d+\\.\\d+"))
                     .match(about->Label6->text())
                     .hasMatch(),
                 qPrintable(about->Label6->text()));
        QVERIFY2(
            QRegularExpression(QStringLiteral("^Flite \\d+\\.\\d+")).match(about->Label7->text()).hasMatch(),
            qPrintable(about->Label7->text()));
        QVERIFY(lameKnown.wait(5000));
        QVERIFY2(
            QRegularExpression(QStringLiteral("^lame \\d+\\.\\d+")).match(about->Label8->text()).hasMatch(),
            qPrintable(about->Label8->text()));

        // The running line moves by itself, one character per tick, as a rotation of its text.
        const QString start = about->Label9->text();
        QVERIFY(about->Timer1->isActive());
        QTRY_VERIFY(about->Label9->text() != start);
        QVERIFY((start + start).contains(about->Label9->text()));
        QCOMPARE(ttsaboutForm::marqueeStep(QStringLiteral("abc")), QStringLiteral("bca"));

        // The site and the support address open in the desktop's programs.
        QTest::mouseClick(about->Label4, Qt::LeftButton, {}, about->Label4->rect().center());
        QTest::mouseClick(about->Label5, Qt::LeftButton, {}, about->Label5->rect().center());
        QCOMPARE(shell.opened(), (QStringList{vendorSite(), QStringLiteral("mailto:") + vendorSupport()}));

        QCOMPARE(ttsaboutForm::showWindow(), about);
        QTest::mouseClick(about->Command1, Qt::LeftButton);
        QTRY_VERIFY(!ttsaboutForm::window());
    }

    void lameVersionFromItsBanner_data()
    {
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QString>("version");
        QTest::newRow("Debian 12") << "LAME 64bits version 3.100 (http://lame.sf.net)\n\nCan I use LAME..."
                                   << "3.100";
        QTest::newRow("older") << "LAME 32bits version 3.99.5 (http://lame.sf.net)"
                               << "3.99.5";
        QTest::newRow("something else") << "lame: unrecognized option"
                                        << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void lameVersionFromItsBanner()
    {
        QFETCH(QString, banner);
        QFETCH(QString, version);
        QCOMPARE(ttsaboutForm::lameVersionFromBanner(banner), version);
    }

    void saysSoWhenLameIsMissing()
    {
        QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", empty.path().toLocal8Bit());
        ttsaboutForm *about = ttsaboutForm::showWindow();
        qputenv("PATH", path);
        QCOMPARE(about->Label8->text(), QStringLiteral("lame: not found (needed for MP3 files)"));
        ttsaboutForm::unloadWindow();
        QTRY_VERIFY(!ttsaboutForm::window());
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
