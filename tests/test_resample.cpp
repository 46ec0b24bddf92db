// test-links: parlanto_speech
#include "platform/audio_format.h"
#include "speech/resample.h"
#include "speech/synth_engine.h"
#include "support/band_energy.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numbers>

namespace {

// A logarithmic sine sweep at 70% of full scale, faded in and out over 10 ms so that its ends
// add nothing of their own to the spectrum.
std::vector<short> logSweep(int rate, double seconds, double fromHz, double toHz)
{
    const qsizetype count = qsizetype(seconds * rate);
    const double growth = std::log(toHz / fromHz);
    const qsizetype fade = rate / 100;
    std::vector<short> out(static_cast<size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        const double phase =
            2 * std::numbers::pi * fromHz * seconds / growth * (std::exp(t / seconds * growth) - 1);
        const qsizetype edge = qMin(i, count - 1 - i);
        const double gain =
            edge < fade ? 0.5 - 0.5 * std::cos(std::numbers::pi * double(edge) / double(fade)) : 1.0;
        out[size_t(i)] = short(std::lround(0.7 * 32767 * gain * std::sin(phase)));
    }
    return out;
}

std::vector<double> toDoubles(const QByteArray &pcm)
{
    const auto *s = reinterpret_cast<const short *>(pcm.constData());
    return std::vector<double>(s, s + pcm.size() / 2);
}

// Everything a Flite job makes, with its word marks counted from the start of the stream as
// the speech stream counts them.
struct Stream
{
    QByteArray pcm;
    QVector<WordMark> words;
};

Stream synthesize(const QString &text, const QString &voice)
{
    const auto job = SynthEngine::flite().submit(text, {voice, 0, 50});
    std::mutex mutex;
    std::condition_variable pushed;
    job->setNotifier([&] {
        std::lock_guard lock(mutex);
        pushed.notify_all();
    });
    Stream out;
    const QDeadlineTimer deadline(60000);
    for (;;) {
        PcmChunk chunk;
        while (job->take(chunk)) {
            const qint64 base = out.pcm.size() / AudioFormat::BytesPerSample;
            for (WordMark word : std::as_const(chunk.words)) {
                word.sample += base;
                out.words.append(word);
            }
            out.pcm.append(chunk.pcm);
        }
        if (job->isFinished() || deadline.hasExpired())
            break;
        std::unique_lock lock(mutex);
        pushed.wait_for(lock, std::chrono::milliseconds(50));
    }
    job->setNotifier(nullptr);
    return out;
}

} // namespace

class TestResample : public QObject
{
    Q_OBJECT

private slots:
    // A sweep over the whole band of an 8 or 16 kHz voice, fed in pieces of odd sizes as the
    // sentences of a text come: nothing above the band, no trace of the joins, the right length.
    void sweepStaysInBandAcrossJoins_data()
    {
        QTest::addColumn<int>("rate");
        QTest::newRow("16 kHz voices (slt, kal16, awb, rms)") << 16000;
        QTest::newRow("8 kHz voice (kal)") << 8000;
    }
    void sweepStaysInBandAcrossJoins()
    {
        QFETCH(int, rate);
        const double band = rate / 2.0;
        const std::vector<short> sweep = logSweep(rate, 2.0, 100, band - 100);
        const qsizetype count = qsizetype(sweep.size());

        StreamResampler whole(AudioFormat::SampleRate);
        QByteArray once = whole.process(sweep.data(), count, rate);
        once.append(whole.finish());

        StreamResampler pieces(AudioFormat::SampleRate);
        QByteArray joined;
        const qsizetype sizes[] = {1, 7, 160, 3001, 0, 64, 999, 2, 4097, 333};
        qsizetype at = 0;
        for (int i = 0; at < count; ++i) {
            const qsizetype size = qMin(sizes[i % std::size(sizes)], count - at);
            joined.append(pieces.process(sweep.data() + at, size, rate));
            at += size;
        }
        joined.append(pieces.finish());

        const qint64 expected = std::llround(double(count) * AudioFormat::SampleRate / rate);
        QVERIFY2(qAbs(once.size() / 2 - expected) <= 1, qPrintable(QString::number(once.size() / 2)));
        QCOMPARE(joined.size(), once.size());
        QCOMPARE(pieces.produced(), joined.size() / 2);
        const auto *a = reinterpret_cast<const short *>(once.constData());
        const auto *b = reinterpret_cast<const short *>(joined.constData());
        int worst = 0;
        for (qsizetype i = 0; i < once.size() / 2; ++i)
            worst = qMax(worst, qAbs(int(a[i]) - int(b[i])));
        QVERIFY2(worst <= 1, qPrintable(QStringLiteral("pieces differ by %1").arg(worst)));

        const double imaged = bandEnergy(toDoubles(joined), AudioFormat::SampleRate, band).aboveDb();
        QVERIFY2(imaged <= -70, qPrintable(QStringLiteral("%1 dB above the band").arg(imaged)));
        // The sweep itself comes through: its loudness is kept within a decibel.
        const double in =
            bandEnergy(std::vector<double>(sweep.begin(), sweep.end()), rate, band).below / rate;
        const double out =
            bandEnergy(toDoubles(joined), AudioFormat::SampleRate, band).below / AudioFormat::SampleRate;
        QVERIFY2(std::abs(10 * std::log10(out / in)) < 1.0,
                 qPrintable(QString::number(10 * std::log10(out / in))));
    }

