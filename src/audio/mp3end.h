#pragma once

#include "audio/completion_window.h"

struct JobRecord;

// Shown when a save as WAV or MP3 has finished: the file, the time taken, and the voice, rate
// and pitch it was spoken with.
class mp3end final : public CompletionWindow
{
    Q_OBJECT
public:
    explicit mp3end(JobRecord &job, QWidget *parent = nullptr);
    void Form_Load();

    QLabel *Label1 = nullptr; // "Convert text to"
    QLabel *Label2 = nullptr; // the target file
    QLabel *Label3 = nullptr; // "Successfully!"
    QLabel *Label4 = nullptr; // elapsed time
    QLabel *Label5 = nullptr; // REC engine
    QLabel *Label6 = nullptr; // REC rate
    QLabel *Label7 = nullptr; // REC pitch

private:
    JobRecord &m_job;
};
