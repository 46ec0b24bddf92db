#include "app/ttsmain.h"

#include "audio/audio_progress.h"
#include "audio/mp3_encoder.h"
#include "audio/mp3end.h"
#include "audio/parlocx.h"
#include "audio/voice_recording.h"
#include "platform/dialogs.h"
#include "platform/part_file.h"
#include "platform/wav_reader.h"
#include "speech/directss.h"
#include "speech/spvoice.h"
#include "speech/voice_catalog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSaveFile>

// The Save button: the document as a text file, or spoken into a WAV or MP3 file. A sound job
// goes on in a chain of timers after the button's handler returns, showing its progress in the
// window caption, and ends with the completion window or a message saying why it failed. A sound
// file takes the chosen name only when it is complete: a WAV is recorded beside it under a part
// name, an MP3 is made in the scratch folder and then moved there.

namespace {

constexpr int TickMs = 500;
// The voice list's entries end in " (TTS4.0)" or " (TTS5.0)".
constexpr int VoiceSuffixLength = 9;

enum SaveForm
{
    RichTextForm = 1,
    PlainTextForm = 2,
    Mp3Form = 3,
    WavForm = 4
};

QString extensionOf(int form)
{
    switch (form) {
    case RichTextForm:
        return QStringLiteral(".rtf");
    case Mp3Form:
        return QStringLiteral(".mp3");
    case WavForm:
        return QStringLiteral(".wav");
    default:
        return QStringLiteral(".txt");
    }
}

int formOfExtension(const QString &extension)
{
    for (int form = RichTextForm; form <= WavForm; ++form)
        if (extension == extensionOf(form))
            return form;
    return PlainTextForm;
}

} // namespace

void ttsmain::createSaveObjects()
{
    Ttsparlvcocx1 = std::make_unique<Parlocx>();
    Encoder = std::make_unique<Mp3Encoder>();
    connect(Ttsparlvcocx1.get(), &Parlocx::FileFinished, this, &ttsmain::Ttsparlvcocx1_FileFinished);
    connect(Timer101, &IntervalTimer::Timer, this, &ttsmain::Timer101_Timer);
    connect(Timer1, &IntervalTimer::Timer, this, &ttsmain::Timer1_Timer);
    connect(Timer102, &IntervalTimer::Timer, this, &ttsmain::Timer102_Timer);
    connect(Timer2, &IntervalTimer::Timer, this, &ttsmain::Timer2_Timer);
    // "Exit all" ends a save in progress with its files, and closes its completion window.
    setUnloadHandler(QStringLiteral("mp3end"), [this] {
        abandonAudioJob();
        if (CompletionWindow)
            CompletionWindow->close();
    });
}

