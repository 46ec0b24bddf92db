#include "platform/mci.h"
#include "platform/program_folder.h"
#include "support/main_window_fixture.h"
#include "support/test_home.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtEndian>
#include <QtTest>

#include <cmath>

// Speech through a real sound server: a private PulseAudio with a null sink, started here and
// recorded from its monitor, so the test hears what a listener would.
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
        const QString file = pulseDir.filePath(QStringLiteral("rec.raw"));
        QFile::remove(file);
        QProcess recorder;
        recorder.setProcessEnvironment(environment());
        recorder.start(QStringLiteral("parecord"),
                       {QStringLiteral("-d"), QStringLiteral("spk.monitor"), QStringLiteral("--raw"),
                        QStringLiteral("--format=s16le"), QStringLiteral("--rate=22050"),
                        QStringLiteral("--channels=1"), file});
        if (!recorder.waitForStarted())
            return -1;
        action();
        recorder.terminate();
        recorder.waitForFinished(5000);
        QFile raw(file);
        if (!raw.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray data = raw.readAll();
        const qint64 samples = data.size() / 2;
        double sum = 0;
        for (qint64 i = 0; i < samples; ++i) {
            const double s = qFromLittleEndian<qint16>(data.constData() + 2 * i);
            sum += s * s;
        }
        return samples > 22050 ? std::sqrt(sum / double(samples)) : 0.0;
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
};

QTEST_MAIN(TestSoundOutput)
#include "test_sound_output.moc"
