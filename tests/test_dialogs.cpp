// test-links: parlanto_platform
#include "platform/dialogs.h"
#include "platform/font_colour_dialog.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "support/fake_dialogs.h"
#include "support/fake_shell.h"
#include "support/test_home.h"
#include "support/user_home.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

using Buttons = Dialogs::Buttons;
using Answer = Dialogs::Answer;

class TestDialogs : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;

private slots:
    void initTestCase() { home = std::make_unique<TestHome>(); }

    void buttonsMapToAnswers()
    {
        QCOMPARE(Dialogs::answerOfButton(Buttons::Ok, 0), Answer::Ok);
        QCOMPARE(Dialogs::answerOfButton(Buttons::OkCancel, 1), Answer::Cancel);
        QCOMPARE(Dialogs::answerOfButton(Buttons::YesNo, 0), Answer::Yes);
        QCOMPARE(Dialogs::answerOfButton(Buttons::YesNo, 1), Answer::No);
        QCOMPARE(Dialogs::answerOfButton(Buttons::YesNoCancel, 2), Answer::Cancel);
        QCOMPARE(Dialogs::answerOfButton(Buttons::RetryCancel, 0), Answer::Retry);
        QCOMPARE(Dialogs::answerOfButton(Buttons::YesNo, 2), Answer::Yes); // no third button
        QCOMPARE(Dialogs::answerOfButton(Buttons::OkCancel, -1), Answer::Ok);
        QCOMPARE(Dialogs::closeAnswer(Buttons::YesNo), Answer::No);
        QCOMPARE(Dialogs::closeAnswer(Buttons::YesNoCancel), Answer::Cancel);
        QCOMPARE(Dialogs::closeAnswer(Buttons::Ok), Answer::Ok);
    }

    void nameFiltersFollowQtsForm_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("filter");
        QTest::newRow("plain") << "Text"
                               << "*.txt"
                               << "Text (*.txt)";
        QTest::newRow("already") << "Rich Text (*.rtf)"
                                 << "*.rtf"
                                 << "Rich Text (*.rtf)";
        QTest::newRow("several") << "Documents"
                                 << "*.txt;*.rtf"
                                 << "Documents (*.txt *.rtf)";
        QTest::newRow("other group") << "Text (*.txt)"
                                     << "*.txt;*.text"
                                     << "Text (*.txt *.text)";
        QTest::newRow("no pattern") << "All"
                                    << ""
                                    << "All (*)";
    }
    void nameFiltersFollowQtsForm()
    {
        QFETCH(QString, description);
        QFETCH(QString, pattern);
        QFETCH(QString, filter);
        QCOMPARE(Dialogs::nameFilter(description, pattern), filter);
    }

    void fakeDialogsAnswerAsScripted()
    {
        {
            FakeDialogs fake;
            QCOMPARE(&Dialogs::instance(), static_cast<Dialogs *>(&fake));
            fake.queueAnswer(Answer::No);
            QCOMPARE(msgBox(nullptr, QStringLiteral("Overwrite?"), Buttons::YesNo, Dialogs::Icon::Question,
                            QStringLiteral("Message"), 1),
                     Answer::No);
            // Nothing scripted: the default button answers.
            QCOMPARE(msgBox(nullptr, QStringLiteral("Again?"), Buttons::YesNoCancel, Dialogs::Icon::None,
                            QStringLiteral("Parlanto"), 2),
                     Answer::Cancel);
            QCOMPARE(msgBox(nullptr, QStringLiteral("Done")), Answer::Ok);
            QCOMPARE(fake.messages().size(), 3);
            const Dialogs::Message first = fake.messages().first();
            QCOMPARE(first.text, QStringLiteral("Overwrite?"));
            QCOMPARE(first.title, QStringLiteral("Message"));
            QCOMPARE(first.buttons, Buttons::YesNo);
            QCOMPARE(first.icon, Dialogs::Icon::Question);
            QCOMPARE(first.defaultButton, 1);
            QCOMPARE(fake.messages().at(2).title, QStringLiteral("Parlanto"));

            Dialogs::FileRequest request;
            request.title = QStringLiteral("Save");
            request.initialFolder = home->path();
            request.filters = {{QStringLiteral("Wave"), QStringLiteral("*.wav")},
                               {QStringLiteral("MP3"), QStringLiteral("*.mp3")}};
            request.filterIndex = 2;
            fake.queueFile(QStringLiteral("/tmp/a.mp3"), 2);
            fake.queueFileCancel();
            const auto saved = Dialogs::instance().saveFile(nullptr, request);
            QVERIFY(saved);
            QCOMPARE(saved->fileName, QStringLiteral("/tmp/a.mp3"));
            QCOMPARE(saved->filterIndex, 2);
            QVERIFY(!Dialogs::instance().openFile(nullptr, request));
            QVERIFY(!Dialogs::instance().openFile(nullptr, request)); // nothing left: cancel
            QCOMPARE(fake.fileCalls().size(), 3);
            QCOMPARE(fake.fileCalls().at(0).kind, FakeDialogs::FileKind::Save);
            QCOMPARE(fake.fileCalls().at(1).kind, FakeDialogs::FileKind::Open);
            QCOMPARE(fake.fileCalls().at(0).request.filterIndex, 2);
            QCOMPARE(fake.fileCalls().at(0).request.filters.size(), 2);

            QColor colour(Qt::black);
            fake.queueFont(QFont(QStringLiteral("Serif"), 14), QColor(Qt::red));
            const auto font = Dialogs::instance().chooseFont(nullptr, QFont(), colour);
            QVERIFY(font);
            QCOMPARE(font->pointSize(), 14);
            QCOMPARE(colour, QColor(Qt::red));
            QCOMPARE(fake.fontCalls().first().colour, QColor(Qt::black));
            fake.queueFontCancel();
            QVERIFY(!Dialogs::instance().chooseFont(nullptr, QFont(), colour));
            QCOMPARE(colour, QColor(Qt::red));

            fake.queueColour(QColor(1, 2, 3));
            QCOMPARE(Dialogs::instance().chooseColour(nullptr, Qt::white), QColor(1, 2, 3));
            QVERIFY(!Dialogs::instance().chooseColour(nullptr, Qt::white));
            QCOMPARE(fake.colourCalls().size(), 2);

            fake.queueFolder(QStringLiteral("/srv/texts"));
            QCOMPARE(Dialogs::instance().chooseFolder(nullptr, QStringLiteral("Pick"), QStringLiteral("/")),
                     QStringLiteral("/srv/texts"));
            fake.queueFolderCancel();
            QVERIFY(!Dialogs::instance().chooseFolder(nullptr, QStringLiteral("Pick"), QStringLiteral("/")));
            QCOMPARE(fake.folderCalls().first().first, QStringLiteral("Pick"));
            QCOMPARE(fake.unusedAnswers(), 0);

            // Fakes nest: an inner one is used while it lives, then the outer returns.
            {
                FakeDialogs inner;
                msgBox(nullptr, QStringLiteral("inner"));
                QCOMPARE(inner.messages().size(), 1);
            }
            QCOMPARE(Dialogs::installed(), static_cast<Dialogs *>(&fake));
        }
        QCOMPARE(Dialogs::installed(), nullptr);
    }

    void qtMessageBoxUsesTheDefaultButton()
    {
        // The real box: check its buttons and default, then press the other button.
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *button : box->buttons())
                seen.append(button->text());
            seen.append(QStringLiteral("default=") + box->defaultButton()->text());
            seen.append(QStringLiteral("title=") + box->windowTitle());
            seen.append(QStringLiteral("warning=") + QString::number(box->icon() == QMessageBox::Warning));
            box->button(QMessageBox::Yes)->click();
        });
        const Answer answer = msgBox(nullptr, QStringLiteral("Replace it?"), Buttons::YesNo,
                                     Dialogs::Icon::Exclamation, QStringLiteral("Message"), 1);
        QCOMPARE(answer, Answer::Yes);
        QVERIFY2(seen.size() == 5, qPrintable(seen.join(QLatin1Char('|'))));
        QVERIFY(seen.at(2).startsWith(QStringLiteral("default=")));
        QVERIFY(seen.at(2).contains(QStringLiteral("No")));
        QCOMPARE(seen.at(3), QStringLiteral("title=Message"));
        QCOMPARE(seen.at(4), QStringLiteral("warning=1"));

        // Closed without a button: a Yes/No box answers No.
        QTimer::singleShot(0, this, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->reject();
        });
        QCOMPARE(msgBox(nullptr, QStringLiteral("Close me"), Buttons::YesNo), Answer::No);
    }

    void fontDialogChoosesTheTextColourToo()
    {
        for (const bool confirm : {true, false}) {
            QColor colour(Qt::blue);
            QTimer::singleShot(0, this, [confirm] {
                auto *dialog = qobject_cast<FontColourDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                QComboBox *list = dialog->colourList();
                QCOMPARE(list->currentText(), QStringLiteral("Blue"));
                // The mnemonic reaches the list; typing picks the colour by name.
                QTest::keyClick(dialog, Qt::Key_C, Qt::AltModifier);
                QTest::keyClicks(list, QStringLiteral("Red"));
                QCOMPARE(list->currentText(), QStringLiteral("Red"));
                auto *buttons = dialog->findChild<QDialogButtonBox *>();
                QTest::mouseClick(buttons->button(confirm ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel),
                                  Qt::LeftButton);
            });
            QFont initial(QStringLiteral("DejaVu Sans"));
            initial.setPointSize(14);
            const auto font = Dialogs::instance().chooseFont(nullptr, initial, colour);
            QCOMPARE(font.has_value(), confirm);
            QCOMPARE(colour, confirm ? QColor(Qt::red) : QColor(Qt::blue));
            if (font)
                QCOMPARE(font->pointSize(), 14);
        }
        // A colour of the user's own is kept in the list.
        FontColourDialog dialog(nullptr, QFont(), QColor(0x12, 0x34, 0x56));
        QCOMPARE(dialog.selectedColour(), QColor(0x12, 0x34, 0x56));
    }

    void shellTargets()
    {
        QCOMPARE(targetUrl(QStringLiteral("http://www.parlanto.example/faq.htm")),
                 QUrl(QStringLiteral("http://www.parlanto.example/faq.htm")));
        QCOMPARE(targetUrl(QStringLiteral("mailto:support@parlanto.example")).scheme(),
                 QStringLiteral("mailto"));
        QCOMPARE(targetUrl(QStringLiteral("/tmp/a b.txt")),
                 QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")));
        const QString odd = home->file(QStringLiteral("x:y.txt"));
        QFile file(odd);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(targetUrl(odd).isLocalFile());
        QVERIFY(targetUrl(QStringLiteral("c:notes.txt")).isLocalFile()); // a drive letter is no scheme
        QVERIFY(!targetUrl(QStringLiteral("  ")).isValid());

        FakeShell fake;
        fake.setResult(false);
        QVERIFY(!Shell::instance().open(QStringLiteral("http://example.org")));
        QCOMPARE(fake.opened(), QStringList{QStringLiteral("http://example.org")});
    }

    // Where a file or folder dialog first opens: a remembered folder of the user's; else the
    // documents folder, or home while there is none. The program folder is no place for files.
    void dialogsStartInTheUsersFolders()
    {
        UserHome user;
        const QString letters = user.path() + QStringLiteral("/letters");
        QVERIFY(QDir().mkpath(letters));
        const QString program = programFolder();
        struct Case
        {
            const char *name;
            QString remembered;
            QString withoutDocuments;
            QString withDocuments;
        };
        const QList<Case> cases = {
            {"nothing remembered", QString(), user.path(), user.documents()},
            {"blanks", QStringLiteral("  "), user.path(), user.documents()},
            {"the program folder", program, user.path(), user.documents()},
            {"the program folder with its separator", program + QLatin1Char('/'), user.path(),
             user.documents()},
            {"a folder that is gone", user.path() + QStringLiteral("/gone/"), user.path(), user.documents()},
            {"a file, not a folder", home->file(QStringLiteral("notes.txt")), user.path(), user.documents()},
            {"a folder of the user's", letters + QLatin1Char('/'), letters + QLatin1Char('/'),
             letters + QLatin1Char('/')},
            {"the root folder", QStringLiteral("/"), QStringLiteral("/"), QStringLiteral("/")},
        };
        QFile file(home->file(QStringLiteral("notes.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        for (const Case &c : cases)
            QVERIFY2(Dialogs::startFolder(c.remembered) == c.withoutDocuments, c.name);
        user.makeDocuments();
        for (const Case &c : cases)
            QVERIFY2(Dialogs::startFolder(c.remembered) == c.withDocuments, c.name);
    }

    // Every "open" that fails says so in a message naming the file or address; one that works
    // says nothing. The desktop may refuse at once or only once its opener has looked.
    void shellOpenFailuresNameTheTarget()
    {
        FakeDialogs dialogs;
        FakeShell shell;
        const QString song = home->file(QStringLiteral("read aloud.mp3"));
        QFile present(song);
        QVERIFY(present.open(QIODevice::WriteOnly));
        present.close();
        const QString gone = home->file(QStringLiteral("deleted meanwhile.mp3"));
        using Outcome = FakeShell::Outcome;
        struct Case
        {
            const char *name;
            Outcome outcome;
            QString target;
            const char *says; // nothing when empty
            bool handedOver;
        };
        const QList<Case> cases = {
            {"page opened", Outcome::Opened, QStringLiteral("http://www.parlanto.example/faq.htm"), "", true},
            {"no browser", Outcome::NotOpened, QStringLiteral("http://www.parlanto.example/download.htm"),
             "no program", true},
            {"no mail program, found out late", Outcome::LateFailure,
             QStringLiteral("mailto:support@parlanto.example"), "no program", true},
            {"no player for the file", Outcome::NotOpened, song, "no program", true},
            {"the file is gone", Outcome::Opened, gone, "does not exist", false},
        };
        for (const Case &c : cases) {
            dialogs.clearRecords();
            shell.setOutcome(c.outcome);
            const qsizetype asked = shell.opened().size();
            openWithDesktop(nullptr, c.target);
            QCoreApplication::processEvents();
            QCOMPARE(shell.opened().size(), asked + (c.handedOver ? 1 : 0));
            if (*c.says == '\0') {
                QVERIFY2(dialogs.messages().isEmpty(), c.name);
                continue;
            }
            QVERIFY2(dialogs.messages().size() == 1, c.name);
            const Dialogs::Message said = dialogs.messages().first();
            QVERIFY2(said.text.contains(c.target) && said.text.contains(QLatin1String(c.says)),
                     qPrintable(said.text));
            QCOMPARE(said.title, QStringLiteral("Parlanto"));
        }
    }

    // The desktop's own opener, xdg-open: its failure, which Qt never hears of, is reported
    // once it has ended; its success is not.
    void desktopOpenerFailureIsReported()
    {
        FakeDialogs dialogs;
        QTemporaryDir bin;
        const QString record = bin.filePath(QStringLiteral("asked"));
        const auto opener = [&](int status) {
            QFile script(bin.filePath(QStringLiteral("xdg-open")));
            QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
            script.write("#!/bin/sh\necho \"$1\" >> '" + record.toLocal8Bit() + "'\nexit " +
                         QByteArray::number(status) + "\n");
            script.close();
            QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        };
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
        const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
        const auto openersRunning = [] {
            return QCoreApplication::instance()->findChildren<QProcess *>().size();
        };

        const QString page = QStringLiteral("http://127.0.0.1:9/faq.htm");
        opener(3); // "no method available for opening"
        QVERIFY(openWithDesktop(nullptr, page));
        QTRY_COMPARE(dialogs.messages().size(), 1);
        QVERIFY(dialogs.messages().first().text.contains(page));
        QFile asked(record);
        QVERIFY(asked.open(QIODevice::ReadOnly));
        QCOMPARE(asked.readAll(), page.toLocal8Bit() + '\n');
        asked.close();

        opener(0);
        QVERIFY(openWithDesktop(nullptr, home->file(QStringLiteral("notes.txt"))));
        QTRY_COMPARE(openersRunning(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.messages().size(), 1);
    }

    void registryKeepsValuesInTheProgramFolder()
    {
        const QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\Parlanto");
        QCOMPARE(Registry::value(key, QStringLiteral("WaveEnd"), 7).toInt(), 7);
        Registry::setValue(key, QStringLiteral("WaveEnd"), 1);
        Registry::setValue(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Parlanto"),
                           QStringLiteral("WaveEnd"), 2);
        Registry::setValue(key, QString(), QStringLiteral("default value"));
        QCOMPARE(Registry::value(key, QStringLiteral("WaveEnd")).toInt(), 1);
        QCOMPARE(Registry::value(key, QString()).toString(), QStringLiteral("default value"));
        QVERIFY(QFile::exists(home->file(QStringLiteral("registry.ini"))));

        // Another reader of the file (a new process) sees the same values.
        QSettings file(home->file(QStringLiteral("registry.ini")), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("HKEY_LOCAL_MACHINE/Software/Parlanto/WaveEnd")).toInt(), 2);

        Registry::remove(key, QStringLiteral("WaveEnd"));
        QVERIFY(!Registry::value(key, QStringLiteral("WaveEnd")).isValid());
        QCOMPARE(Registry::value(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Parlanto"),
                                 QStringLiteral("WaveEnd"))
                     .toInt(),
                 2);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