// Saves the document as a text or sound file.
void ttsmain::Command4_Click()
{
    const QString text = RichTextBox1->toPlainText();
    if (AudioProgress::trimBlanks(text).isEmpty())
        return;

    Dialogs::FileRequest request;
    request.title = QStringLiteral("Save as");
    request.initialFolder = Dialogs::startFolder(App.window.SaveFolder);
    request.filters = {{QStringLiteral("Rich Text File(*.rtf)"), QStringLiteral("*.rtf")},
                       {QStringLiteral("Text File(*.txt)"), QStringLiteral("*.txt")},
                       {QStringLiteral("MP3 File (*.mp3)"), QStringLiteral("*.mp3")},
                       {QStringLiteral("WAV File (*.wav)"), QStringLiteral("*.wav")}};
    request.filterIndex = formOfExtension(App.window.SaveFileType);
    const auto answer = Dialogs::instance().saveFile(this, request);
    if (!answer)
        return;
    QString target = AudioProgress::trimBlanks(QString(answer->fileName).remove(QChar(0)));
    if (target.isEmpty())
        return;
    App.window.SaveFolder = target.left(target.lastIndexOf(QLatin1Char('/')) + 1);

    // The filter left selected decides the form, whatever extension was typed.
    const int form = qBound(int(RichTextForm), answer->filterIndex, int(WavForm));
    const QString extension = extensionOf(form);
    App.window.SaveFileType = extension;
    if (target.right(4) != extension)
        target += extension;
    const bool sound = form == Mp3Form || form == WavForm;

    if (sound) {
        // One sound job at a time: a second one would take over the first one's paths.
        if (!App.job.claim()) {
            msgBox(this, jobStillRunningMessage(), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
            return;
        }
        m_saveJobRunning = true;
        App.job.JobVoiceName = Combo1->currentText();
        App.job.JobSpeedText = Label5->text();
        App.job.JobPitchText = Label3->text();
        setWindowTitle(Combo1->currentText() + QStringLiteral(" Waiting   REC Engine: ") +
                       App.job.JobVoiceName);
        App.job.JobStartTime = QDateTime::currentDateTime();
        App.job.JobElapsedSeconds = 0;
        App.job.JobMp3TempPath = JobFiles::mp3Temp();
        App.job.JobWavPath = JobFiles::wavTemp();
        App.job.JobTargetPath = target;
    }

    if (QFileInfo::exists(target)) {
        const QString question =
            target +
            (form == PlainTextForm
                 ? QStringLiteral(" is already exist,do you want to overwrite it ?")
                 : QStringLiteral(" is already exist,do you want to overwrite it ? (If you are playing "
                                  "this file, please close it, then click Yes to overwrite it)"));
        if (msgBox(this, question, Dialogs::Buttons::YesNo, Dialogs::Icon::Question,
                   QStringLiteral("Message"), 1) != Dialogs::Answer::Yes) {
            if (sound) {
                m_saveJobRunning = false;
                App.job.release();
                setWindowTitle(Combo1->currentText());
            }
            return;
        }
        // The old file stays until the new one, written whole, takes its place: a save that
        // fails (a full disk) leaves it as it was.
    }

    if (!sound) {
        saveTextFile(target, text);
        return;
    }
    sText = AudioProgress::trimBlanks(text);
    TextLen = AudioProgress::countedLength(text);
    TargetFileType = form == Mp3Form ? 3 : 4;
    WaveSize = 0;
    PercentWave = 0;
    // Leftovers of an earlier job must not pass for this job's files, nor those of a save that
    // was killed half way stay beside the target.
    QFile::remove(App.job.JobWavPath);
    QFile::remove(App.job.JobMp3TempPath);
    QFile::remove(recordingOutput());
    PartFile::removeStale(QFileInfo(target).absolutePath());
    if (App.speech.SapiVersion == VoiceCatalog::Generation4)
        recordGeneration4();
    else if (App.speech.SapiVersion == VoiceCatalog::Generation5)
        recordGeneration5();
    else
        finishAudioJob(QStringLiteral("no voice is selected"));
}

// Writes the text, with a line end, beside the target first and then puts it in its place, so
// that a failed write leaves the old file as it was.
bool ttsmain::saveTextFile(const QString &target, const QString &text)
{
    QSaveFile file(target);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text.toLocal8Bit() + QByteArrayLiteral("\r\n"));
        if (file.commit())
            return true;
    }
    msgBox(this, QStringLiteral("%1 could not be saved: %2").arg(target, file.errorString()),
           Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
    return false;
}

void ttsmain::recordGeneration4()
{
    if (!DirectSS1 || !Ttsparlvcocx1) {
        finishAudioJob(QStringLiteral("the voice cannot record"));
        return;
    }
    ISpeed = DirectSS1->Speed();
    IPitch = DirectSS1->Pitch();
    IRealTime = 2048;
    sName = Combo1->currentText().chopped(qMin(VoiceSuffixLength, int(Combo1->currentText().size())));
    EstimateWaveSize = AudioProgress::estimateWaveSize(TextLen, AudioProgress::rateOfCaption(Label5->text()));
    Parlocx::ensureWaveEndKey();
    Timer101->setInterval(TickMs);
    WaveEndValue = Parlocx::WaveEndRunning;
    Ttsparlvcocx1->RecordToFile(sText, recordingOutput(), sName, ISpeed, IPitch, IRealTime);
}

