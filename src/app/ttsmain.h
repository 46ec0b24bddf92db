#pragma once

#include "app/app_state.h"
#include "app/interval_timer.h"
#include "desktop/control_command.h"

#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class BellThenSpeak;
class DirectSS;
class DocumentOpening;
class ReadingPlaceKeeper;
struct DocumentText;
class Mp3Encoder;
class Parlocx;
class mp3end;
class TextToSpeech;
class SpVoice;
class SingleInstance;
class setmyclock;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QScrollBar;
class QSlider;
class QSystemTrayIcon;
class QTextEdit;
class QToolButton;
class updatewin;

// How the main window makes its five speech objects, each at its own start-up step. A maker
// may return nullptr: a missing generation-5 voice object leaves its voices out of the list.
// Tests replace single makers to force what real engines cannot do.
struct SpeechFactory
{
    std::function<std::unique_ptr<DirectSS>()> makeDirectSS;
    std::function<std::unique_ptr<TextToSpeech>()> makeTextToSpeech;
    std::function<std::unique_ptr<SpVoice>()> makeSpVoice;

    static SpeechFactory standard();
};

// The main window: the document, the button panel, the voice list, the speech objects and
// the long-running timers. It lives for the whole run, shown or hidden.
class ttsmain : public QWidget
{
    Q_OBJECT
public:
    explicit ttsmain(AppState &app, SpeechFactory factory = SpeechFactory::standard(),
                     QWidget *parent = nullptr);
    ~ttsmain() override;

    // ---- Start-up and shutdown (startup.cpp, ttsmain_shutdown.cpp)
    enum class LoadResult
    {
        Running, // the window is up; run the event loop
        Ended,   // the process ends now (second instance, no engine, an end command)
    };
    LoadResult Form_Load(const QString &commandLine);
    // How the process ends; by default the event loop is told to quit with the code.
    void setProcessEnd(std::function<void(int)> end) { m_processEnd = std::move(end); }
    bool processEnded() const { return m_processEndedFlag; }

    // Ends the program: tray icon off, every existing window unloaded in a fixed order.
    void ExitAll();
    // How an end asked for while a dialog's own event loop runs is put off until that loop has
    // returned (orderly_exit.h); without one, ExitAll ends at once.
    void setDeferredExit(std::function<void()> defer) { m_deferredExit = std::move(defer); }
    // Windows other than this one register how they unload when they are created.
    void setUnloadHandler(const QString &windowName, std::function<void()> unload);
    static const QStringList &unloadOrder();

    void Form_Resize();
    void Command9_Click();
    // Whether a hidden window can be brought back from the tray (see tray_presence.h); tests
    // replace the answer to try both desktops.
    bool trayReachable() const { return m_trayReachable && m_trayReachable(); }
    void setTrayReachable(std::function<bool()> reachable) { m_trayReachable = std::move(reachable); }
    // Shows the window in front, restored from minimised; a later start without an argument
    // asks the running one for this.
    void bringToFront();

    // The online update window, created when first shown (ttsmain_update.cpp).
    updatewin *ShowUpdateWindow();
    // The end of the program once the update's installer runs: both settings records written,
    // tray icon and window hooks removed, then the process ends.
    void EndForInstaller();

    QString StartFrom(const QString &commandLine) const;
    bool LinkAndSendMessage(const QString &commandLine);

    // ---- Tray icon, window hooks and clipboard watcher (ttsmain_tray.cpp)
    // The tray icon's mouse messages: left and right button released.
    static constexpr int TrayLeftButtonUp = 514;
    static constexpr int TrayRightButtonUp = 517;
    void TrayMessageHook(int mouseMessage);
    void SetTrayTip(const QString &text);
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    // The screen height in pixels that decides where a window back from the tray may stand:
    // the primary screen's, unless a test gives another.
    void setTrayScreenHeight(std::function<int()> height) { m_trayScreenHeight = std::move(height); }
    // The window state (0 normal, 1 minimised, 2 maximised) before the last minimise,
    // maximise, close or restore.
    int StateBeforeCommand = 0;
    // Where the last right click on the tray icon was, in screen pixels.
    QPoint TrayCursorPosition;
    // The tray icon's tip, at its fixed length.
    QString TrayTip;

