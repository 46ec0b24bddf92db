#include "audio/BatchText2Sound.h"

#include "audio/audio_progress.h"
#include "audio/job_record.h"
#include "audio/voice_recording.h"
#include "platform/dialogs.h"
#include "platform/interval_timer.h"
#include "platform/part_file.h"
#include "platform/program_folder.h"
#include "platform/wav_reader.h"
#include "speech/document_reader.h"
#include "speech/spvoice.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

// The batch window's conversion: the start of a batch with its checks, the per-file chains of
// timers (recording, encoding, the next file), Stop and the end of a batch. A file in the target
// folder takes its name only when it is complete: a WAV is recorded beside it under a part name,
// an MP3 is made in the scratch folder and then moved there.

namespace {

// Progress and waiting timers tick at this interval.
constexpr int TickMs = 500;
// A step that follows at once still goes through its timer, so that the event loop turns in
// between (labels repaint, Stop can be pressed) without waiting for a tick.
constexpr int StepNowMs = 1;
// The voice list's entries end in " (TTS4.0)" or " (TTS5.0)".
constexpr int VoiceSuffixLength = 9;
const QString WriteTestFile = QStringLiteral("ttsparlSpeak.dot");

} // namespace

void BatchText2Sound::Command2_Click()
{
    beginBatch(true);
}

void BatchText2Sound::Command5_Click()
{
    beginBatch(false);
}

