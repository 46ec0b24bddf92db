#include "platform/mci.h"
#include "platform/program_folder.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cmath>

// Speech through a real sound server: a private PulseAudio with a null sink, started here and
// recorded from its monitor, so the test hears what a listener would.
namespace {

// Length and voice pitch of a recorded reading: silence at both ends left out, the pitch the
// median of the autocorrelation peaks of the voiced frames between 60 and 400 Hz.
struct Heard
{
    double seconds = 0;
    double pitchHz = 0;
};

Heard analyse(const QByteArray &pcm)
{
    QVector<double> s(pcm.size() / 2);
    for (qsizetype i = 0; i < s.size(); ++i)
        s[i] = qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
    constexpr double Silence = 300;
    qsizetype first = 0, last = s.size() - 1;
    while (first < s.size() && std::abs(s[first]) < Silence)
        ++first;
    while (last > first && std::abs(s[last]) < Silence)
        --last;
    Heard heard;
    heard.seconds = double(last - first) / 22050.0;
    constexpr int Frame = 1024, MinLag = 22050 / 400, MaxLag = 22050 / 60;
    QVector<double> pitches;
    for (qsizetype start = first; start + Frame + MaxLag < last; start += Frame / 2) {
        double energy = 0;
        for (int i = 0; i < Frame; ++i)
            energy += s[start + i] * s[start + i];
        if (std::sqrt(energy / Frame) < 1000)
            continue;
        double best = 0;
        int bestLag = 0;
        for (int lag = MinLag; lag <= MaxLag; ++lag) {
            double c = 0, e2 = 0;
            for (int i = 0; i < Frame; ++i) {
                c += s[start + i] * s[start + i + lag];
                e2 += s[start + i + lag] * s[start + i + lag];
            }
            const double r = c / std::sqrt(energy * e2 + 1);
            if (r > best) {
                best = r;
                bestLag = lag;
            }
        }
        if (best > 0.6)
            pitches.append(22050.0 / bestLag);
    }
    if (!pitches.isEmpty()) {
        std::sort(pitches.begin(), pitches.end());
        heard.pitchHz = pitches.at(pitches.size() / 2);
    }
    return heard;
}

} // namespace

class TestSoundOutput : public QObject
{
    Q_OBJECT
    TestHome home;
    QTemporaryDir pulseDir;
    QProcess pulse;

    QString socketPath() const { return pulseDir.filePath(QStringLiteral("native")); }

    // Records the sink while `action` runs; returns the RMS of the recording (16-bit units).
    template <typename Action> double recordWhile(Action action)
    {
        const QByteArray data = recordPcm(action);
        const qint64 samples = data.size() / 2;
        double sum = 0;
        for (qint64 i = 0; i < samples; ++i) {
            const double s = qFromLittleEndian<qint16>(data.constData() + 2 * i);
            sum += s * s;
        }
        return samples > 22050 ? std::sqrt(sum / double(samples)) : 0.0;
    }