    // ---- The menu window opened from this window, and quitting (ttsmain_menu.cpp)
    // "&Menu": opens the popup menu window at the pointer, or at the button from the keyboard.
    void Command10_Click();
    // F10: the same menu at the Menu button.
    void showMenuFromKeyboard();
    // A request from another program or from the start options: end the program, or open one
    // of its windows.
    void ControlCommand_Execute(const ControlCommand::Request &request);

    // ---- Commands from other programs (ttsmain_intake.cpp)
    // The running instance's receiver: acts on one command string; false when it was refused
    // (a voice name or path no command may carry, a handed-over file that cannot be read).
    bool FormDDE_LinkExecute(const QString &command);
    void ChangeVoiceFromIE(const QString &command);

    // ---- Voices (ttsmain_voices.cpp)
    void GetEngines4();
    void GetEngines5();
    void Command7_Click();
    void Combo1_Click();
    void Label8_DblClick();
    void Label10_DblClick();

    // ---- Reading aloud and its progress (ttsmain_reading.cpp)
    void Command5_Click();
    void Command6_Click();
    void StopSpeak_DblClick();
    void DirectSS1_AudioStart(int hi, int lo);
    void DirectSS1_TextDataStarted(int hi, int lo);
    void DirectSS1_AudioStop(int hi, int lo);
    void DirectSS1_TextDataDone(int hi, int lo, int flags);
    void DirectSS1_WordPosition(int hi, int lo, int byteoffset);
    void NewsVoice1_StartStream(int streamNumber, qint64 streamPosition);
    void NewsVoice1_EndStream(int streamNumber, qint64 streamPosition);
    void NewsVoice1_Word(int streamNumber, qint64 streamPosition, int characterPosition, int length);
    void ReadingTime_Timer();
    void RichTextBox1_Change();
    void MonitorText1Len_Timer();
    void cpvSlider1_Scroll(int position);
    void cpvSlider1_Change();
    void cpvSlider1_MouseUp();
    void RichTextBox1_MouseDown(Qt::MouseButton button, int clickedPosition);

    // ---- Settings records and the three bars (ttsmain_settings.cpp)
    void InitTTSSets();
    void LoadTTSSets();
    void InitWinSets();
    void LoadWinSets();
    void SaveTTSSets();
    void SaveWinSets();
    void SaveSettings_Timer();
    void VScroll1_Change();
    void VScroll2_Change();
    void VScroll3_Change();

    // ---- Document buttons (ttsmain_document.cpp)
    // Replaces the whole document by a program action (copied text, a hand-over) as one edit
    // that a single Ctrl+Z takes back, and puts the cursor at the start, where reading the new
    // text begins. A text equal to the document only moves the cursor.
    void replaceDocumentText(const QString &text);
    void Command3_Click();
    void Command4_Click();
    void Command2_Click();
    void Command1_Click();
    void Check1_Click();
    void Command8_Click();
    // ---- Opening document files (ttsmain_document_open.cpp)
    enum class DocumentSource
    {
        OpenButton, // the user's Open: a file that cannot be read is reported
        HandedOver, // from another program or the file manager: read aloud once shown
    };
    // Reads a document file into the text box. A small one is read at once: the answer tells
    // whether it is there. Anything larger is read on a thread of its own while the window
    // shows (and, when handed over, reads aloud) what has arrived: the answer is then false.
    bool openDocumentFile(const QString &path, DocumentSource source);
    // The document read last and what is known of its structure (its text is in the text box);
    // empty while it is still being read, or when the text box holds no document file.
    const DocumentText *openedDocument() const;
    // True while a document file is still being read.
    bool documentLoading() const;
    // The colour of the whole text and the text box's background, however long the text.
    void applyTextColour(const QColor &colour);
    void applyBackColour(const QColor &colour);
    // The colour the character at `position` is drawn in.
    QColor textColourAt(int position) const;

