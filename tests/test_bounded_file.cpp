// test-links: parlanto_platform
#include "platform/bounded_file.h"
#include "platform/part_file.h"
#include "platform/program_picture.h"
#include "support/small_filesystem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using BoundedFile::Outcome;
Q_DECLARE_METATYPE(BoundedFile::Outcome)

class TestBoundedFile : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &content)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        write(QStringLiteral("ten.txt"), QByteArray(10, 'a'));
        write(QStringLiteral("empty.txt"), QByteArray());
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600) == 0);
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("fifo")), dir.filePath(QStringLiteral("to-fifo"))));
        QVERIFY(
            QFile::link(QStringLiteral("/proc/self/pagemap"), dir.filePath(QStringLiteral("to-endless"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    }

    // Every kind of path ends in one clear outcome, at once, within the cap.
    void readEndsInOneOutcome_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("message");

        auto in = [this](const char *name) { return dir.filePath(QLatin1String(name)); };
        QTest::newRow("regular") << in("ten.txt") << qint64(100) << Outcome::Ok << 10 << QString();
        QTest::newRow("exactly the cap") << in("ten.txt") << qint64(10) << Outcome::Ok << 10 << QString();
        QTest::newRow("one past the cap")
            << in("ten.txt") << qint64(9) << Outcome::TooBig << 0 << "too large";
        QTest::newRow("empty") << in("empty.txt") << qint64(9) << Outcome::Ok << 0 << QString();
        QTest::newRow("missing") << in("absent.txt") << qint64(9) << Outcome::Missing << 0
                                 << "does not exist";
        QTest::newRow("link to nothing")
            << in("dangling") << qint64(9) << Outcome::Missing << 0 << "does not exist";
        QTest::newRow("folder") << in("folder") << qint64(9) << Outcome::Folder << 0 << "folder";
        QTest::newRow("fifo") << in("fifo") << qint64(9) << Outcome::NotAFile << 0 << "not a regular file";
        QTest::newRow("link to a fifo")
            << in("to-fifo") << qint64(9) << Outcome::NotAFile << 0 << "not a regular";
        QTest::newRow("device") << QStringLiteral("/dev/zero") << qint64(9) << Outcome::NotAFile << 0
                                << "not a";
        // Reported as 0 bytes, with content far beyond any cap.
        QTest::newRow("endless proc file") << QStringLiteral("/proc/self/pagemap") << qint64(1 << 20)
                                           << Outcome::TooBig << 0 << "more than 1 MB";
        QTest::newRow("link to an endless file")
            << in("to-endless") << qint64(1 << 20) << Outcome::TooBig << 0 << "too large";
        // Also reported as 0 bytes, but short: a size of 0 proves nothing either way.
        QTest::newRow("short proc file")
            << QStringLiteral("/proc/self/status") << qint64(1 << 20) << Outcome::Ok << -1 << QString();
        QTest::newRow("no name") << QString() << qint64(9) << Outcome::Missing << 0 << "No file name";
    }

    void readEndsInOneOutcome()
    {
        QFETCH(QString, path);
        QFETCH(qint64, cap);
        QFETCH(Outcome, outcome);
        QFETCH(int, bytes);
        QFETCH(QString, message);

        const BoundedFile::Result result = BoundedFile::read(path, cap);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.ok(), outcome == Outcome::Ok);
        if (bytes >= 0)
            QCOMPARE(result.bytes.size(), bytes);
        else
            QVERIFY(result.bytes.size() > 0 && result.bytes.size() <= cap);
        if (message.isEmpty()) {
            QVERIFY(result.error.isEmpty());
        } else {
            QVERIFY2(result.error.contains(message), qPrintable(result.error));
            if (!path.isEmpty() && !path.startsWith(QLatin1String("/proc")))
                QVERIFY2(result.error.contains(QFileInfo(path).fileName()), qPrintable(result.error));
        }
        if (outcome != Outcome::Unreadable)
            QCOMPARE(BoundedFile::probe(path), outcome == Outcome::TooBig ? Outcome::Ok : outcome);
    }

    // Every output takes its final name only when complete; a failure leaves the target as it was
    // and no part file behind.
    void partFilesNeverLeaveHalfFiles()
    {
        const QString source = write(QStringLiteral("source.bin"), QByteArray(300 * 1024, 's'));
        const QString target = dir.filePath(QStringLiteral("copy.bin"));
        QString error;
        QVERIFY2(PartFile::copy(source, target, &error), qPrintable(error));
        QCOMPARE(QFileInfo(target).size(), 300 * 1024);
        QVERIFY(!QFile::exists(PartFile::pathFor(target)));
        QVERIFY(PartFile::pathFor(target).endsWith(QStringLiteral("/.copy.bin.%1.part").arg(::getpid())));

        // Copying a FIFO would block: refused at once.
        QVERIFY(!PartFile::copy(dir.filePath(QStringLiteral("fifo")), target, &error));
        QCOMPARE(QFileInfo(target).size(), 300 * 1024);

        SmallFileSystem small(128);
        if (!small.usable())
            QSKIP("mounting a small file system needs root");
        const QString onSmall = small.file(QStringLiteral("kept.bin"));
        QVERIFY(PartFile::copy(write(QStringLiteral("small.bin"), "old"), onSmall, &error));
        // 300 KB into 128 KB: the copy fails with the reason, the old file stays whole.
        QVERIFY(!PartFile::copy(source, onSmall, &error));
        QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
        QFile kept(onSmall);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("old"));
        QCOMPARE(QDir(small.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        // A move across file systems that fails keeps the source.
        QVERIFY(!PartFile::move(source, onSmall, &error));
        QVERIFY(QFile::exists(source));
        QVERIFY(PartFile::move(dir.filePath(QStringLiteral("small.bin")), small.file(QStringLiteral("m.bin")),
                               &error));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("small.bin"))));
    }

    void staleParts()
    {
        QTemporaryDir parts;
        auto touch = [&](const QString &name) {
            QFile file(parts.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        };
        // A process id that cannot run: above the kernel's limit.
        touch(QStringLiteral(".dead.wav.2147483600.part"));
        touch(QStringLiteral(".mine.wav.%1.part").arg(::getpid()));
        touch(QStringLiteral(".parent.wav.%1.part").arg(::getppid()));
        touch(QStringLiteral("visible.part"));
        touch(QStringLiteral(".no-pid.part"));
        QCOMPARE(PartFile::removeStale(parts.path()), 1);
        const QStringList left = QDir(parts.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QCOMPARE(left, QStringList({QStringLiteral(".mine.wav.%1.part").arg(::getpid()),
                                    QStringLiteral(".no-pid.part"),
                                    QStringLiteral(".parent.wav.%1.part").arg(::getppid()),
                                    QStringLiteral("visible.part")}));
    }

    // The program folder is the user's: a FIFO or a link to an endless file under a picture's
    // name gives an empty picture at once, and the shipped pictures still load.
    void programPicturesNeverBlock()
    {
        QTemporaryDir home;
        qputenv("PARLANTO_HOME", QFile::encodeName(home.path()));
        QVERIFY(::mkfifo(QFile::encodeName(home.filePath(QStringLiteral("menuitems.bmp"))).constData(),
                         0600) == 0);
        QVERIFY(
            QFile::link(QStringLiteral("/proc/self/pagemap"), home.filePath(QStringLiteral("speak.bmp"))));
        QVERIFY(programPicture(QStringLiteral("menuitems.bmp")).isNull());
        QVERIFY(programPicture(QStringLiteral("speak.bmp")).isNull());
        QVERIFY(!programPicture(QStringLiteral("pause.bmp")).isNull());
    }
};

QTEST_MAIN(TestBoundedFile)
#include "test_bounded_file.moc"
