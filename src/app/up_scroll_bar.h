#pragma once

#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

// A vertical scroll bar for a setting, with its maximum at the top: moving it up means more,
// as a volume or rate control is expected to work. The value keeps its plain meaning.
//
// Qt draws the bar upside down and turns keys and the wheel round (invertedControls), but its
// arrow buttons and page areas still step by position: the top arrow would lower the value.
// Steps that come from the mouse are therefore turned round here.
class UpScrollBar : public QScrollBar
{
public:
    explicit UpScrollBar(QWidget *parent = nullptr) : QScrollBar(Qt::Vertical, parent)
    {
        setInvertedAppearance(true);
        setInvertedControls(false);
        // At 25 x 27 pixels the style's own arrows leave no room for a thumb: small arrows, a
        // track and a thumb that always shows where the setting is.
        setStyleSheet(QStringLiteral(
            "QScrollBar:vertical { background: #d4d0c8; border: 1px solid #808080; margin: 7px 0 7px 0; }"
            "QScrollBar::handle:vertical { background: #0a246a; min-height: 4px; }"
            "QScrollBar::add-line:vertical { height: 7px; subcontrol-position: bottom; subcontrol-origin: "
            "margin; }"
            "QScrollBar::sub-line:vertical { height: 7px; subcontrol-position: top; subcontrol-origin: "
            "margin; }"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"
            // The keyboard focus shows as a dotted frame in place of the plain one.
            "QScrollBar:vertical:focus { border: 1px dotted #000000; }"));
        connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
            if (!m_mousePressed)
                return;
            int delta = 0;
            switch (action) {
            case SliderSingleStepAdd:
                delta = -singleStep();
                break;
            case SliderSingleStepSub:
                delta = singleStep();
                break;
            case SliderPageStepAdd:
                delta = -pageStep();
                break;
            case SliderPageStepSub:
                delta = pageStep();
                break;
            default:
                return;
            }
            // The action has moved the slider position already; start again from the value.
            setSliderPosition(qBound(minimum(), value() + delta, maximum()));
        });
    }

    // Where the thumb is drawn, in the bar's coordinates.
    QRect thumbRect() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        m_mousePressed = true;
        QScrollBar::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QScrollBar::mouseReleaseEvent(event);
        m_mousePressed = false;
    }

private:
    bool m_mousePressed = false;
};
