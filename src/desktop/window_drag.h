#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSet>

class QWidget;

// Lets a window be dragged with the left mouse button on its background, labels and pictures,
// as windows without a title-bar drag area are. Widgets that act on a click keep their click:
// a press there that moves further than the drag distance starts the move instead, and a
// release without moving is the click. Clickable widgets take the keyboard focus and are
// clicked with Enter or Space as well.
class WindowDrag final : public QObject
{
    Q_OBJECT
public:
    explicit WindowDrag(QWidget *window);

    // A left press here starts moving the window at once.
    void addDragArea(QWidget *widget);
    // A click here emits clicked(); dragging from here moves the window.
    void addClickable(QWidget *widget);

signals:
    void clicked(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void startMove();

    QWidget *m_window;
    QSet<QObject *> m_dragAreas;
    QSet<QObject *> m_clickables;
    QPointer<QWidget> m_pressed;
    QPoint m_pressPosition;
};
