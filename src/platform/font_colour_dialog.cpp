#include "platform/font_colour_dialog.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

struct NamedColour
{
    const char *name;
    QRgb rgb;
};

constexpr NamedColour StandardColours[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000},  {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080},  {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},     {"Lime", 0x00FF00},  {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};

QIcon swatch(const QColor &colour)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
    return QIcon(pixmap);
}

} // namespace

FontColourDialog::FontColourDialog(QWidget *owner, const QFont &initialFont, const QColor &initialColour)
    : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Font"));
    m_fonts = new QFontDialog(initialFont, this);
    m_fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_fonts->setWindowFlags(Qt::Widget);

    m_colours = new QComboBox(this);
    m_colours->setObjectName(QStringLiteral("colourList"));
    m_colours->setAccessibleName(QStringLiteral("Text colour"));
    for (const NamedColour &named : StandardColours)
        m_colours->addItem(swatch(QColor(named.rgb)), QLatin1String(named.name), QColor(named.rgb));
    m_colours->addItem(QStringLiteral("Custom..."));
    m_customIndex = m_colours->count() - 1;
    connect(m_colours, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index != m_customIndex)
            m_previousIndex = index;
    });
    connect(m_colours, &QComboBox::activated, this, &FontColourDialog::onColourActivated);
    selectColour(initialColour.isValid() ? initialColour : QColor(Qt::black));

    auto *label = new QLabel(QStringLiteral("&Color:"), this);
    label->setBuddy(m_colours);
    auto *colourRow = new QHBoxLayout;
    colourRow->addWidget(label);
    colourRow->addWidget(m_colours, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_fonts);
    layout->addLayout(colourRow);
    layout->addWidget(buttons);
    nameFontControls();
}

// Qt's font chooser labels its boxes with buddies but names neither the boxes nor the lists
// below them: each takes the name of its label ("Font", "Font style", "Size").
void FontColourDialog::nameFontControls()
{
    const auto plain = [](QString caption) {
        return caption.remove(QLatin1Char('&')).remove(QLatin1Char(':')).trimmed();
    };
    for (QLabel *label : m_fonts->findChildren<QLabel *>())
        if (label->buddy() && label->buddy()->accessibleName().isEmpty())
            label->buddy()->setAccessibleName(plain(label->text()));
    const QList<QLineEdit *> boxes = m_fonts->findChildren<QLineEdit *>();
    const QList<QListView *> lists = m_fonts->findChildren<QListView *>();
    // Each list has its box: the family, the style and the size.
    for (qsizetype i = 0; i < lists.size() && i < boxes.size(); ++i) {
        QWidget *box = boxes.at(i);
        QWidget *list = lists.at(i);
        if (box->accessibleName().isEmpty())
            box->setAccessibleName(list->accessibleName());
        if (list->accessibleName().isEmpty() || list->accessibleName() == box->accessibleName())
            list->setAccessibleName(box->accessibleName() + QStringLiteral(" list"));
    }
    for (QComboBox *box : m_fonts->findChildren<QComboBox *>())
        box->view()->setAccessibleName(box->accessibleName());
    m_colours->view()->setAccessibleName(m_colours->accessibleName());
}

QFont FontColourDialog::selectedFont() const
{
    return m_fonts->currentFont();
}

QColor FontColourDialog::selectedColour() const
{
    return m_colours->currentData().value<QColor>();
}

void FontColourDialog::selectColour(const QColor &colour)
{
    for (int i = 0; i < m_colours->count(); ++i) {
        if (i != m_customIndex && m_colours->itemData(i).value<QColor>().rgb() == colour.rgb()) {
            m_colours->setCurrentIndex(i);
            return;
        }
    }
    // A colour of the user's own goes just before "Custom...".
    m_colours->insertItem(m_customIndex, swatch(colour), colour.name(), colour);
    m_colours->setCurrentIndex(m_customIndex);
    ++m_customIndex;
}

void FontColourDialog::onColourActivated(int index)
{
    if (index != m_customIndex)
        return;
    const QColor previous = m_colours->itemData(m_previousIndex).value<QColor>();
    const QColor chosen = QColorDialog::getColor(previous, this);
    selectColour(chosen.isValid() ? chosen : previous);
}
