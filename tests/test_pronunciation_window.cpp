#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/fake_dialogs.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"
#include "tools/PronunciationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QWindow>
#include <QtTest>

namespace {

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

// The Pronunciation window as a user meets it: opened from the main window, a rule typed and
// checked, added, heard with Listen, and then a reading that says the rule's words while the
// highlight stays on the user's own.
class TestPronunciationWindow : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void initTestCase() { markFirstRunDone(); }

    void aRuleIsAddedHeardAndReadWithTheHighlightOnTheOriginal_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QStringList>("highlights"); // generation 4 highlights up to the next blank
        QTest::newRow("eSpeak NG") << 4 << QStringList{"Drive", "50", "km/h", "now."};
        QTest::newRow("Flite") << 5 << QStringList{"Drive", "50", "km/h", "now"};
    }
    void aRuleIsAddedHeardAndReadWithTheHighlightOnTheOriginal()
    {
        QFETCH(int, generation);
        QFETCH(QStringList, highlights);
        const QString path = home.file(QStringLiteral("pronunciation.txt"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("# mine\n/(oops/ = x\nSQL = sequel\n");
        }
        FakeDialogs dialogs;
        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        pickVoice(*w, listPosition(*w, generation, generation == 4 ? QStringLiteral("English") : QString()));
        QTRY_VERIFY(!w->NewsVoice1->isSpeaking());
        w->Combo1->hidePopup();
        w->show();
        w->windowHandle()->requestActivate();
        QTRY_COMPARE(QApplication::activeWindow(), w.window.get());

        // Ctrl+Shift+P in the main window opens it; the bad line is named with its file and line.
        QTest::keyClick(w->RichTextBox1, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        auto *win = w->findChild<PronunciationWindow *>();
        QVERIFY(win);
        QVERIFY(win->isVisible());
        QCOMPARE(win->windowTitle(), QStringLiteral("Pronunciation - Parlanto"));
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY2(
            dialogs.messages().first().text.contains(QStringLiteral("pronunciation.txt, line 2: the regular "
                                                                    "expression does not compile")),
            qPrintable(dialogs.messages().first().text));
        QCOMPARE(win->RuleList->topLevelItemCount(), 2);

        // A pattern is checked as it is typed.
        QTest::mouseClick(win->PatternCheck, Qt::LeftButton, {}, QPoint(4, win->PatternCheck->height() / 2));
        QTest::keyClicks(win->MatchText, QStringLiteral("(km"));
        QVERIFY2(win->CheckLabel->text().contains(QStringLiteral("does not compile")),
                 qPrintable(win->CheckLabel->text()));
        QVERIFY(!win->AddButton->isEnabled());
        QTest::keyClicks(win->MatchText, QStringLiteral(")/h"));
        QCOMPARE(win->CheckLabel->text(), QStringLiteral("The pattern is valid."));
        win->PatternCheck->click();
        win->MatchText->clear();
        QTest::keyClicks(win->MatchText, QStringLiteral("km/h"));
        QTest::keyClicks(win->SayText, QStringLiteral("kilometres per hour"));
        QCOMPARE(win->CheckLabel->text(), QStringLiteral("The rule is valid."));

        QTest::mouseClick(win->AddButton, Qt::LeftButton);
        QCOMPARE(fileText(path),
                 QStringLiteral("# mine\n/(oops/ = x\nSQL = sequel\nkm/h = kilometres per hour\n"));
        QCOMPARE(win->RuleList->topLevelItemCount(), 3);
        QCOMPARE(win->RuleList->currentItem()->text(0), QStringLiteral("km/h"));

        // Listen says the test phrase without the rule, then with it.
        win->TestText->setText(QStringLiteral("Drive 50 km/h."));
        QSignalSpy heard(win, &PronunciationWindow::listened);
        QTest::mouseClick(win->ListenButton, Qt::LeftButton);
        QVERIFY(heard.wait(30000));
        QCOMPARE(win->HeardLabel->text(),
                 QStringLiteral(
                     "Without the rule: \"Drive 50 km/h.\"; with it: \"Drive 50 kilometres per hour.\"."));

        // Reading the document: the rule's words are spoken, the user's word is highlighted.
        w->RichTextBox1->setPlainText(QStringLiteral("Drive 50 km/h now."));
        QStringList selected;
        const auto record = [&] { selected << w->RichTextBox1->textCursor().selectedText(); };
        auto a = connect(w->DirectSS1.get(), &DirectSS::WordPosition, this, record);
        auto b = connect(w->NewsVoice1.get(), &SpVoice::Word, this, record);
        w->Command5_Click();
        QTRY_COMPARE_WITH_TIMEOUT(w->PlayStatus, 3, 30000);
        disconnect(a);
        disconnect(b);
        QCOMPARE(selected, highlights);

        // Removing it saves the file without it; the window's Close closes it.
        QTest::mouseClick(win->RemoveButton, Qt::LeftButton);
        QCOMPARE(fileText(path), QStringLiteral("# mine\n/(oops/ = x\nSQL = sequel\n"));
        QTest::mouseClick(win->CloseButton, Qt::LeftButton);
        QVERIFY(!win->isVisible());
    }
};

QTEST_MAIN(TestPronunciationWindow)
#include "test_pronunciation_window.moc"
