// test-links: parlanto_desktop
#include "desktop/addin_installers.h"
#include "platform/program_folder.h"
#include "support/test_home.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// Runs inside LibreOffice: writes what LibreOffice made of the extension's menu, tool bar,
// pictures and tool bar name to RESULT, one tab-separated line each, then opens a Writer
// document holding SECRET and runs the extension's own Speak command on it.
const char CheckModule[] = R"BASIC(Sub Main
    Dim s As String, i As Integer
    Dim oProvider As Object, oUI As Object, oSet As Object, oItem As Object, aNames
    Dim aArgs(0) As New com.sun.star.beans.PropertyValue
    oProvider = CreateUnoService("com.sun.star.configuration.ConfigurationProvider")
    aArgs(0).Name = "nodepath"
    aArgs(0).Value = "/org.openoffice.Office.Addons/AddonUI"
    oUI = oProvider.createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess", aArgs())
    oSet = oUI.getByName("OfficeMenuBar").getByName("org.parlanto.writer.menu").getByName("Submenu")
    aNames = oSet.getElementNames()
    For i = LBound(aNames) To UBound(aNames)
        oItem = oSet.getByName(aNames(i))
        s = s & "menu" & Chr(9) & oItem.Title & Chr(9) & oItem.URL & Chr(10)
    Next i
    oSet = oUI.getByName("OfficeToolBar").getByName("org.parlanto.writer.toolbar")
    aNames = oSet.getElementNames()
    For i = LBound(aNames) To UBound(aNames)
        oItem = oSet.getByName(aNames(i))
        s = s & "toolbar" & Chr(9) & oItem.Title & Chr(9) & oItem.URL & Chr(10)
    Next i
    oSet = oUI.getByName("Images")
    aNames = oSet.getElementNames()
    For i = LBound(aNames) To UBound(aNames)
        oItem = oSet.getByName(aNames(i))
        s = s & "image" & Chr(9) & oItem.URL & Chr(9) & oItem.UserDefinedImages.ImageSmallURL & Chr(9) & _
            oItem.UserDefinedImages.ImageBigURL & Chr(10)
    Next i
    aArgs(0).Value = "/org.openoffice.Office.UI.WriterWindowState/UIElements/States"
    oSet = oProvider.createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess", aArgs())
    s = s & "name" & Chr(9) & oSet.getByName("private:resource/toolbar/addon_org.parlanto.writer.toolbar").UIName & Chr(10)
    Dim oDoc As Object
    oDoc = StarDesktop.loadComponentFromURL("private:factory/swriter", "_blank", 0, Array())
    oDoc.getText().setString("SECRET")
    BasicLibraries.loadLibrary("Parlanto")
    SpeakByParlanto
    Dim oAccess As Object, oOut As Object
    oAccess = CreateUnoService("com.sun.star.ucb.SimpleFileAccess")
    oOut = CreateUnoService("com.sun.star.io.TextOutputStream")
    oOut.setOutputStream(oAccess.openFileWrite(ConvertToURL("RESULT")))
    oOut.writeString(s)
    oOut.closeOutput()
    oDoc.close(True)
    StarDesktop.terminate()
End Sub
)BASIC";

// Stands in for Parlanto on the PATH: records its arguments, the modes of the handed-over
// file and of its folder, and the file's text.
const char FakeParlanto[] = R"SH(#!/bin/sh
printf '%s\n' "$@" > "OUT.args"
stat -c '%a' "$1" "$(dirname "$1")" > "OUT.modes"
cat "$1" > "OUT.text"
)SH";

const QString Secret = QStringLiteral("Secret words of a document nobody else may read.");

} // namespace

// LibreOffice's own extension manager installs the Writer extension built from this repository,
// and LibreOffice then shows its three commands in order, with pictures, on a tool bar named
// "Parlanto"; the Speak command hands the document's text over privately.
class TestWriterExtension : public QObject
{
    Q_OBJECT
    TestHome home;
    QString m_setpriv;
    uid_t m_nobody = 0;
    gid_t m_nogroup = 0;

