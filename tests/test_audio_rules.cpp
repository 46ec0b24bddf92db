// test-links: parlanto_audio
#include "audio/audio_progress.h"
#include "audio/mp3_encoder.h"
#include "audio/parlocx.h"
#include "audio/wavtomp3.h"
#include "platform/program_folder.h"
#include "speech/synth_engine.h"
#include "support/test_home.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

// The rules behind sound-file progress, the encoder's outcomes and the recording control.
class TestAudioRules : public QObject
{
    Q_OBJECT
    TestHome home;

    void writeStandIn(const QString &script)
    {
        QFile lame(programFile(QStringLiteral("lame")));
        QVERIFY(lame.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lame.write(("#!/bin/sh\n" + script + "\n").toUtf8());
        lame.close();
        lame.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // A short WAV of silence made by another program.
    QString makeWav(const QString &name)
    {
        const QString path = home.file(name);
        if (QProcess::execute(QStringLiteral("sox"),
                              {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"),
                               QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-c"),
                               QStringLiteral("1"), path, QStringLiteral("synth"), QStringLiteral("1"),
                               QStringLiteral("sine"), QStringLiteral("440")}) != 0)
            return {};
        return path;
    }

private slots:
    void progressFormulas_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        using namespace AudioProgress;
        const double estimate = estimateWaveSize(10000, 29);
        QTest::newRow("wave estimate at the reference") << "estimate" << estimate << 496881.52;
        QTest::newRow("wave estimate scales with the rate")
            << "estimate" << estimateWaveSize(10000, 58) << 248440.76;
        QTest::newRow("no estimate without a rate") << "estimate" << estimateWaveSize(10000, 0) << 0.0;
        QTest::newRow("reference WAV is half of an MP3 job")
            << "percent" << double(recordingPercent(24844076, estimate, true)) << 50.0;
        QTest::newRow("reference WAV is all of a WAV job")
            << "percent" << double(recordingPercent(24844076, estimate, false)) << 100.0;
        QTest::newRow("an MP3 job's recording stops at 50")
            << "percent" << double(recordingPercent(90000000, estimate, true)) << 50.0;
        QTest::newRow("a WAV job runs in even steps")
            << "percent" << double(recordingPercent(3 * 496881, estimate, false)) << 4.0;
        QTest::newRow("a WAV job stops at 100")
            << "percent" << double(recordingPercent(90000000, estimate, false)) << 100.0;
        QTest::newRow("mp3 estimate") << "estimate" << estimateMp3Size(24844076) << 45074.8;
        QTest::newRow("reference MP3 is done")
            << "percent" << double(encodingPercent(2253740, estimateMp3Size(24844076))) << 100.0;
        QTest::newRow("encoding starts at 50") << "percent" << double(encodingPercent(0, 45074.8)) << 50.0;
        QTest::newRow("converter estimate")
            << "hundredth" << double(mp3EstimateHundredth(24844076)) << 22537.0;
        QTest::newRow("converter estimate ties to even")
            << "hundredth"
            << double(mp3EstimateHundredth(qint64(2.5 * 100 * ReferenceWavBytes / ReferenceMp3Bytes))) << 2.0;
        QTest::newRow("converter percent")
            << "percent" << double(convertPercent(2253740, mp3EstimateHundredth(24844076))) << 100.0;
        QTest::newRow("converter percent with nothing expected")
            << "percent" << double(convertPercent(5000, 0)) << 0.0;
        QTest::newRow("counted length trims and drops blank pairs")
            << "length" << double(countedLength(QStringLiteral("  a    b   c  "))) << 4.0;
        QTest::newRow("counted length keeps line ends")
            << "length" << double(countedLength(QStringLiteral("\na b\n"))) << 5.0;
        QTest::newRow("rate caption") << "rate" << double(rateOfCaption(QStringLiteral(" 29 "))) << 29.0;
        QTest::newRow("rate caption not a number")
            << "rate" << double(rateOfCaption(QStringLiteral("x"))) << 0.0;
    }
    void progressFormulas()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QVERIFY2(qAbs(value - expected) < 1e-6, qPrintable(QString::number(value, 'f', 6)));
    }

