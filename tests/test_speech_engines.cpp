// test-links: parlanto_speech
#include "platform/wav_writer.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "speech/synth_engine.h"
#include "support/test_home.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <dlfcn.h>

namespace {

struct Heard
{
    int position;
    int length;
};

// Speaks a text on a generation-4 or -5 object and collects the words it reports.
class Speaker : public QObject
{
public:
    Speaker(int generation) : generation(generation)
    {
        if (generation == 4) {
            engine4 = std::make_unique<DirectSS>();
            // eSpeak NG's US English voice, wherever it sits in the list.
            const auto voices = SynthEngine::espeak().voices();
            for (int i = 0; i < voices.size(); ++i)
                if (voices.at(i).language == QLatin1String("en-us"))
                    engine4->Select(i + 1);
            connect(engine4.get(), &DirectSS::WordPosition, this, [this](int, int, int byteoffset) {
                words.append({byteoffset / 2, -1});
            });
            connect(engine4.get(), &DirectSS::TextDataDone, this, [this] { ++ends; });
        } else {
            engine5 = std::make_unique<SpVoice>();
            connect(engine5.get(), &SpVoice::Word, this, [this](int, qint64, int position, int length) {
                words.append({position, length});
            });
            connect(engine5.get(), &SpVoice::EndStream, this, [this] { ++ends; });
        }
    }
    void speak(const QString &text)
    {
        if (engine4)
            engine4->TextData(0, 0, text);
        else
            engine5->Speak(text, SpVoice::SVSFlagsAsync);
    }
    void pause() { engine4 ? engine4->AudioPause() : engine5->Pause(); }
    void resume() { engine4 ? engine4->AudioResume() : engine5->Resume(); }
    void stop()
    {
        engine4 ? engine4->AudioReset() : (void)engine5->Speak(QString(), SpVoice::SVSFPurgeBeforeSpeak);
    }
    bool speaking() const { return engine4 ? engine4->isSpeaking() : engine5->isSpeaking(); }
    QList<int> positions() const
    {
        QList<int> out;
        for (const auto &w : words)
            out.append(w.position);
        return out;
    }

    int generation;
    std::unique_ptr<DirectSS> engine4;
    std::unique_ptr<SpVoice> engine5;
    QList<Heard> words;
    int ends = 0;
};

// Word starts of a text, found independently of the engines: a letter or digit after a
// blank or at the start.
QList<int> wordStarts(const QString &text)
{
    QList<int> out;
    static const QRegularExpression word(QStringLiteral("[^\\s]+"));
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        int start = int(m.capturedStart());
        while (start < m.capturedEnd() && !text.at(start).isLetterOrNumber())
            ++start;
        out.append(start);
    }
    return out;
}

QString longText(int sentences)
{
    QString text;
    for (int i = 0; i < sentences; ++i)
        text += QStringLiteral("Sentence number %1 says a few plain words. ").arg(i + 1);
    return text;
}

struct WavInfo
{
    bool valid = false;
    quint32 riffSize = 0, dataSize = 0, rate = 0;
    quint16 channels = 0, bits = 0;
    qint64 fileSize = 0;
    double rms = 0;
};

WavInfo readWav(const QString &path)
{
    WavInfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return info;
    const QByteArray data = file.readAll();
    info.fileSize = data.size();
    if (data.size() < 44 || !data.startsWith("RIFF") || data.mid(8, 8) != "WAVEfmt " ||
        data.mid(36, 4) != "data")
        return info;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    info.riffSize = qFromLittleEndian<quint32>(p + 4);
    info.channels = qFromLittleEndian<quint16>(p + 22);
    info.rate = qFromLittleEndian<quint32>(p + 24);
    info.bits = qFromLittleEndian<quint16>(p + 34);
    info.dataSize = qFromLittleEndian<quint32>(p + 40);
    double sum = 0;
    const qint64 samples = (data.size() - 44) / 2;
    for (qint64 i = 0; i < samples; ++i) {
        const double s = qFromLittleEndian<qint16>(p + 44 + 2 * i);
        sum += s * s;
    }
    info.rms = samples ? std::sqrt(sum / double(samples)) : 0;
    info.valid = true;
    return info;
}

} // namespace