void BatchText2Sound::beginBatch(bool mp3)
{
    if (File1->count() == 0)
        return;
    const QString targetText = AudioProgress::trimBlanks(Text1->text());
    if (targetText.isEmpty()) {
        message(QStringLiteral("Please select target folder"));
        return;
    }
    const QString targetFolder = BatchNames::folderOfRemembered(targetText);
    if (!QFileInfo(targetFolder).isDir()) {
        message(QStringLiteral("Please select an available target folder"));
        return;
    }
    // Write test: a copy of a small file of ours; a file of that name already there is left alone.
    const QString testSource = programFile(WriteTestFile);
    if (!QFileInfo::exists(testSource)) {
        message(QStringLiteral("Some files are lost, please reinstall Parlanto"));
        return;
    }
    const QString testCopy = BatchNames::withSlash(targetFolder) + WriteTestFile;
    bool writable = false;
    if (QFileInfo::exists(testCopy)) {
        writable = QFileInfo(targetFolder).isWritable();
    } else if (QFile::copy(testSource, testCopy)) {
        writable = QFile::remove(testCopy);
    }
    if (!writable) {
        message(QStringLiteral("Can not write to target folder"));
        return;
    }
    const QList<QListWidgetItem *> selected = File1->selectedItems();
    if (selected.isEmpty()) {
        message(QStringLiteral("Please select at least one file"));
        return;
    }
    // The part files of a batch that was killed half way go before this one writes here.
    PartFile::removeStale(targetFolder);
    // One sound job at a time: a save or a conversion running now keeps its files to itself.
    if (!m_job.claim()) {
        msgBox(this, jobStillRunningMessage(), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        return;
    }

    SourceFiles.clear();
    WavFiles.clear();
    Mp3Files.clear();
    FinalMp3Files.clear();
    WavTargets.clear();
    Failures.clear();
    for (int row = 0; row < File1->count(); ++row) { // list order, not the order of selecting
        if (!File1->item(row)->isSelected())
            continue;
        const QString entry = File1->item(row)->text();
        SourceFiles << BatchNames::sourceFile(m_dir1Path, entry);
        if (mp3) {
            WavFiles << BatchNames::wavTemp(ownScratchFolder(), entry);
            Mp3Files << BatchNames::mp3Temp(ownScratchFolder(), entry);
            FinalMp3Files << BatchNames::finalMp3(targetFolder, entry);
        } else {
            WavTargets << BatchNames::wavTarget(targetFolder, entry);
        }
    }
    FileCount = int(SourceFiles.size());
    m_mp3 = mp3;
    setRunning(true);
    FileIndex = 0;
    m_job.JobStartTime = QDateTime::currentDateTime();
    m_job.JobElapsedSeconds = 0;
    Label4->setText(mp3 ? QStringLiteral("MP3s") : QStringLiteral("WAVs"));

    const int generation = m_host.SapiVersion ? m_host.SapiVersion() : 0;
    if (generation != 4 && generation != 5) {
        // No voice to record with: nothing can be converted.
        for (const QString &file : std::as_const(SourceFiles))
            Failures << QFileInfo(file).fileName() + QStringLiteral(": no voice is selected");
        FileIndex = FileCount;
        nextFile();
        return;
    }
    m_generation5 = generation == 5;
    nextFile();
}

// Where the file in work is recorded: its temporary WAV for an MP3, the part file beside its WAV
// target.
QString BatchText2Sound::recordingPath() const
{
    if (FileIndex < 1 || FileIndex > FileCount)
        return QString();
    return m_mp3 ? WavFiles.at(FileIndex - 1) : PartFile::pathFor(WavTargets.at(FileIndex - 1));
}

// A WAV target recorded whole takes its name; the next file follows.
void BatchText2Sound::finishWavTarget()
{
    QString error;
    if (!PartFile::commit(recordingPath(), WavTargets.at(FileIndex - 1), &error)) {
        fileFailed(error);
        return;
    }
    nextFile();
}

// Starts file FileIndex + 1: loads it and starts its recording (generation 4) or prepares the
// speaking step (generation 5).
void BatchText2Sound::startFile(bool generation5)
{
    IntervalTimer *own = generation5 ? (m_mp3 ? Timer51 : TimerWAV51) : (m_mp3 ? Timer41 : TimerWAV41);
    own->setInterval(0);
    ++FileIndex;
    Label3->setText(QStringLiteral("%1/%2").arg(FileIndex).arg(FileCount));
    m_voiceListText = m_host.voiceListText ? m_host.voiceListText() : QString();

    const DocumentText document = readDocumentFile(SourceFiles.at(FileIndex - 1));
    if (!document.ok) {
        fileFailed(document.error);
        return;
    }
    m_text = document.text;
    if (AudioProgress::trimBlanks(m_text).isEmpty()) {
        fileFailed(QStringLiteral("the file has no text to speak"));
        return;
    }
    // Leftovers of an earlier batch must not pass for this file's.
    if (m_mp3) {
        QFile::remove(WavFiles.at(FileIndex - 1));
        QFile::remove(Mp3Files.at(FileIndex - 1));
    }

    if (generation5) {
        (m_mp3 ? Timer52 : TimerWAV52)->setInterval(StepNowMs);
        return;
    }
    const int speed = m_host.speed ? m_host.speed() : 0;
    const int pitch = m_host.pitch ? m_host.pitch() : 0;
    const QString name = m_voiceListText.chopped(qMin<qsizetype>(VoiceSuffixLength, m_voiceListText.size()));
    const int rate = AudioProgress::rateOfCaption(m_host.speedCaption ? m_host.speedCaption() : QString());
    m_estimateWaveSize = AudioProgress::estimateWaveSize(int(m_text.size()), rate);
    Parlocx::ensureWaveEndKey();
    Ttsparlvcocx1.RecordToFile(m_text, recordingPath(), name, speed, pitch, 2048);
    if (!Ttsparlvcocx1.lastError().isEmpty()) {
        fileFailed(Ttsparlvcocx1.lastError());
        return;
    }
    // The recorder has created its file already; the wait below goes on to progress at once.
    (m_mp3 ? Timer42 : TimerWAV42)->setInterval(TickMs);
    waitForWav();
}

// Generation 4: waits for the recording's file to appear.
void BatchText2Sound::waitForWav()
{
    if (!Ttsparlvcocx1.lastError().isEmpty()) {
        fileFailed(Ttsparlvcocx1.lastError());
        return;
    }
    if (!QFileInfo::exists(recordingPath()))
        return;
    (m_mp3 ? Timer42 : TimerWAV42)->setInterval(0);
    (m_mp3 ? Timer43 : TimerWAV43)->setInterval(TickMs);
}

// Generation 4: the recording ended by itself; its end is read from "WaveEnd" now rather than
// at the next progress tick.
void BatchText2Sound::recordingEnded()
{
    if (!m_running || m_generation5)
        return;
    IntervalTimer *waiting = m_mp3 ? Timer42 : TimerWAV42;
    IntervalTimer *progress = m_mp3 ? Timer43 : TimerWAV43;
    if (!waiting->isRunning() && !progress->isRunning())
        return; // not this chain's recording
    waiting->setInterval(0);
    progress->setInterval(0);
    recordingProgress();
}

// Generation 4: progress from the growing file, the file's end from "WaveEnd".
void BatchText2Sound::recordingProgress()
{
    m_job.refreshElapsed();
    const qint64 waveSize = QFileInfo(recordingPath()).size();
    showProgress(AudioProgress::recordingPercent(waveSize, m_estimateWaveSize, m_mp3));
    if (!Ttsparlvcocx1.lastError().isEmpty()) {
        fileFailed(Ttsparlvcocx1.lastError());
        return;
    }
    if (Parlocx::waveEnd() != Parlocx::WaveEndFinished)
        return;
    (m_mp3 ? Timer43 : TimerWAV43)->setInterval(0);
    showProgress(m_mp3 ? 50 : 100);
    Parlocx::setWaveEnd(Parlocx::WaveEndConsumed);
    Ttsparlvcocx1.Close();
    if (!m_mp3) {
        finishWavTarget();
        return;
    }
    m_estimateMp3Size = AudioProgress::estimateMp3Size(QFileInfo(recordingPath()).size());
    startEncoder();
}

// Generation 5: speaks the whole file into its WAV within this tick, the window answering.
void BatchText2Sound::speakToFile()
{
    (m_mp3 ? Timer52 : TimerWAV52)->setInterval(0);
    SpVoice *source = m_host.NewsVoice1 ? m_host.NewsVoice1() : nullptr;
    SpVoice *recorder = m_host.WaveVoice1 ? m_host.WaveVoice1() : nullptr;
    if (!source || !recorder) {
        fileFailed(QStringLiteral("the voice cannot record"));
        return;
    }
    QString text = m_text;
    if (m_voiceListText.chopped(qMin<qsizetype>(VoiceSuffixLength, m_voiceListText.size())) ==
        QLatin1String("Microsoft Simplified Chinese"))
        text = AudioProgress::asciiDigits(text);
    // Progress follows the characters spoken so far.
    const int share = m_mp3 ? 50 : 100;
    int shown = -1;
    const QString failure = speakIntoWavFile(
        *source, *recorder, text, recordingPath(), [this] { return !m_running; },
        [&](qsizetype done, qsizetype total) {
            const int percent = total > 0 ? int(done * share / total) : 0;
            if (percent == shown)
                return;
            shown = percent;
            m_job.refreshElapsed();
            showProgress(percent);
        });
    if (!m_running) { // stopped while speaking
        removeTemporaries();
        return;
    }
    if (!failure.isEmpty()) {
        fileFailed(failure);
        return;
    }
    m_job.refreshElapsed();
    if (!m_mp3) {
        showProgress(100);
        finishWavTarget();
        return;
    }
    showProgress(50);
    m_estimateMp3Size = AudioProgress::estimateMp3Size(QFileInfo(recordingPath()).size());
    startEncoder();
}

void BatchText2Sound::startEncoder()
{
    // Whatever the encoder is given it turns into sound; only a WAV it can read may reach it.
    if (const QString problem = wavFileProblem(WavFiles.at(FileIndex - 1)); !problem.isEmpty()) {
        fileFailed(QStringLiteral("the recorded sound file %1").arg(problem));
        return;
    }
    (m_generation5 ? Timer54 : Timer44)->setInterval(TickMs);
    if (!Encoder.start(WavFiles.at(FileIndex - 1), Mp3Files.at(FileIndex - 1))) {
        fileFailed(Encoder.failure());
        return;
    }
    m_encoding = true; // from here on its end moves the chain on
}

// Waits for the encoder's file, then shows its progress.
void BatchText2Sound::waitForMp3()
{
    if (QFileInfo::exists(Mp3Files.at(FileIndex - 1))) {
        (m_generation5 ? Timer54 : Timer44)->setInterval(0);
        (m_generation5 ? Timer55 : Timer45)->setInterval(TickMs);
        return;
    }
    if (!Encoder.isRunning())
        encoderEnded();
}

void BatchText2Sound::showEncodingProgress()
{
    m_job.refreshElapsed();
    const int percent =
        AudioProgress::encodingPercent(QFileInfo(Mp3Files.at(FileIndex - 1)).size(), m_estimateMp3Size);
    showProgress(qMin(percent, 100), percent > 100);
}

void BatchText2Sound::encodingProgress()
{
    showEncodingProgress();
    if (!Encoder.isRunning())
        encoderEnded();
}

// The encoder of the file in work has ended: the MP3 goes to the target folder (or the file is
// noted as failed) and the next file starts.
void BatchText2Sound::encoderEnded()
{
    if (!m_encoding)
        return; // stopped on purpose, or not this batch's file
    m_encoding = false;
    for (IntervalTimer *timer : {Timer44, Timer45, Timer54, Timer55})
        timer->setInterval(0);
    showEncodingProgress();
    QString failure = Encoder.failure();
    QFile::remove(WavFiles.at(FileIndex - 1));
    const QString made = Mp3Files.at(FileIndex - 1);
    const QString target = FinalMp3Files.at(FileIndex - 1);
    // A copy to another file system that fails (a full disk) leaves nothing under the final name.
    if (failure.isEmpty() && made.trimmed().toUpper() != target.trimmed().toUpper())
        PartFile::move(made, target, &failure);
    if (!failure.isEmpty()) {
        fileFailed(failure);
        return;
    }
    nextFile();
}

void BatchText2Sound::showProgress(int percent, bool noBlankAfterColon)
{
    Label2->setText(
        m_voiceListText + QStringLiteral("   Completed: ") + QString::number(percent) +
        (noBlankAfterColon ? QStringLiteral("%  Elapsed Time:") : QStringLiteral("%  Elapsed Time: ")) +
        AudioProgress::elapsedText(m_job.JobElapsedSeconds));
}

// The file in work could not be converted: it is noted, its temporary files go, the batch goes on.
void BatchText2Sound::fileFailed(const QString &reason)
{
    abandonFileInWork();
    const QString name = QFileInfo(SourceFiles.value(FileIndex - 1)).fileName();
    const QString noted = name + QStringLiteral(": ") +
                          (reason.isEmpty() ? QStringLiteral("the sound file could not be made") : reason);
    Failures << noted;
    Label2->setText(QStringLiteral("Could not convert ") + noted);
    nextFile();
}

void BatchText2Sound::removeTemporaries()
{
    if (FileIndex < 1 || FileIndex > FileCount)
        return;
    if (!m_mp3) {
        QFile::remove(recordingPath());
        return;
    }
    QFile::remove(WavFiles.at(FileIndex - 1));
    if (Mp3Files.at(FileIndex - 1) != FinalMp3Files.at(FileIndex - 1))
        QFile::remove(Mp3Files.at(FileIndex - 1));
}

void BatchText2Sound::nextFile()
{
    if (FileIndex < FileCount) {
        IntervalTimer *first =
            m_generation5 ? (m_mp3 ? Timer51 : TimerWAV51) : (m_mp3 ? Timer41 : TimerWAV41);
        first->setInterval(StepNowMs);
        return;
    }
    TimerStop();
    message(BatchNames::completeMessage(Failures));
}

void BatchText2Sound::TimerStop()
{
    for (IntervalTimer *timer : findChildren<IntervalTimer *>(QString(), Qt::FindDirectChildrenOnly))
        timer->setInterval(0);
    const bool wasRunning = m_running;
    setRunning(false);
    if (wasRunning)
        m_job.release();
}

// Stop ends the file in work too: a recording or encoder left running would finish into the
// next job's way, and its temporary files would stay behind.
void BatchText2Sound::Command4_Click()
{
    if (!m_running)
        return;
    abandonFileInWork();
    TimerStop();
}

// The file in work ends where it stands: no step runs on, the recording and the encoder stop and
// its temporary files go.
void BatchText2Sound::abandonFileInWork()
{
    for (IntervalTimer *timer : findChildren<IntervalTimer *>(QString(), Qt::FindDirectChildrenOnly))
        timer->setInterval(0);
    Ttsparlvcocx1.Stop();
    Ttsparlvcocx1.Close();
    if (Parlocx::waveEnd() == Parlocx::WaveEndRunning)
        Parlocx::setWaveEnd(Parlocx::WaveEndConsumed);
    m_encoding = false;
    Encoder.stop();
    removeTemporaries();
}