    // A voice change in the middle of a text: the old rate's audio is finished before the new
    // one's, and a point in the new piece is placed after all of it.
    void rateChangeFinishesTheOldRun()
    {
        const std::vector<short> first = logSweep(16000, 0.5, 200, 3000);
        const std::vector<short> second = logSweep(8000, 0.5, 200, 3000);
        StreamResampler resampler(AudioFormat::SampleRate);
        QByteArray out = resampler.process(first.data(), qsizetype(first.size()), 16000);
        const qint64 firstLength = 11025;      // 0.5 s at the common rate
        QVERIFY(out.size() / 2 < firstLength); // the filter holds some back
        out.append(resampler.process(second.data(), qsizetype(second.size()), 8000));
        QCOMPARE(resampler.outputPosition(0.25), firstLength + 5513);
        out.append(resampler.finish());
        QCOMPARE(out.size() / 2, 2 * firstLength);
        QCOMPARE(resampler.produced(), 2 * firstLength);
        QVERIFY(resampler.finish().isEmpty());
    }

    // Real Flite voices: a text of three sentences sounds as its sentences spoken one by one,
    // joined. The stream is as long as theirs together and every word falls on the sample it
    // falls on when its sentence is spoken alone, shifted by what came before.
    void fliteSentencesJoinExactly_data()
    {
        QTest::addColumn<QString>("voice");
        QTest::addColumn<double>("band");
        QTest::newRow("slt, 16 kHz") << QStringLiteral("slt") << 8000.0;
        QTest::newRow("kal, 8 kHz") << QStringLiteral("kal") << 4000.0;
    }
    void fliteSentencesJoinExactly()
    {
        QFETCH(QString, voice);
        QFETCH(double, band);
        if (!SynthEngine::flite().isAvailable())
            QSKIP("Flite could not be loaded");
        const QStringList sentences = {QStringLiteral("The ferry left before the rain came. "),
                                       QStringLiteral("Why had the miller counted forty-two chairs? "),
                                       QStringLiteral("Nobody knew.")};
        const Stream whole = synthesize(sentences.join(QString()), voice);
        qint64 offset = 0;
        int position = 0, word = 0;
        for (const QString &sentence : sentences) {
            const Stream alone = synthesize(sentence, voice);
            QVERIFY(!alone.words.isEmpty());
            for (const WordMark &mark : alone.words) {
                QVERIFY(word < whole.words.size());
                const WordMark &joined = whole.words.at(word++);
                QCOMPARE(joined.position, position + mark.position);
                QCOMPARE(joined.length, mark.length);
                // Each sentence's length is rounded on its own: a sample per join at most.
                QVERIFY2(qAbs(joined.sample - (offset + mark.sample)) <= 2,
                         qPrintable(QStringLiteral("%1 vs %2").arg(joined.sample).arg(offset + mark.sample)));
            }
            offset += alone.pcm.size() / 2;
            position += int(sentence.size());
        }
        QCOMPARE(word, whole.words.size());
        QVERIFY2(qAbs(whole.pcm.size() / 2 - offset) <= 2,
                 qPrintable(QString::number(whole.pcm.size() / 2 - offset)));
        QVERIFY(whole.words.constLast().sample < whole.pcm.size() / 2);
        const double imaged = bandEnergy(toDoubles(whole.pcm), AudioFormat::SampleRate, band).aboveDb();
        QVERIFY2(imaged <= -70, qPrintable(QStringLiteral("%1 dB above the band").arg(imaged)));
    }
};

QTEST_GUILESS_MAIN(TestResample)
#include "test_resample.moc"
