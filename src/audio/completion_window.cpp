#include "audio/completion_window.h"

#include "platform/accessibility.h"
#include "platform/shell.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

CompletionWindow::CompletionWindow(const QString &name, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(name);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    m_lines = new QVBoxLayout;
    layout->addLayout(m_lines);
    auto *buttons = new QHBoxLayout;
    Command1 = new QPushButton(QStringLiteral("&Play"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAccessibleName(QStringLiteral("Play"));
    Command2 = new QPushButton(QStringLiteral("&Close"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setAccessibleName(QStringLiteral("Close"));
    Command1->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    layout->addLayout(buttons);
    connect(Command1, &QPushButton::clicked, this, &CompletionWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &CompletionWindow::Command2_Click);
    Accessibility::closeOnEscape(this, Command2);
}

QLabel *CompletionWindow::addLine(const QString &objectName, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(objectName);
    label->setAccessibleName(text);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    m_lines->addWidget(label);
    return label;
}

void CompletionWindow::Command1_Click()
{
    openWithDesktop(this, m_playTarget);
}

void CompletionWindow::Command2_Click()
{
    close();
}

void CompletionWindow::mousePressEvent(QMouseEvent *event)
{
    // A press on the surface drags the window as a press on its caption would.
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}
