#include "app/tray_menu_host.h"
#include "app/ttsmain.h"
#include "desktop/control_command.h"
#include "desktop/intake_command.h"
#include "platform/single_instance.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QToolButton>

#include <utility>

// The popup menu window holds the companion windows, the update, About and "Exit all". The tray
// icon opens it, but many desktops show no tray icons and some people use no mouse: the main
// window opens the same menu itself, from its Menu button and from F10, and ends the program
// with the desktop's quit shortcut (Ctrl+Q). Other programs reach the same functions through
// control requests.

void ttsmain::createMenuShortcuts()
{
    auto *menu = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menu, &QShortcut::activated, this, &ttsmain::showMenuFromKeyboard);
    // Ctrl+Q itself: some platform themes bind nothing to the standard "Quit" key.
    auto *quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &ttsmain::ExitAll);
}

// Remembers where the mouse let go of the Menu button, so that the click that follows opens
// the menu there; a press from the keyboard leaves no such point.
bool ttsmain::Command10_Event(QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease)
        m_menuClickPoint = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
    else if (event->type() == QEvent::KeyPress || event->type() == QEvent::Shortcut)
        m_menuClickPoint.reset();
    return false;
}

void ttsmain::Command10_Click()
{
    showMenuFromMainWindow(*this, Command10, std::exchange(m_menuClickPoint, std::nullopt));
}

void ttsmain::showMenuFromKeyboard()
{
    m_menuClickPoint.reset();
    showMenuFromMainWindow(*this, Command10, std::nullopt);
}

void ttsmain::ControlCommand_Execute(const ControlCommand::Request &request)
{
    using Kind = ControlCommand::Request::Kind;
    switch (request.kind) {
    case Kind::Quit:
        if (!m_processEndedFlag)
            ExitAll();
        break;
    case Kind::Open:
        showProgramWindow(*this, request.window);
        break;
    case Kind::SpeakClipboard: {
        // Asked for in so many words, so whether the clipboard is watched does not matter.
        const QClipboard *clipboard = QGuiApplication::clipboard();
        const QString text = clipboard ? clipboard->text(QClipboard::Clipboard) : QString();
        if (text.trimmed().isEmpty())
            break;
        RichTextBox1->setPlainText(text);
        Command6_Click();
        Command5_Click();
        break;
    }
    }
}

// ---- Control requests at start-up and from other programs

QString ttsmain::takeStartRequest(const QString &startLine)
{
    const auto request = ControlCommand::fromStartArguments(startLine);
    if (!request)
        return startLine;
    m_startRequest = request;
    return QString();
}

bool ttsmain::handOverStartRequest()
{
    if (!m_startRequest)
        return false;
    if (m_startRequest->kind == ControlCommand::Request::Kind::SpeakClipboard) {
        // The running copy gets the text as any other program would send it.
        const QClipboard *clipboard = QGuiApplication::clipboard();
        const QString text = clipboard ? clipboard->text(QClipboard::Clipboard) : QString();
        if (!text.trimmed().isEmpty())
            m_instance->send(Intake::readCommand(text));
        return true;
    }
    m_instance->send(ControlCommand::command(*m_startRequest));
    return true;
}

bool ttsmain::quitRequestedAtStart() const
{
    return m_startRequest && m_startRequest->kind == ControlCommand::Request::Kind::Quit;
}

void ttsmain::runStartRequest()
{
    if (!m_startRequest)
        return;
    const ControlCommand::Request request = *m_startRequest;
    m_startRequest.reset();
    // Once the window has been placed and shown, so that a menu can open at its button.
    QMetaObject::invokeMethod(
        this, [this, request] { ControlCommand_Execute(request); }, Qt::QueuedConnection);
}

bool ttsmain::takeControlCommand(const QString &command)
{
    const auto request = ControlCommand::parse(command);
    if (!request)
        return false;
    // After the answer has gone back to the sender, from the event loop: the end of the
    // program unloads every window.
    QMetaObject::invokeMethod(
        this, [this, request = *request] { ControlCommand_Execute(request); }, Qt::QueuedConnection);
    return true;
}
