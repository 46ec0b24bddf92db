// test-links: parlanto_speech
#include "speech/voice_list_cache.h"
#include "support/test_home.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

const QString Name = QStringLiteral("test-voices");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

struct Cli
{
    int exitCode = -1;
    QByteArray out;
};

Cli voicesFromCli(const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PARLANTO_CLI), {QStringLiteral("voices")});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput()};
}

} // namespace

class TestVoiceListCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home = std::make_unique<TestHome>(); }

    // A stored list comes back exactly while nothing it was read from has changed; any change
    // to the library, the data folder or the settings that choose them makes it unusable.
    void usedOnlyWhileSourcesAreUnchanged_data()
    {
        using Change = std::function<void(const QString &library, const QString &data)>;
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("used");
        QTest::addColumn<QByteArray>("settingsNow");
        const QByteArray same = "DATA=a";
        QTest::newRow("unchanged") << Change([](const QString &, const QString &) {}) << true << same;
        QTest::newRow("voice added") << Change([](const QString &, const QString &data) {
            writeFile(data + QStringLiteral("/lang/new"), "name New\n");
        }) << false << same;
        QTest::newRow("voice removed") << Change([](const QString &, const QString &data) {
            QVERIFY(QFile::remove(data + QStringLiteral("/lang/gmw/en")));
        }) << false << same;
        QTest::newRow("voice edited, same size") << Change([](const QString &, const QString &data) {
            writeFile(data + QStringLiteral("/lang/gmw/en"), "name Anglish\n");
        }) << false << same;
        QTest::newRow("folder added") << Change([](const QString &, const QString &data) {
            QVERIFY(QDir().mkpath(data + QStringLiteral("/voices/mb")));
        }) << false << same;
        QTest::newRow("library replaced") << Change([](const QString &library, const QString &) {
            writeFile(library + QStringLiteral(".new"), "library 2");
            QVERIFY(QFile::remove(library));
            QVERIFY(QFile::rename(library + QStringLiteral(".new"), library));
        }) << false << same;
        QTest::newRow("library gone")
            << Change([](const QString &library, const QString &) { QVERIFY(QFile::remove(library)); })
            << false << same;
        QTest::newRow("other settings")
            << Change([](const QString &, const QString &) {}) << false << QByteArray("DATA=b");
    }
    void usedOnlyWhileSourcesAreUnchanged()
    {
        QFETCH(std::function<void(const QString &, const QString &)>, change);
        QFETCH(bool, used);
        QFETCH(QByteArray, settingsNow);
        QTemporaryDir dir;
        const QString library = dir.filePath(QStringLiteral("libengine.so.1"));
        const QString data = dir.filePath(QStringLiteral("engine-data"));
        writeFile(library, "library 1");
        writeFile(data + QStringLiteral("/lang/gmw/en"), "name English\n");
        writeFile(data + QStringLiteral("/voices/!v/m1"), "name m1\n");
        const QList<EngineVoice> voices{
            {QStringLiteral("gmw/en"), QStringLiteral("English"), QStringLiteral("en")},
            {QStringLiteral("x/y"), QStringLiteral("Ünïcode name"), QString()}};
        VoiceListCache::write(Name, "DATA=a", {{library, data}, voices});
        QVERIFY(QFile::exists(VoiceListCache::path(Name)));

        change(library, data);
        const std::optional<QList<EngineVoice>> read = VoiceListCache::read(Name, settingsNow);
        QCOMPARE(read.has_value(), used);
        if (used) {
            QCOMPARE(read->size(), voices.size());
            for (qsizetype i = 0; i < voices.size(); ++i) {
                QCOMPARE(read->at(i).id, voices.at(i).id);
                QCOMPARE(read->at(i).name, voices.at(i).name);
                QCOMPARE(read->at(i).language, voices.at(i).language);
            }
        }
    }

    // A damaged or foreign file is no list; a list that could not be read back as it is is
    // never stored.
    void damagedFilesAreIgnored()
    {
        QTemporaryDir dir;
        const QString library = dir.filePath(QStringLiteral("libengine.so.1"));
        writeFile(library, "library");
        const QList<EngineVoice> voices{{QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("en")}};
        VoiceListCache::write(Name, {}, {{library}, voices});
        QFile stored(VoiceListCache::path(Name));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray good = stored.readAll();
        stored.close();
        QVERIFY(VoiceListCache::read(Name, {}).has_value());

        QByteArray countTooHigh = good;
        countTooHigh.replace("\n1\na\t", "\n9\na\t");
        QByteArray emptyId = good;
        emptyId.replace("\na\tA\ten\n", "\n\tA\ten\n");
        for (const QByteArray &damaged :
             {good.left(good.size() - 1), good.left(good.size() / 2), QByteArray(),
              QByteArray("parlanto voice list 0") + good.mid(good.indexOf('\n')), countTooHigh, emptyId,
              QByteArray(2 * 1024 * 1024, '\n')}) {
            writeFile(VoiceListCache::path(Name), damaged);
            QVERIFY2(!VoiceListCache::read(Name, {}).has_value(), damaged.left(60).constData());
        }

        QVERIFY(QFile::remove(VoiceListCache::path(Name)));
        VoiceListCache::write(Name, {},
                              {{library}, {{QStringLiteral("a"), QStringLiteral("Tab\tname"), {}}}});
        QVERIFY(!QFile::exists(VoiceListCache::path(Name)));
    }

    // End to end with the real engine: the list kept by one run is the engine's own, a later run
    // shows it unchanged, and a voice added to the data folder shows up on the next run.
    void espeakListFromCacheIsTheEnginesOwn()
    {
        const QString real = QStringLiteral("/usr/lib/x86_64-linux-gnu/espeak-ng-data");
        if (!QFileInfo(real + QStringLiteral("/lang/gmw/en-US")).isFile())
            QSKIP("eSpeak NG's data folder is not where Debian puts it");
        // A data folder of the test's own: links to the real one's parts, its voices copied.
        QTemporaryDir dir;
        const QString data = dir.filePath(QStringLiteral("espeak-ng-data"));
        QVERIFY(QDir().mkpath(data));
        for (const QFileInfo &entry : QDir(real).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot))
            if (entry.fileName() != QLatin1String("lang"))
                QVERIFY(QFile::link(entry.absoluteFilePath(), data + QLatin1Char('/') + entry.fileName()));
        QProcess copy;
        copy.start(QStringLiteral("cp"), {QStringLiteral("-r"), real + QStringLiteral("/lang"), data});
        QVERIFY(copy.waitForFinished() && copy.exitCode() == 0);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ESPEAK_DATA_PATH"), dir.path());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
        const Cli fromEngine = voicesFromCli(environment);
        QCOMPARE(fromEngine.exitCode, 0);
        QVERIFY(fromEngine.out.contains("English (America) (TTS4.0)"));
        QVERIFY(!QDir(dir.filePath(QStringLiteral("cache/parlanto"))).entryList(QDir::Files).isEmpty());
        const Cli fromCache = voicesFromCli(environment);
        QCOMPARE(fromCache.exitCode, 0);
        QCOMPARE(fromCache.out, fromEngine.out);

        writeFile(data + QStringLiteral("/lang/gmw/en-ZZ"), "name Zedland English\nlanguage en-zz\n");
        const Cli added = voicesFromCli(environment);
        QCOMPARE(added.exitCode, 0);
        QVERIFY(added.out.contains("Zedland English (TTS4.0)"));
        QVERIFY(QFile::remove(data + QStringLiteral("/lang/gmw/en-ZZ")));
        QCOMPARE(voicesFromCli(environment).out, fromEngine.out);
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestVoiceListCache)
#include "test_voice_list_cache.moc"