// Where the recording goes: the temporary WAV for an MP3, the part file beside a WAV target.
QString ttsmain::recordingOutput() const
{
    return TargetFileType == 3 ? App.job.JobWavPath : PartFile::pathFor(App.job.JobTargetPath);
}

void ttsmain::recordGeneration5()
{
    if (!WaveVoice1 || !NewsVoice1) {
        finishAudioJob(QStringLiteral("the voice cannot record"));
        return;
    }
    if (Combo1->currentText().chopped(VoiceSuffixLength) == QLatin1String("Microsoft Simplified Chinese"))
        sText = AudioProgress::asciiDigits(sText);
    // The handler returns only when the file is complete, but the window keeps answering; the
    // caption follows the characters spoken so far.
    showJobProgress(0);
    const QString failure = speakIntoWavFile(
        *NewsVoice1, *WaveVoice1, sText, recordingOutput(), [this] { return !m_saveJobRunning; },
        [this](qsizetype done, qsizetype total) { showRecordedCharacters(done, total); });
    if (!m_saveJobRunning)
        return; // ended by "Exit all", its files with it
    if (!failure.isEmpty()) {
        finishAudioJob(failure);
        return;
    }
    if (TargetFileType == 4) {
        finishWavTarget();
        return;
    }
    EstimateMp3Size = AudioProgress::estimateMp3Size(QFileInfo(App.job.JobWavPath).size());
    Timer102->setInterval(TickMs);
    startEncoder(App.job.JobWavPath);
}

// Generation-5 recording: the part of the text spoken so far, as the recording's share of the job.
void ttsmain::showRecordedCharacters(qsizetype done, qsizetype total)
{
    const int share = TargetFileType == 3 ? 50 : 100;
    const int percent = total > 0 ? int(done * share / total) : 0;
    const qint64 before = App.job.JobElapsedSeconds;
    App.job.refreshElapsed();
    if (percent == PercentWave && App.job.JobElapsedSeconds == before)
        return;
    PercentWave = percent;
    showJobProgress(PercentWave);
}

// The recording has had half a second to create its file; its progress is watched from now on.
void ttsmain::Timer101_Timer()
{
    Timer101->setInterval(0);
    Timer1->setInterval(TickMs);
}

// Generation-4 recording: progress from the growing file, completion from "WaveEnd".
void ttsmain::Timer1_Timer()
{
    App.job.refreshElapsed();
    const QFileInfo file(recordingOutput());
    if (file.exists())
        WaveSize = file.size();
    PercentWave = AudioProgress::recordingPercent(WaveSize, EstimateWaveSize, TargetFileType == 3);
    showJobProgress(PercentWave);

    if (!Ttsparlvcocx1->lastError().isEmpty()) {
        finishAudioJob(Ttsparlvcocx1->lastError());
        return;
    }
    WaveEndValue = Parlocx::waveEnd();
    if (WaveEndValue != Parlocx::WaveEndFinished)
        return;
    showJobProgress(TargetFileType == 3 ? 50 : 100);
    Timer1->setInterval(0);
    Parlocx::setWaveEnd(Parlocx::WaveEndConsumed);
    WaveEndValue = Parlocx::WaveEndConsumed;
    WaveSize = QFileInfo(file.filePath()).size();
    EstimateMp3Size = AudioProgress::estimateMp3Size(WaveSize);
    if (TargetFileType == 3) {
        Timer102->setInterval(TickMs);
        ttsparlvcocx1_WaveStop();
    } else {
        finishWavTarget();
    }
}

// A WAV recorded whole takes the chosen name.
void ttsmain::finishWavTarget()
{
    QString error;
    if (!PartFile::commit(recordingOutput(), App.job.JobTargetPath, &error)) {
        finishAudioJob(error);
        return;
    }
    finishAudioJob(QString());
}

