#pragma once

#include "audio/mp3_encoder.h"
#include "audio/parlocx.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

struct JobRecord;
class IntervalTimer;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPushButton;
class QTreeView;
class QFileSystemModel;
class SpVoice;

// The remembered drive and folders of the batch window, as the window settings record keeps
// them ("c:" and "c:\" are the record's defaults; the window maps them).
struct BatchPlaces
{
    QString Drive;
    QString SourceFolder;
    QString TargetFolder;
};

// What the batch window reads from the main window at the moment each file starts.
struct BatchText2SoundHost
{
    std::function<int()> SapiVersion;
    std::function<QString()> voiceListText; // the voice list's text, " (TTS4.0)" or " (TTS5.0)" last
    std::function<QString()> speedCaption;  // the rate label's caption
    std::function<int()> speed;             // generation-4 speed
    std::function<int()> pitch;             // generation-4 pitch
    std::function<SpVoice *()> NewsVoice1;  // the reading voice, whose voice, volume and rate are copied
    std::function<SpVoice *()> WaveVoice1;  // the voice that writes WAV files
    std::function<BatchPlaces()> loadPlaces;
    std::function<void(const BatchPlaces &)> savePlaces;
};

// Names of the files of one batch entry (a file name ending in ".txt").
namespace BatchNames {
// The folder a remembered place stands for: "c:" is "/", "c:\" the home folder, any other text
// itself.
QString driveOfRemembered(const QString &remembered);
QString folderOfRemembered(const QString &remembered);
// The folder Dir1 shows when `driveRoot` is chosen: the remembered source folder when it lies on
// that volume and exists, otherwise the volume's root.
QString folderForDrive(const QString &driveRoot, const QString &rememberedFolder);
// The entry without its last three characters, so that the dot stays ("a.txt" -> "a.").
QString baseOf(const QString &entry);
// `folder` with a trailing "/".
QString withSlash(const QString &folder);
QString sourceFile(const QString &sourceFolder, const QString &entry);
QString wavTemp(const QString &scratch, const QString &entry);
QString mp3Temp(const QString &scratch, const QString &entry);
QString finalMp3(const QString &targetFolder, const QString &entry);
QString wavTarget(const QString &targetFolder, const QString &entry);
// The end-of-batch message: "Converting is complete", then the files that failed, if any.
QString completeMessage(const QStringList &failures);
} // namespace BatchNames

// The batch window: turns the selected text files of a folder into WAV or MP3 files, one after
// the other, with the main window's current voice.
class BatchText2Sound final : public QWidget
{
    Q_OBJECT
public:
    BatchText2Sound(BatchText2SoundHost host, JobRecord &job, QWidget *parent = nullptr);
    ~BatchText2Sound() override;

    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void Check1_Click();
    void Command3_Click();
    void Text1_Change();
    void Command2_Click(); // to MP3
    void Command5_Click(); // to WAV
    void Command4_Click(); // Stop
    void Command1_Click(); // Close
    void TimerStop();

    // The source folder Dir1 shows.
    QString dir1Path() const { return m_dir1Path; }
    void setDir1Path(const QString &path);

    QComboBox *Drive1 = nullptr;
    QTreeView *Dir1 = nullptr;
    QListWidget *File1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QLineEdit *Text2 = nullptr; // source folder
    QLineEdit *Text1 = nullptr; // target folder
    QPushButton *Command3 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command1 = nullptr;
    QLabel *Label2 = nullptr; // progress text
    QLabel *Label3 = nullptr; // counter
    QLabel *Label4 = nullptr; // "MP3s" or "WAVs"

    IntervalTimer *Timer41 = nullptr;
    IntervalTimer *Timer42 = nullptr;
    IntervalTimer *Timer43 = nullptr;
    IntervalTimer *Timer44 = nullptr;
    IntervalTimer *Timer45 = nullptr;
    IntervalTimer *Timer51 = nullptr;
    IntervalTimer *Timer52 = nullptr;
    IntervalTimer *Timer54 = nullptr;
    IntervalTimer *Timer55 = nullptr;
    IntervalTimer *TimerWAV41 = nullptr;
    IntervalTimer *TimerWAV42 = nullptr;
    IntervalTimer *TimerWAV43 = nullptr;
    IntervalTimer *TimerWAV51 = nullptr;
    IntervalTimer *TimerWAV52 = nullptr;

    Parlocx Ttsparlvcocx1;
    Mp3Encoder Encoder;

    int FileCount = 0;
    int FileIndex = 0;
    short CloseAllowed = -1;
    QStringList SourceFiles, WavFiles, Mp3Files, FinalMp3Files, WavTargets;
    QStringList Failures; // "name: reason" of the files that could not be converted

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void beginBatch(bool mp3);
    void startFile(bool generation5);
    void waitForWav();
    void recordingEnded();
    void recordingProgress();
    void speakToFile();
    void finishWavTarget();
    void waitForMp3();
    void encodingProgress();
    void showEncodingProgress();
    void encoderEnded();
    void startEncoder();
    void nextFile();
    void fileFailed(const QString &reason);
    void showProgress(int percent, bool noBlankAfterColon = false);
    QString recordingPath() const;
    void removeTemporaries();
    void abandonFileInWork();
    void setRunning(bool running);
    void rememberPlaces();
    // A message of this window: OK button, titled "Parlanto".
    void message(const QString &text);

    BatchText2SoundHost m_host;
    JobRecord &m_job;
    BatchPlaces m_places;
    QFileSystemModel *m_dirModel = nullptr;
    QString m_dir1Path;
    bool m_mp3 = true;
    bool m_generation5 = false;
    bool m_running = false;
    bool m_encoding = false; // the encoder runs for the file in work
    bool m_loading = false;
    QString m_text;
    QString m_voiceListText;
    double m_estimateWaveSize = 0;
    double m_estimateMp3Size = 0;
};
