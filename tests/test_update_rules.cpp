// test-links: parlanto_tools
#include "support/test_home.h"
#include "tools/update_rules.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <QUrl>
#include <QtTest>

#include <limits>

#include <memory>

using namespace update;

Q_DECLARE_METATYPE(update::CheckOutcome)

namespace {

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

} // namespace

class TestUpdateRules : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;

private slots:
    void initTestCase() { home = std::make_unique<TestHome>(); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void comparesVersionsAsDotDecimals_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<update::CheckOutcome>("outcome");
        QTest::addColumn<QString>("newestText");
        const auto none = CheckOutcome::NoNewVersion;
        const auto found = CheckOutcome::NewVersion;
        const auto failed = CheckOutcome::Failed;
        QTest::newRow("same") << "en_US"
                              << "Version 1.71" << QByteArray("1.71\n") << none << "1.71";
        QTest::newRow("newer") << "en_US"
                               << "Version 1.71" << QByteArray("1.8\r\nabc") << found << "1.8";
        QTest::newRow("newer, trailing zero") << "en_US"
                                              << "Version 1.71" << QByteArray("1.80") << found << "1.80";
        QTest::newRow("older") << "en_US"
                               << "Version 1.71" << QByteArray("1.7\n") << none << "1.7";
        QTest::newRow("blanks around") << "en_US"
                                       << "Version 1.71" << QByteArray(" 2.00 \n") << found << " 2.00 ";
        QTest::newRow("comma locale, same") << "de_DE"
                                            << "Version 1.71" << QByteArray("1.71\n") << none << "1.71";
        QTest::newRow("comma locale, newer") << "de_DE"
                                             << "Version 1.71" << QByteArray("1.8\n") << found << "1.8";
        QTest::newRow("comma locale, comma file")
            << "de_DE"
            << "Version 1.71" << QByteArray("1,80\n") << failed << "1,80";
        QTest::newRow("grouped") << "en_US"
                                 << "Version 1.71" << QByteArray("1,800\n") << failed << "1,800";
        QTest::newRow("exponent") << "en_US"
                                  << "Version 1.71" << QByteArray("1e2\n") << failed << "1e2";
        QTest::newRow("infinity") << "en_US"
                                  << "Version 1.71" << QByteArray("inf\n") << failed << "inf";
        QTest::newRow("error page") << "en_US"
                                    << "Version 1.71"
                                    << QByteArray("<html><body>404 Not Found</body></html>\n") << failed
                                    << "<html><body>404 Not Found</body></html>";
        QTest::newRow("empty file") << "en_US"
                                    << "Version 1.71" << QByteArray() << failed << "";
        QTest::newRow("label without number") << "en_US"
                                              << "Version" << QByteArray("1.8\n") << failed << "1.8";
    }
    void comparesVersionsAsDotDecimals()
    {
        QFETCH(QString, locale);
        QFETCH(QString, caption);
        QFETCH(QByteArray, file);
        QFETCH(update::CheckOutcome, outcome);
        QFETCH(QString, newestText);
        QLocale::setDefault(QLocale(locale));
        const VersionFile versionFile = readVersionFile(file);
        QCOMPARE(versionFile.newestText, newestText);
        QCOMPARE(compareVersions(currentVersionText(caption), versionFile), outcome);
    }

    void verifiesInstallerBySizeAndHash_data()
    {
        QTest::addColumn<QByteArray>("downloaded");
        QTest::addColumn<QByteArray>("versionFile");
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<bool>("verified");
        const QByteArray installer("#!/bin/sh\necho installing\n");
        const QByteArray hex = sha256(installer).toHex();
        const qint64 size = installer.size();
        QTest::newRow("exact") << installer << "1.80\n" + hex + "\n" << size << true;
        QTest::newRow("upper-case hash, CR LF") << installer << "1.80\r\n" + hex.toUpper() + "\r\n"
                                                << size << true;
        QTest::newRow("tampered") << QByteArray("#!/bin/sh\necho tampered\n") << "1.80\n" + hex << size
                                  << false;
        QTest::newRow("short download") << installer.left(10) << "1.80\n" + hex << size << false;
        QTest::newRow("announced size differs") << installer << "1.80\n" + hex << size + 1 << false;
        QTest::newRow("no hash line") << installer << QByteArray("1.80\n") << size << false;
        QTest::newRow("hash line cut short") << installer << "1.80\n" + hex.left(63) << size << false;
        QTest::newRow("hash line not hex") << installer << "1.80\n" + QByteArray(64, 'g') << size << false;
        QTest::newRow("empty download")
            << QByteArray() << "1.80\n" + sha256(QByteArray()).toHex() << qint64(0) << false;
    }
    void verifiesInstallerBySizeAndHash()
    {
        QFETCH(QByteArray, downloaded);
        QFETCH(QByteArray, versionFile);
        QFETCH(qint64, announced);
        QFETCH(bool, verified);
        QFile file(home->file(QStringLiteral("tempsetup.exe")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(downloaded);
        file.close();
        const std::optional<Download> measured = measureFile(file.fileName(), announced);
        QVERIFY(measured);
        QCOMPARE(measured->size, downloaded.size());
        QCOMPARE(installerVerified(*measured, announced, readVersionFile(versionFile).installerHash),
                 verified);
    }

    void showsPercentageNeverAbove100_data()
    {
        QTest::addColumn<QByteArray>("contentLength");
        QTest::addColumn<qint64>("written");
        QTest::addColumn<QString>("text"); // null: no usable size
        QTest::addColumn<int>("barTwips");
        QTest::newRow("start") << QByteArray("2048") << qint64(0) << "0%" << 0;
        QTest::newRow("half") << QByteArray("2048") << qint64(1024) << "50%" << 2500;
        QTest::newRow("tie rounds to even") << QByteArray("200") << qint64(5) << "2%" << 100;
        QTest::newRow("all") << QByteArray(" 2048 ") << qint64(2048) << "100%" << 5000;
        QTest::newRow("past the end") << QByteArray("1000") << qint64(1024) << "100%" << 5000;
        QTest::newRow("almost") << QByteArray("1000") << qint64(996) << "100%" << 5000;
        QTest::newRow("no header") << QByteArray() << qint64(10) << QString() << 0;
        QTest::newRow("zero size") << QByteArray("0") << qint64(10) << QString() << 0;
        QTest::newRow("negative") << QByteArray("-5") << qint64(10) << QString() << 0;
        QTest::newRow("not a number") << QByteArray("12abc") << qint64(10) << QString() << 0;
    }
    void showsPercentageNeverAbove100()
    {
        QFETCH(QByteArray, contentLength);
        QFETCH(qint64, written);
        QFETCH(QString, text);
        QFETCH(int, barTwips);
        const std::optional<qint64> size = announcedSize(contentLength);
        QCOMPARE(size.has_value(), !text.isNull());
        const qint64 total = size.value_or(0);
        QCOMPARE(percentText(written, total).value_or(QString()), text);
        QCOMPARE(barWidthTwips(written, total, 5000), barTwips);
    }

    void namesTransferStates_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << "No available information";
        QTest::newRow("resolving") << 1 << "Checking Server's IP";
        QTest::newRow("receiving") << 7 << "Waiting Server's Replay";
        QTest::newRow("received") << 8 << "Received Server' Replay";
        QTest::newRow("error") << 11 << "Unable to Connect to Server";
        QTest::newRow("completed") << 12 << "Request has been handled";
        QTest::newRow("unknown") << 13 << QString();
        QTest::newRow("negative") << -1 << QString();
    }
    void namesTransferStates()
    {
        QFETCH(int, state);
        QFETCH(QString, text);
        QCOMPARE(stateText(state), text);
        QCOMPARE(stateText(state).isNull(), text.isNull());
    }

    // Redirects stay within the site: the same scheme, host and port, written however.
    void followsRedirectsOnlyWithinTheSite_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("same place") << "http://example.org"
                                    << "http://example.org/update/x.ini" << true;
        QTest::newRow("default port written out") << "http://example.org"
                                                  << "http://example.org:80/u" << true;
        QTest::newRow("host in capitals") << "https://example.org"
                                          << "HTTPS://EXAMPLE.org/u" << true;
        QTest::newRow("another host") << "http://example.org"
                                      << "http://evil.example/u" << false;
        QTest::newRow("a sub-domain") << "http://example.org"
                                      << "http://cdn.example.org/u" << false;
        QTest::newRow("another port") << "http://127.0.0.1:8080"
                                      << "http://127.0.0.1:8081/u" << false;
        QTest::newRow("default port against a set one") << "http://127.0.0.1:8080"
                                                        << "http://127.0.0.1/u" << false;
        QTest::newRow("down to http") << "https://example.org"
                                      << "http://example.org/u" << false;
        QTest::newRow("up to https, other port") << "http://example.org"
                                                 << "https://example.org/u" << false;
        QTest::newRow("another scheme") << "http://example.org"
                                        << "file:///etc/passwd" << false;
        QTest::newRow("credentials") << "http://example.org"
                                     << "http://user@example.org/u" << false;
        QTest::newRow("relative, unresolved") << "http://example.org"
                                              << "/update/x.ini" << false;
    }
    void followsRedirectsOnlyWithinTheSite()
    {
        QFETCH(QString, site);
        QFETCH(QString, target);
        QFETCH(bool, allowed);
        QCOMPARE(redirectAllowed(QUrl(site), QUrl(target)), allowed);
    }

    void deadlineGrowsWithTheSize()
    {
        TransferLimits limits;
        limits.deadlineFloorMs = 60000;
        limits.minimumBytesPerSecond = 8192;
        QCOMPARE(transferDeadlineMs(0, limits), 60000);
        QCOMPARE(transferDeadlineMs(8192 * 10 + 4096, limits), 60000 + 10500);
        // The largest installer still has a deadline that a timer can hold.
        QVERIFY(transferDeadlineMs(MaxInstallerSize, limits) < std::numeric_limits<int>::max());
    }

    void siteComesFromTheEnvironment()
    {
        const QByteArray saved = qgetenv("PARLANTO_SITE");
        qputenv("PARLANTO_SITE", "http://127.0.0.1:8080/");
        QCOMPARE(versionFileUrl(), QStringLiteral("http://127.0.0.1:8080/update/updateinfo.ini"));
        QCOMPARE(installerUrl(), QStringLiteral("http://127.0.0.1:8080/update/updatec.exe"));
        qunsetenv("PARLANTO_SITE");
        QVERIFY(updateSite().startsWith(QStringLiteral("https://")));
        qputenv("PARLANTO_SITE", saved);
    }
};

QTEST_GUILESS_MAIN(TestUpdateRules)
#include "test_update_rules.moc"
