#include "app/tray_menu_host.h"
#include "app/tray_rules.h"
#include "app/ttsmain.h"
#include "platform/program_folder.h"
#include "platform/program_picture.h"
#include "platform/twips.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindowStateChangeEvent>

#include <functional>
#include <utility>

// The notification-area icon, the two hooks on the main window (its window commands and the
// icon's clicks) and the clipboard watcher behind the text box.

namespace {

// Sees a window's events before the window does and passes every one on.
class EventHook final : public QObject
{
public:
    EventHook(std::function<void(QEvent *)> handler, QObject *parent)
        : QObject(parent), m_handler(std::move(handler))
    {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        m_handler(event);
        return false;
    }

private:
    std::function<void(QEvent *)> m_handler;
};

int stateNumber(Qt::WindowStates states)
{
    if (states & Qt::WindowMinimized)
        return 1;
    if (states & Qt::WindowMaximized)
        return 2;
    return 0;
}

// The window's icon, else the shipped one, else a plain badge drawn here: a tray entry without
// a picture would not be shown at all.
QIcon trayPicture(const QWidget &window)
{
    if (!window.windowIcon().isNull())
        return window.windowIcon();
    QPixmap picture = programPicture(QStringLiteral("parlanto.png"));
    if (picture.isNull()) {
        picture = QPixmap(22, 22);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(64, 96, 192));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(1, 1, 20, 20);
    }
    return QIcon(picture);
}

} // namespace

// ---- The tray icon

void ttsmain::AddTrayIcon(const QString &tip)
{
    if (m_trayIcon)
        return;
    m_trayIcon = new QSystemTrayIcon(trayPicture(*this), this);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The second click of a double click is a left click of its own too.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            TrayMessageHook(TrayLeftButtonUp);
        else if (reason == QSystemTrayIcon::Context)
            TrayMessageHook(TrayRightButtonUp);
    });
    m_trayIcon->show();
    SetTrayTip(tip);
}

void ttsmain::SetTrayTip(const QString &text)
{
    TrayTip = fixedTrayTip(text);
    if (m_trayIcon)
        m_trayIcon->setToolTip(shownTrayTip(TrayTip));
}

// Takes the icon off the tray and with it the handler of its clicks.
void ttsmain::RemoveTrayIcon()
{
    if (!m_trayIcon)
        return;
    m_trayIcon->disconnect(this);
    m_trayIcon->hide();
    // Later, in case the removal comes from within one of the icon's own signals.
    m_trayIcon->deleteLater();
    m_trayIcon = nullptr;
}

void ttsmain::TrayMessageHook(int mouseMessage)
{
    if (mouseMessage == TrayLeftButtonUp) {
        trayLeftButtonUp();
    } else if (mouseMessage == TrayRightButtonUp) {
        TrayCursorPosition = QCursor::pos();
        showTrayMenu(*this, TrayCursorPosition);
    }
}

// A left click hides a shown window and brings a hidden or minimised one back.
void ttsmain::trayLeftButtonUp()
{
    unloadTrayMenu();
    const auto giveFocus = [this] {
        raise();
        activateWindow();
    };
    switch (trayLeftClick(windowStateNumber(), isVisible())) {
    case TrayLeftClick::Hide:
        hide();
        break;
    case TrayLeftClick::RestoreInPlace: {
        setWindowStateNumber(StateBeforeCommand);
        const QSize outer = frameGeometry().size();
        if (tooSmallToRestore(pixelsToTwips(outer.width()), pixelsToTwips(outer.height())))
            setWindowStateNumber(2);
        giveFocus();
        break;
    }
    case TrayLeftClick::ShowNormal: {
        setWindowStateNumber(0);
        show();
        giveFocus();
        const QScreen *screen = QGuiApplication::primaryScreen();
        checkTrayPlacement(m_trayScreenHeight ? m_trayScreenHeight()
                           : screen           ? screen->geometry().height()
                                              : 0);
        break;
    }
    case TrayLeftClick::ShowStateBefore:
        setWindowStateNumber(StateBeforeCommand);
        show();
        giveFocus();
        break;
    case TrayLeftClick::ShowMaximised:
        setWindowStateNumber(2);
        show();
        giveFocus();
        break;
    }
}

