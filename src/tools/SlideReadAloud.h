#pragma once

#include "tools/word_lines.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <random>

class SpVoice;
class TextToSpeech;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;

// What the slide reader keeps between runs; the window settings record stores it.
struct SlideSettings
{
    QString WordFolder = QStringLiteral("c:\\"); // folder of the last chosen word file
    int Delay = 2;                               // seconds between words
    bool FullWindow = false;
    bool Random = false;
    QColor BackColour = Qt::white; // of the word and the window
    QFont WordFont;
    int Charset = 1; // the word font's character set, kept for the record
    QColor WordColour = Qt::black;
};

// What the slide reader takes from the main window: the generation of the current voice, the
// two speech objects it speaks through, and the window settings record.
struct SlideReadAloudHost
{
    std::function<int()> SapiVersion;
    std::function<SpVoice *()> VoiceSayTime;
    std::function<TextToSpeech *()> TextToSpeech1;
    std::function<SlideSettings()> loadSettings;
    std::function<void(const SlideSettings &)> saveSettings;
};

// The word-drill window: shows the lines of a word file one at a time in large type and speaks
// each one, in file order or at random, with a fixed delay between them.
class SlideReadAloud : public QWidget
{
    Q_OBJECT
public:
    explicit SlideReadAloud(SlideReadAloudHost host, QWidget *parent = nullptr);
    ~SlideReadAloud() override;

    void Command5_Click(); // Select word file
    void Text1_Change();
    void Command8_Click(); // Edit
    void Command2_Click(); // Begin
    void seriation_Timer();
    void random_Timer();
    void SlideDelay_Change();
    void Command4_Click();  // Pause / Resume
    void Command3_Click();  // Stop
    void Command9_Click();  // Previous
    void Command10_Click(); // Next
    void Label1_DblClick();
    void Command6_Click(); // Font
    void Command7_Click(); // Color
    void Command1_Click(); // Close

    // ---- Controls
    QLabel *Label1 = nullptr; // the word
    QFrame *Frame1 = nullptr; // every other control
    QLabel *Label2 = nullptr; // count and progress
    QLineEdit *Text1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command7 = nullptr;
    QPushButton *Command8 = nullptr;
    QPushButton *Command9 = nullptr;
    QPushButton *Command10 = nullptr;
    QCheckBox *Check1 = nullptr; // Full window
    QCheckBox *Check2 = nullptr; // Random
    QLabel *DelayLabel = nullptr;
    QSlider *SlideDelay = nullptr;
    QTimer *seriation = nullptr; // list order
    QTimer *random = nullptr;    // random order

    // ---- Window variables
    SlideRules::WordLines WordList; // WordList.value(i - 1) is word i
    int WordCount = 0;
    int WordIndex = 0; // 1-based; in random order the number of words shown so far
    QString CurrentWord;
    int SlideDelayMs = 0;
    bool SlideRunning = false;
    int SlideStatus = 1; // 1 stopped, 2 paused, 3 reading
    QString CountCaption;
    int WordCharset = 1;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void connectControls();
    void applySettings(const SlideSettings &settings);
    void saveSettings();
    void placeControls();
    void setControlsHidden(bool hidden);
    // Reads the word file into WordList on a worker thread while pending events other than user
    // input run; returns the number of lines. A file that cannot be read is told in a message
    // and gives nothing.
    std::optional<int> loadWordList(const QString &path);
    void orderTick(QTimer *timer, bool randomOrder);
    QTimer *orderTimer() const; // the timer of the ticked order
    void showAndSpeak(const QString &word);
    void silence();
    void setBackColour(const QColor &colour);
    void setWordColour(const QColor &colour);

    SlideReadAloudHost m_host;
    SlideSettings m_settings; // as last read or saved; the word folder changes at selection
    std::mt19937 m_generator;
};
