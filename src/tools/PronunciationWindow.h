#pragma once

#include "speech/pronunciation_file.h"
#include "speech/speech_stream.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class SynthEngine;

// The voice the Listen button speaks with: the main window's current one.
struct PronunciationVoice
{
    SynthEngine *engine = nullptr; // nullptr: no voice to speak with
    VoiceParams params;
    QString language; // e.g. "en-us"
};

// The "Pronunciation" window: lists the rules of the user's rule file, adds, changes and
// removes them (each change is saved at once and used by everything spoken from then on),
// checks a rule as it is typed, and lets the user hear a test phrase without and with it.
class PronunciationWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PronunciationWindow(std::function<PronunciationVoice()> voice, QWidget *parent = nullptr);
    ~PronunciationWindow() override;

    // Reads the user's rule file into the list; a message names each line that is skipped.
    // A file that cannot be read is left alone: the list stays empty and nothing can be saved.
    void Form_Load();

    void RuleList_Click();
    void AddButton_Click();
    void ChangeButton_Click();
    void RemoveButton_Click();
    void ListenButton_Click();
    void CloseButton_Click();

    // ---- Controls
    QTreeWidget *RuleList = nullptr;
    QLineEdit *MatchText = nullptr;
    QLineEdit *SayText = nullptr;
    QLineEdit *LanguageText = nullptr;
    QCheckBox *PatternCheck = nullptr;
    QCheckBox *CaseCheck = nullptr;
    QLabel *CheckLabel = nullptr; // what is wrong with the rule being typed, or that it is ready
    QLineEdit *TestText = nullptr;
    QLabel *HeardLabel = nullptr; // the test phrase as the engine is given it, without and with the rule
    QPushButton *AddButton = nullptr;
    QPushButton *ChangeButton = nullptr;
    QPushButton *RemoveButton = nullptr;
    QPushButton *ListenButton = nullptr;
    QPushButton *CloseButton = nullptr;

signals:
    // The rule file was saved and its rules are the current ones.
    void rulesChanged();
    // Listen has spoken the test phrase both ways.
    void listened();

private:
    void buildControls();
    void connectControls();
    void fillList(int selectLine);
    int selectedLine() const;
    PronunciationRule ruleInFields() const;
    void checkFields();
    // Writes `edited` as the user's file and makes its rules current; on failure the file and
    // the list stay as they were and a message says why.
    bool save(const PronunciationFile &edited, int selectLine);
    void onListenFinished();

    std::function<PronunciationVoice()> m_voice;
    PronunciationFile m_file;
    bool m_readable = false;
    SpeechStream m_stream;
    PronunciationVoice m_listenVoice;
    QString m_listenPhrase;
    std::shared_ptr<const PronunciationRules> m_listenNext; // the second hearing, with the rule
};
