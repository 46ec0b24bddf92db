// test-links: parlanto_desktop
#include "desktop/addin_installers.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "support/test_home.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <functional>
#include <unistd.h>

namespace {

// Registry entries in the table read "key|name|value"; the key is "word" or "wp:VERSION".
void writeRegistry(const QStringList &entries, const std::function<QString(QString)> &expand)
{
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(QLatin1Char('|'));
        const QString key = parts[0] == QLatin1String("word")
                                ? wordKey()
                                : wordPerfectKey(parts[0].section(QLatin1Char(':'), 1));
        Registry::setValue(key, parts[1], expand(parts[2]));
    }
}

} // namespace

// The Word and WordPerfect installers, from the registry keys they read to the files they copy
// and the one message each ends with; and the checks before LibreOffice's extension manager.
class TestAddinInstallers : public QObject
{
    Q_OBJECT

private slots:
    void installers_data()
    {
        QTest::addColumn<QString>("installer");
        QTest::addColumn<QStringList>("registry");
        QTest::addColumn<QStringList>("folders");      // made under the sandbox
        QTest::addColumn<QStringList>("missingFiles"); // removed from the program folder
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("landed"); // files that must exist afterwards
        QTest::addColumn<QStringList>("absent"); // files that must not

        const QString word = QStringLiteral("word");
        const QString wp = QStringLiteral("wordperfect");
        const QString parlanto = QStringLiteral("Parlanto");
        const QString success = QStringLiteral("Success -- Parlanto");
        const QString wordSuccess = QStringLiteral(
            "Copy {home}/ttsparlSpeak.dot TO {root}/Office/Startup/ttsparlSpeak.dot Successfully . "
            "The speaker has been added to your MS Word tool bar!");
        const QString wpSuccess = QStringLiteral(
            "Now, run your WordPerfect, if you can not see three green background icons on its "
            "toolbar, please use Customize Settings to show.Any question cantact with "
            "support@parlanto.example");
        const QStringList wpFiles = {
            QStringLiteral("{root}/wp11/macros/ttsparlSpeak.WCM"),
            QStringLiteral("{root}/wp11/macros/ttsparlPauseOrResumeSpeaking.WCM"),
            QStringLiteral("{root}/wp11/macros/ttsparlStopSpeaking.WCM"),
            QStringLiteral("{root}/wp11/templates/ttsparlwp11.wpt"),
        };
        const QStringList wp11 = {QStringLiteral("wp:11|Macro Folder|{root}/wp11/macros"),
                                  QStringLiteral("wp:11|Additional Templates Folder|{root}/wp11/templates")};
        const QStringList wp11Folders = {QStringLiteral("wp11/macros"), QStringLiteral("wp11/templates")};

        QTest::newRow("no Word") << word << QStringList() << QStringList() << QStringList()
                                 << "Can not find MS Word" << parlanto << QStringList() << QStringList();
        QTest::newRow("Word key without a path")
            << word << QStringList{QStringLiteral("word|Other|x")} << QStringList() << QStringList()
            << "Can not find MS Word" << parlanto << QStringList() << QStringList();
        QTest::newRow("quoted Word path")
            << word << QStringList{QStringLiteral("word|Path|\"{root}/Office\"")}
            << QStringList{QStringLiteral("Office/Startup")} << QStringList() << wordSuccess << success
            << QStringList{QStringLiteral("{root}/Office/Startup/ttsparlSpeak.dot")} << QStringList();
        QTest::newRow("Word path ending in a separator")
            << word << QStringList{QStringLiteral("word|Path|{root}/Office/")}
            << QStringList{QStringLiteral("Office/Startup")} << QStringList() << wordSuccess << success
            << QStringList{QStringLiteral("{root}/Office/Startup/ttsparlSpeak.dot")} << QStringList();
        QTest::newRow("Word template missing")
            << word << QStringList{QStringLiteral("word|Path|{root}/Office")}
            << QStringList{QStringLiteral("Office/Startup")}
            << QStringList{QStringLiteral("ttsparlSpeak.dot")}
            << "Can not find {home}/ttsparlSpeak.dot file, please reinstall Parlanto" << parlanto
            << QStringList() << QStringList{QStringLiteral("{root}/Office/Startup/ttsparlSpeak.dot")};
        QTest::newRow("read-only Startup folder")
            << word << QStringList{QStringLiteral("word|Path|{root}/Office")}
            << QStringList{QStringLiteral("Office/Startup:ro")} << QStringList()
            << "The file {home}/ttsparlSpeak.dot is opening , please close your MS Word" << parlanto
            << QStringList() << QStringList{QStringLiteral("{root}/Office/Startup/ttsparlSpeak.dot")};

        QTest::newRow("no WordPerfect")
            << wp << QStringList() << QStringList() << QStringList()
            << "Can not find Wordperfect. Please tell us your WordPerfect version and WordPerfect language, "
               "email: support@parlanto.example"
            << parlanto << QStringList() << QStringList();
        QTest::newRow("WordPerfect 8 and 11: 11 wins")
            << wp
            << (QStringList{QStringLiteral("wp:8|Macro Folder|{root}/wp8/macros"),
                            QStringLiteral("wp:8|Additional Templates Folder|{root}/wp8/templates")} +
                wp11)
            << (QStringList{QStringLiteral("wp8/macros"), QStringLiteral("wp8/templates")} + wp11Folders)
            << QStringList() << wpSuccess << success << wpFiles
            << QStringList{QStringLiteral("{root}/wp8/macros/ttsparlSpeak.WCM"),
                           QStringLiteral("{root}/wp8/templates/ttsparlwp11.wpt")};
        QTest::newRow("WordPerfect 8 only, folders ending in a separator")
            << wp
            << QStringList{QStringLiteral("wp:8|Macro Folder|{root}/wp8/macros/"),
                           QStringLiteral("wp:8|Additional Templates Folder|{root}/wp8/templates/")}
            << QStringList{QStringLiteral("wp8/macros"), QStringLiteral("wp8/templates")} << QStringList()
            << wpSuccess << success
            << QStringList{QStringLiteral("{root}/wp8/macros/ttsparlStopSpeaking.WCM"),
                           QStringLiteral("{root}/wp8/templates/ttsparlwp11.wpt")}
            << QStringList();
        QTest::newRow("WordPerfect without a macro folder")
            << wp << QStringList{QStringLiteral("wp:11|Additional Templates Folder|{root}/wp11/templates")}
            << wp11Folders << QStringList()
            << "Can not find Wordperfect Macro Folder. Is your WordPerfect old version? Please tell us, our "
               "email: support@parlanto.example"
            << parlanto << QStringList()
            << QStringList{QStringLiteral("{root}/wp11/templates/ttsparlwp11.wpt")};
        QTest::newRow("WordPerfect without a templates folder keeps the macros")
            << wp << QStringList{QStringLiteral("wp:11|Macro Folder|{root}/wp11/macros")} << wp11Folders
            << QStringList()
            << "Can not find Wordperfect Macro Folder. Is your WordPerfect old version? Please tell us, our "
               "email: support@parlanto.example"
            << parlanto << wpFiles.mid(0, 3) << QStringList();
        QTest::newRow("WordPerfect macro missing")
            << wp << wp11 << wp11Folders << QStringList{QStringLiteral("ttsparlPauseOrResumeSpeaking.WCM")}
            << "File not found, Please reinstall Parlanto" << parlanto << wpFiles.mid(0, 1) << wpFiles.mid(1);
        QTest::newRow("WordPerfect macro folder gone")
            << wp << wp11 << QStringList{QStringLiteral("wp11/templates")} << QStringList()
            << "Error number: 76 Error description: Path not found, Please email us this information "
               "support@parlanto.example"
            << "Some errors occurs Parlanto" << QStringList() << wpFiles;
    }

