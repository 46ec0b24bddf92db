// test-links: parlanto_desktop
#include "desktop/addin_installers.h"
#include "platform/program_folder.h"
#include "support/test_home.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <unistd.h>

namespace {

// The (title, macro URL) of each command node under the Addons node named `part`.
QList<QPair<QString, QString>> entriesOf(const QByteArray &xcu, const QString &part)
{
    QList<QPair<QString, QString>> entries;
    QXmlStreamReader xml(xcu);
    // One (properties) frame per open <node>, and whether it lies inside `part`.
    struct Frame
    {
        bool inPart = false;
        QHash<QString, QString> properties;
    };
    QList<Frame> nodes;
    QString property;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.attributes().value(QStringLiteral("oor:name")).toString();
            if (xml.name() == QLatin1String("node"))
                nodes.append(Frame{(!nodes.isEmpty() && nodes.last().inPart) || name == part, {}});
            else if (xml.name() == QLatin1String("prop"))
                property = name;
            else if (xml.name() == QLatin1String("value") && !nodes.isEmpty())
                nodes.last().properties.insert(property, xml.readElementText());
        } else if (xml.isEndElement() && xml.name() == QLatin1String("node") && !nodes.isEmpty()) {
            const Frame node = nodes.takeLast();
            if (node.inPart && node.properties.contains(QStringLiteral("URL")))
                entries.append({node.properties.value(QStringLiteral("Title")),
                                node.properties.value(QStringLiteral("URL"))});
        }
    }
    return entries;
}

} // namespace

// LibreOffice's own extension manager accepts the Writer extension built from this repository
// and registers its three commands, in a throw-away LibreOffice profile.
class TestWriterExtension : public QObject
{
    Q_OBJECT
    TestHome home;

    // Runs unopkg with the profile; as the superuser through an unprivileged user, since
    // unopkg refuses to install for root.
    QByteArray unopkg(const QString &program, QStringList arguments, const QTemporaryDir &sandbox)
    {
        arguments << QStringLiteral("-env:UserInstallation=file://") +
                         sandbox.filePath(QStringLiteral("profile"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), sandbox.path());
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (::geteuid() == 0)
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

    QString m_setpriv;

private slots:
    void unopkgInstallsTheExtensionWithItsThreeCommands()
    {
        const QString oxt = programFile(QLatin1String(WriterExtensionName));
        QVERIFY2(QFileInfo(oxt).size() > 0,
                 "the build makes parlanto.oxt and ships it to the program folder");
        const QString program = findUnopkg();
        if (program.isEmpty())
            QSKIP("LibreOffice is not installed");
        QTemporaryDir sandbox;
        if (::geteuid() == 0) {
            m_setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (m_setpriv.isEmpty())
                QSKIP("unopkg refuses root, and setpriv is missing to run it as another user");
            QVERIFY(QFile::setPermissions(sandbox.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner | QFile::ReadOther |
                                                              QFile::WriteOther | QFile::ExeOther));
        }
        const QString copy = sandbox.filePath(QStringLiteral("parlanto.oxt"));
        QVERIFY(QFile::copy(oxt, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ReadOther));

        const QByteArray added = unopkg(program, unopkgAddArguments(copy), sandbox);
        QVERIFY2(!added.startsWith("failed") && !added.startsWith("timed out"), added.constData());
        const QByteArray listed = unopkg(program, {QStringLiteral("list")}, sandbox);
        QVERIFY2(listed.contains("Identifier: org.parlanto.writer"), listed.constData());
        QVERIFY2(!listed.contains("is registered: no"), listed.constData());
        QVERIFY2(listed.contains("application/vnd.sun.star.basic-library") &&
                     listed.contains("application/vnd.sun.star.configuration-data"),
                 listed.constData());

        // The installed copy's menu and tool bar both carry the three commands, each running a
        // macro that the installed Basic module defines.
        QString installed;
        QDirIterator it(sandbox.filePath(QStringLiteral("profile")), {QStringLiteral("Addons.xcu")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (file.contains(QLatin1String("/uno_packages/")))
                installed = QFileInfo(file).path();
        }
        QVERIFY2(!installed.isEmpty(), "the extension is unpacked in the profile");
        QFile xcu(installed + QStringLiteral("/Addons.xcu"));
        QFile module(installed + QStringLiteral("/Parlanto/Speak.xba"));
        QVERIFY(xcu.open(QIODevice::ReadOnly) && module.open(QIODevice::ReadOnly));
        const QByteArray addons = xcu.readAll();
        const QString basic = QString::fromUtf8(module.readAll());
        const QStringList titles = {QStringLiteral("Speak by Parlanto"), QStringLiteral("Pause or resume"),
                                    QStringLiteral("Stop")};
        for (const QString &part : {QStringLiteral("OfficeMenuBar"), QStringLiteral("OfficeToolBar")}) {
            const auto entries = entriesOf(addons, part);
            QStringList found;
            for (const auto &[title, url] : entries) {
                found << title;
                static const QRegularExpression macro(QStringLiteral(
                    "^vnd\\.sun\\.star\\.script:Parlanto\\.Speak\\.(\\w+)\\?language=Basic&location="
                    "application$"));
                const QRegularExpressionMatch match = macro.match(url);
                QVERIFY2(match.hasMatch(), qPrintable(url));
                QVERIFY2(basic.contains(QStringLiteral("\nSub ") + match.captured(1) + QLatin1Char('\n')),
                         qPrintable(match.captured(1)));
            }
            QCOMPARE(found, titles);
        }
    }
};

QTEST_GUILESS_MAIN(TestWriterExtension)
#include "test_writer_extension.moc"