    // ---- Talking clock (ttsmain_clock.cpp)
    void TimerSay_Timer();
    void TimerSayTest_Timer();
    // Opens the clock settings window, made on first use.
    setmyclock *showClockWindow();
    // Sounds the bell, then speaks: every announcement and test goes through it.
    BellThenSpeak *clockAnnouncer() const { return m_clockAnnouncer; }
    // ---- Saving as a text or sound file (ttsmain_save.cpp; the button is Command4)
    void Timer101_Timer();
    void Timer1_Timer();
    void Timer102_Timer();
    void Timer2_Timer();
    void ttsparlvcocx1_WaveStop();
    void Ttsparlvcocx1_FileFinished(const QString &name, const QString &wavPath, const QString &extra);
    std::unique_ptr<Parlocx> Ttsparlvcocx1; // the recording control (generation 4)
    std::unique_ptr<Mp3Encoder> Encoder;
    QPointer<mp3end> CompletionWindow;
    int TargetFileType = 0; // 3 MP3, 4 WAV
    double EstimateWaveSize = 0;
    double EstimateMp3Size = 0;
    qint64 WaveSize = 0;
    int PercentWave = 0;
    int ISpeed = 0;
    int IPitch = 0;
    int IRealTime = 2048;
    QString sText;
    QString sName;
    int TextLen = 0;

    // ---- Controls
    QPlainTextEdit *RichTextBox1 = nullptr; // made by start-up, once the window shows (makeTextBox)
    QTextEdit *RichTextBox2 = nullptr;      // hidden; loads files handed over by other programs (made then)
    QFrame *Frame1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QToolButton *Command1 = nullptr;
    QToolButton *Command2 = nullptr;
    QToolButton *Command3 = nullptr;
    QToolButton *Command4 = nullptr;
    QToolButton *Command5 = nullptr;
    QToolButton *Command6 = nullptr;
    QToolButton *Command7 = nullptr;
    QToolButton *Command8 = nullptr;
    QToolButton *Command9 = nullptr;
    QToolButton *Command10 = nullptr; // the menu window, where the tray is out of reach
    QCheckBox *Check1 = nullptr;
    QScrollBar *VScroll1 = nullptr; // volume
    QScrollBar *VScroll2 = nullptr; // rate
    QScrollBar *VScroll3 = nullptr; // pitch
    QLabel *Label1 = nullptr;       // volume value
    QLabel *Label2 = nullptr;       // "Volume"
    QLabel *Label3 = nullptr;       // pitch value
    QLabel *Label4 = nullptr;       // "Pitch"
    QLabel *Label5 = nullptr;       // rate value
    QLabel *Label6 = nullptr;       // "Rate"
    QLabel *Label8 = nullptr;       // product name
    QLabel *Label10 = nullptr;      // version
    QLabel *Label13 = nullptr;      // elapsed reading time
    QLabel *Label15 = nullptr;      // hidden; its font and colours are the slide reader's defaults
    QSlider *cpvSlider1 = nullptr;
    QMenu *mnuTray = nullptr;

    // Designed timer.
    IntervalTimer *MonitorText1Len = nullptr;
    // Run-time timers, created by start-up in this order.
    IntervalTimer *Timer101 = nullptr;
    IntervalTimer *Timer1 = nullptr;
    IntervalTimer *Timer102 = nullptr;
    IntervalTimer *Timer2 = nullptr;
    IntervalTimer *TimerSay = nullptr;
    IntervalTimer *ReadingTime = nullptr;
    IntervalTimer *TimerSayTest = nullptr;
    IntervalTimer *SaveSettings = nullptr;
    IntervalTimer *firstuse = nullptr;

    // ---- Speech objects
    std::unique_ptr<DirectSS> DirectSS1;
    std::unique_ptr<TextToSpeech> TextToSpeech1;
    std::unique_ptr<SpVoice> NewsVoice1;   // reading aloud
    std::unique_ptr<SpVoice> VoiceSayTime; // talking clock and slide reader
    std::unique_ptr<SpVoice> WaveVoice1;   // writing WAV files

