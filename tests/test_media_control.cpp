// test-links: parlanto_platform
#include "platform/mci.h"
#include "platform/mmedia.h"
#include "platform/program_folder.h"
#include "platform/wav_reader.h"
#include "support/fake_clock.h"
#include "support/test_home.h"

#include <QDataStream>
#include <QFile>
#include <QtTest>

#include <memory>

namespace {

// A PCM WAV file of `frames` frames, every sample `value`.
QByteArray wavBytes(int rate, int channels, int bits, int frames, int value)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    for (int i = 0; i < frames * channels; ++i) {
        if (bits == 8)
            out << quint8(value);
        else
            out << qint16(value);
    }
    QByteArray file;
    QDataStream head(&file, QIODevice::WriteOnly);
    head.setByteOrder(QDataStream::LittleEndian);
    head.writeRawData("RIFF", 4);
    head << quint32(36 + data.size());
    head.writeRawData("WAVEfmt ", 8);
    head << quint32(16) << quint16(1) << quint16(channels) << quint32(rate)
         << quint32(rate * channels * bits / 8) << quint16(channels * bits / 8) << quint16(bits);
    head.writeRawData("data", 4);
    head << quint32(data.size());
    return file + data;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString send(const QString &command, int *code = nullptr)
{
    QString answer;
    const int result = mciSendString(command, &answer);
    if (code)
        *code = result;
    return answer;
}

} // namespace

// The media command interpreter and the media control that talks to it.
class TestMediaControl : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> home;
    QString bell;       // the shipped bell, 1.5 s
    QString spacedBell; // a copy whose path holds a blank
    QString notWav;