class TestSpeechEngines : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void enginesListTheirVoices()
    {
        QVERIFY(SynthEngine::espeak().isAvailable());
        const auto espeak = SynthEngine::espeak().voices();
        QVERIFY(espeak.size() > 10);
        DirectSS directSS;
        QCOMPARE(directSS.CountEngines(), int(espeak.size()));
        QCOMPARE(directSS.ModeName(1), espeak.first().name);
        QVERIFY(directSS.ModeName(0).isEmpty());
        QVERIFY(directSS.ModeName(directSS.CountEngines() + 1).isEmpty());
        QVERIFY(!directSS.Select(0));
        // eSpeak NG came without its own playback and the sound clients that one brings.
        QVERIFY(!::dlopen("libpulse-simple.so.0", RTLD_LAZY | RTLD_NOLOAD));
        QVERIFY(!::dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD));

        const auto tokens = SpVoice::GetVoices();
        QStringList ids;
        for (const auto &t : tokens)
            ids << t.Id();
        QCOMPARE(ids, (QStringList{"slt", "kal16", "awb", "rms", "kal"}));
        QVERIFY(tokens.first().GetDescription().contains(QLatin1String("slt")));
        SpVoice voice;
        QCOMPARE(voice.Voice(), tokens.first());
        QVERIFY(!voice.setVoice(SpObjectToken(QStringLiteral("nobody"), QStringLiteral("x"))));
        QCOMPARE(voice.Voice(), tokens.first());
    }

    void wordsPointAtTheWords_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QString>("text");
        for (int g : {4, 5}) {
            const QByteArray tag = g == 4 ? "espeak " : "flite ";
            QTest::newRow(tag + "plain") << g << QStringLiteral("one two three four five");
            QTest::newRow(tag + "punctuation")
                << g << QStringLiteral("Hello, world! (Quoted) \"words\"; end.");
            QTest::newRow(tag + "number") << g << QStringLiteral("I have 42 apples");
            QTest::newRow(tag + "blanks around") << g << QStringLiteral("   leading and trailing blanks   ");
            QTest::newRow(tag + "accents") << g << QStringLiteral("a café au lait in Zürich");
            QTest::newRow(tag + "lines") << g << QStringLiteral("first line\nsecond line\r\nthird");
        }
        QTest::newRow("espeak cyrillic") << 4 << QStringLiteral("Привет мир и все");
        QTest::newRow("flite non-latin between") << 5 << QStringLiteral("hello Привет world 𝄞 again");
    }

    void wordsPointAtTheWords()
    {
        QFETCH(int, generation);
        QFETCH(QString, text);
        Speaker speaker(generation);
        speaker.speak(text);
        QTRY_COMPARE_WITH_TIMEOUT(speaker.ends, 1, 20000);

        const QList<int> starts = wordStarts(text);
        const QList<int> heard = speaker.positions();
        QVERIFY2(!heard.isEmpty(), "no word events");
        for (int i = 0; i < heard.size(); ++i) {
            QVERIFY2(
                starts.contains(heard.at(i)),
                qPrintable(
                    QStringLiteral("event at %1 is not a word start in '%2'").arg(heard.at(i)).arg(text)));
            if (i > 0)
                QVERIFY2(heard.at(i) > heard.at(i - 1), "word events went backwards or repeated");
        }
        if (generation == 5) {
            for (const auto &w : speaker.words) {
                const QString word = text.mid(w.position, w.length);
                QVERIFY2(!word.isEmpty() && word.at(0).isLetterOrNumber() && !word.contains(QLatin1Char(' ')),
                         qPrintable(word));
            }
        }
        // A number is one word to highlight, however many words it is spoken as.
        const int at42 = int(text.indexOf(QLatin1String("42")));
        if (at42 >= 0)
            QCOMPARE(heard.count(at42), 1);
        // Latin words survive between characters Flite cannot read.
        if (text.startsWith(QLatin1String("hello Привет")))
            QCOMPARE(heard, (QList<int>{0, int(text.indexOf("world")), int(text.indexOf("again"))}));
    }

    void pauseAndResumeLoseNothing_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("espeak") << 4;
        QTest::newRow("flite") << 5;
    }

    void pauseAndResumeLoseNothing()
    {
        QFETCH(int, generation);
        const QString text = longText(4);
        Speaker reference(generation);
        reference.speak(text);
        QTRY_COMPARE_WITH_TIMEOUT(reference.ends, 1, 30000);

        Speaker speaker(generation);
        bool paused = false;
        auto pauseAtThird = [&] {
            if (!paused && speaker.words.size() == 3) {
                paused = true;
                speaker.pause();
            }
        };
        if (speaker.engine4)
            connect(speaker.engine4.get(), &DirectSS::WordPosition, this, pauseAtThird);
        else
            connect(speaker.engine5.get(), &SpVoice::Word, this, pauseAtThird);
        speaker.speak(text);
        QTRY_VERIFY_WITH_TIMEOUT(paused, 20000);
        QTest::qWait(300); // nothing may be heard while paused
        QCOMPARE(speaker.words.size(), 3);
        QCOMPARE(speaker.ends, 0);
        QVERIFY(speaker.speaking());
        speaker.resume();
        QTRY_COMPARE_WITH_TIMEOUT(speaker.ends, 1, 30000);
        QCOMPARE(speaker.positions(), reference.positions());
    }

    void stopDiscardsEverythingAndEndsOnce_data() { pauseAndResumeLoseNothing_data(); }

    void stopDiscardsEverythingAndEndsOnce()
    {
        QFETCH(int, generation);
        Speaker speaker(generation);
        speaker.speak(longText(200));
        QTRY_VERIFY_WITH_TIMEOUT(speaker.words.size() >= 2, 20000);
        speaker.stop();
        QCOMPARE(speaker.ends, 1);
        QVERIFY(!speaker.speaking());
        const int heard = int(speaker.words.size());
        QTest::qWait(300);
        QCOMPARE(speaker.words.size(), heard);
        QCOMPARE(speaker.ends, 1);
        // Stopping when idle reports nothing.
        speaker.stop();
        QCOMPARE(speaker.ends, 1);
        // And the object speaks again afterwards.
        speaker.speak(QStringLiteral("again"));
        QTRY_COMPARE_WITH_TIMEOUT(speaker.ends, 2, 20000);
    }

    void twoObjectsSpeakAtOnce()
    {
        const QString a = longText(3),
                      b = QStringLiteral("Another text, spoken over the first one, to the end.");
        Speaker soloA(4), soloB(5), soloC(4);
        soloA.speak(a);
        soloB.speak(b);
        soloC.speak(b);
        QTRY_VERIFY_WITH_TIMEOUT(soloA.ends == 1 && soloB.ends == 1 && soloC.ends == 1, 30000);
        QVERIFY(!soloA.words.isEmpty() && !soloB.words.isEmpty() && !soloC.words.isEmpty());

        Speaker first(4), second(5), third(4);
        first.speak(a);
        second.speak(b);
        third.speak(b);
        QTRY_VERIFY_WITH_TIMEOUT(first.ends == 1 && second.ends == 1 && third.ends == 1, 30000);
        QCOMPARE(first.positions(), soloA.positions());
        QCOMPARE(second.positions(), soloB.positions());
        QCOMPARE(third.positions(), soloC.positions());
    }

    void wavFilesAreValidAndFollowTheRate()
    {
        QTemporaryDir dir;
        const QString text = QStringLiteral("The quick brown fox jumps over the lazy dog. It is 42 degrees.");
        auto writeFlite = [&](int rate, const QString &name) {
            SpVoice voice;
            voice.setRate(rate);
            SpFileStream stream;
            const QString path = dir.filePath(name);
            if (!stream.Open(path, SpFileStream::SSFMCreateForWrite))
                return WavInfo{};
            voice.setAudioOutputStream(&stream);
            voice.Speak(text, SpVoice::SVSFDefault); // synchronous
            stream.Close();
            return readWav(path);
        };
        auto writeEspeak = [&](int speed, const QString &name) {
            DirectSS engine;
            engine.setSpeed(speed);
            const QString path = dir.filePath(name);
            WavWriter writer(path);
            if (!writer.open())
                return WavInfo{};
            engine.setAudioFile(&writer);
            QSignalSpy done(&engine, &DirectSS::TextDataDone);
            engine.TextData(0, 0, text);
            if (!done.wait(20000))
                return WavInfo{};
            writer.close();
            return readWav(path);
        };
        const WavInfo slow5 = writeFlite(-5, "slow5.wav"), fast5 = writeFlite(5, "fast5.wav");
        const WavInfo slow4 = writeEspeak(120, "slow4.wav"), fast4 = writeEspeak(300, "fast4.wav");
        for (const WavInfo &w : {slow5, fast5, slow4, fast4}) {
            QVERIFY(w.valid);
            QCOMPARE(w.rate, 22050u);
            QCOMPARE(w.channels, quint16(1));
            QCOMPARE(w.bits, quint16(16));
            QCOMPARE(qint64(w.riffSize), w.fileSize - 8);
            QCOMPARE(qint64(w.dataSize), w.fileSize - 44);
            QVERIFY2(w.dataSize > 22050, "less than half a second of audio");
            QVERIFY2(w.rms > 300, "the audio is silent");
        }
        QVERIFY(fast5.dataSize < slow5.dataSize * 0.6);
        QVERIFY(fast4.dataSize < slow4.dataSize * 0.6);
    }

    void volumeScalesTheOutput()
    {
        QTemporaryDir dir;
        auto write = [&](int volume) {
            SpVoice voice;
            voice.setVolume(volume);
            SpFileStream stream;
            stream.Open(dir.filePath(QString::number(volume)));
            voice.setAudioOutputStream(&stream);
            voice.Speak(QStringLiteral("Volume check."), SpVoice::SVSFDefault);
            stream.Close();
            return readWav(dir.filePath(QString::number(volume)));
        };
        const WavInfo full = write(100), half = write(50), none = write(0);
        QVERIFY(full.rms > 300);
        QVERIFY(std::abs(half.rms / full.rms - 0.5) < 0.05);
        QCOMPARE(none.rms, 0.0);
    }

    void emptyTextsAndQueues()
    {
        SpVoice voice;
        QSignalSpy starts(&voice, &SpVoice::StartStream), ends(&voice, &SpVoice::EndStream);
        QCOMPARE(voice.Speak(QString(), SpVoice::SVSFlagsAsync), 0);
        QCOMPARE(voice.Speak(QString(), SpVoice::SVSFPurgeBeforeSpeak), 0);
        QVERIFY(voice.WaitUntilDone(100));
        QCOMPARE(starts.count(), 0);
        QCOMPARE(ends.count(), 0);
        // Two asynchronous texts play one after the other, each as its own stream.
        const int first = voice.Speak(QStringLiteral("first"), SpVoice::SVSFlagsAsync);
        const int second = voice.Speak(QStringLiteral("second"), SpVoice::SVSFlagsAsync);
        QVERIFY(second > first);
        QVERIFY(voice.WaitUntilDone(20000));
        QCOMPARE(ends.count(), 2);
        QCOMPARE(ends.at(0).at(0).toInt(), first);
        QCOMPARE(ends.at(1).at(0).toInt(), second);

        DirectSS engine;
        QSignalSpy done(&engine, &DirectSS::TextDataDone);
        engine.TextData(0, 0, QStringLiteral("   "));
        QVERIFY(done.wait(10000));
    }
};

QTEST_GUILESS_MAIN(TestSpeechEngines)
#include "test_speech_engines.moc"
