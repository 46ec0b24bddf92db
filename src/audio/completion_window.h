#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

// What the two completion windows share: a column of lines, the "&Play" and "&Close" buttons,
// and a surface that drags the window. "&Play" hands the finished file to the desktop's player.
class CompletionWindow : public QWidget
{
    Q_OBJECT
public:
    QPushButton *Command1 = nullptr; // "&Play"
    QPushButton *Command2 = nullptr; // "&Close"

    void Command1_Click();
    void Command2_Click();

protected:
    CompletionWindow(const QString &name, QWidget *parent);
    QLabel *addLine(const QString &objectName, const QString &text);
    // The file "&Play" opens.
    void setPlayTarget(const QString &path) { m_playTarget = path; }
    void mousePressEvent(QMouseEvent *event) override;

private:
    QVBoxLayout *m_lines = nullptr;
    QString m_playTarget;
};
