#include "platform/accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>

#include <cmath>

namespace Accessibility {

namespace {

// The dynamic property that marks a value label and holds its caption.
constexpr char CaptionProperty[] = "parlantoAccessibleCaption";

// A value label as assistive technology sees it: a static text named "caption value".
class ValueLabelInterface : public QAccessibleWidget
{
public:
    explicit ValueLabelInterface(QLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return valueLabelName(static_cast<const QLabel *>(widget()));
        return QAccessibleWidget::text(kind);
    }
};

// Gives a drop-down list box's list the box's name. A box builds its list when first asked for
// it, which a window need not wait for while it starts: a list not built yet is named when it
// is, as it is made ready to show.
class DropDownListNamer final : public QObject
{
public:
    static constexpr char Name[] = "parlantoDropDownListNamer";
    explicit DropDownListNamer(QComboBox *box) : QObject(box)
    {
        setObjectName(QLatin1String(Name));
        box->installEventFilter(this);
    }
    static bool nameBuiltList(QComboBox *box)
    {
        auto *list = box->findChild<QAbstractItemView *>();
        if (!list)
            return false;
        if (list->accessibleName().isEmpty())
            list->setAccessibleName(box->accessibleName());
        return true;
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished && nameBuiltList(static_cast<QComboBox *>(watched))) {
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

// The list of `box`, built if it is not yet, named as the box.
QAbstractItemView *namedList(QComboBox *box)
{
    QAbstractItemView *list = box->view();
    DropDownListNamer::nameBuiltList(box);
    return list;
}

void nameDropDownList(QComboBox *box)
{
    if (!DropDownListNamer::nameBuiltList(box) &&
        !box->findChild<QObject *>(QLatin1String(DropDownListNamer::Name), Qt::FindDirectChildrenOnly))
        new DropDownListNamer(box);
}

// A drop-down list box as assistive technology sees it. Qt names a list box on this desktop by
// its current entry and leaves the name it was given unused; this one is announced by that name,
// with the entry as its value. The list it drops down is its one child, as in Qt's own.
class NamedComboBoxInterface : public QAccessibleWidget
{
public:
    explicit NamedComboBoxInterface(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(namedList(box())) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == namedList(box()) ? 0 : -1;
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return box()->accessibleName();
        if (kind == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = namedList(box())->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (namedList(box())->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *parlantoFactory(const QString &className, QObject *object)
{
    if (!object)
        return nullptr;
    if (className == QLatin1String("QLabel") && object->property(CaptionProperty).isValid())
        return new ValueLabelInterface(static_cast<QLabel *>(object));
    if (className == QLatin1String("QComboBox")) {
        auto *box = static_cast<QComboBox *>(object);
        if (!box->isEditable() && !box->accessibleName().isEmpty()) {
            // The list it drops down is announced by the same name.
            nameDropDownList(box);
            return new NamedComboBoxInterface(box);
        }
    }
    return nullptr;
}

// An interface Qt made before the control was marked (changing a label's text makes one while
// assistive technology listens) is dropped, so that the next one asked for is ours.
void forgetInterface(QObject *object)
{
    if (QAccessibleInterface *existing = QAccessible::queryAccessibleInterface(object))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
}

// Installed with the first control named, after the application has installed Qt's own
// factory: the factory installed last is asked first.
void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(&parlantoFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

class EscapeCloses : public QObject
{
public:
    EscapeCloses(QWidget *window, QAbstractButton *closeButton)
        : QObject(window), m_window(window), m_closeButton(closeButton)
    {}

protected:
    // Escape reaches the window when the control that has the focus does not use the key, as
    // it reaches a dialog.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window || event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier)
            return false;
        if (m_closeButton && m_closeButton->isEnabled())
            m_closeButton->click();
        else if (!m_closeButton)
            m_window->close();
        return true;
    }

private:
    QWidget *m_window;
    QAbstractButton *m_closeButton;
};

class FocusFrameFollower : public QObject
{
public:
    explicit FocusFrameFollower(QWidget *control) : QObject(control), m_control(control) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_control)
            return false;
        if (event->type() == QEvent::FocusIn) {
            if (!m_frame)
                m_frame = new QFocusFrame(m_control);
            m_frame->setWidget(m_control);
            m_frame->show();
        } else if (event->type() == QEvent::FocusOut && m_frame) {
            m_frame->hide();
        }
        return false;
    }

private:
    QWidget *m_control;
    QPointer<QFocusFrame> m_frame;
};

class KeyActivation : public QObject
{
public:
    KeyActivation(QWidget *control, std::function<void()> action)
        : QObject(control), m_control(control), m_action(std::move(action))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_control || event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space)
            return false;
        m_action();
        return true;
    }

private:
    QWidget *m_control;
    std::function<void()> m_action;
};

class HighlightKeeper : public QObject
{
public:
    explicit HighlightKeeper(QWidget *textBox) : QObject(textBox), m_textBox(textBox) { apply(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_textBox && event->type() == QEvent::PaletteChange)
            apply();
        return false;
    }

private:
    // Sets the palette only when a colour has to change, so the palette change this causes
    // finds nothing more to do.
    void apply()
    {
        QPalette palette = m_textBox->palette();
        const QPalette styleDefault = QApplication::palette(m_textBox);
        bool changed = false;
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            const HighlightColours wanted =
                readableHighlight(palette.color(group, QPalette::Base), palette.color(group, QPalette::Text),
                                  {styleDefault.color(group, QPalette::Highlight),
                                   styleDefault.color(group, QPalette::HighlightedText)});
            if (palette.color(group, QPalette::Highlight) != wanted.background) {
                palette.setColor(group, QPalette::Highlight, wanted.background);
                changed = true;
            }
            if (palette.color(group, QPalette::HighlightedText) != wanted.text) {
                palette.setColor(group, QPalette::HighlightedText, wanted.text);
                changed = true;
            }
        }
        if (changed)
            m_textBox->setPalette(palette);
    }

    QWidget *m_textBox;
};

double channel(double value)
{
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

QColor mix(const QColor &from, const QColor &to, double share)
{
    const auto blend = [share](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * share)); };
    return QColor(blend(from.red(), to.red()), blend(from.green(), to.green()),
                  blend(from.blue(), to.blue()));
}

// Black or white, whichever stands out more against `colour`; one of them always reaches
// ReadableContrast.
QColor strongestAgainst(const QColor &colour)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(black, colour) >= contrastRatio(white, colour) ? black : white;
}

} // namespace

