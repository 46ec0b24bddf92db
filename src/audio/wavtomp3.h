#pragma once

#include "audio/mp3_encoder.h"

#include <QPointer>
#include <QString>
#include <QWidget>

struct JobRecord;
class IntervalTimer;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class wavtomp3end;

// The converter's folder memory, stored in tomp3.ini.
// Field order is the on-disk order of tomp3.ini; do not reorder.
struct ConverterFolders
{
    QString LastSourceFolder;
    QString LastTargetFolder;
};
QByteArray encodeConverterFolders(const ConverterFolders &folders);
ConverterFolders decodeConverterFolders(const QByteArray &data);

// The converter window: turns an existing WAV file into an MP3 file with the encoder, showing
// the percentage and the elapsed time, then the completion window.
class wavtomp3 final : public QWidget
{
    Q_OBJECT
public:
    explicit wavtomp3(JobRecord &job, QWidget *parent = nullptr);
    ~wavtomp3() override;

    void Form_Load();
    void Form_Unload();
    void Image1_Click();
    void Image2_Click();
    void Command2_Click();
    void Command1_Click();
    // The converter timer of one case (1 to 4).
    void ConvertTimer_Timer(int convertCase);

    // Which of the two paths contain a blank: 1 neither, 2 only the source, 3 only the target,
    // 4 both.
    static int convertCaseOf(const QString &source, const QString &target);

    QLineEdit *Text1 = nullptr; // source WAV
    QLineEdit *Text2 = nullptr; // target MP3
    QToolButton *Image1 = nullptr;
    QToolButton *Image2 = nullptr;
    QLabel *Label1 = nullptr;        // percentage
    QLabel *Label2 = nullptr;        // elapsed time
    QLabel *Label3 = nullptr;        // "Source wav file"
    QLabel *Label4 = nullptr;        // "Target mp3 file"
    QPushButton *Command2 = nullptr; // "Conver&t"
    QPushButton *Command1 = nullptr; // "&Close"
    IntervalTimer *Timer1 = nullptr;
    IntervalTimer *Timer2 = nullptr;
    IntervalTimer *Timer3 = nullptr;
    IntervalTimer *Timer4 = nullptr;

    int ConvertCase = 0;
    int Mp3EstimateHundredth = 0;
    int ConvertPercent = 0;
    QString TempWavCopy;
    QString TempMp3Out;
    ConverterFolders Folders;
    Mp3Encoder Encoder;
    QPointer<wavtomp3end> CompletionWindow;

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    IntervalTimer *timerOfCase(int convertCase) const;
    void endConversion(const QString &failure);
    void removeConversionFiles();

    JobRecord &m_job;
};
