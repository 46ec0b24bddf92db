#include "desktop/ttsMenu.h"

#include "platform/program_folder.h"
#include "platform/program_picture.h"
#include "platform/shell.h"
#include "platform/twips.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <utility>

namespace {

// The item glyphs side by side, one square per item number (1 to 13), then the close picture.
constexpr int GlyphSize = 16;
constexpr int CloseGlyph = 13;
// The voice-download badges side by side, in the order of the picture array.
constexpr int BadgeWidth = 17;
constexpr int BadgeHeight = 13;

// Item rows and columns, in twips.
constexpr int ItemHeight = 285;
constexpr int LeftColumn = 285;
constexpr int RightColumn = 1365;
constexpr int LeftPictures = 20;
constexpr int RightPictures = 1110;
constexpr int PictureWidth = 240;
constexpr int WideItem = 1900;
constexpr int LeftItem = 1020;
constexpr int RightItem = 1150;
constexpr int MenuWidth = 2600;
constexpr int MenuHeight = 4605;
// The download pictures: 255 x 195 twips, two rows of eight filled from right to left.
constexpr int DownloadWidth = 255;
constexpr int DownloadHeight = 195;
constexpr std::array<int, 8> DownloadLefts = {2220, 1920, 1620, 1320, 1020, 720, 420, 120};
constexpr int FirstDownloadRow = 705;
constexpr int SecondDownloadRow = 480;

const std::array<QString, 16> &downloadTips()
{
    static const std::array<QString, 16> tips = {
        QStringLiteral("Download American English Voice"),
        QStringLiteral("Download British English Voice"),
        QStringLiteral("Download German, French, Italian Voices"),
        QStringLiteral("Download Chinese\r\n, English Voices"),
        QStringLiteral("Download Spanish Voice"),
        QStringLiteral("Download Russian Voice"),
        QStringLiteral("Download Portuguese Voice"),
        QStringLiteral("Download Chinese\r\n Voice"),
        QStringLiteral("Download Italian Voice"),
        QStringLiteral("Download Dutch Voice"),
        QStringLiteral("Download German Voice"),
        QStringLiteral("Download French Voice"),
        QStringLiteral("Download English Voice"),
        QStringLiteral("Download Portuguese, Spanish, English, French Voices"),
        QStringLiteral("Download German Voice"),
        QStringLiteral("Download English Voice"),
    };
    return tips;
}

QPixmap cell(const QPixmap &strip, int index, int width, int height)
{
    if (strip.isNull() || strip.width() < (index + 1) * width || strip.height() < height)
        return QPixmap();
    return strip.copy(index * width, 0, width, height);
}

void place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                         twipsToPixels(height));
}

void run(const std::function<void()> &action)
{
    if (action)
        action();
}

void drawFocusFrame(QWidget *control, QPainter &painter)
{
    QStyleOptionFocusRect option;
    option.initFrom(control);
    option.rect = control->rect().adjusted(1, 1, -1, -1);
    control->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, control);
}

} // namespace

QPoint menuPlacement(QPoint cursor, QSize size)
{
    int left = cursor.x() - size.width();
    if (left < 1)
        left = cursor.x();
    int top = cursor.y() - size.height();
    if (top < 1)
        top = cursor.y();
    return {left, top};
}

QPoint menuPlacementBeside(QRect control, QSize size)
{
    int left = control.right() + 1 - size.width();
    if (left < 1)
        left = control.left();
    int top = control.top() - size.height();
    if (top < 1)
        top = control.bottom() + 1;
    return {left, top};
}

