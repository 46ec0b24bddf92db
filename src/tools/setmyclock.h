#pragma once

#include "tools/clock_settings.h"

#include <QDateTime>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// What the clock window reads and drives in the rest of the program.
struct ClockWindowLinks
{
    ClockSettings &settings;             // the clock's record, also read by the scheduler
    QDateTime &IntervalStart;            // restarted by every save
    QString &TestBellFile;               // handed to the test timer
    QString &TestSentence;               // handed to the test timer
    std::function<void()> startTest;     // starts the main window's test timer
    std::function<QString()> lastFolder; // the shared last-used folder of the open dialogs
    QString textFontName;                // the main window's text box font
    QString programFolder;               // where stime.ini is saved
};

// The clock settings window: which quarters are announced, the sentence's words, the bell
// and the three alarms; saves them and tests bell and sentence.
class setmyclock : public QWidget
{
    Q_OBJECT
public:
    explicit setmyclock(ClockWindowLinks links, QWidget *parent = nullptr);

    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void Check6_Click();
    void Command1_Click(); // save
    void Command2_Click(); // close
    void Command3_Click(); // bell file
    void Command4_Click(); // test
    void Timer1_Timer();

    // The background colours of a number box, off and on.
    static constexpr QRgb OffColour = 0xE0E0E0;
    static constexpr QRgb OnColour = 0xFFFFFF;

    QCheckBox *Check1 = nullptr; // "Hour"
    QCheckBox *Check2 = nullptr; // "Half"
    QCheckBox *Check3 = nullptr; // "Quarter"
    QLineEdit *Text1 = nullptr;  // words before the hour
    QLabel *Label1 = nullptr;    // current hour
    QLineEdit *Text2 = nullptr;  // word after the hour
    QLabel *Label2 = nullptr;    // current minute
    QLineEdit *Text3 = nullptr;  // word after the minute
    QLineEdit *Text4 = nullptr;  // bell file
    QPushButton *Command3 = nullptr;
    QCheckBox *Check4 = nullptr; // interval alarm
    QLineEdit *Text5 = nullptr;  // interval minutes
    QCheckBox *Check5 = nullptr; // once-an-hour alarm
    QLineEdit *Text6 = nullptr;  // its minute
    QCheckBox *Check6 = nullptr; // once-a-day alarm
    QLineEdit *Text7 = nullptr;  // its hour
    QLineEdit *Text8 = nullptr;  // its minute
    QLabel *Label3 = nullptr;    // current date and time
    QPushButton *Command4 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QTimer *Timer1 = nullptr;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void showNow();
    void setNumberBox(QLineEdit *box, bool on);
    void setAlarmBoxes(QCheckBox *check, std::initializer_list<QLineEdit *> boxes);

    ClockWindowLinks m_links;
    bool m_shown = false; // set at the first activation; focus moves only after it
};
