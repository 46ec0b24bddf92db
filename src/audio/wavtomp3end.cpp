#include "audio/wavtomp3end.h"

#include "audio/job_record.h"

#include <QLabel>

wavtomp3end::wavtomp3end(const JobRecord &job, QWidget *parent)
    : CompletionWindow(QStringLiteral("wavtomp3end"), parent), m_job(job)
{
    Label1 = addLine(QStringLiteral("Label1"), QStringLiteral("Convert"));
    Label2 = addLine(QStringLiteral("Label2"), QStringLiteral("c:\\hero.wav"));
    Label3 = addLine(QStringLiteral("Label3"), QStringLiteral("to"));
    Label4 = addLine(QStringLiteral("Label4"), QStringLiteral("c:\\hero.mp3"));
    Label5 = addLine(QStringLiteral("Label5"), QStringLiteral("Successfully!"));
    Form_Load();
}

void wavtomp3end::Form_Load()
{
    setWindowTitle(QStringLiteral("Ok - Parlanto"));
    Label2->setText(m_job.JobWavPath);
    Label4->setText(m_job.JobTargetPath);
    Label2->setAccessibleName(m_job.JobWavPath);
    Label4->setAccessibleName(m_job.JobTargetPath);
    setPlayTarget(m_job.JobTargetPath);
}