    void installers()
    {
        QFETCH(QString, installer);
        QFETCH(QStringList, registry);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, missingFiles);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QStringList, landed);
        QFETCH(QStringList, absent);

        const bool readOnly = !folders.filter(QStringLiteral(":ro")).isEmpty();
        if (readOnly && ::geteuid() == 0)
            QSKIP("the superuser writes into read-only folders");

        TestHome home;
        const QString folder = programFolder();
        QTemporaryDir sandbox;
        const auto expand = [&](QString value) {
            return value.replace(QStringLiteral("{home}"), folder)
                .replace(QStringLiteral("{root}"), sandbox.path());
        };
        for (const QString &made : folders) {
            const QString path = sandbox.filePath(made.section(QLatin1Char(':'), 0, 0));
            QVERIFY(QDir().mkpath(path));
            if (made.endsWith(QLatin1String(":ro")))
                QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
        }
        for (const QString &name : missingFiles)
            QVERIFY(QFile::remove(folder + QLatin1Char('/') + name));
        writeRegistry(registry, expand);

        const InstallerMessage message =
            installer == QLatin1String("word") ? installWordAddIn(folder) : installWordPerfectAddIn(folder);
        QCOMPARE(message.text, expand(text));
        QCOMPARE(message.title, title);
        QCOMPARE(message.buttons, Dialogs::Buttons::Ok);
        for (const QString &file : landed) {
            const QString path = expand(file);
            QVERIFY2(QFile::exists(path), qPrintable(path));
            // The copy is the shipped file, byte for byte.
            QFile copy(path);
            QFile original(folder + QLatin1Char('/') + QFileInfo(path).fileName());
            QVERIFY(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), original.readAll());
        }
        for (const QString &file : absent)
            QVERIFY2(!QFile::exists(expand(file)), qPrintable(expand(file)));
        // No temporary copies are left beside the targets.
        for (const QString &made : folders) {
            const QDir dir(sandbox.filePath(made.section(QLatin1Char(':'), 0, 0)));
            QVERIFY2(dir.entryList({QStringLiteral("*.??????")}, QDir::Files).isEmpty(),
                     qPrintable(dir.path()));
        }
    }

    // A failure the installer cannot name asks whether to mail it, with a valid mail address.
    void wordErrorOffersMail()
    {
        TestHome home;
        QTemporaryDir sandbox;
        QVERIFY(QDir().mkpath(sandbox.filePath(QStringLiteral("Office")))); // no Startup folder
        Registry::setValue(wordKey(), QStringLiteral("Path"), sandbox.filePath(QStringLiteral("Office")));

        const InstallerMessage message = installWordAddIn(programFolder());
        QCOMPARE(message.text,
                 QStringLiteral("76  Path not found (Whould you like E-Mail this error message to me ? "
                                "My email is support@parlanto.example)"));
        QCOMPARE(message.title, QStringLiteral("Add Speaker to MS Word Error"));
        QCOMPARE(message.buttons, Dialogs::Buttons::YesNo);
        QCOMPARE(message.icon, Dialogs::Icon::Critical);
        const QUrl mail(message.mailOnYes, QUrl::StrictMode);
        QVERIFY2(mail.isValid(), qPrintable(message.mailOnYes));
        QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
        QCOMPARE(mail.path(), QStringLiteral("support@parlanto.example"));
        QCOMPARE(QUrlQuery(mail).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                 QStringLiteral("Add Speaker to MS Word Error Code:76 Text:Path not found"));
    }

    void writerInstaller()
    {
        TestHome home;
        const QString folder = programFolder();
        QCOMPARE(writerInstallPrecheck(QString(), folder).text,
                 QStringLiteral("Can not find LibreOffice Writer"));
        QVERIFY(writerInstallPrecheck(QStringLiteral("/usr/bin/unopkg"), folder).text.isEmpty());
        QVERIFY(QFile::remove(folder + QStringLiteral("/parlanto.oxt")));
        QCOMPARE(writerInstallPrecheck(QStringLiteral("/usr/bin/unopkg"), folder).text,
                 QStringLiteral("Can not find ") + folder +
                     QStringLiteral("/parlanto.oxt file, please reinstall Parlanto"));

        const InstallerMessage done = writerInstallOutcome(QStringLiteral("/p/parlanto.oxt"), 0, QString());
        QCOMPARE(done.title, QStringLiteral("Success -- Parlanto"));
        QVERIFY(done.text.startsWith(
            QStringLiteral("Add /p/parlanto.oxt TO LibreOffice Writer Successfully . ")));
        const InstallerMessage failed = writerInstallOutcome(
            QStringLiteral("/p/parlanto.oxt"), 1,
            QStringLiteral("ERROR: Cannot run unopkg as root without --shared or --bundled option.\n"));
        QCOMPARE(failed.title, QStringLiteral("Some errors occurs Parlanto"));
        QCOMPARE(failed.text,
                 QStringLiteral("Error number: 1 Error description: ERROR: Cannot run unopkg as root "
                                "without --shared or --bundled option., Please email us this "
                                "information support@parlanto.example"));
        // A flood of output is cut to its end, where the reason is.
        const InstallerMessage flooded = writerInstallOutcome(QStringLiteral("/p/parlanto.oxt"), 2,
                                                              QString(5000, QLatin1Char('x')) + "reason");
        QVERIFY(flooded.text.size() < 600);
        QVERIFY(flooded.text.contains(QStringLiteral("xreason, Please email us")));
    }
};

QTEST_GUILESS_MAIN(TestAddinInstallers)
#include "test_addin_installers.moc"