void name(QWidget *control, const QString &name, const QString &description)
{
    installFactory();
    control->setAccessibleName(name);
    if (qobject_cast<QComboBox *>(control))
        forgetInterface(control);
    if (!description.isEmpty())
        control->setAccessibleDescription(description);
}

void nameList(QComboBox *box, const QString &name, const QString &description)
{
    Accessibility::name(box, name, description);
    if (auto *list = box->findChild<QAbstractItemView *>())
        list->setAccessibleName(name);
    else
        nameDropDownList(box);
}

void nameScrollBars(QAbstractScrollArea *area, const QString &owner)
{
    area->verticalScrollBar()->setAccessibleName(owner + QStringLiteral(" vertical scroll bar"));
    area->horizontalScrollBar()->setAccessibleName(owner + QStringLiteral(" horizontal scroll bar"));
}

void valueLabel(QLabel *label, const QString &caption, QWidget *control)
{
    installFactory();
    label->setProperty(CaptionProperty, caption);
    // A fixed accessible name would hide the value; the name comes from the caption instead.
    label->setAccessibleName(QString());
    forgetInterface(label);
    if (control)
        label->setBuddy(control);
}

QString valueLabelName(const QLabel *label)
{
    const QVariant caption = label ? label->property(CaptionProperty) : QVariant();
    if (!caption.isValid())
        return QString();
    const QString value = label->text().trimmed();
    return value.isEmpty() ? caption.toString() : caption.toString() + QLatin1Char(' ') + value;
}

void tabOrder(std::initializer_list<QWidget *> controls)
{
    QWidget *previous = nullptr;
    for (QWidget *control : controls) {
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

void closeOnEscape(QWidget *window, QAbstractButton *closeButton)
{
    window->installEventFilter(new EscapeCloses(window, closeButton));
}

void showFocus(QWidget *control)
{
    control->installEventFilter(new FocusFrameFollower(control));
}

void activateWithKeys(QWidget *control, std::function<void()> action)
{
    control->setFocusPolicy(Qt::TabFocus);
    control->installEventFilter(new KeyActivation(control, std::move(action)));
    showFocus(control);
}

double relativeLuminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

double contrastRatio(const QColor &first, const QColor &second)
{
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

HighlightColours readableHighlight(const QColor &back, const QColor &text, const HighlightColours &preferred)
{
    HighlightColours result;
    result.background = preferred.background.toRgb();
    if (contrastRatio(result.background, back) < ReadableContrast) {
        // Towards black or white, in small steps, keeping as much of the style's hue as can be.
        const QColor target = strongestAgainst(back);
        constexpr int Steps = 20;
        for (int step = 1; step <= Steps; ++step) {
            result.background = mix(preferred.background.toRgb(), target, double(step) / Steps);
            if (contrastRatio(result.background, back) >= ReadableContrast)
                break;
        }
    }
    result.text = strongestAgainst(result.background);
    for (const QColor &candidate : {preferred.text, text}) {
        if (candidate.isValid() && contrastRatio(candidate, result.background) >= ReadableContrast) {
            result.text = candidate.toRgb();
            break;
        }
    }
    return result;
}

void keepHighlightReadable(QWidget *textBox)
{
    textBox->installEventFilter(new HighlightKeeper(textBox));
}

} // namespace Accessibility