private slots:
    void initTestCase()
    {
        home = std::make_unique<TestHome>();
        bell = programFile(QStringLiteral("bell.wav"));
        QVERIFY2(QFile::exists(bell), "the bell ships with the program");
        spacedBell = home->file(QStringLiteral("my sounds bell.WAV"));
        QVERIFY(QFile::copy(bell, spacedBell));
        notWav = home->file(QStringLiteral("text.wav"));
        writeFile(notWav, "this is not a sound");
    }

    // Each command string with the answer and error number it gets, in order, on one interpreter.
    void commandTable()
    {
        struct Row
        {
            QString command;
            int code;
            QString answer;
        };
        const QString b = bell;
        const QList<Row> rows = {
            {"", MciError::MissingCommandString, ""},
            {"   ", MciError::MissingCommandString, ""},
            {"fly me to the moon", MciError::UnrecognizedCommand, ""},
            {"play", MciError::MissingDeviceName, ""},
            {"open \"" + b + " alias x type waveaudio", MciError::NoClosingQuote, ""},
            {"open " + b + " alias x", MciError::DeviceTypeRequired, ""},
            {"open " + b + " alias x type ", MciError::MissingStringArgument, ""},
            {"open " + b + " alias type waveaudio", MciError::UnrecognizedKeyword,
             ""}, // "type" taken as the alias
            {"open " + b + " alias x type cdplayer", MciError::InvalidDeviceName, ""},
            {"open " + b + " alias x type waveaudio loudly", MciError::UnrecognizedKeyword, ""},
            {"open /no/such/bell.wav alias x type waveaudio wait", MciError::FileNotFound, ""},
            {"open /no/such/tune.mid alias x type sequencer wait", MciError::FileNotFound, ""},
            {"open " + notWav + " alias x type waveaudio wait", MciError::InvalidFile, ""},
            {"status x mode", MciError::InvalidDeviceName, ""},
            {"Open " + b + " ALIAS 7wav TYPE Waveaudio wait", MciError::None, ""},
            {"open " + b + " alias 7WAV type waveaudio", MciError::DuplicateAlias, ""},
            {"status 7wav length", MciError::None, "1500"},
            {"STATUS 7Wav mode", MciError::None, "stopped"},
            {"status 7wav position", MciError::None, "0"},
            {"status 7wav colour", MciError::UnrecognizedKeyword, ""},
            {"status 7wav", MciError::MissingParameter, ""},
            {"seek 7wav to 500", MciError::None, ""},
            {"status 7wav position", MciError::None, "500"},
            {"seek 7wav to 2.5", MciError::None, ""},
            {"status 7wav position", MciError::None, "2"},
            {"seek 7wav to end", MciError::None, ""},
            {"status 7wav position", MciError::None, "1500"},
            {"seek 7wav to start", MciError::None, ""},
            {"seek 7wav to 99999", MciError::OutOfRange, ""},
            {"seek 7wav to -3", MciError::BadInteger, ""},
            {"seek 7wav to soon", MciError::BadInteger, ""},
            {"seek 7wav", MciError::MissingParameter, ""},
            {"seek 7wav to", MciError::MissingParameter, ""},
            {"play 7wav from 200 to 100", MciError::OutOfRange, ""},
            {"play 7wav from later", MciError::BadInteger, ""},
            {"play 7wav wait", MciError::None, ""}, // returns once the bell has played to its end
            {"status 7wav mode", MciError::None, "stopped"},
            {"status 7wav position", MciError::None, "1500"},
            {"play 7wav from 1000 to 1200 wait", MciError::None, ""},
            {"status 7wav position", MciError::None, "1200"},
            {"set 7wav time format milliseconds", MciError::None, ""},
            {"set 7wav door open", MciError::UnsupportedFunction, ""},
            {"set 7wav volume 3", MciError::UnrecognizedKeyword, ""},
            {"pause 7wav now", MciError::UnrecognizedKeyword, ""},
            {"close 7wav", MciError::None, ""},
            {"close 7wav", MciError::InvalidDeviceName, ""},
            {"play 7wav", MciError::InvalidDeviceName, ""},
            {"open \"" + spacedBell + "\" alias spaced type WAVEAUDIO", MciError::None, ""},
            {"status spaced length", MciError::None, "1500"},
            {"open " + b + " type waveaudio", MciError::None, ""}, // the file name is its own alias
            {"status " + b + " length", MciError::None, "1500"},
            {"close all", MciError::None, ""},
            {"status spaced mode", MciError::InvalidDeviceName, ""},
        };
        for (const Row &row : rows) {
            int code = -1;
            const QString answer = send(row.command, &code);
            QVERIFY2(code == row.code, qPrintable(row.command + ": error " + QString::number(code)));
            QVERIFY2(answer == row.answer, qPrintable(row.command + ": " + answer));
        }
    }

    // With a sound output that keeps real time, playing, pausing and stopping show in the mode
    // and the position.
    void playPauseResumeStop()
    {
        qputenv("PARLANTO_AUDIO", "null");
        QCOMPARE(mciSendString("open " + bell + " alias b type waveaudio"), MciError::None);
        QCOMPARE(mciSendString("play b"), MciError::None);
        QCOMPARE(send("status b mode"), QStringLiteral("playing"));
        QTRY_VERIFY(send("status b position").toInt() > 0);
        QCOMPARE(mciSendString("pause b"), MciError::None);
        QCOMPARE(send("status b mode"), QStringLiteral("paused"));
        const int pausedAt = send("status b position").toInt();
        QTest::qWait(100); // long enough for a paused position to move if it were not paused
        QCOMPARE(send("status b position").toInt(), pausedAt);
        QCOMPARE(mciSendString("resume b"), MciError::None);
        QCOMPARE(send("status b mode"), QStringLiteral("playing"));
        QCOMPARE(mciSendString("stop b"), MciError::None);
        QCOMPARE(send("status b mode"), QStringLiteral("stopped"));
        const int stoppedAt = send("status b position").toInt();
        QVERIFY(stoppedAt >= pausedAt && stoppedAt < 1500);
        QCOMPARE(mciSendString("play b"), MciError::None);
        QTRY_COMPARE_WITH_TIMEOUT(send("status b mode"), QStringLiteral("stopped"), 3000);
        QCOMPARE(send("status b position"), QStringLiteral("1500"));
        QCOMPARE(mciSendString("close b"), MciError::None);
        qputenv("PARLANTO_AUDIO", "fast");
    }

    // A MIDI or AVI file the media player cannot play fails quietly, at open or as "not ready".
    void mediaPlayerFileThatDoesNotPlay()
    {
        const QString tune = home->file(QStringLiteral("broken.mid"));
        writeFile(tune, "MThd but nothing after it");
        const int code = mciSendString("open " + tune + " alias tune type sequencer wait");
        QVERIFY2(code == MciError::None || code == MciError::CannotLoadDriver,
                 qPrintable(QString::number(code)));
        if (code == MciError::None) {
            QCOMPARE(send("status tune mode"), QStringLiteral("not ready"));
            QCOMPARE(mciSendString("close tune"), MciError::None);
        }
        QCOMPARE(mciSendString("status tune mode"), MciError::InvalidDeviceName);
    }

    void cdDoorWithoutDrive()
    {
        if (!cdromDevicePath().isEmpty())
            QSKIP("this machine has a CD drive");
        QCOMPARE(mciSendString("set CDAudio door open"), MciError::InvalidDeviceName);
        QCOMPARE(mciSendString("set cdaudio door closed wait"), MciError::InvalidDeviceName);
        QCOMPARE(mciSendString("set cdaudio door ajar"), MciError::UnrecognizedKeyword);
    }

    // The WAV reader turns what it can read into 22050 Hz mono 16-bit and refuses the rest.
    void wavReader()
    {
        const auto stereo8 = decodeWav(wavBytes(44100, 2, 8, 4410, 0xC0));
        QVERIFY(stereo8);
        QCOMPARE(stereo8->size(), 2205);
        QCOMPARE(stereo8->at(100), qint16(0x40 << 8));
        const auto mono16 = decodeWav(wavBytes(11025, 1, 16, 1000, -1234));
        QVERIFY(mono16);
        QCOMPARE(mono16->size(), 2000);
        QCOMPARE(mono16->at(1500), qint16(-1234));
        const auto capped = decodeWav(wavBytes(22050, 1, 16, 22050 * 3, 5), 2);
        QCOMPARE(capped->size(), 22050 * 2);
        QVERIFY(!decodeWav("RIFF0000WAVE"));
        QVERIFY(!decodeWav(wavBytes(22050, 0, 16, 10, 0)));
        QVERIFY(!decodeWav(wavBytes(22050, 1, 12, 10, 0)));
        QByteArray cut = wavBytes(22050, 1, 16, 100, 7);
        cut.chop(100); // the data chunk claims more than there is: what is there is taken
        QCOMPARE(decodeWav(cut)->size(), 50);
        QVERIFY(!readWavFile(notWav));
        QVERIFY(!readWavFile(home->file("missing.wav")));
    }

    // The strings the media control sends, and what it reads back.
    void mediaControlCommands()
    {
        FakeClock clock(QDateTime(QDate(2026, 3, 10), QTime(14, 7, 30)));
        QStringList sent;
        Mmedia media([&sent](const QString &command, QString *answer) {
            sent.append(command);
            return mciSendString(command, answer);
        });
        QCOMPARE(media.Length(), 0.0f); // nothing open: nothing sent
        QCOMPARE(media.Status(), QString());
        media.mmPlay();
        media.mmClose();
        QVERIFY(sent.isEmpty());

        media.mmOpen(spacedBell);
        QCOMPARE(media.alias(), QStringLiteral("7WAV"));
        QCOMPARE(sent.takeFirst(), "Open \"" + spacedBell + "\" ALIAS 7WAV TYPE Waveaudio wait");
        QCOMPARE(media.Length(), 1500.0f);
        QCOMPARE(sent.takeFirst(), QStringLiteral("Status 7WAV length"));
        QCOMPARE(media.Status(), QStringLiteral("stopped"));
        QCOMPARE(sent.takeFirst(), QStringLiteral("Status 7WAV mode"));
        media.mmSeek(2.5f);
        QCOMPARE(sent.takeFirst(), QStringLiteral("Seek 7WAV to 2.5"));
        media.setPosition(1000);
        QCOMPARE(sent.takeFirst(), QStringLiteral("Seek 7WAV to 1000"));
        QCOMPARE(media.Position(), 1000.0f);
        sent.clear();
        media.setWait(true);
        media.mmPlay();
        QCOMPARE(sent.takeFirst(), QStringLiteral("Play 7WAV wait"));
        media.setWait(false);
        media.mmPause();
        media.mmStop();
        QCOMPARE(sent, (QStringList{"Pause 7WAV", "Stop 7WAV"}));
        sent.clear();

        // A new file closes the old one first; the same minute and extension give the same alias.
        clock.advanceSeconds(20);
        media.mmOpen(bell);
        QCOMPARE(sent, (QStringList{"Close 7WAV", "Open " + bell + " ALIAS 7wav TYPE Waveaudio wait"}));
        QCOMPARE(media.Filename(), bell);
        sent.clear();

        // An unsupported type opens nothing, but still closes what was open.
        media.mmOpen(home->file("song.mp3"));
        QCOMPARE(sent, QStringList{"Close 7wav"});
        QCOMPARE(media.alias(), QString());
        QCOMPARE(media.Filename(), QString());

        // A missing file still takes the alias; what follows is refused quietly.
        sent.clear();
        media.mmOpen("/no/such/tune.mid");
        QCOMPARE(sent, QStringList{"Open /no/such/tune.mid ALIAS 7mid TYPE Sequencer wait"});
        QCOMPARE(media.Status(), QString());
        QCOMPARE(media.Length(), 0.0f);
        media.mmClose();
        QCOMPARE(media.alias(), QString());

        QCOMPARE(shortestNumberText(1500.0f), QStringLiteral("1500"));
        QCOMPARE(shortestNumberText(0.1f), QStringLiteral("0.1"));
        QCOMPARE(leadingNumber(QStringLiteral("12.5 ms")), 12.5f);
        QCOMPARE(leadingNumber(QStringLiteral("playing")), 0.0f);
    }
};

QTEST_MAIN(TestMediaControl)
#include "test_media_control.moc"
