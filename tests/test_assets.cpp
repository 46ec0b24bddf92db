// test-links: parlanto_platform
#include "platform/cursor_file.h"
#include "platform/program_folder.h"
#include "support/test_home.h"

#include <QFile>
#include <QImageReader>
#include <QtTest>

#include <memory>

// The shipped pictures, as the program folder receives them.
class TestAssets : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;

private slots:
    void initTestCase() { home = std::make_unique<TestHome>(); }

    void buttonPicturesLoad_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("speak") << "speak.bmp";
        QTest::newRow("pause") << "pause.bmp";
        QTest::newRow("folder closed") << "open0.bmp";
        QTest::newRow("folder open") << "open1.bmp";
    }
    void buttonPicturesLoad()
    {
        QFETCH(QString, name);
        QImageReader reader(programFile(name));
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(24, 24));
        QVERIFY(!image.hasAlphaChannel());
        // 24 bits per pixel on disk: 54 header bytes and 24 rows of 72 bytes.
        QCOMPARE(QFileInfo(programFile(name)).size(), qint64(54 + 24 * 72));
        // Something is drawn on the button face: the corners are plain, and the picture holds
        // several colours besides.
        QCOMPARE(image.pixel(0, 0), image.pixel(23, 23));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY(colours.size() >= 4);
    }

    // The popup menu's pictures: sixteen voice badges and the item glyphs with the close cross,
    // each cell drawn and no two alike.
    void menuPictureStripsLoad_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("cell");
        QTest::addColumn<int>("cells");
        QTest::newRow("voice badges") << "menuvoices.bmp" << QSize(17, 13) << 16;
        QTest::newRow("item glyphs") << "menuitems.bmp" << QSize(16, 16) << 14;
    }
    void menuPictureStripsLoad()
    {
        QFETCH(QString, name);
        QFETCH(QSize, cell);
        QFETCH(int, cells);
        const QImage strip(programFile(name));
        QCOMPARE(strip.size(), QSize(cell.width() * cells, cell.height()));
        const QImage blank = strip.copy(0, 0, 1, 1).scaled(cell);
        QSet<QByteArray> seen;
        for (int i = 0; i < cells; ++i) {
            const QImage picture = strip.copy(i * cell.width(), 0, cell.width(), cell.height());
            const QByteArray bytes(reinterpret_cast<const char *>(picture.constBits()),
                                   picture.sizeInBytes());
            // Speak/Pause (item 11) has no picture of its own; every other cell is drawn.
            if (name == QLatin1String("menuitems.bmp") && i == 10)
                continue;
            QVERIFY2(picture != blank, qPrintable(QStringLiteral("cell %1 is empty").arg(i)));
            seen.insert(bytes);
        }
        // Badges of the same language are alike (German and English are offered twice).
        QVERIFY(seen.size() >= (name == QLatin1String("menuitems.bmp") ? cells - 1 : cells - 4));
    }

    void speakAndPauseDiffer()
    {
        const QImage speak(programFile(QStringLiteral("speak.bmp")));
        const QImage pause(programFile(QStringLiteral("pause.bmp")));
        const QImage closed(programFile(QStringLiteral("open0.bmp")));
        const QImage open(programFile(QStringLiteral("open1.bmp")));
        QVERIFY(speak != pause);
        QVERIFY(closed != open);
    }

    void handCursorLoadsWithItsHotSpot()
    {
        const auto cursor = readCursorFile(programFile(QStringLiteral("H_POINT.CUR")));
        QVERIFY(cursor);
        QCOMPARE(cursor->image.size(), QSize(32, 32));
        QCOMPARE(cursor->hotSpot, QPoint(6, 0));
        // The hot spot is on the fingertip's outline; the far corner is see-through.
        QCOMPARE(qAlpha(cursor->image.pixel(cursor->hotSpot)), 255);
        QCOMPARE(qAlpha(cursor->image.pixel(31, 31)), 0);
        QCOMPARE(qAlpha(cursor->image.pixel(0, 0)), 0);
        // Inside the finger is white, its outline black.
        QCOMPARE(cursor->image.pixel(6, 2) | 0xFF000000u, 0xFFFFFFFFu);
        QCOMPARE(cursor->image.pixel(5, 2) | 0xFF000000u, 0xFF000000u);
    }

    void damagedCursorFilesFallBack()
    {
        QVERIFY(!readCursorFile(home->file(QStringLiteral("missing.cur"))));
        const QString damaged = home->file(QStringLiteral("damaged.cur"));
        QFile in(programFile(QStringLiteral("H_POINT.CUR")));
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray good = in.readAll();
        for (const QByteArray &bytes :
             {good.left(30), QByteArray(400, '\0'), QByteArray("not a cursor at all")}) {
            QFile out(damaged);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(bytes);
            out.close();
            QVERIFY(!readCursorFile(damaged));
        }
        // An icon (type 1) is not a cursor.
        QByteArray icon = good;
        icon[2] = 1;
        QFile out(damaged);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(icon);
        out.close();
        QVERIFY(!readCursorFile(damaged));
    }

    void applicationIconLoads()
    {
        const QImage icon(programFile(QStringLiteral("parlanto.png")));
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.size(), QSize(64, 64));
        QVERIFY(icon.hasAlphaChannel());
        QCOMPARE(qAlpha(icon.pixel(0, 63)), 0);
        QCOMPARE(qAlpha(icon.pixel(32, 20)), 255);
    }
};

QTEST_GUILESS_MAIN(TestAssets)
#include "test_assets.moc"
