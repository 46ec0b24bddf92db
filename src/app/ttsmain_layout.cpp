#include "app/ttsmain.h"

#include "platform/twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QWindow>

// The main window's layout on resize, the voice list's hiding on mouse moves and dragging the
// window by its background.

namespace {

// The button panel, in twips.
constexpr int FrameWidth = 11805;
constexpr int FrameHeight = 1575;
// Above this window height (twips) the text box is shown.
constexpr int TextBoxMinWindowHeight = 2000;
constexpr int TextBoxLeft = 100;

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// The text box height the layout gives a window of this outer height (twips); none when there is
// no room for it. Just above the threshold there is no room for a text box above the panel (its
// height would be negative): the window is laid out as a low one, so the buttons stay in view.
std::optional<int> textBoxHeight(int windowHeight)
{
    const int boxHeight = windowHeight - FrameHeight - 600;
    if (windowHeight > TextBoxMinWindowHeight && boxHeight >= 0)
        return boxHeight;
    return std::nullopt;
}

} // namespace

// ---- Layout

void ttsmain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void ttsmain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

// The text box's place in the layout, once it is made.
void ttsmain::placeTextBox()
{
    if (!RichTextBox1)
        return;
    RichTextBox1->setToolTip(QStringLiteral("Paste text here"));
    const QSize outer = frameGeometry().size();
    const int width = pixelsToTwips(outer.width());
    if (const std::optional<int> boxHeight = textBoxHeight(pixelsToTwips(outer.height())))
        placeTwips(RichTextBox1, TextBoxLeft, 0, width - 3 * TextBoxLeft, *boxHeight);
    else
        RichTextBox1->move(twipsToPixels(99999), RichTextBox1->y());
}

void ttsmain::Form_Resize()
{
    placeTextBox();
    // The window's outer size, as the twips layout was made for.
    const QSize outer = frameGeometry().size();
    const int width = pixelsToTwips(outer.width());
    const int height = pixelsToTwips(outer.height());

    Frame1->move(twipsToPixels(width - FrameWidth), Frame1->y());
    if (const std::optional<int> boxHeight = textBoxHeight(height)) {
        Frame1->move(Frame1->x(), twipsToPixels(*boxHeight + 100));
        Check1->setChecked(true);
        App.window.TextBoxShown = true;
        Check1->setToolTip(QStringLiteral("Hide text box"));
    } else {
        Frame1->move(Frame1->x(), 0);
        Check1->setChecked(false);
        App.window.TextBoxShown = false;
        Check1->setToolTip(QStringLiteral("Show text box"));
    }

    const Qt::WindowStates state = windowState();
    if (!(state & Qt::WindowMinimized)) {
        App.window.Width = width;
        App.window.Height = height;
    }
    App.window.WindowState = (state & Qt::WindowMinimized) ? 1 : (state & Qt::WindowMaximized) ? 2 : 0;
}

// ---- Voice-list hiding and window dragging

void ttsmain::hideVoiceListCheck()
{
    if (HideVoiceListPending) {
        Combo1->hide();
        HideVoiceListPending = false;
    }
}

void ttsmain::startWindowDrag()
{
    if (QWindow *window = windowHandle())
        window->startSystemMove();
}

void ttsmain::mouseMoveEvent(QMouseEvent *event)
{
    hideVoiceListCheck();
    QWidget::mouseMoveEvent(event);
}

void ttsmain::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        startWindowDrag();
    QWidget::mousePressEvent(event);
}

bool ttsmain::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == Command10)
        Command10_Event(event);
    if (RichTextBox1 && watched == RichTextBox1->viewport()) {
        if (type == QEvent::MouseButtonPress) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            RichTextBox1_MouseDown(mouse->button(),
                                   RichTextBox1->cursorForPosition(mouse->position().toPoint()).position());
        }
        return false;
    }

    auto *label = qobject_cast<QLabel *>(watched);
    const bool isLabel = label && m_labels.contains(label);
    const bool isControl =
        watched == Frame1 || watched == Check1 || m_panelButtons.contains(qobject_cast<QWidget *>(watched));

    if (type == QEvent::MouseMove && (isLabel || isControl)) {
        if (isControl)
            HideVoiceListPending = true;
        hideVoiceListCheck();
        if (isControl)
            HideVoiceListPending = true;
        if (isLabel || watched == Frame1) {
            unsetCursor();
            return true; // handled here, not again by the panel or the window behind
        }
        return false;
    }
    if (type == QEvent::MouseButtonDblClick && (watched == Label8 || watched == Label10)) {
        if (watched == Label8)
            Label8_DblClick();
        else
            Label10_DblClick();
        return true;
    }
    if (type == QEvent::MouseButtonPress && (watched == Frame1 || isLabel)) {
        // The product name and version take double clicks instead of drags.
        if (watched != Label8 && watched != Label10 &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            startWindowDrag();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
