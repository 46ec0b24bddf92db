#include "app/ttsmain.h"
#include "app/up_scroll_bar.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// An engine with a speed range of 100..300 words per minute.
class Speed100To300 : public DirectSS
{
public:
    int MinSpeed() const override { return 100; }
    int MaxSpeed() const override { return 300; }
};

// An engine reporting a speed range of zero width.
class ZeroSpeedRange : public DirectSS
{
public:
    int MinSpeed() const override { return 200; }
    int MaxSpeed() const override { return 200; }
};

template <typename Engine> SpeechFactory withEngine()
{
    SpeechFactory factory = SpeechFactory::standard();
    factory.makeDirectSS = [] { return std::make_unique<Engine>(); };
    return factory;
}

// Picks a voice of a generation and waits until the blank that wakes a generation-5 voice ends.
void pickGeneration(LoadedWindow &w, int generation)
{
    pickVoice(*w, listPosition(*w, generation));
    QTRY_VERIFY(!w->NewsVoice1->isSpeaking());
    QCOMPARE(w.app.speech.SapiVersion, generation);
}

// What the reading voice makes of a sentence, as WAV bytes.
QByteArray readingVoiceOutput(SpVoice &voice, const QString &path)
{
    SpFileStream stream;
    if (!stream.Open(path, SpFileStream::SSFMCreateForWrite))
        return {};
    voice.setAudioOutputStream(&stream);
    voice.Speak(QStringLiteral("Pitch check, one two three."), SpVoice::SVSFDefault);
    voice.setAudioOutputStream(nullptr);
    stream.Close();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QPoint centreOf(const QScrollBar &bar, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.upsideDown = bar.invertedAppearance();
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar).center();
}

} // namespace

class TestRatePitchVolume : public QObject
{
    Q_OBJECT
    TestHome home;

private slots:
    void initTestCase()
    {
        qputenv("PARLANTO_INSTANCE",
                QByteArray("barsTest") + QByteArray::number(QCoreApplication::applicationPid()));
    }

