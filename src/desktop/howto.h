#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class QPushButton;
class WindowDrag;
struct InstallerMessage;

// The help window: how to hand text to Parlanto from other programs, the one-click add-in
// installers for Word, WordPerfect and LibreOffice Writer, and the way to the help pages.
// One window at a time; it is created when first shown and deletes itself when closed.
class howto final : public QWidget
{
    Q_OBJECT
public:
    // Shows the help window (creating it when needed), not modal.
    static howto *showWindow();
    // The open help window, or nullptr.
    static howto *window();
    // Closes the help window and the help page viewer if they are open.
    static void unloadWindow();

    void Form_Load();
    void Label3_Click();  // Word installer, also Image2
    void Label9_Click();  // WordPerfect installer, also Image7
    void Label11_Click(); // LibreOffice Writer installer, also Image11
    void Label8_Click();  // FAQ online
    void Label2_Click();  // the help page in the program folder
    void Command1_Click();
    // True while LibreOffice's extension manager is installing the Writer add-in.
    bool writerInstallRunning() const { return m_writerInstallRunning; }

    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Image2 = nullptr;
    QLabel *Image7 = nullptr;
    QLabel *Image11 = nullptr;
    QPushButton *Command1 = nullptr;
    // Every help line, in reading order (the installer and page links among them).
    QList<QLabel *> lines;

signals:
    void writerInstallFinished();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    explicit howto(QWidget *parent = nullptr);
    void buildControls();
    void showInstallerMessage(const InstallerMessage &message);
    void onClicked(QWidget *widget);

    WindowDrag *m_drag = nullptr;
    bool m_writerInstallRunning = false;
};