QString vendorDomain(const QString &homeAddress)
{
    QString domain = homeAddress;
    const qsizetype scheme = domain.indexOf(QLatin1String("://"));
    if (scheme >= 0)
        domain = domain.mid(scheme + 3);
    if (domain.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        domain = domain.mid(4);
    return domain;
}

// ---- MenuLabel

MenuLabel::MenuLabel(const QString &caption, QWidget *parent) : QAbstractButton(parent)
{
    setText(caption);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAccessibleName(caption.trimmed());
}

void MenuLabel::setColours(const QColor &back, const QColor &fore)
{
    if (back == BackColor && fore == ForeColor)
        return;
    BackColor = back;
    ForeColor = fore;
    update();
}

void MenuLabel::setAccessKey(QChar key)
{
    m_accessKey = key.toLower();
    update();
}

void MenuLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), BackColor);
    painter.setPen(ForeColor);
    painter.setFont(font());
    // The caption as it stands, its access key underlined through the mnemonic mark.
    QString shown = text().replace(QLatin1Char('&'), QLatin1String("&&"));
    const qsizetype key = m_accessKey.isNull() ? -1 : shown.indexOf(m_accessKey, 0, Qt::CaseInsensitive);
    if (key >= 0)
        shown.insert(key, QLatin1Char('&'));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                     shown);
    if (hasFocus())
        drawFocusFrame(this, painter);
}

// ---- MenuPicture

MenuPicture::MenuPicture(const QPixmap &picture, QWidget *parent)
    : QAbstractButton(parent), m_picture(picture)
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
}

void MenuPicture::setBorderStyle(int style)
{
    if (style == BorderStyle)
        return;
    BorderStyle = style;
    update();
}

void MenuPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!m_picture.isNull()) {
        const QSize size = m_picture.size().boundedTo(this->size());
        const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        painter.drawPixmap(target, m_picture);
    }
    if (BorderStyle == 1) {
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (hasFocus())
        drawFocusFrame(this, painter);
}

// ---- ttsMenu