    void generation5Rate_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("rate");
        QTest::newRow("0") << 0 << -10;
        QTest::newRow("50") << 50 << 0;
        QTest::newRow("52") << 52 << 0;
        QTest::newRow("53") << 53 << 1;
        QTest::newRow("100") << 100 << 10;
    }

    void generation5Rate()
    {
        QFETCH(int, position);
        QFETCH(int, rate);
        LoadedWindow w;
        pickGeneration(w, 5);
        w->VScroll2->setValue(position == 50 ? 49 : 50); // so that the next value is a change
        w->VScroll2->setValue(position);
        QCOMPARE(w->NewsVoice1->Rate(), rate);
        QCOMPARE(w->VoiceSayTime->Rate(), rate);
        QCOMPARE(w->Label5->text(), QString::number(position));
        QCOMPARE(w.app.speech.RatePosition, position);
    }

    void generation4SpeedRange()
    {
        LoadedWindow w(withEngine<Speed100To300>());
        pickGeneration(w, 4);
        const QList<QPair<int, int>> cases = {{50, 200}, {0, 100}, {100, 300}, {33, 166}, {1, 102}};
        for (const auto &[position, speed] : cases) {
            w->VScroll2->setValue(position);
            QCOMPARE(w->DirectSS1->Speed(), speed);
            QCOMPARE(w->TextToSpeech1->Speed(), speed);
            QCOMPARE(w->Label5->text(), QString::number(position));
            QCOMPARE(w.app.speech.RatePosition, position);
        }
        // Selecting the voice maps the engine's speed back onto the bar: 250 of 100..300.
        w->DirectSS1->setSpeed(250);
        pickVoice(*w, listPosition(*w, 4));
        QCOMPARE(w->VScroll2->value(), 75);
        QCOMPARE(w.app.speech.RatePosition, 75);
    }

    void generation4Pitch()
    {
        LoadedWindow w;
        pickGeneration(w, 4);
        w->VScroll3->setValue(73);
        QCOMPARE(w->DirectSS1->Pitch(), 73); // pitch 0..100
        QCOMPARE(w->Label3->text(), QStringLiteral("73"));
        QCOMPARE(w.app.speech.PitchPosition, 73);
    }

    void generation5PitchChangesNothingAudible()
    {
        // Flite's samples differ slightly from one rendering to the next, so what is compared
        // is everything that shapes the sound, and the length of the speech.
        QTemporaryDir dir;
        LoadedWindow w;
        pickGeneration(w, 5);
        w->NewsVoice1->setVolume(80);
        w->VScroll2->setValue(60);
        w->VScroll3->setValue(10);
        const auto voiceState = [&] {
            QList<QVariant> state;
            for (SpVoice *voice : {w->NewsVoice1.get(), w->VoiceSayTime.get(), w->WaveVoice1.get()})
                state << voice->Voice().Id() << voice->Rate() << voice->Volume();
            state << w->DirectSS1->Pitch() << w->DirectSS1->Speed();
            return state;
        };
        const QList<QVariant> before = voiceState();
        const QByteArray low = readingVoiceOutput(*w->NewsVoice1, dir.filePath(QStringLiteral("low.wav")));
        w->VScroll3->setValue(90);
        QCOMPARE(voiceState(), before);
        const QByteArray high = readingVoiceOutput(*w->NewsVoice1, dir.filePath(QStringLiteral("high.wav")));
        QVERIFY(low.size() > 44 + 22050 / 2); // at least half a second of speech
        QCOMPARE(high.size(), low.size());
        QCOMPARE(high.left(44), low.left(44));
        // Only the bar and its label follow.
        QCOMPARE(w->Label3->text(), QStringLiteral("90"));
        QCOMPARE(w.app.speech.PitchPosition, 90);
    }

    void generation4Volume()
    {
        LoadedWindow w;
        pickGeneration(w, 4);
        const QList<QPair<int, int>> cases = {{0, 0}, {100, 65535}, {50, 32768}, {1, 655}};
        for (const auto &[position, volume] : cases) {
            w->VScroll1->setValue(position);
            QCOMPARE(w->DirectSS1->LeftChannelVolume(), volume);
            QCOMPARE(w->DirectSS1->RightChannelVolume(), volume);
            QCOMPARE(w->Label1->text(), QString::number(position));
        }
    }

    void generation5VolumeIsTheReadingVoiceOnly()
    {
        LoadedWindow w;
        pickGeneration(w, 5);
        w->VoiceSayTime->setVolume(77);
        w->WaveVoice1->setVolume(66);
        const int left = w->DirectSS1->LeftChannelVolume();
        w->VScroll1->setValue(35);
        QCOMPARE(w->NewsVoice1->Volume(), 35);
        QCOMPARE(w->VoiceSayTime->Volume(), 77);
        QCOMPARE(w->WaveVoice1->Volume(), 66);
        QCOMPARE(w->DirectSS1->LeftChannelVolume(), left);
        QCOMPARE(w->Label1->text(), QStringLiteral("35"));
    }

    void rateAndPitchWaitForTheEndOfStartUp()
    {
        LoadedWindow w;
        pickGeneration(w, 4);
        const int speed = w->DirectSS1->Speed();
        const int pitch = w->DirectSS1->Pitch();
        const QString rateLabel = w->Label5->text();
        w->StartTTS4Speed = -1;
        w->StartTTS4Pitch = -1;
        w->VScroll2->setValue(w->VScroll2->value() == 90 ? 10 : 90);
        w->VScroll3->setValue(w->VScroll3->value() == 90 ? 10 : 90);
        QCOMPARE(w->DirectSS1->Speed(), speed);
        QCOMPARE(w->DirectSS1->Pitch(), pitch);
        QCOMPARE(w->Label5->text(), rateLabel);
        // The volume has no such guard.
        w->VScroll1->setValue(20);
        QCOMPARE(w->DirectSS1->LeftChannelVolume(), 13107);
    }

    void aZeroSpeedRangeAtFirstStartLeavesTheRateBar()
    {
        LoadedWindow w(withEngine<ZeroSpeedRange>());
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        QCOMPARE(w.app.speech.SapiVersion, 4);
        QCOMPARE(w->VScroll2->value(), 29); // as designed: that step is skipped
        QCOMPARE(w->Label5->text(), QStringLiteral("29"));
        QCOMPARE(w->VScroll3->value(), 50); // the pitch step still runs
        QCOMPARE(w->Label3->text(), QStringLiteral("50"));
    }

    void barsHaveMoreAtTheTop()
    {
        UpScrollBar bar;
        bar.setRange(0, 100);
        bar.setPageStep(10);
        bar.resize(20, 240);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));

        bar.setValue(100);
        const int handleAtMost = centreOf(bar, QStyle::SC_ScrollBarSlider).y();
        bar.setValue(0);
        const int handleAtLeast = centreOf(bar, QStyle::SC_ScrollBarSlider).y();
        QVERIFY(handleAtMost < handleAtLeast);

        bar.setValue(50);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarSubLine));
        QCOMPARE(bar.value(), 51); // top arrow: up
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddLine));
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddLine));
        QCOMPARE(bar.value(), 49); // bottom arrow: down
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarSubPage));
        QCOMPARE(bar.value(), 59); // above the handle: a page up
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddPage));
        QCOMPARE(bar.value(), 49);
        bar.setValue(100);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddLine));
        QCOMPARE(bar.value(), 99); // at the top end, the bottom arrow still goes down
        QTest::keyClick(&bar, Qt::Key_Down);
        QCOMPARE(bar.value(), 98);
        QTest::keyClick(&bar, Qt::Key_Up);
        QCOMPARE(bar.value(), 99);

        // The main window's bars are of this kind.
        LoadedWindow w;
        for (QScrollBar *windowBar : {w->VScroll1, w->VScroll2, w->VScroll3}) {
            QVERIFY(dynamic_cast<UpScrollBar *>(windowBar));
            QCOMPARE(windowBar->minimum(), 0);
            QCOMPARE(windowBar->maximum(), 100);
        }
    }
};

QTEST_MAIN(TestRatePitchVolume)
#include "test_rate_pitch_volume.moc"
