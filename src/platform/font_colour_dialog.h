#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

class QComboBox;
class QFontDialog;

// The font dialog with a colour list below it, as the system font dialog of the desktop the
// program was made for has: one choice of font and text colour together. The list holds the
// sixteen standard colours and "Custom...", which opens the colour dialog; the colour passed in
// is preselected (added to the list when it is none of the standard ones).
class FontColourDialog : public QDialog
{
    Q_OBJECT
public:
    FontColourDialog(QWidget *owner, const QFont &initialFont, const QColor &initialColour);

    QFont selectedFont() const;
    QColor selectedColour() const;
    // Selects a colour, adding it to the list when needed.
    void selectColour(const QColor &colour);
    QComboBox *colourList() const { return m_colours; }

private:
    void nameFontControls();
    void onColourActivated(int index);
    QFontDialog *m_fonts = nullptr;
    QComboBox *m_colours = nullptr;
    int m_customIndex = -1;  // the "Custom..." entry
    int m_previousIndex = 0; // the colour before "Custom..." was picked
};
