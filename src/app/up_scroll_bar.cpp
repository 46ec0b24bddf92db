#include "app/up_scroll_bar.h"

#include <QPainter>
#include <QProxyStyle>
#include <qdrawutil.h>

#include <algorithm>

namespace {

class SettingBarStyle final : public QProxyStyle
{
public:
    static constexpr int ArrowHeight = 7;
    static constexpr int MinThumbHeight = 4;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                         const QWidget *widget) const override
    {
        const auto *bar = qstyleoption_cast<const QStyleOptionSlider *>(option);
        if (control != CC_ScrollBar || !bar || bar->orientation != Qt::Vertical)
            return QProxyStyle::subControlRect(control, option, part, widget);
        const QRect whole = bar->rect;
        // The track: between the arrows, inside a frame of one pixel. The thumb travels on it.
        const QRect track(whole.left() + 1, whole.top() + ArrowHeight + 1, std::max(0, whole.width() - 2),
                          std::max(0, whole.height() - 2 * ArrowHeight - 2));
        const qint64 range = qint64(bar->maximum) - bar->minimum;
        int length = range > 0 ? int(qint64(bar->pageStep) * track.height() / (range + bar->pageStep))
                               : track.height();
        length = std::clamp(length, std::min(MinThumbHeight, track.height()), track.height());
        const int top = track.top() + sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition,
                                                              track.height() - length, bar->upsideDown);
        const QRect thumb(track.left(), top, track.width(), length);
        switch (part) {
        case SC_ScrollBarSubLine:
            return {whole.left(), whole.top(), whole.width(), ArrowHeight};
        case SC_ScrollBarAddLine:
            return {whole.left(), whole.bottom() - ArrowHeight + 1, whole.width(), ArrowHeight};
        case SC_ScrollBarGroove:
            return track;
        case SC_ScrollBarSlider:
            return thumb;
        case SC_ScrollBarSubPage:
            return QRect(track.topLeft(), QPoint(track.right(), thumb.top() - 1));
        case SC_ScrollBarAddPage:
            return QRect(QPoint(track.left(), thumb.bottom() + 1), track.bottomRight());
        default:
            return {};
        }
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
    {
        const auto *bar = qstyleoption_cast<const QStyleOptionSlider *>(option);
        if (control != CC_ScrollBar || !bar || bar->orientation != Qt::Vertical) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QColor face(0xd4, 0xd0, 0xc8);
        QPalette buttons = bar->palette;
        buttons.setColor(QPalette::Button, face);
        painter->save();
        for (const SubControl arrow : {SC_ScrollBarSubLine, SC_ScrollBarAddLine}) {
            const bool pressed = (bar->activeSubControls & arrow) && (bar->state & State_Sunken);
            qDrawWinButton(painter, subControlRect(control, option, arrow, widget), buttons, pressed);
        }
        const QRect track = subControlRect(control, option, SC_ScrollBarGroove, widget);
        const QRect frame = track.adjusted(-1, -1, 1, 1);
        painter->fillRect(frame, face);
        // The keyboard focus shows as a dotted frame in place of the plain one.
        const bool focused = bar->state & State_HasFocus;
        QPen pen(focused ? QColor(Qt::black) : QColor(0x80, 0x80, 0x80));
        pen.setStyle(focused ? Qt::DotLine : Qt::SolidLine);
        pen.setWidth(0);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(frame.adjusted(0, 0, -1, -1));
        painter->fillRect(subControlRect(control, option, SC_ScrollBarSlider, widget),
                          QColor(0x0a, 0x24, 0x6a));
        painter->restore();
    }
};

} // namespace

void useSettingBarStyle(QScrollBar *bar)
{
    auto *style = new SettingBarStyle;
    style->setParent(bar);
    bar->setStyle(style);
}
