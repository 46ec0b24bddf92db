#include "app/ttsmain.h"

#include "platform/accessibility.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>

// What a screen reader announces for each control of the main window, and the order Tab takes.
// The buttons are announced by their captions, which change with their faces.
void ttsmain::nameForAccessibility()
{
    using namespace Accessibility;
    nameList(Combo1, QStringLiteral("Voice"), QStringLiteral("The voice that reads aloud"));
    name(cpvSlider1, QStringLiteral("Reading position"),
         QStringLiteral("Where reading starts; follows the spoken word"));
    name(Check1, QStringLiteral("Text"), QStringLiteral("Show or hide the text box"));

    // The bars are set from the keyboard too, with the arrow and page keys; a click with the
    // mouse leaves the focus where it was.
    const struct
    {
        QScrollBar *bar;
        QString what;
        QLabel *value;
        QLabel *caption;
    } bars[] = {
        {VScroll1, QStringLiteral("Volume"), Label1, Label2},
        {VScroll2, QStringLiteral("Rate"), Label5, Label6},
        {VScroll3, QStringLiteral("Pitch"), Label3, Label4},
    };
    for (const auto &b : bars) {
        name(b.bar, b.what, b.caption->toolTip());
        b.bar->setFocusPolicy(Qt::TabFocus);
        valueLabel(b.value, b.what, b.bar);
        b.caption->setBuddy(b.bar);
    }
    valueLabel(Label13, QStringLiteral("Elapsed time"));
    // The version line offers more engines on a double click, and on Enter or Space.
    activateWithKeys(Label10, [this] { Label10_DblClick(); });
    Label10->setAccessibleDescription(QStringLiteral("Press Enter to download more text to speech engines"));
}

// The text box's part, once it is made.
void ttsmain::nameTextBox()
{
    using namespace Accessibility;
    name(RichTextBox1, QStringLiteral("Document"), QStringLiteral("The text to read aloud"));
    nameScrollBars(RichTextBox1, QStringLiteral("Document"));
    // The spoken word is shown as the selection: it stays readable in any colours chosen.
    keepHighlightReadable(RichTextBox1);
    // Tab goes from the document along the button row, then along the row below it. The
    // document comes first, where the focus goes as the window turns active, also when it is
    // made after the other controls (Qt moves a control to follow only a control that takes
    // the focus: the window does so for that one step).
    RichTextBox1->setTabChangesFocus(true);
    const Qt::FocusPolicy policy = focusPolicy();
    setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(this, RichTextBox1);
    setFocusPolicy(policy);
    tabOrder({RichTextBox1, Label10, Command10, Command7, Combo1, Command5, Command6, Command3, Command4,
              Command8, Command1, Command2, Command9, cpvSlider1, Check1, VScroll1, VScroll2, VScroll3});
}