    // ---- Window variables
    AppState &App;
    int PlayStatus = 3; // 1 speaking, 2 paused, 3 idle
    int StartTTS4Engine = -1;
    int StartTTS4Speed = -1;
    int StartTTS4Pitch = -1;
    int ActivateMe = 0;
    bool HideVoiceListPending = true;
    int SpeakStart = 0;
    QString SpokenText;
    int PauseMark = 0; // 99 while a generation-4 reading is paused by the user
    QDateTime ReadingStartTime;
    int DocumentLength = 0;
    int WaveEndValue = 0; // 2 while a recording to a sound file runs

    // Voice catalogue.
    int SAPI4VoiceCount = 0;
    int SAPI5VoiceCount = 0;
    int Token = 0;
    int TTS4MinSpeed = 0;
    int TTS4MaxSpeed = 0;
    int TTS4MinPitch = 0;
    int TTS4MaxPitch = 0;
    // Selection bookkeeping, saved when the list is opened.
    int PrevListIndex = -1;
    QString PrevListText;
    int PrevEngineIndex = 0;
    int PrevSapiVersion = 0;
    int PrevRate = 0;
    int PrevPitch = 0;
    bool RestorePrevious = false;
    bool ListClosed = true;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Construction (ttsmain.cpp).
    void buildControls();
    void buildPanel();
    void makeTextBox();
    void nameTextBox();
    void placeTextBox();
    QTextEdit *receivedDocumentBox();
    void connectControls();
    void nameForAccessibility();
    void createRunTimeTimers();
    void createGeneration4Objects();
    void createGeneration5Objects();
    void connectSpeechEvents();

    // Start-up steps of features that come with the tray, hooks, clock and hand-over
    // (startup.cpp); each does nothing until its feature exists.
    void noEngineExit();
    void actOnStartMode(const QString &commandLine);
    void initSetTime();
    void recordStartMoment();
    void AddTrayIcon(const QString &tip);
    void RemoveTrayIcon();
    void MainWindowHook();
    void TextBoxHook();
    void RegisterClipboardViewer();
    void UnhookMainWindow();
    bool MainWindowHook_Event(QEvent *event);
    void TextBoxHook_ClipboardChange();
    void trayLeftButtonUp();
    void checkTrayPlacement(int screenHeightPixels);
    int windowStateNumber() const;
    void setWindowStateNumber(int state);
    void UnhookTextBox();
    bool isFirstRun() const;
    void firstuse_Timer();
    void showAsSettingsSay();
    void showPictures();
    void minimiseOrHideToTray();
    void Form_Unload();
    void StopRecordingControl();
    void endProcess(int code);

    // Opening document files (ttsmain_document_open.cpp).
    void startDocumentLoad(const QString &path, DocumentSource source);
    void dropDocumentOpening();
    void takeDocumentText();
    void finishDocumentLoad();
    void showDocumentProgress(int percent);
    void documentShown(const QString &path, DocumentSource source);
    void applyReadingPlace();
    bool continueIntoLoadedText();
    ReadingPlaceKeeper *readingPlaces();

    // Commands from other programs (ttsmain_intake.cpp).
    void listenForCommands();
    void startTakingCommands();
    enum class HandOver
    {
        Refused, // could not be read: the user was told why
        Loaded,  // in the text box, ready to be read
        Loading, // being read; its loader reads it aloud once its first pages are there
    };
    HandOver loadHandedFile(const QString &path);
    void reportHandOverFailure(const QString &why);

    // Talking clock (ttsmain_clock.cpp).
    void connectClockTimers();
    void speakClockSentence(const QString &sentence);
    // Saving (ttsmain_save.cpp).
    void createSaveObjects();
    bool saveTextFile(const QString &target, const QString &text);
    void recordGeneration4();
    void recordGeneration5();
    void startEncoder(const QString &input);
    void showJobProgress(int percent);
    void showRecordedCharacters(qsizetype done, qsizetype total);
    QString recordingOutput() const;
    void finishWavTarget();
    void finishAudioJob(const QString &failure);
    void endSaveJob();
    void abandonAudioJob();
    // True from the Save button's claim of the job record until the save has ended.
    bool m_saveJobRunning = false;