QColor ttsMenu::colourOf(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

ttsMenu::ttsMenu(ttsMenuActions actions, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("ttsMenu"));
    setWindowTitle(QStringLiteral("Menu - Parlanto"));
    setAccessibleName(QStringLiteral("Parlanto menu"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    QFont font(QStringLiteral("Times New Roman"));
    // Where the desktop has no Times New Roman, another serif face stands in.
    font.setStyleHint(QFont::Serif);
    font.setPointSize(9);
    setFont(font);
    setAutoFillBackground(true);
    buildControls();
    connectControls();
    setFixedSize(twipsToPixels(MenuWidth), twipsToPixels(MenuHeight));
}

MenuLabel *ttsMenu::addLabel(const QString &name, const QString &caption, const QString &tip, int left,
                             int top, int width)
{
    auto *label = new MenuLabel(caption, this);
    label->setObjectName(name);
    label->setToolTip(tip);
    label->setAccessibleDescription(tip);
    place(label, left, top, width, ItemHeight);
    label->installEventFilter(this);
    m_itemOf.insert(label, label);
    m_items.append(label);
    return label;
}

MenuPicture *ttsMenu::addPicture(const QString &name, int glyph, MenuLabel *item, int left, int top)
{
    auto *picture = new MenuPicture(cell(m_glyphs, glyph, GlyphSize, GlyphSize), this);
    picture->setObjectName(name);
    picture->setToolTip(item->toolTip());
    picture->setAccessibleName(item->accessibleName());
    place(picture, left, top, PictureWidth, ItemHeight);
    picture->installEventFilter(this);
    m_itemOf.insert(picture, item);
    return picture;
}

void ttsMenu::buildControls()
{
    // Created in the order the keyboard visits them: top to bottom, left to right.
    Label9 = addLabel(QStringLiteral("Label9"), QStringLiteral(" Get more voices"),
                      QStringLiteral(" Download more voices"), LeftColumn, 120, WideItem);
    m_glyphs = programPicture(QStringLiteral("menuitems.bmp"));
    const QPixmap badges = programPicture(QStringLiteral("menuvoices.bmp"));
    for (int row : {SecondDownloadRow, FirstDownloadRow}) {
        const int first = row == FirstDownloadRow ? 0 : 8;
        for (int column = 7; column >= 0; --column) {
            const int index = first + column;
            auto *picture = new MenuPicture(cell(badges, index, BadgeWidth, BadgeHeight), this);
            picture->setObjectName(QStringLiteral("Image1_%1").arg(index));
            picture->setFocusPolicy(Qt::StrongFocus);
            picture->setToolTip(downloadTips()[index]);
            picture->setAccessibleName(QString(downloadTips()[index]).remove(QLatin1String("\r\n")));
            place(picture, DownloadLefts[column], row, DownloadWidth, DownloadHeight);
            picture->installEventFilter(this);
            m_itemOf.insert(picture, Label9);
            Image1[index] = picture;
        }
    }
    Label8 = addLabel(QStringLiteral("Label8"), QString(), QStringLiteral("Homepage"), 360, 960, WideItem);
    Label10 = addLabel(QStringLiteral("Label10"), QStringLiteral(" Convert wav to mp3"),
                       QStringLiteral("Convert wav file to mp3 file"), LeftColumn, 1320, WideItem);
    Label13 = addLabel(QStringLiteral("Label13"), QStringLiteral(" Slide read aloud words"),
                       QStringLiteral("Slide read aloud words from text file"), LeftColumn, 1680, WideItem);
    Label12 = addLabel(QStringLiteral("Label12"), QStringLiteral(" Text files to sound files"),
                       QStringLiteral("Batch convert text files to mp3 files or wav files"), LeftColumn, 2040,
                       WideItem);
    Check1 = new QCheckBox(this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setToolTip(QStringLiteral("Watch clipboard text"));
    Check1->setAccessibleName(QStringLiteral("Watch clipboard"));
    Check1->setAccessibleDescription(QStringLiteral("Watch clipboard text"));
    Check1->setMouseTracking(true);
    place(Check1, LeftPictures, 2400, PictureWidth, ItemHeight);
    Check1->installEventFilter(this);
    Label15 = addLabel(QStringLiteral("Label15"), QStringLiteral(" Watch clipboard"),
                       QStringLiteral("Speak clipboard text"), LeftColumn, 2400, WideItem);
    m_itemOf.insert(Check1, Label15);
    Label4 = addLabel(QStringLiteral("Label4"), QStringLiteral(" Update"), QStringLiteral("Update online"),
                      LeftColumn, 2760, LeftItem);
    Label7 = addLabel(QStringLiteral("Label7"), QStringLiteral(" Eject CD"), QStringLiteral("Eject CD ROM"),
                      RightColumn, 2760, RightItem);
    Label2 = addLabel(QStringLiteral("Label2"), QStringLiteral(" About"),
                      QStringLiteral("About this application and author informations"), LeftColumn, 3120,
                      LeftItem);
    Label6 = addLabel(QStringLiteral("Label6"), QStringLiteral("Close CD"), QStringLiteral("Close CD ROM"),
                      RightColumn, 3120, RightItem);
    Label3 = addLabel(QStringLiteral("Label3"), QStringLiteral(" Help"),
                      QStringLiteral("How does this application work?"), LeftColumn, 3480, LeftItem);
    Label5 = addLabel(QStringLiteral("Label5"), QStringLiteral(" Sound time"),
                      QStringLiteral("Set alarm clock"), RightColumn, 3480, RightItem);
    Label1 = addLabel(QStringLiteral("Label1"), QStringLiteral(" Exit all"), QString(), LeftColumn, 3840,
                      LeftItem - 120);
    Label11 = addLabel(QStringLiteral("Label11"), QStringLiteral("Speak"), QStringLiteral("Speak"), 1200,
                       3840, 700);
    Label14 = addLabel(QStringLiteral("Label14"), QStringLiteral("Stop"), QStringLiteral("Stop speaking"),
                       1980, 3840, 560);
    Label16 =
        addLabel(QStringLiteral("Label16"), QStringLiteral(" Pronunciation"),
                 QStringLiteral("Say names, abbreviations and terms your way"), LeftColumn, 4200, WideItem);

    // Access keys: a letter of each caption, unique in the menu. The vendor's domain changes
    // with the configuration and has none.
    const std::pair<MenuLabel *, char> keys[] = {
        {Label9, 'g'}, {Label10, 'w'}, {Label13, 'l'}, {Label12, 't'}, {Label15, 'b'},
        {Label4, 'u'}, {Label7, 'e'},  {Label2, 'a'},  {Label6, 'c'},  {Label3, 'h'},
        {Label5, 'i'}, {Label1, 'x'},  {Label11, 'p'}, {Label14, 's'},
    };
    for (const auto &[item, key] : keys)
        item->setAccessKey(QLatin1Char(key));

    Image0 = new MenuPicture(cell(m_glyphs, CloseGlyph, GlyphSize, GlyphSize), this);
    Image0->setObjectName(QStringLiteral("Image0"));
    Image0->setFocusPolicy(Qt::StrongFocus);
    Image0->setToolTip(QStringLiteral("Close menu"));
    Image0->setAccessibleName(QStringLiteral("Close menu"));
    place(Image0, 2250, 120, PictureWidth, ItemHeight);
    Image0->installEventFilter(this);

    Picture9 = addPicture(QStringLiteral("Picture9"), 8, Label9, LeftPictures, 120);
    Picture8 = addPicture(QStringLiteral("Picture8"), 7, Label8, 95, 960);
    Picture10 = addPicture(QStringLiteral("Picture10"), 9, Label10, LeftPictures, 1320);
    Picture13 = addPicture(QStringLiteral("Picture13"), 12, Label13, LeftPictures, 1680);
    Picture12 = addPicture(QStringLiteral("Picture12"), 11, Label12, LeftPictures, 2040);
    Picture4 = addPicture(QStringLiteral("Picture4"), 3, Label4, LeftPictures, 2760);
    Picture7 = addPicture(QStringLiteral("Picture7"), 6, Label7, RightPictures, 2760);
    Picture2 = addPicture(QStringLiteral("Picture2"), 1, Label2, LeftPictures, 3120);
    Picture6 = addPicture(QStringLiteral("Picture6"), 5, Label6, RightPictures, 3120);
    Picture3 = addPicture(QStringLiteral("Picture3"), 2, Label3, LeftPictures, 3480);
    Picture5 = addPicture(QStringLiteral("Picture5"), 4, Label5, RightPictures, 3480);
    Picture1 = addPicture(QStringLiteral("Picture1"), 0, Label1, LeftPictures, 3840);
}

void ttsMenu::connectControls()
{
    const auto clicks = [this](QAbstractButton *control, void (ttsMenu::*handler)()) {
        connect(control, &QAbstractButton::clicked, this, handler);
    };
    clicks(Label1, &ttsMenu::Label1_Click);
    clicks(Label2, &ttsMenu::Label2_Click);
    clicks(Label3, &ttsMenu::Label3_Click);
    clicks(Label4, &ttsMenu::Label4_Click);
    clicks(Label5, &ttsMenu::Label5_Click);
    clicks(Label6, &ttsMenu::Label6_Click);
    clicks(Label7, &ttsMenu::Label7_Click);
    clicks(Label8, &ttsMenu::Label8_Click);
    clicks(Label9, &ttsMenu::Label9_Click);
    clicks(Label10, &ttsMenu::Label10_Click);
    clicks(Label11, &ttsMenu::Label11_Click);
    clicks(Label12, &ttsMenu::Label12_Click);
    clicks(Label13, &ttsMenu::Label13_Click);
    clicks(Label14, &ttsMenu::Label14_Click);
    clicks(Label15, &ttsMenu::Label15_Click);
    clicks(Label16, &ttsMenu::Label16_Click);
    // A picture does what its item does; Picture8 only lights its item up.
    clicks(Picture1, &ttsMenu::Label1_Click);
    clicks(Picture2, &ttsMenu::Label2_Click);
    clicks(Picture3, &ttsMenu::Label3_Click);
    clicks(Picture4, &ttsMenu::Label4_Click);
    clicks(Picture5, &ttsMenu::Label5_Click);
    clicks(Picture6, &ttsMenu::Label6_Click);
    clicks(Picture7, &ttsMenu::Label7_Click);
    clicks(Picture9, &ttsMenu::Label9_Click);
    clicks(Picture10, &ttsMenu::Label10_Click);
    clicks(Picture12, &ttsMenu::Label12_Click);
    clicks(Picture13, &ttsMenu::Label13_Click);
    clicks(Check1, &ttsMenu::Check1_Click);
    clicks(Image0, &ttsMenu::Image0_Click);
    for (int index = 0; index < int(Image1.size()); ++index)
        connect(Image1[index], &QAbstractButton::clicked, this, [this, index] { Image1_Click(index); });
}

void ttsMenu::Form_Load(QPoint cursor)
{
    ItemBackColor = colourOf(NormalBackColour);
    ItemTextColor = colourOf(NormalTextColour);
    HighBackColor = colourOf(HighlightBackColour);
    HighTextColor = colourOf(HighlightTextColour);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ItemBackColor);
    colours.setColor(QPalette::WindowText, ItemTextColor);
    setPalette(colours);
    highlight(nullptr);

    Label8->setText(vendorDomain(vendorSite()));
    // Read as what it opens, so the name says more than a bare address.
    const QString homepage = QStringLiteral("Homepage ") + Label8->text();
    Label8->setAccessibleName(homepage);
    Picture8->setAccessibleName(homepage);

    fitWidth();
    move(menuPlacement(cursor, size()));

    Check1->setChecked(m_actions.WatchClipboard && m_actions.WatchClipboard());

    const bool reading = m_actions.PlayStatus && m_actions.PlayStatus() == 1;
    Label11->setText(reading ? QStringLiteral("Pause") : QStringLiteral("Speak"));
    Label11->setToolTip(reading ? QStringLiteral("Pause speaking") : QStringLiteral("Speak"));
    Label11->setAccessibleName(Label11->text());
    Label11->setAccessibleDescription(Label11->toolTip());

    Label1->setToolTip(QStringLiteral("Exit Parlanto"));
    Label1->setAccessibleDescription(Label1->toolTip());
    Picture1->setToolTip(Label1->toolTip());

    // The keyboard starts at the first item.
    Label9->setFocus(Qt::PopupFocusReason);
}

void ttsMenu::placeBeside(QRect control)
{
    move(menuPlacementBeside(control, size()));
}

void ttsMenu::fitWidth()
{
    // The single-column items reach to the right edge; the menu grows where the desktop's serif
    // face is wider than Times New Roman, so no caption is cut off.
    const QList<MenuLabel *> wide = {Label8, Label9, Label10, Label12, Label13, Label15};
    int right = twipsToPixels(MenuWidth);
    for (MenuLabel *item : wide)
        right = qMax(right, item->x() + item->fontMetrics().horizontalAdvance(item->text()) + 8);
    setFixedSize(right, twipsToPixels(MenuHeight));
    for (MenuLabel *item : wide)
        item->resize(right - item->x() - (item == Label9 ? Image0->width() + 4 : 4), item->height());
    Image0->move(right - Image0->width() - 4, Image0->y());
}

void ttsMenu::actAndClose(const std::function<void()> &action)
{
    run(action);
    close();
}

void ttsMenu::openPage(const QString &address)
{
    // A page that fails to open is reported; the menu closes all the same.
    openWithDesktop(this, address);
    close();
}

void ttsMenu::Label1_Click()
{
    actAndClose(m_actions.ExitAll);
}

void ttsMenu::Label2_Click()
{
    actAndClose(m_actions.showAbout);
}

void ttsMenu::Label3_Click()
{
    actAndClose(m_actions.showHelp);
}

void ttsMenu::Label4_Click()
{
    actAndClose(m_actions.showUpdate);
}

void ttsMenu::Label5_Click()
{
    actAndClose(m_actions.showClock);
}

void ttsMenu::Label6_Click()
{
    actAndClose(m_actions.closeCd);
}

void ttsMenu::Label7_Click()
{
    // The menu stays open, so that "Close CD" is at hand once the disc is in.
    run(m_actions.ejectCd);
}

void ttsMenu::Label8_Click()
{
    openPage(vendorSite());
}

void ttsMenu::Label9_Click()
{
    openPage(vendorSite() + QStringLiteral("/download.htm"));
}

void ttsMenu::Label10_Click()
{
    actAndClose(m_actions.showWavToMp3);
}

void ttsMenu::Label11_Click()
{
    actAndClose(m_actions.speakPauseResume);
}

void ttsMenu::Label12_Click()
{
    actAndClose(m_actions.showBatchText2Sound);
}

void ttsMenu::Label13_Click()
{
    actAndClose(m_actions.showSlideReadAloud);
}

void ttsMenu::Label14_Click()
{
    actAndClose(m_actions.stopReading);
}

void ttsMenu::Label15_Click()
{
    Check1->setChecked(!Check1->isChecked());
    if (m_actions.setWatchClipboard)
        m_actions.setWatchClipboard(Check1->isChecked());
}

void ttsMenu::Label16_Click()
{
    actAndClose(m_actions.showPronunciation);
}

void ttsMenu::Check1_Click()
{
    if (m_actions.setWatchClipboard)
        m_actions.setWatchClipboard(Check1->isChecked());
}

void ttsMenu::Image0_Click()
{
    close();
}

void ttsMenu::Image1_Click(int)
{
    Label9_Click();
}

void ttsMenu::Form_Click()
{
    close();
}

void ttsMenu::highlight(QWidget *control)
{
    for (MenuLabel *item : std::as_const(m_items))
        item->setColours(ItemBackColor, ItemTextColor);
    Image0->setBorderStyle(0);
    if (!control)
        return;
    if (control == Image0) {
        Image0->setBorderStyle(1);
        return;
    }
    if (MenuLabel *item = m_itemOf.value(control))
        item->setColours(HighBackColor, HighTextColor);
}

bool ttsMenu::menuKey(QKeyEvent *event)
{
    // Ctrl+Q whatever the platform theme binds to "Quit" (some bind nothing).
    if (event->matches(QKeySequence::Quit) ||
        QKeySequence(event->keyCombination()) == QKeySequence(Qt::CTRL | Qt::Key_Q)) {
        Label1->click();
        return true;
    }
    // An access key alone (or with Alt or Shift) chooses its item.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~(Qt::AltModifier | Qt::ShiftModifier);
    const QString typed = event->text().toLower();
    if (modifiers == Qt::NoModifier && typed.size() == 1 && typed.at(0).isLetter()) {
        for (MenuLabel *item : std::as_const(m_items))
            if (item->accessKey() == typed.at(0)) {
                item->setFocus(Qt::ShortcutFocusReason);
                item->click();
                return true;
            }
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Down:
    case Qt::Key_Right:
        focusNextPrevChild(true);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Left:
        focusNextPrevChild(false);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto *control = qobject_cast<QAbstractButton *>(focusWidget())) {
            control->click();
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool ttsMenu::eventFilter(QObject *watched, QEvent *event)
{
    auto *control = qobject_cast<QWidget *>(watched);
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::FocusIn:
        highlight(control);
        break;
    case QEvent::KeyPress:
        if (menuKey(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ttsMenu::mouseMoveEvent(QMouseEvent *event)
{
    // Moves over a control that it does not take come here too: only the background clears.
    if (!childAt(event->position().toPoint()))
        highlight(nullptr);
    QWidget::mouseMoveEvent(event);
}

void ttsMenu::mousePressEvent(QMouseEvent *event)
{
    m_backgroundPressed = event->button() == Qt::LeftButton && !childAt(event->position().toPoint());
}

void ttsMenu::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_backgroundPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint())) {
        m_backgroundPressed = false;
        Form_Click();
    }
}

void ttsMenu::keyPressEvent(QKeyEvent *event)
{
    if (!menuKey(event))
        QWidget::keyPressEvent(event);
}
