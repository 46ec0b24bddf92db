#include "desktop/window_drag.h"

#include "platform/accessibility.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

WindowDrag::WindowDrag(QWidget *window) : QObject(window), m_window(window)
{
    addDragArea(window);
}

void WindowDrag::addDragArea(QWidget *widget)
{
    m_dragAreas.insert(widget);
    widget->installEventFilter(this);
}

void WindowDrag::addClickable(QWidget *widget)
{
    m_clickables.insert(widget);
    widget->setFocusPolicy(Qt::StrongFocus);
    widget->installEventFilter(this);
    Accessibility::showFocus(widget);
}

void WindowDrag::startMove()
{
    if (QWindow *handle = m_window->windowHandle())
        handle->startSystemMove();
}

bool WindowDrag::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (m_dragAreas.contains(watched)) {
        if (type == QEvent::MouseButtonPress && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            startMove();
        return false;
    }
    if (!m_clickables.contains(watched))
        return false;

    auto *widget = static_cast<QWidget *>(watched);
    switch (type) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        m_pressed = widget;
        m_pressPosition = mouse->position().toPoint();
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_pressed != widget || !(mouse->buttons() & Qt::LeftButton))
            return false;
        if ((mouse->position().toPoint() - m_pressPosition).manhattanLength() >=
            QApplication::startDragDistance()) {
            m_pressed = nullptr;
            startMove();
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || m_pressed != widget)
            return false;
        m_pressed = nullptr;
        if (widget->rect().contains(mouse->position().toPoint()))
            emit clicked(widget);
        return true;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            emit clicked(widget);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}