    void progressTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        using namespace AudioProgress;
        QTest::newRow("caption")
            << jobCaption(QStringLiteral("V (TTS4.0)"), 42, 3725, QStringLiteral("V (TTS4.0)"))
            << "V (TTS4.0)   Completed: 42%  Elapsed Time: 01:02:05   REC Engine: V (TTS4.0)";
        QTest::newRow("caption past 100") << jobCaption(QStringLiteral("V"), 104, 5, QStringLiteral("W"))
                                          << "V   Completed: 100%  Elapsed Time:00:00:05   REC Engine: W";
        QTest::newRow("converter label") << convertPercentText(37) << "37%";
        QTest::newRow("converter label never past 100") << convertPercentText(101) << "100%";
        QTest::newRow("elapsed") << elapsedText(59) << "00:00:59";
        QTest::newRow("full-width digits")
            << asciiDigits(QString::fromUtf8("\xef\xbc\x91\xef\xbc\x90 \xef\xbc\x99"
                                             "a"))
            << "10 9a";
        QTest::newRow("case 1") << QString::number(wavtomp3::convertCaseOf("/a/b.wav", "/a/c.mp3")) << "1";
        QTest::newRow("case 2") << QString::number(wavtomp3::convertCaseOf("/a b/b.wav", "/a/c.mp3")) << "2";
        QTest::newRow("case 3") << QString::number(wavtomp3::convertCaseOf("/a/b.wav", "/a/c d.mp3")) << "3";
        QTest::newRow("case 4") << QString::number(wavtomp3::convertCaseOf("/a b/b.wav", "/a/c d.mp3"))
                                << "4";
    }
    void progressTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void converterFoldersRecord()
    {
        const ConverterFolders folders{QStringLiteral("/src/"), QStringLiteral("/dst dir/")};
        const QByteArray bytes = encodeConverterFolders(folders);
        QCOMPARE(bytes, QByteArray("\x05\x00/src/\x09\x00/dst dir/", 2 + 5 + 2 + 9));
        const ConverterFolders back = decodeConverterFolders(bytes);
        QCOMPARE(back.LastSourceFolder, folders.LastSourceFolder);
        QCOMPARE(back.LastTargetFolder, folders.LastTargetFolder);
        QCOMPARE(decodeConverterFolders(QByteArray("\xff\x7f", 2)).LastTargetFolder, QString());
    }

    void encoderOutcomes_data()
    {
        QTest::addColumn<QString>("script"); // the program folder's stand-in; empty: the real lame
        QTest::addColumn<QString>("failure");
        QTest::newRow("real lame") << QString() << QString();
        QTest::newRow("non-zero exit")
            << "echo 'Could not find \"in.wav\".' >&2; exit 3"
            << "the MP3 encoder ended with exit code 3: Could not find \"in.wav\".";
        QTest::newRow("no file made") << "exit 0"
                                      << "the MP3 encoder made no file";
        QTest::newRow("crash") << "kill -KILL $$"
                               << "the MP3 encoder stopped abnormally";
    }
    void encoderOutcomes()
    {
        QFETCH(QString, script);
        QFETCH(QString, failure);
        const QString lame = programFile(QStringLiteral("lame"));
        QFile::remove(lame);
        if (script.isEmpty()) {
            if (QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty())
                QSKIP("lame is not installed");
        } else {
            writeStandIn(script);
            QCOMPARE(Mp3Encoder::program(), lame);
        }
        const QString input = makeWav(QStringLiteral("in put.wav"));
        if (input.isEmpty())
            QSKIP("sox is not installed");
        const QString output = home.file(QStringLiteral("out put.mp3"));
        QFile::remove(output);

        Mp3Encoder encoder;
        QVERIFY(encoder.start(input, output));
        QTRY_VERIFY_WITH_TIMEOUT(!encoder.isRunning(), 10000);
        QCOMPARE(encoder.failure(), failure);
        QCOMPARE(QFileInfo(output).size() > 0, failure.isEmpty());
        QFile::remove(lame);
    }

    void encoderMissing()
    {
        QFile::remove(programFile(QStringLiteral("lame")));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", home.file(QStringLiteral("nowhere")).toLocal8Bit());
        Mp3Encoder encoder;
        const bool started =
            encoder.start(home.file(QStringLiteral("a.wav")), home.file(QStringLiteral("a.mp3")));
        qputenv("PATH", path);
        QVERIFY(!started);
        QVERIFY(!encoder.isRunning());
        QVERIFY(encoder.failure().contains(QStringLiteral("lame was not found")));
    }

    void recorderWritesTheFileAndTellsTheEnd()
    {
        const QList<EngineVoice> voices = SynthEngine::espeak().voices();
        if (voices.isEmpty())
            QSKIP("eSpeak NG has no voices");
        Parlocx::setWaveEnd(Parlocx::WaveEndConsumed);
        Parlocx recorder;
        const QString wav = home.file(QStringLiteral("rec ord.wav"));
        recorder.RecordToFile(QStringLiteral("Hello there. This is a short recording."), wav,
                              voices.first().name, 175, 50, 2048);
        // Returns at once, with the file begun and the recording running.
        QCOMPARE(Parlocx::waveEnd(), int(Parlocx::WaveEndRunning));
        QVERIFY(QFile::exists(wav));
        QTRY_COMPARE_WITH_TIMEOUT(Parlocx::waveEnd(), int(Parlocx::WaveEndFinished), 10000);
        QVERIFY(recorder.lastError().isEmpty());
        QFile file(wav);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.size() > 22050); // more than half a second of speech
        QCOMPARE(bytes.left(4), QByteArray("RIFF"));
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 40), quint32(bytes.size() - 44));

        // A voice that is not there, and a file that cannot take the audio, fail with a reason
        // and never report a finished file.
        Parlocx::setWaveEnd(Parlocx::WaveEndConsumed);
        recorder.RecordToFile(QStringLiteral("Hello."), wav, QStringLiteral("No Such Voice"), 175, 50, 2048);
        QVERIFY(recorder.lastError().contains(QStringLiteral("No Such Voice")));
        recorder.RecordToFile(QStringLiteral("Hello there, full disk."), QStringLiteral("/dev/full"),
                              voices.first().name, 175, 50, 2048);
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.lastError().isEmpty(), 10000);
        QVERIFY(Parlocx::waveEnd() != Parlocx::WaveEndFinished);
    }
};

QTEST_MAIN(TestAudioRules)
#include "test_audio_rules.moc"
