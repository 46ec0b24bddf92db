#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;
class WindowDrag;

// The About window: product name, version, the vendor's site and support address, the
// versions of the speech libraries and of the MP3 encoder found at run time, and a thank-you
// line that runs across the window. One window at a time; it deletes itself when closed.
class ttsaboutForm final : public QWidget
{
    Q_OBJECT
public:
    static ttsaboutForm *showWindow();
    static ttsaboutForm *window();
    static void unloadWindow();

    // The version the main window shows as well.
    static QString versionText() { return QStringLiteral("Version 1.71"); }
    // The running line one step on: its first character moves to the end.
    static QString marqueeStep(const QString &text);
    // The version in the first line `lame --version` prints, or an empty text.
    static QString lameVersionFromBanner(const QString &banner);

    void Form_Load();
    void Timer1_Timer();
    void Command1_Click();
    void Label4_Click(); // the vendor's site
    void Label5_Click(); // mail to support

    QLabel *Label1 = nullptr; // product name
    QLabel *Label2 = nullptr; // version
    QLabel *Label3 = nullptr; // what Parlanto is
    QLabel *Label4 = nullptr; // site
    QLabel *Label5 = nullptr; // support address
    QLabel *Label6 = nullptr; // eSpeak NG version
    QLabel *Label7 = nullptr; // Flite version
    QLabel *Label8 = nullptr; // lame version
    QLabel *Label9 = nullptr; // running thank-you line
    QPushButton *Command1 = nullptr;
    QTimer *Timer1 = nullptr;

signals:
    // The encoder's version line has its final text.
    void lameVersionKnown();

private:
    explicit ttsaboutForm(QWidget *parent = nullptr);
    void buildControls();
    void askLameVersion();

    WindowDrag *m_drag = nullptr;
};
