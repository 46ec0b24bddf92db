#pragma once

#include "audio/completion_window.h"

struct JobRecord;

// Shown when the converter has turned a WAV file into an MP3 file.
class wavtomp3end final : public CompletionWindow
{
    Q_OBJECT
public:
    explicit wavtomp3end(const JobRecord &job, QWidget *parent = nullptr);
    void Form_Load();

    QLabel *Label1 = nullptr; // "Convert"
    QLabel *Label2 = nullptr; // the source WAV
    QLabel *Label3 = nullptr; // "to"
    QLabel *Label4 = nullptr; // the target MP3
    QLabel *Label5 = nullptr; // "Successfully!"

private:
    const JobRecord &m_job;
};