void ttsmain::ttsparlvcocx1_WaveStop()
{
    startEncoder(App.job.JobWavPath);
}

void ttsmain::Ttsparlvcocx1_FileFinished(const QString &name, const QString &wavPath, const QString &extra)
{
    Q_UNUSED(name);
    Q_UNUSED(extra);
    startEncoder(wavPath);
}

void ttsmain::startEncoder(const QString &input)
{
    // Whatever the encoder is given it turns into sound; only a WAV it can read may reach it.
    if (const QString problem = wavFileProblem(input); !problem.isEmpty()) {
        finishAudioJob(QStringLiteral("the recorded sound file %1").arg(problem));
        return;
    }
    if (!Encoder->start(input, App.job.JobMp3TempPath))
        finishAudioJob(Encoder->failure());
}

// Waits for the encoder's file to appear; an encoder that ends without one ends the job.
void ttsmain::Timer102_Timer()
{
    if (QFileInfo::exists(App.job.JobMp3TempPath)) {
        Timer102->setInterval(0);
        Timer2->setInterval(TickMs);
        return;
    }
    if (!Encoder->isRunning())
        finishAudioJob(Encoder->failure());
}

// Encoding: progress from the growing MP3; when the encoder has ended, the MP3 takes its place.
void ttsmain::Timer2_Timer()
{
    App.job.refreshElapsed();
    PercentWave = AudioProgress::encodingPercent(QFileInfo(App.job.JobMp3TempPath).size(), EstimateMp3Size);
    showJobProgress(PercentWave);
    if (Encoder->isRunning())
        return;

    Timer2->setInterval(0);
    QString failure = Encoder->failure();
    QFile::remove(App.job.JobWavPath);
    // Moved rather than copied where it can be: copying a long MP3 would hold the window. A copy
    // to another file system that fails (a full disk) leaves nothing under the chosen name.
    if (failure.isEmpty())
        PartFile::move(App.job.JobMp3TempPath, App.job.JobTargetPath, &failure);
    finishAudioJob(failure);
}

void ttsmain::showJobProgress(int percent)
{
    setWindowTitle(AudioProgress::jobCaption(Combo1->currentText(), percent, App.job.JobElapsedSeconds,
                                             App.job.JobVoiceName));
}

// Ends a sound job: the completion window when the file was made, else a message naming the
// file and the reason, with the job's temporary files removed.
void ttsmain::finishAudioJob(const QString &failure)
{
    endSaveJob();
    if (!failure.isEmpty()) {
        msgBox(this, QStringLiteral("%1 could not be made: %2").arg(App.job.JobTargetPath, failure),
               Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
        return;
    }
    if (CompletionWindow)
        CompletionWindow->close();
    CompletionWindow = new mp3end(App.job);
    CompletionWindow->show();
}

// Stops every step of the save and removes what it leaves: the temporary files in the scratch
// folder and a part file beside the target.
void ttsmain::endSaveJob()
{
    Timer101->setInterval(0);
    Timer1->setInterval(0);
    Timer102->setInterval(0);
    Timer2->setInterval(0);
    QFile::remove(App.job.JobWavPath);
    QFile::remove(App.job.JobMp3TempPath);
    QFile::remove(recordingOutput());
    setWindowTitle(Combo1->currentText());
    m_saveJobRunning = false;
    App.job.release();
}

// "Exit all" during a save: the recording and the encoder stop where they are, and nothing
// they wrote stays behind. No message: the program is ending.
void ttsmain::abandonAudioJob()
{
    if (!m_saveJobRunning)
        return;
    if (Ttsparlvcocx1 && Ttsparlvcocx1->isRecording()) {
        Ttsparlvcocx1->Stop();
        Ttsparlvcocx1->Close();
        Parlocx::setWaveEnd(Parlocx::WaveEndConsumed);
        WaveEndValue = Parlocx::WaveEndConsumed;
    }
    if (Encoder)
        Encoder->stop();
    // A generation-5 recording sees the job ended and stops at its next turn.
    endSaveJob();
}
