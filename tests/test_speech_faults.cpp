// test-links: parlanto_speech
#include "platform/wav_writer.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/test_home.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Writes a text into a WAV file through a generation-4 or -5 object, the file limited to
// `limit` bytes of audio; returns whether the file closed whole and why not.
struct FileRun
{
    bool ended = false;
    bool closed = false;
    QString error;
};

FileRun writeFile(int generation, const QString &path, const QString &text, qint64 limit)
{
    FileRun run;
    if (generation == 4) {
        DirectSS engine;
        WavWriter writer(path);
        if (!writer.open())
            return run;
        writer.setDataLimit(limit);
        engine.setAudioFile(&writer);
        QSignalSpy done(&engine, &DirectSS::TextDataDone);
        engine.TextData(0, 0, text);
        run.ended = done.wait(20000);
        run.closed = writer.close();
        run.error = writer.errorString();
    } else {
        SpVoice voice;
        SpFileStream stream;
        if (!stream.Open(path))
            return run;
        stream.writer()->setDataLimit(limit);
        voice.setAudioOutputStream(&stream);
        voice.Speak(text, SpVoice::SVSFlagsAsync);
        run.ended = voice.WaitUntilDone(20000);
        run.closed = stream.Close();
        run.error = stream.errorString();
    }
    return run;
}

} // namespace

class TestSpeechFaults : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void failedWritesEndTheJob_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("fullDevice");
        QTest::addColumn<QString>("reason");
        QTest::newRow("eSpeak NG, full device") << 4 << true << "No space left";
        QTest::newRow("Flite, full device") << 5 << true << "No space left";
        QTest::newRow("eSpeak NG, past the size limit") << 4 << false << "4 GiB";
        QTest::newRow("Flite, past the size limit") << 5 << false << "4 GiB";
    }

    // A file that cannot take the audio ends the job with the reason, and no partial file
    // is left to pass for a finished one.
    void failedWritesEndTheJob()
    {
        QFETCH(int, generation);
        QFETCH(bool, fullDevice);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = fullDevice ? QStringLiteral("/dev/full") : dir.filePath(QStringLiteral("a.wav"));
        if (fullDevice && !QFile::exists(path))
            QSKIP("no /dev/full here");
        QString text;
        for (int i = 0; i < 30; ++i)
            text += QStringLiteral("This sentence is long enough to fill a small file. ");
        const FileRun run = writeFile(generation, path, text, fullDevice ? WavWriter::MaxDataBytes : 100000);
        QVERIFY2(run.ended, "the job never ended");
        QVERIFY(!run.closed);
        QVERIFY2(run.error.contains(reason), qPrintable(run.error));
        if (fullDevice)
            QVERIFY(QFile::exists(path)); // a device is never removed
        else
            QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestSpeechFaults)
#include "test_speech_faults.moc"
