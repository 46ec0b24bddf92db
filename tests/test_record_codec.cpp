// test-links: parlanto_platform
#include "platform/record_codec.h"
#include "support/test_home.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/resource.h>

// Builds expected bytes by hand, independently of RecordWriter.
static QByteArray le16(int value)
{
    QByteArray bytes;
    for (int shift = 0; shift < 16; shift += 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}
static QByteArray le32(qint64 value)
{
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

// A record file's bytes, or "(none)" when it cannot be read as a record.
static QByteArray recordOf(const QString &path)
{
    return readRecordFile(path).value_or(QByteArray("(none)"));
}

class TestRecordCodec : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;

private slots:
    void initTestCase() { home = std::make_unique<TestHome>(); }

    void writesLittleEndianFieldsWithoutGaps()
    {
        RecordWriter writer;
        writer.writeInteger(1);
        writer.writeInteger(-2);
        writer.writeBoolean(true);
        writer.writeBoolean(false);
        writer.writeLong(16777215);
        writer.writeLong(-1);
        writer.writeString(QStringLiteral("ab"));
        writer.writeString(QString());
        const QByteArray expected = le16(1) + le16(0xFFFE) + le16(0xFFFF) + le16(0) + le32(0x00FFFFFF) +
                                    le32(0xFFFFFFFF) + le16(2) + QByteArray("ab") + le16(0);
        QCOMPARE(writer.data(), expected);
    }

    void roundTripsEveryType_data()
    {
        QTest::addColumn<int>("integer");
        QTest::addColumn<int>("longValue");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << 0 << QString();
        QTest::newRow("extremes") << -32768 << int(INT32_MIN) << QStringLiteral("c:\\");
        QTest::newRow("maxima") << 32767 << int(INT32_MAX) << QStringLiteral("Mary");
        QTest::newRow("negative") << -1 << -123456 << QStringLiteral("a b\tc");
        QTest::newRow("east asian") << 9 << 129 << QString::fromUtf16(u"\uAD74\uB9BC");
        QTest::newRow("full width") << 8 << 128
                                    << QString::fromUtf16(u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
    }
    void roundTripsEveryType()
    {
        QFETCH(int, integer);
        QFETCH(int, longValue);
        QFETCH(QString, text);
        RecordWriter writer;
        writer.writeInteger(int16_t(integer));
        writer.writeString(text);
        writer.writeLong(longValue);
        writer.writeBoolean(integer != 0);
        RecordReader reader(writer.data());
        QCOMPARE(reader.readInteger(), int16_t(integer));
        QCOMPARE(reader.readString(), text);
        QCOMPARE(reader.readLong(), longValue);
        QCOMPARE(reader.readBoolean(), integer != 0);
        QVERIFY(reader.atEnd());
        QVERIFY(!reader.overran());
    }

    void stringLengthIsLocaleByteCount()
    {
        // Three Korean syllables are 9 bytes of UTF-8, the locale encoding here.
        const QString text = QString::fromUtf16(u"\uAD74\uB9BC\uAD74");
        RecordWriter writer;
        writer.writeString(text);
        QCOMPARE(writer.data(), le16(text.toLocal8Bit().size()) + text.toLocal8Bit());
        QCOMPARE(writer.data().size(), 2 + 9);
    }

    // A text longer than a record keeps is cut at the writer, between characters, so the record
    // stays readable whatever a caller hands it (a voice name of megabytes from another program).
    void stringsStopAtTheLengthLimit()
    {
        const qsizetype limit = MaxRecordTextBytes;
        RecordWriter writer;
        writer.writeString(QString(limit, QLatin1Char('x')));
        writer.writeString(QString(5 * 1024 * 1024, QLatin1Char('y')));
        // A multi-byte character straddling the limit is left out whole, not cut in half.
        writer.writeString(QString(limit - 1, QLatin1Char('z')) + QString::fromUtf16(u"\u00E9"));
        const QString wide = QString(limit, QChar(0x65E5)); // three bytes each in UTF-8
        writer.writeString(wide);
        const QString pairs = QString::fromUtf16(u"\U0001F600").repeated(limit); // four bytes each
        writer.writeString(pairs);
        writer.writeLong(7);
        const QByteArray data = writer.data();
        QCOMPARE(data.left(2), le16(int(limit)));
        QCOMPARE(data.mid(2 + limit, 2), le16(int(limit)));
        RecordReader reader(data);
        QCOMPARE(reader.readString(), QString(limit, QLatin1Char('x')));
        QCOMPARE(reader.readString(), QString(limit, QLatin1Char('y')));
        QCOMPARE(reader.readString(), QString(limit - 1, QLatin1Char('z')));
        QCOMPARE(reader.readString(), wide.left(limit / 3));
        QCOMPARE(reader.readString(), pairs.left(limit / 4 * 2));
        QCOMPARE(reader.readLong(), 7);
        QVERIFY(reader.atEnd());
        QVERIFY(!reader.overran());
    }

    void damagedDataReadsAsZeroOrEmpty()
    {
        // Empty data: every field is zero or empty.
        RecordReader empty{QByteArray()};
        QCOMPARE(empty.readLong(), 0);
        QCOMPARE(empty.readInteger(), int16_t(0));
        QCOMPARE(empty.readString(), QString());
        QVERIFY(empty.overran());

        // A Long cut after three bytes reads as 0, and so does everything after it.
        RecordReader cutLong(le32(0x01020304).left(3));
        QCOMPARE(cutLong.readLong(), 0);
        QCOMPARE(cutLong.readInteger(), int16_t(0));
        QVERIFY(cutLong.overran());

        // An Integer cut after one byte.
        RecordReader cutInteger(le16(5) + QByteArray(1, '\x07'));
        QCOMPARE(cutInteger.readInteger(), int16_t(5));
        QVERIFY(!cutInteger.overran());
        QCOMPARE(cutInteger.readInteger(), int16_t(0));
        QVERIFY(cutInteger.overran());

        // A String whose length runs past the end keeps the bytes that are there.
        RecordReader cutString(le16(10) + QByteArray("abc"));
        QCOMPARE(cutString.readString(), QStringLiteral("abc"));
        QVERIFY(cutString.overran());
        QCOMPARE(cutString.readLong(), 0);

        // A lone length byte.
        RecordReader loneByte(QByteArray(1, '\x05'));
        QCOMPARE(loneByte.readString(), QString());
        QVERIFY(loneByte.overran());
    }

    void garbageNeverCrashes()
    {
        // Random bytes, including invalid UTF-8, decode to something for every field.
        QRandomGenerator random(42);
        for (int round = 0; round < 200; ++round) {
            QByteArray data(int(random.bounded(64)), Qt::Uninitialized);
            for (char &byte : data)
                byte = char(random.bounded(256));
            RecordReader reader(data);
            for (int field = 0; field < 40; ++field) {
                switch (field % 3) {
                case 0:
                    reader.readInteger();
                    break;
                case 1:
                    reader.readLong();
                    break;
                default:
                    QVERIFY(reader.readString().size() <= data.size());
                }
            }
            QVERIFY(reader.atEnd());
        }
    }

    void recordFilesAreReplacedWhole()
    {
        const QString path = home->file(QStringLiteral("record.ini"));
        QVERIFY(writeRecordFile(path, QByteArray("old record")));
        QCOMPARE(recordOf(path), QByteArray("old record"));
        // A shorter record leaves nothing of the longer one behind.
        QVERIFY(writeRecordFile(path, QByteArray("new")));
        QCOMPARE(recordOf(path), QByteArray("new"));
        QVERIFY(writeRecordFile(path, QByteArray()));
        QVERIFY(QFile::exists(path));
        QCOMPARE(recordOf(path), QByteArray());
        QCOMPARE(recordOf(home->file(QStringLiteral("missing.ini"))), QByteArray("(none)"));
    }

    void failedWritesKeepTheOldRecord()
    {
        const QString path = home->file(QStringLiteral("kept.ini"));
        QVERIFY(writeRecordFile(path, QByteArray("old record")));

        // A stray temporary file from an interrupted earlier write changes nothing.
        const QDir dir(home->path());
        QFile stray(dir.filePath(QStringLiteral("kept.ini.XXXXXX")));
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.write("half");
        stray.close();
        QCOMPARE(recordOf(path), QByteArray("old record"));
        QVERIFY(writeRecordFile(path, QByteArray("next record")));
        QCOMPARE(recordOf(path), QByteArray("next record"));

        // A write that fails half-way (the disk refuses more bytes) leaves the old record.
        struct rlimit saved = {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 64;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = writeRecordFile(path, QByteArray(4096, 'n'));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        QVERIFY(!written);
        QCOMPARE(recordOf(path), QByteArray("next record"));

        // Nothing is written that the reader would refuse as too large.
        QVERIFY(!writeRecordFile(path, QByteArray(MaxRecordFileBytes + 1, 'n')));
        QCOMPARE(recordOf(path), QByteArray("next record"));
        QVERIFY(writeRecordFile(path, QByteArray(MaxRecordFileBytes, 'n')));
        QCOMPARE(recordOf(path), QByteArray(MaxRecordFileBytes, 'n'));
        QVERIFY(writeRecordFile(path, QByteArray("next record")));

        // A write that cannot happen (the folder is gone) reports failure and creates nothing.
        QVERIFY(!writeRecordFile(home->file(QStringLiteral("no-such-folder/kept.ini")), QByteArray("x")));

        // A target that cannot be replaced (a folder) fails, and the folder is left as it was.
        QVERIFY(dir.mkpath(QStringLiteral("folder.ini")));
        QVERIFY(!writeRecordFile(home->file(QStringLiteral("folder.ini")), QByteArray("x")));
        QVERIFY(QFileInfo(home->file(QStringLiteral("folder.ini"))).isDir());

        // No temporary files are left beside the record after failed or finished writes.
        const QStringList left = dir.entryList({QStringLiteral("kept.ini*")}, QDir::Files);
        QCOMPARE(left, QStringList({QStringLiteral("kept.ini"), QStringLiteral("kept.ini.XXXXXX")}));
    }
};

QTEST_GUILESS_MAIN(TestRecordCodec)
#include "test_record_codec.moc"