    // The 22050 Hz 16-bit samples heard while `action` runs.
    template <typename Action> QByteArray recordPcm(Action action)
    {
        const QString file = pulseDir.filePath(QStringLiteral("rec.raw"));
        QFile::remove(file);
        QProcess recorder;
        recorder.setProcessEnvironment(environment());
        recorder.start(QStringLiteral("parecord"),
                       {QStringLiteral("-d"), QStringLiteral("spk.monitor"), QStringLiteral("--raw"),
                        QStringLiteral("--format=s16le"), QStringLiteral("--rate=22050"),
                        QStringLiteral("--channels=1"), file});
        if (!recorder.waitForStarted())
            return {};
        // Only a recorder that already writes hears the first word, however slowly it starts.
        QDeadlineTimer connected(10000);
        while (QFileInfo(file).size() == 0 && !connected.hasExpired())
            QTest::qWait(10);
        action();
        recorder.terminate();
        recorder.waitForFinished(5000);
        QFile raw(file);
        if (!raw.open(QIODevice::ReadOnly))
            return {};
        return raw.readAll();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socketPath());
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), pulseDir.path());
        env.insert(QStringLiteral("PARLANTO_AUDIO"), QStringLiteral("device"));
        return env;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("parecord")).isEmpty())
            QSKIP("pulseaudio and parecord are not installed (scripts/install-deps installs them)");
        pulse.setProcessEnvironment(environment());
        pulse.start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                     QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                     QStringLiteral("--disable-shm=yes"),
                     QStringLiteral("--load=module-null-sink sink_name=spk norewinds=1"),
                     QStringLiteral("--load=module-native-protocol-unix socket=") + socketPath(),
                     QStringLiteral("--load=module-always-sink")});
        QVERIFY(pulse.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socketPath()), 10000);
        // This process plays through the same server.
        qputenv("PULSE_SERVER", ("unix:" + socketPath()).toLocal8Bit());
        qputenv("PARLANTO_AUDIO", "device");
    }

    void cleanupTestCase()
    {
        pulse.terminate();
        if (!pulse.waitForFinished(5000))
            pulse.kill();
    }

    void parlantoCliIsHeard_data()
    {
        QTest::addColumn<QString>("voice");
        QTest::newRow("espeak") << QStringLiteral("English (America) (TTS4.0)");
        QTest::newRow("flite") << QStringLiteral("Flite slt (US English, female) (TTS5.0)");
    }

    void parlantoCliIsHeard()
    {
        QFETCH(QString, voice);
        int exitCode = -1;
        const double rms = recordWhile([&] {
            QProcess cli;
            cli.setProcessEnvironment(environment());
            cli.start(QStringLiteral(PARLANTO_CLI),
                      {QStringLiteral("speak"), QStringLiteral("--voice"), voice,
                       QStringLiteral("Good evening. This sentence is played on the sound server.")});
            if (cli.waitForFinished(60000))
                exitCode = cli.exitCode();
        });
        QCOMPARE(exitCode, 0);
        QVERIFY2(rms > 200, qPrintable(QStringLiteral("recording is silent (rms %1)").arg(rms)));
    }

    void silenceIsSilent()
    {
        // The recorder itself hears nothing when nothing speaks: the check above can fail.
        const double rms = recordWhile([] { QTest::qWait(1500); });
        QVERIFY(rms >= 0);
        QVERIFY2(rms < 20, qPrintable(QString::number(rms)));
    }

    void theClockBellIsHeard()
    {
        const QString bell = programFile(QStringLiteral("bell.wav"));
        QVERIFY(QFile::exists(bell));
        QString mode;
        const double rms = recordWhile([&] {
            if (mciSendString(QStringLiteral("open ") + bell +
                              QStringLiteral(" alias bell type waveaudio")) != 0 ||
                mciSendString(QStringLiteral("play bell")) != 0)
                return;
            QTRY_COMPARE_WITH_TIMEOUT((mciSendString(QStringLiteral("status bell mode"), &mode), mode),
                                      QStringLiteral("stopped"), 10000);
            mciSendString(QStringLiteral("close bell"));
        });
        QCOMPARE(mode, QStringLiteral("stopped"));
        QVERIFY2(rms > 200, qPrintable(QStringLiteral("recording is silent (rms %1)").arg(rms)));
    }

    void theMainWindowReadsAloud()
    {
        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        pickVoice(*w, listPosition(*w, 4, QStringLiteral("English (America)")));
        w->RichTextBox1->setPlainText(QStringLiteral("Reading aloud from the main window, word by word."));
        int highlights = 0;
        const double rms = recordWhile([&] {
            w->Command5_Click();
            QTRY_VERIFY_WITH_TIMEOUT(w->PlayStatus == 1, 5000);
            QDeadlineTimer deadline(30000);
            while (w->PlayStatus == 1 && !deadline.hasExpired()) {
                if (w->RichTextBox1->textCursor().hasSelection())
                    ++highlights;
                QTest::qWait(20);
            }
        });
        QCOMPARE(w->PlayStatus, 3);
        QVERIFY2(highlights > 0, "no word was highlighted while reading");
        QVERIFY2(rms > 200, qPrintable(QStringLiteral("recording is silent (rms %1)").arg(rms)));
    }

    void quickSpeakStopCyclesLeaveTheVoiceWhole_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QString>("voice");
        QTest::newRow("eSpeak NG") << 4 << QStringLiteral("English (America)");
        QTest::newRow("Flite") << 5 << QStringLiteral("Flite slt");
    }

    // Speak and Stop pressed in quick succession, again and again, must leave the next
    // reading as long and as high as a fresh one.
    void quickSpeakStopCyclesLeaveTheVoiceWhole()
    {
        QFETCH(int, generation);
        QFETCH(QString, voice);
        LoadedWindow w;
        QCOMPARE(w.result, ttsmain::LoadResult::Running);
        pickVoice(*w, listPosition(*w, generation, voice));
        w->RichTextBox1->setPlainText(
            QStringLiteral("Seven silver swans swam slowly south, singing softly."));
        auto reading = [&] {
            return analyse(recordPcm([&] {
                w->RichTextBox1->moveCursor(QTextCursor::Start);
                QTest::mouseClick(w->Command5, Qt::LeftButton);
                QTRY_VERIFY_WITH_TIMEOUT(w->PlayStatus == 3, 30000);
                QTest::qWait(300); // the sound server's own latency
            }));
        };
        const Heard fresh = reading();
        for (int i = 0; i < 20; ++i) {
            w->RichTextBox1->moveCursor(QTextCursor::Start);
            QTest::mouseClick(w->Command5, Qt::LeftButton);
            QTRY_VERIFY(w->PlayStatus == 1);
            QTest::qWait(120); // the user's quick second press
            QTest::mouseClick(w->Command6, Qt::LeftButton);
            QCOMPARE(w->PlayStatus, 3);
        }
        const Heard after = reading();
        const QString figures = QStringLiteral("fresh %1 s %2 Hz, after %3 s %4 Hz")
                                    .arg(fresh.seconds)
                                    .arg(fresh.pitchHz)
                                    .arg(after.seconds)
                                    .arg(after.pitchHz);
        QVERIFY2(fresh.seconds > 1 && fresh.pitchHz > 60, qPrintable(figures));
        // A busy machine can stretch either reading by a few playback gaps (up to ~15 % seen); a
        // worn voice is twice as long or more, and much lower.
        QVERIFY2(std::abs(after.seconds / fresh.seconds - 1) < 0.35, qPrintable(figures));
        QVERIFY2(std::abs(after.pitchHz / fresh.pitchHz - 1) < 0.15, qPrintable(figures));
    }
};

QTEST_MAIN(TestSoundOutput)
#include "test_sound_output.moc"