    // Runs a LibreOffice program with the profile in `sandbox`; as the superuser through an
    // unprivileged user, since unopkg refuses to install for root.
    QByteArray run(const QString &program, QStringList arguments, const QTemporaryDir &sandbox)
    {
        arguments << QStringLiteral("-env:UserInstallation=file://") +
                         sandbox.filePath(QStringLiteral("profile"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), sandbox.path());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), sandbox.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("PATH"), sandbox.filePath(QStringLiteral("bin")) +
                                                       QLatin1Char(':') + environment.value("PATH"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (!m_setpriv.isEmpty())
            process.start(m_setpriv,
                          QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                      QStringLiteral("--clear-groups"), program} +
                              arguments);
        else
            process.start(program, arguments);
        if (!process.waitForFinished(120000))
            return QByteArrayLiteral("timed out");
        const QByteArray output = process.readAll();
        return process.exitCode() == 0 ? output : QByteArrayLiteral("failed: ") + output;
    }

    // Hands a file or folder to the user LibreOffice runs as (nobody, when we are root).
    bool giveToOffice(const QString &path) const
    {
        return ::geteuid() != 0 || ::chown(QFile::encodeName(path).constData(), m_nobody, m_nogroup) == 0;
    }

    // Writes a file LibreOffice may read and rewrite, in folders it owns below `sandbox`.
    bool writeForOffice(const QTemporaryDir &sandbox, const QString &path, const QByteArray &content,
                        QFile::Permissions mode) const
    {
        QDir().mkpath(QFileInfo(path).path());
        for (QString folder = QFileInfo(path).path(); folder.size() > sandbox.path().size();
             folder = QFileInfo(folder).path())
            if (!giveToOffice(folder))
                return false;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            return false;
        file.close();
        return giveToOffice(path) && QFile::setPermissions(path, mode);
    }

    // The profile's own Basic library "Standard" holds the check module, and the profile counts
    // as set up, so that LibreOffice keeps the library rather than copying in its default one.
    bool prepareProfile(const QTemporaryDir &sandbox, const QString &result)
    {
        const QString user = sandbox.filePath(QStringLiteral("profile/user"));
        QFile modifications(user + QStringLiteral("/registrymodifications.xcu"));
        if (!modifications.open(QIODevice::ReadOnly))
            return false;
        QByteArray settings = modifications.readAll();
        modifications.close();
        settings.replace(
            "</oor:items>",
            "<item oor:path=\"/org.openoffice.Setup/Office\"><prop oor:name=\"ooSetupInstCompleted\" "
            "oor:op=\"fuse\"><value>true</value></prop></item>\n</oor:items>");
        const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        const QByteArray libraries =
            "<!DOCTYPE library:libraries PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" "
            "\"libraries.dtd\">\n<library:libraries xmlns:library=\"http://openoffice.org/2000/library\" "
            "xmlns:xlink=\"http://www.w3.org/1999/xlink\">\n <library:library library:name=\"Standard\" "
            "xlink:href=\"$(USER)/basic/Standard/KIND.xlb/\" xlink:type=\"simple\" library:link=\"false\"/>\n"
            "</library:libraries>\n";
        const QByteArray library =
            "<!DOCTYPE library:library PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" "
            "\"library.dtd\">\n"
            "<library:library xmlns:library=\"http://openoffice.org/2000/library\" library:name=\"Standard\" "
            "library:readonly=\"false\" library:passwordprotected=\"false\">ELEMENTS</library:library>\n";
        const QString code = QString::fromLatin1(CheckModule)
                                 .replace(QLatin1String("RESULT"), result)
                                 .replace(QLatin1String("SECRET"), Secret);
        const QByteArray module =
            "<!DOCTYPE script:module PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" "
            "\"module.dtd\">\n"
            "<script:module xmlns:script=\"http://openoffice.org/2000/script\" script:name=\"Module1\" "
            "script:language=\"StarBasic\">" +
            code.toHtmlEscaped().toUtf8() + "</script:module>\n";
        const QFile::Permissions readWrite = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther;
        const QString basic = user + QStringLiteral("/basic/");
        return writeForOffice(sandbox, modifications.fileName(), settings, readWrite) &&
               writeForOffice(sandbox, basic + QStringLiteral("script.xlc"),
                              head + QByteArray(libraries).replace("KIND", "script"), readWrite) &&
               writeForOffice(sandbox, basic + QStringLiteral("dialog.xlc"),
                              head + QByteArray(libraries).replace("KIND", "dialog"), readWrite) &&
               writeForOffice(sandbox, basic + QStringLiteral("Standard/script.xlb"),
                              head + QByteArray(library).replace(
                                         "ELEMENTS", "\n <library:element library:name=\"Module1\"/>\n"),
                              readWrite) &&
               writeForOffice(sandbox, basic + QStringLiteral("Standard/dialog.xlb"),
                              head + QByteArray(library).replace("ELEMENTS", ""), readWrite) &&
               writeForOffice(sandbox, basic + QStringLiteral("Standard/Module1.xba"), head + module,
                              readWrite);
    }

