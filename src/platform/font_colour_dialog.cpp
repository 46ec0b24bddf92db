#include "platform/font_colour_dialog.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
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