// Brings a window that came back from the tray onto a screen of the given height.
void ttsmain::checkTrayPlacement(int screenHeightPixels)
{
    const QSize outer = frameGeometry().size();
    const int left = pixelsToTwips(x());
    const int top = pixelsToTwips(y());
    const TrayPlacement placement = trayPlacementCheck(left, top, pixelsToTwips(outer.width()),
                                                       pixelsToTwips(outer.height()), screenHeightPixels);
    if (placement.left != left || placement.top != top)
        move(twipsToPixels(placement.left), twipsToPixels(placement.top));
    if (placement.maximise)
        setWindowStateNumber(2);
}

int ttsmain::windowStateNumber() const
{
    return stateNumber(windowState());
}

void ttsmain::setWindowStateNumber(int state)
{
    Qt::WindowStates states = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == 1)
        states |= Qt::WindowMinimized;
    else if (state == 2)
        states |= Qt::WindowMaximized;
    m_trayStateChange = true;
    setWindowState(states);
    m_trayStateChange = false;
}

// ---- The main window's commands: minimise, maximise, restore and close

void ttsmain::MainWindowHook()
{
    if (m_mainWindowHook)
        return;
    m_mainWindowHook = new EventHook([this](QEvent *event) { MainWindowHook_Event(event); }, this);
    installEventFilter(m_mainWindowHook);
}

void ttsmain::UnhookMainWindow()
{
    if (!m_mainWindowHook)
        return;
    removeEventFilter(m_mainWindowHook);
    delete m_mainWindowHook;
    m_mainWindowHook = nullptr;
}

// Remembers the state the window had before each command, so that the tray can bring it back
// that way; a minimise or close also keeps the window's place for the settings record.
bool ttsmain::MainWindowHook_Event(QEvent *event)
{
    const auto keepPlace = [this] {
        App.window.Left = pixelsToTwips(x());
        App.window.Top = pixelsToTwips(y());
    };
    if (event->type() == QEvent::WindowStateChange && !m_trayStateChange) {
        const int before = stateNumber(static_cast<QWindowStateChangeEvent *>(event)->oldState());
        const int now = windowStateNumber();
        if (before != now) {
            StateBeforeCommand = before;
            if (now == 1)
                keepPlace();
        }
    } else if (event->type() == QEvent::Close) {
        // A minimised window keeps the state it had before it was minimised, so that once
        // closed to the tray it comes back as it was then, not minimised.
        if (windowStateNumber() != 1)
            StateBeforeCommand = windowStateNumber();
        keepPlace();
    }
    return false;
}

// ---- The clipboard watcher

// The text box hears of every change of the clipboard (not of the mouse selection); until its
// hook is in place those notifications reach nothing.
void ttsmain::RegisterClipboardViewer()
{
    if (m_clipboardViewer)
        return;
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        m_clipboardViewer = connect(clipboard, &QClipboard::dataChanged, this, [this] {
            if (m_textBoxHooked)
                TextBoxHook_ClipboardChange();
        });
}

void ttsmain::TextBoxHook()
{
    m_textBoxHooked = true;
}

// The text box hears of the clipboard no more.
void ttsmain::UnhookTextBox()
{
    m_textBoxHooked = false;
    disconnect(m_clipboardViewer);
    m_clipboardViewer = {};
}

// Copied text, from any program, replaces the document and is read aloud at once; blanks alone
// read nothing and leave the document as it was. Ctrl+Z in the text box brings back the
// document the copy replaced.
void ttsmain::TextBoxHook_ClipboardChange()
{
    if (!App.window.WatchClipboard)
        return;
    const QClipboard *clipboard = QGuiApplication::clipboard();
    const QString text = clipboard ? clipboard->text(QClipboard::Clipboard) : QString();
    if (text.trimmed().isEmpty())
        return;
    replaceDocumentText(text);
    Command6_Click();
    Command5_Click();
}
