// test-links: parlanto_platform
#include "platform/program_folder.h"
#include "platform/twips.h"
#include "support/test_home.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

static int modeOf(const QString &path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

class TestProgramFolder : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;

private slots:
    void initTestCase() { home = std::make_unique<TestHome>(); }

    void programFolderFollowsParlantoHome()
    {
        QCOMPARE(programFolder(), QDir::cleanPath(home->path()));
        QCOMPARE(programFile(QStringLiteral("stts.ini")),
                 QDir::cleanPath(home->path()) + QStringLiteral("/stts.ini"));
        QVERIFY(!programFolder().endsWith(QLatin1Char('/')));
    }

    void seedsMissingAssetsAndKeepsTheUsersFiles()
    {
        const QStringList assets = QDir(assetFolder()).entryList(QDir::Files);
        QVERIFY2(assets.contains(QStringLiteral("speak.bmp")), qPrintable(assetFolder()));

        QTemporaryDir other;
        const QString folder = other.filePath(QStringLiteral("new/home/"));
        QVERIFY(QDir().mkpath(folder));
        QFile own(folder + QStringLiteral("speak.bmp"));
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.write("the user's own picture");
        own.close();

        qputenv("PARLANTO_HOME", folder.toLocal8Bit());
        const QString seeded = programFolder();
        qputenv("PARLANTO_HOME", home->path().toLocal8Bit());

        QCOMPARE(seeded, QDir::cleanPath(folder));
        for (const QString &name : assets)
            QVERIFY2(QFile::exists(seeded + QLatin1Char('/') + name), qPrintable(name));
        QFile kept(seeded + QStringLiteral("/speak.bmp"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the user's own picture"));

        // A folder that does not exist yet is created.
        const QString fresh = other.filePath(QStringLiteral("fresh"));
        qputenv("PARLANTO_HOME", fresh.toLocal8Bit());
        QCOMPARE(programFolder(), fresh);
        qputenv("PARLANTO_HOME", home->path().toLocal8Bit());
        QVERIFY(QFile::exists(fresh + QStringLiteral("/pause.bmp")));
    }

    void scratchRootIsPrivate()
    {
        QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
        const QString expected = cache.filePath(QStringLiteral("parlanto/scratch"));

        QCOMPARE(scratchRoot(), expected);
        QCOMPARE(modeOf(expected), 0700);

        // An existing folder of ours that others could read is closed again.
        QVERIFY(::chmod(QFile::encodeName(expected).constData(), 0777) == 0);
        QCOMPARE(scratchRoot(), expected);
        QCOMPARE(modeOf(expected), 0700);

        // A cache folder that cannot be made: a private folder of our own in <temp>.
        QTemporaryDir temp;
        const QString blocked = temp.filePath(QStringLiteral("not-a-folder"));
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("XDG_CACHE_HOME", blocked.toLocal8Bit());
        const QString fallback = scratchRoot();
        QVERIFY(!fallback.startsWith(blocked));
        QVERIFY(QFileInfo(fallback).isDir());
        QCOMPARE(modeOf(fallback), 0700);
        qunsetenv("XDG_CACHE_HOME");
    }

    void scratchRootRefusesPlantedFolders()
    {
        QTemporaryDir cache;
        QTemporaryDir elsewhere;
        qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
        QVERIFY(QDir().mkpath(cache.filePath(QStringLiteral("parlanto"))));
        const QString planted = cache.filePath(QStringLiteral("parlanto/scratch"));

        // A symlink at the fixed name must not be followed.
        QVERIFY(QFile::link(elsewhere.path(), planted));
        const QString root = scratchRoot();
        QVERIFY(root != planted);
        QVERIFY(!root.startsWith(elsewhere.path()));
        QCOMPARE(modeOf(root), 0700);
        QCOMPARE(QFileInfo(root).ownerId(), uint(::geteuid()));
        QVERIFY(QFileInfo(root).isDir());
        QCOMPARE(modeOf(elsewhere.path()), 0700); // left untouched

        // A folder owned by someone else is not used either.
        QVERIFY(QFile::remove(planted));
        QVERIFY(QDir().mkdir(planted));
        if (::chown(QFile::encodeName(planted).constData(), 54321, 54321) != 0)
            QSKIP("changing the owner needs root");
        QCOMPARE(scratchRoot(), root);
        qunsetenv("XDG_CACHE_HOME");
    }

    void firstRunUntilMarked()
    {
        QTemporaryDir fresh;
        qputenv("PARLANTO_HOME", fresh.path().toLocal8Bit());
        QVERIFY(isFirstRun());
        QVERIFY(isFirstRun()); // asking leaves no mark
        markFirstRunDone();
        QVERIFY(!isFirstRun());
        qputenv("PARLANTO_HOME", home->path().toLocal8Bit());
        QVERIFY(isFirstRun()); // each program folder has its own
    }

    void localeIds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("id");
        QTest::newRow("korean") << "ko_KR" << 1042;
        QTest::newRow("taiwan") << "zh_TW" << 1028;
        QTest::newRow("japanese") << "ja_JP" << 1041;
        QTest::newRow("prc") << "zh_CN" << 2052;
        QTest::newRow("with encoding") << "ja_JP.UTF-8" << 1041;
        QTest::newRow("with dash") << "zh-TW" << 1028;
        QTest::newRow("hong kong") << "zh_HK" << 1033;
        QTest::newRow("korean elsewhere") << "ko_KP" << 1033;
        QTest::newRow("english") << "en_US" << 1033;
        QTest::newRow("C") << "C" << 1033;
        QTest::newRow("empty") << "" << 1033;
    }
    void localeIds()
    {
        QFETCH(QString, name);
        QFETCH(int, id);
        QCOMPARE(localeIdFromName(name), id);
    }

    void roundingTiesToEvenAndTwips()
    {
        QCOMPARE(roundHalfEven(0.5), 0);
        QCOMPARE(roundHalfEven(1.5), 2);
        QCOMPARE(roundHalfEven(2.5), 2);
        QCOMPARE(roundHalfEven(-2.5), -2);
        QCOMPARE(roundHalfEven(2.5000001), 3);
        QCOMPARE(twipsToPixels(1440), 96);
        QCOMPARE(twipsToPixels(22), 1);        // 1.47
        QCOMPARE(twipsToPixels(37), 2);        // 2.47
        QCOMPARE(twipsToPixels(1425 + 7), 95); // 95.47
        QCOMPARE(pixelsToTwips(96), 1440);
    }

    void vendorAddresses()
    {
        qputenv("PARLANTO_SITE", "http://127.0.0.1:8080/");
        QCOMPARE(vendorSite(), QStringLiteral("http://127.0.0.1:8080"));
        qunsetenv("PARLANTO_SITE");
        QCOMPARE(vendorSite(), QStringLiteral("http://www.parlanto.example"));
        qunsetenv("PARLANTO_SUPPORT");
        QCOMPARE(vendorSupport(), QStringLiteral("support@parlanto.example"));
        qputenv("PARLANTO_SUPPORT", "help@example.org");
        QCOMPARE(vendorSupport(), QStringLiteral("help@example.org"));
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "test_program_folder.moc"
