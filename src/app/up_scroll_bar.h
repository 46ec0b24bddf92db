#pragma once

#include <QMouseEvent>
#include <QScrollBar>

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
