#pragma once

#include <QColor>
#include <QString>

#include <functional>
#include <initializer_list>

class QAbstractButton;
class QAbstractScrollArea;
class QComboBox;
class QLabel;
class QWidget;

// What every window does so that a screen reader can tell its controls apart and the keyboard
// alone can reach them. Nothing here changes what a sighted mouse user sees.
namespace Accessibility {

// Gives `control` the name assistive technology announces and, when not empty, a description.
void name(QWidget *control, const QString &name, const QString &description = QString());

// Names a drop-down list box and the list it drops down, which is a list of its own in the
// accessibility tree.
void nameList(QComboBox *box, const QString &name, const QString &description = QString());

// Names the scroll bars of a text box or list ("Document vertical scroll bar").
void nameScrollBars(QAbstractScrollArea *area, const QString &owner);

// A label that shows a changing value (a time, a percentage, a bar's position): assistive
// technology reads it as "caption value", the value always the one shown. With a `control`, the
// label also becomes that control's buddy, so the two are related in the accessibility tree.
void valueLabel(QLabel *label, const QString &caption, QWidget *control = nullptr);

// The text a value label is announced with; empty for a label that is not one.
QString valueLabelName(const QLabel *label);

// Tab moves through `controls` in this order.
void tabOrder(std::initializer_list<QWidget *> controls);

// Escape closes `window`, as it closes a dialog: through `closeButton` when given, so that the
// window's own closing rules apply, else by closing the window.
void closeOnEscape(QWidget *window, QAbstractButton *closeButton = nullptr);

// Draws a focus frame round `control` while it has the keyboard focus, for controls that draw
// none of their own (a label that acts on a click).
void showFocus(QWidget *control);

// Lets the keyboard reach `control` and run `action` with Enter or Space, as a click or double
// click with the mouse does; the focus shows.
void activateWithKeys(QWidget *control, std::function<void()> action);

// ---- Readable highlight

// Relative luminance and contrast ratio as the Web Content Accessibility Guidelines define them
// (1 for equal colours, 21 for black on white).
double relativeLuminance(const QColor &colour);
double contrastRatio(const QColor &first, const QColor &second);

// The ratio normal-size text needs against its background.
constexpr double ReadableContrast = 4.5;

struct HighlightColours
{
    QColor background;
    QColor text;
};

// Selection colours that stay readable on a text box with back colour `back`: the highlight's
// background stands out from `back` and its text is readable on it, both by at least
// ReadableContrast. The `preferred` pair (the style's own) is kept where it already is; a
// background that is not is darkened or lightened, away from `back`, only as far as needed.
HighlightColours readableHighlight(const QColor &back, const QColor &text, const HighlightColours &preferred);

// Keeps the selection colours of `textBox` readable, whatever back and text colours its palette
// is given now or later.
void keepHighlightReadable(QWidget *textBox);

} // namespace Accessibility
