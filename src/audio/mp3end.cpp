#include "audio/mp3end.h"

#include "audio/audio_progress.h"
#include "audio/job_record.h"

#include <QLabel>

mp3end::mp3end(JobRecord &job, QWidget *parent)
    : CompletionWindow(QStringLiteral("mp3end"), parent), m_job(job)
{
    Label1 = addLine(QStringLiteral("Label1"), QStringLiteral("Convert text to"));
    Label2 = addLine(QStringLiteral("Label2"), QString());
    Label3 = addLine(QStringLiteral("Label3"), QStringLiteral("Successfully!"));
    Label4 = addLine(QStringLiteral("Label4"), QString());
    Label5 = addLine(QStringLiteral("Label5"), QString());
    Label6 = addLine(QStringLiteral("Label6"), QString());
    Label7 = addLine(QStringLiteral("Label7"), QString());
    Form_Load();
}

void mp3end::Form_Load()
{
    setWindowTitle(QStringLiteral("Pley by media player - Parlanto"));
    Label2->setText(m_job.JobTargetPath);
    m_job.refreshElapsed();
    Label4->setText(QStringLiteral("Elapsed time: ") + AudioProgress::elapsedText(m_job.JobElapsedSeconds));
    Label5->setText(QStringLiteral("REC engine: ") + m_job.JobVoiceName);
    Label6->setText(QStringLiteral("REC rate: ") + m_job.JobSpeedText);
    Label7->setText(QStringLiteral("REC pitch: ") + m_job.JobPitchText);
    for (QLabel *label : {Label2, Label4, Label5, Label6, Label7})
        label->setAccessibleName(label->text());
    setPlayTarget(m_job.JobTargetPath);
}
