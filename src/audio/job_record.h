#pragma once

#include <QDateTime>
#include <QString>

// The one current sound-file job, shared by the main window's save, the converter window and
// the batch window, and read by the completion windows. Only one job runs at a time: a job
// claims the record and gives it back when it ends, so a second one cannot take over its paths.
struct JobRecord
{
    QString JobVoiceName; // voice list text when the job started
    QString JobSpeedText; // rate label caption when the job started
    QString JobPitchText; // pitch label caption when the job started
    QDateTime JobStartTime;
    qint64 JobElapsedSeconds = 0;
    QString JobWavPath;     // the WAV being made (a save) or converted (the converter)
    QString JobTargetPath;  // the file the user asked for
    QString JobMp3TempPath; // the MP3 being made before it is copied to the target

    bool Running = false;

    // Claims the record for a new job; false (and nothing changed) while another one runs.
    bool claim()
    {
        if (Running)
            return false;
        Running = true;
        return true;
    }
    void release() { Running = false; }
    // Whole seconds since the job started.
    qint64 refreshElapsed()
    {
        JobElapsedSeconds = qMax<qint64>(0, JobStartTime.secsTo(QDateTime::currentDateTime()));
        return JobElapsedSeconds;
    }
};

// The message that refuses a second job while one runs.
inline QString jobStillRunningMessage()
{
    return QStringLiteral(
        "A sound file is still being made. Please wait until it is finished, then try again.");
}

// Temporary files of the jobs, all in this process's own scratch folder.
namespace JobFiles {
QString wavTemp();      // tmp$.wav: the WAV of a save to MP3
QString mp3Temp();      // tmp$.mp3: the MP3 before it is copied to the target
QString converterWav(); // w2mtmp.wav: the converter's copy of a source with a blank in its path
QString converterMp3(); // w2mtmp.mp3: the converter's output for a target with a blank in its path
} // namespace JobFiles