    // The menu window, the quit shortcut and control requests (ttsmain_menu.cpp).
    void createMenuShortcuts();
    bool Command10_Event(QEvent *event);
    // Keeps a start option's request for later; returns the command line left to classify.
    QString takeStartRequest(const QString &startLine);
    // A later start hands its request to the running copy; false when it has none.
    bool handOverStartRequest();
    // A first start asked only to end the running copy: there is none, nothing to do.
    bool quitRequestedAtStart() const;
    // The start's request, once the window is up.
    void runStartRequest();
    // A control request from another program; false for every other command.
    bool takeControlCommand(const QString &command);
    // Window behaviour (ttsmain_layout.cpp).
    void hideVoiceListCheck();
    void startWindowDrag();

    // Voices (ttsmain_voices.cpp).
    void applyPick(bool restoring);
    struct VoiceError
    {
        int number = 0;
        QString description;
    };
    std::optional<VoiceError> switchToListPosition(int position);
    std::optional<VoiceError> switchVoice(int generation, int index, const QString &listText);
    void writeVoiceHandOff();

    // Settings records and the bars (ttsmain_settings.cpp).
    bool rateBarFromVoice(int generation);
    bool pitchBarFromVoice4();
    int listPositionOfText(const QString &listText) const;
    void takeVoiceFromEntry(int position);
    void makeFirstEntryCurrent();
    void makeEntryCurrent(int position);
    int localeVoicePosition() const;
    void applyTextBoxFont(const WindowSettings &settings);
    void applyTextBoxRecord(const WindowSettings &record);
    void placeWindow(const WindowSettings &settings);
    void refreshWindowSettings();
    void fitPendingOuterSize();

    // Reading (ttsmain_reading.cpp).
    void showSpeakFace();
    void showPauseFace();
    void focusTextUnlessActivated();
    void startReading();
    bool readerPaused() const;
    void onReadingStarted();
    void onReadingEnded();
    void setTextCursor(int position);
    void selectText(int start, int length);
    int textCursorPosition() const;
    int textLength() const;
    QChar characterAt(int position) const;

    SpeechFactory m_factory;
    std::unique_ptr<SingleInstance> m_instance;
    std::function<void(int)> m_processEnd;
    std::function<void()> m_deferredExit;
    std::function<bool()> m_trayReachable;
    QSystemTrayIcon *m_trayIcon = nullptr;
    std::function<int()> m_trayScreenHeight;
    QObject *m_mainWindowHook = nullptr;
    QMetaObject::Connection m_clipboardViewer;
    bool m_textBoxHooked = false;
    // True while the tray sets the window state itself: that is no window command.
    bool m_trayStateChange = false;
    bool m_processEndedFlag = false;
    // Commands that arrive before start-up has finished wait here, in order.
    bool m_takingCommands = false;
    QStringList m_waitingCommands;
    bool m_handOverMessageOpen = false;
    QHash<QString, std::function<void()>> m_unloadHandlers;
    QPointer<updatewin> m_updateWindow;
    // Outer size from the window settings, applied once the window frame is known.
    std::optional<QSize> m_pendingOuterSize;
    // The text box part of the window record, read before the text box was made (see makeTextBox).
    std::optional<WindowSettings> m_textBoxRecord;
    QList<QWidget *> m_panelButtons;
    QList<QLabel *> m_labels;
    // The Speak button's two faces; read from the program folder once the window is shown.
    QIcon m_speakPicture;
    QIcon m_pausePicture;
    bool m_pauseFaceShown = false;
    // Where the mouse released the Menu button; empty when it was pressed from the keyboard.
    std::optional<QPoint> m_menuClickPoint;
    // What the start options asked for, as a control request.
    std::optional<ControlCommand::Request> m_startRequest;
    BellThenSpeak *m_clockAnnouncer = nullptr;
    QPointer<QWidget> m_clockWindow;
    DocumentOpening *m_documentOpening = nullptr; // a child; the document read last
    ReadingPlaceKeeper *m_readingPlaces = nullptr;
};
