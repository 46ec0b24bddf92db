#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;

// What the popup menu does with the rest of the program. It reads the reading state and the
// clipboard switch once, when it opens; every other member is one item's action. An action
// left empty does nothing.
struct ttsMenuActions
{
    std::function<int()> PlayStatus;      // 1 speaking, 2 paused, 3 idle
    std::function<bool()> WatchClipboard; // the clipboard watcher's switch
    std::function<void(bool)> setWatchClipboard;
    std::function<void()> speakPauseResume; // the main window's Speak/Pause button
    std::function<void()> stopReading;      // the main window's Stop button
    std::function<void()> showSlideReadAloud;
    std::function<void()> showBatchText2Sound;
    std::function<void()> showWavToMp3;
    std::function<void()> showClock;
    std::function<void()> showUpdate;
    std::function<void()> showAbout;
    std::function<void()> showHelp;
    std::function<void()> showPronunciation;
    std::function<void()> ejectCd;
    std::function<void()> closeCd;
    std::function<void()> ExitAll;
};

// The menu's top-left corner in screen pixels: its bottom-right corner at the cursor, but opening
// to the right of the cursor where it would leave the screen's left edge, and below it where
// it would leave the top edge.
QPoint menuPlacement(QPoint cursor, QSize size);
// The menu's top-left corner when it opens at a control (screen pixels): above the control,
// its right edge at the control's right edge; below the control where it would leave the top of
// the screen, and from the control's left edge where it would leave the left edge.
QPoint menuPlacementBeside(QRect control, QSize size);

// The vendor's domain as the menu shows it: the home address without its scheme and without a
// leading "www." ("http://www.parlanto.example" gives "parlanto.example").
QString vendorDomain(const QString &homeAddress);

// A menu entry drawn as a label in its own back and text colours. It takes the keyboard focus,
// shows it with a focus frame, and is activated by a click, Space or Enter, or by its access
// key, which is drawn underlined where it first occurs in the caption.
class MenuLabel final : public QAbstractButton
{
    Q_OBJECT
public:
    explicit MenuLabel(const QString &caption, QWidget *parent);
    void setColours(const QColor &back, const QColor &fore);
    void setAccessKey(QChar key);
    QChar accessKey() const { return m_accessKey; }
    QColor BackColor;
    QColor ForeColor;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QChar m_accessKey;
};

// A small picture of the menu, with or without a single-line border.
class MenuPicture final : public QAbstractButton
{
    Q_OBJECT
public:
    MenuPicture(const QPixmap &picture, QWidget *parent);
    void setBorderStyle(int style); // 0 none, 1 single line
    int BorderStyle = 0;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};

// The tray icon's popup menu: text items in two columns with pictures beside most of them, two
// rows of voice-download pictures, the clipboard switch and a close picture. Frameless and on
// top of other windows; it deletes itself when it closes. Items light up under the mouse and
// when they have the keyboard focus; Tab and the arrow keys move between them, Enter and Space
// choose one, an item's underlined letter chooses it at once (X for " Exit all"; Ctrl+Q too),
// Escape closes the menu.
class ttsMenu final : public QWidget
{
    Q_OBJECT
public:
    // Item colours, as 24-bit numbers with red in the low byte.
    static constexpr int NormalBackColour = 14737632;    // light grey
    static constexpr int NormalTextColour = 0;           // black
    static constexpr int HighlightBackColour = 16744576; // red 128, green 128, blue 255
    static constexpr int HighlightTextColour = 16777215; // white
    static QColor colourOf(int value);

    explicit ttsMenu(ttsMenuActions actions, QWidget *parent = nullptr);

    // Loads the menu for the right click at `cursor` (screen pixels): colours, the vendor's
    // domain, placement, the clipboard switch and the Speak/Pause caption of this moment.
    void Form_Load(QPoint cursor);
    // Moves the loaded menu to `control` (screen pixels): opened from the keyboard, it goes to
    // the button that opened it rather than to wherever the pointer happens to be.
    void placeBeside(QRect control);

    void Label1_Click();  // Exit all
    void Label2_Click();  // About
    void Label3_Click();  // Help
    void Label4_Click();  // Update
    void Label5_Click();  // Sound time
    void Label6_Click();  // Close CD
    void Label7_Click();  // Eject CD
    void Label8_Click();  // the vendor's home page
    void Label9_Click();  // Get more voices
    void Label10_Click(); // Convert wav to mp3
    void Label11_Click(); // Speak / Pause
    void Label12_Click(); // Text files to sound files
    void Label13_Click(); // Slide read aloud words
    void Label14_Click(); // Stop
    void Label15_Click(); // Watch clipboard
    void Label16_Click(); // Pronunciation
    void Check1_Click();
    void Image0_Click();
    void Image1_Click(int Index);
    void Form_Click();

    // ---- Controls (Label11 and Label14 have no picture; Picture8 only highlights)
    MenuLabel *Label1 = nullptr;
    MenuLabel *Label2 = nullptr;
    MenuLabel *Label3 = nullptr;
    MenuLabel *Label4 = nullptr;
    MenuLabel *Label5 = nullptr;
    MenuLabel *Label6 = nullptr;
    MenuLabel *Label7 = nullptr;
    MenuLabel *Label8 = nullptr;
    MenuLabel *Label9 = nullptr;
    MenuLabel *Label10 = nullptr;
    MenuLabel *Label11 = nullptr;
    MenuLabel *Label12 = nullptr;
    MenuLabel *Label13 = nullptr;
    MenuLabel *Label14 = nullptr;
    MenuLabel *Label15 = nullptr;
    MenuLabel *Label16 = nullptr; // Pronunciation, in a row of its own below the others
    MenuPicture *Picture1 = nullptr;
    MenuPicture *Picture2 = nullptr;
    MenuPicture *Picture3 = nullptr;
    MenuPicture *Picture4 = nullptr;
    MenuPicture *Picture5 = nullptr;
    MenuPicture *Picture6 = nullptr;
    MenuPicture *Picture7 = nullptr;
    MenuPicture *Picture8 = nullptr;
    MenuPicture *Picture9 = nullptr;
    MenuPicture *Picture10 = nullptr;
    MenuPicture *Picture12 = nullptr;
    MenuPicture *Picture13 = nullptr;
    QCheckBox *Check1 = nullptr;
    MenuPicture *Image0 = nullptr;
    std::array<MenuPicture *, 16> Image1{}; // the voice-download pictures

    // The window's colours, set at load.
    QColor ItemBackColor;
    QColor ItemTextColor;
    QColor HighBackColor;
    QColor HighTextColor;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void connectControls();
    MenuLabel *addLabel(const QString &name, const QString &caption, const QString &tip, int left, int top,
                        int width);
    MenuPicture *addPicture(const QString &name, int glyph, MenuLabel *item, int left, int top);
    // Every item back to its normal colours and Image0 without a border, then `control` (an
    // item, a picture, the check box or Image0) lit up; nullptr lights nothing.
    void highlight(QWidget *control);
    void fitWidth();
    // Runs an action, then closes the menu.
    void actAndClose(const std::function<void()> &action);
    void openPage(const QString &address);
    // Keyboard handling shared by every control: false when the key is not the menu's.
    bool menuKey(QKeyEvent *event);

    ttsMenuActions m_actions;
    QPixmap m_glyphs;                       // the item pictures side by side
    QHash<QWidget *, MenuLabel *> m_itemOf; // the item each control lights up
    QList<MenuLabel *> m_items;
    bool m_backgroundPressed = false;
};