private slots:
    void writerShowsTheCommandsInOrderAndSpeaksPrivately()
    {
        const QString oxt = programFile(QLatin1String(WriterExtensionName));
        QVERIFY2(QFileInfo(oxt).size() > 0,
                 "the build makes parlanto.oxt and ships it to the program folder");
        const QString unopkg = findUnopkg();
        if (unopkg.isEmpty())
            QSKIP("LibreOffice is not installed (scripts/install-deps installs it)");
        const QString soffice = QFileInfo(unopkg).dir().filePath(QStringLiteral("soffice"));
        QVERIFY2(QFileInfo(soffice).isExecutable(), "unopkg comes with soffice");
        QTemporaryDir sandbox;
        if (::geteuid() == 0) {
            m_setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            const passwd *nobody = ::getpwnam("nobody");
            const group *nogroup = ::getgrnam("nogroup");
            if (m_setpriv.isEmpty() || !nobody || !nogroup)
                QSKIP("unopkg refuses root, and setpriv or the user nobody is missing to run it as another");
            m_nobody = nobody->pw_uid;
            m_nogroup = nogroup->gr_gid;
            QVERIFY(QFile::setPermissions(sandbox.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner | QFile::ReadOther |
                                                              QFile::WriteOther | QFile::ExeOther));
        }
        const QString copy = sandbox.filePath(QStringLiteral("parlanto.oxt"));
        QVERIFY(QFile::copy(oxt, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ReadOther));
        const QByteArray added = run(unopkg, unopkgAddArguments(copy), sandbox);
        QVERIFY2(!added.startsWith("failed") && !added.startsWith("timed out"), added.constData());

        // The unpacked extension: its macros and its pictures at LibreOffice's two sizes.
        QString installed;
        QDirIterator it(sandbox.filePath(QStringLiteral("profile")), {QStringLiteral("Addons.xcu")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (file.contains(QLatin1String("/uno_packages/")))
                installed = QFileInfo(file).path();
        }
        QVERIFY2(!installed.isEmpty(), "the extension is unpacked in the profile");
        QFile module(installed + QStringLiteral("/Parlanto/Speak.xba"));
        QVERIFY(module.open(QIODevice::ReadOnly));
        const QString basic = QString::fromUtf8(module.readAll());
        for (const QString &picture :
             {QStringLiteral("speak"), QStringLiteral("pause"), QStringLiteral("stop")})
            for (const int size : {16, 26}) {
                const QImage image(QStringLiteral("%1/icons/%2_%3.png").arg(installed, picture).arg(size));
                QCOMPARE(image.size(), QSize(size, size));
                QVERIFY(image.hasAlphaChannel());
                QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
                int drawn = 0;
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x)
                        drawn += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
                QVERIFY2(drawn > size * size / 6, qPrintable(picture));
            }

        // LibreOffice itself, headless, reports what it made of the extension and runs Speak.
        QVERIFY(QDir().mkpath(sandbox.filePath(QStringLiteral("bin"))));
        const QString fake = sandbox.filePath(QStringLiteral("bin/parlanto"));
        const QString handed = sandbox.filePath(QStringLiteral("handed"));
        QVERIFY(writeForOffice(
            sandbox, fake, QByteArray(FakeParlanto).replace("OUT", QFile::encodeName(handed)),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        const QString result = sandbox.filePath(QStringLiteral("result.txt"));
        QVERIFY(prepareProfile(sandbox, result));
        const QByteArray ran = run(soffice,
                                   {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                    QStringLiteral("macro:///Standard.Module1.Main")},
                                   sandbox);
        QVERIFY2(!ran.startsWith("failed") && !ran.startsWith("timed out"), ran.constData());
        QFile report(result);
        QVERIFY2(report.open(QIODevice::ReadOnly), ran.constData());

        QMap<QString, QStringList> titles;
        QMap<QString, QStringList> pictures; // command URL -> small, big picture
        QString toolBarName;
        for (const QString &line :
             QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            if (fields.first() == QLatin1String("menu") || fields.first() == QLatin1String("toolbar")) {
                QCOMPARE(fields.size(), 3);
                titles[fields.first()] << fields.at(1);
                static const QRegularExpression macro(
                    QStringLiteral("^vnd\\.sun\\.star\\.script:Parlanto\\.Speak\\.(\\w+)\\?language=Basic&"
                                   "location=application$"));
                const QRegularExpressionMatch match = macro.match(fields.at(2));
                QVERIFY2(match.hasMatch(), qPrintable(fields.at(2)));
                QVERIFY2(basic.contains(QStringLiteral("\nSub ") + match.captured(1) + QLatin1Char('\n')),
                         qPrintable(match.captured(1)));
            } else if (fields.first() == QLatin1String("image")) {
                QCOMPARE(fields.size(), 4);
                pictures[fields.at(1)] = fields.mid(2);
            } else if (fields.first() == QLatin1String("name")) {
                toolBarName = fields.value(1);
            }
        }
        const QStringList order = {QStringLiteral("Speak by Parlanto"), QStringLiteral("Pause or resume"),
                                   QStringLiteral("Stop")};
        QCOMPARE(titles.value(QStringLiteral("menu")), order);
        QCOMPARE(titles.value(QStringLiteral("toolbar")), order);
        QCOMPARE(toolBarName, QStringLiteral("Parlanto"));
        const QMap<QString, QString> pictureOf = {
            {QStringLiteral("SpeakByParlanto"), QStringLiteral("speak")},
            {QStringLiteral("PauseOrResumeSpeaking"), QStringLiteral("pause")},
            {QStringLiteral("StopSpeaking"), QStringLiteral("stop")}};
        for (auto command = pictureOf.cbegin(); command != pictureOf.cend(); ++command) {
            const QString url =
                QStringLiteral("vnd.sun.star.script:Parlanto.Speak.%1?language=Basic&location=application")
                    .arg(command.key());
            const QStringList urls = pictures.value(url);
            QCOMPARE(urls.size(), 2);
            QVERIFY2(urls.at(0).endsWith(QStringLiteral("/icons/%1_16.png").arg(command.value())),
                     qPrintable(url));
            QVERIFY2(urls.at(1).endsWith(QStringLiteral("/icons/%1_26.png").arg(command.value())),
                     qPrintable(url));
        }

        // The text went to Parlanto in a file only its owner may read, in a folder only its
        // owner may enter; the command line held the file's path, never the text.
        const auto contentOf = [&handed](const char *part) {
            QFile file(handed + QLatin1String(part));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(".text"), Secret.toUtf8(), 20000);
        const QByteArray argument = contentOf(".args");
        QVERIFY2(argument.startsWith(
                     QFile::encodeName(sandbox.filePath(QStringLiteral("cache/parlanto/writer/")))),
                 argument.constData());
        QVERIFY2(!argument.contains("Secret"), argument.constData());
        QCOMPARE(argument.count('\n'), 1);
        QCOMPARE(contentOf(".modes"), QByteArray("600\n700\n"));
    }
};

QTEST_GUILESS_MAIN(TestWriterExtension)
#include "test_writer_extension.moc"
