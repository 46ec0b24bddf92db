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
// Gives `bar` (a vertical scroll bar) its own look: arrow buttons 7 pixels high, a framed track
// between them whose frame turns dotted with the keyboard focus, and a thumb of at least 4 pixels.
// The look is drawn by a style the bar owns, not by a style sheet (whose engine would cost the
// start of the window ~1 ms for three small bars).
void useSettingBarStyle(QScrollBar *bar);

class UpScrollBar : public QScrollBar
{
public:
    explicit UpScrollBar(QWidget *parent = nullptr) : QScrollBar(Qt::Vertical, parent)
    {
        setInvertedAppearance(true);
        setInvertedControls(false);
        // At 25 x 27 pixels the style's own arrows leave no room for a thumb: small arrows, a
        // track and a thumb that always shows where the setting is.
        useSettingBarStyle(this);
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
