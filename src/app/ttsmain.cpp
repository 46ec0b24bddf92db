#include "app/ttsmain.h"

#include "app/tray_presence.h"
#include "app/up_scroll_bar.h"
#include "audio/mp3_encoder.h"
#include "audio/mp3end.h"
#include "audio/parlocx.h"
#include "desktop/howto.h"
#include "desktop/ttsaboutForm.h"
#include "platform/accessibility.h"
#include "platform/dialogs.h"
#include "platform/program_folder.h"
#include "platform/program_picture.h"
#include "platform/single_instance.h"
#include "platform/twips.h"
#include "speech/directss.h"
#include "speech/spvoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScrollBar>
#include <QSlider>
#include <QTextEdit>
#include <QToolButton>

namespace {

// A label the keyboard reaches (Tab, then Enter acts on it) that shows its text as any label.
// QLabel gives a label that takes focus the text machinery of an editor, so that its text can be
// selected: a document and its layout, made when the label is first polished (~1.5 ms at start).
// This one offers no selection and is polished as a plain label.
class KeyReachableLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::Polish)
            return QLabel::event(event);
        const Qt::FocusPolicy policy = focusPolicy();
        setFocusPolicy(Qt::NoFocus);
        const bool handled = QLabel::event(event);
        setFocusPolicy(policy);
        return handled;
    }
};

// The button panel, in twips.
constexpr int FrameWidth = 11805;
constexpr int FrameHeight = 1575;
constexpr int ButtonWidth = 735;
constexpr int ButtonHeight = 680;
// Designed window size before any settings apply.
constexpr int DesignWidth = 12000;
constexpr int DesignHeight = 8400;

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

QFont arial()
{
    QFont font(QStringLiteral("Arial"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont tahoma()
{
    QFont font(QStringLiteral("Tahoma"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The application's style, except that a combo box's list drops down below it instead of
// popping up over it. (A style sheet says the same, but costs the start a style sheet engine.)
class DropDownListStyle final : public QProxyStyle
{
public:
    // Owned by a window that outlives the box.
    explicit DropDownListStyle(QObject *owner) { setParent(owner); }
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A combo box whose list drops down below it, as a drop-down list box does, rather than popping
// up over the whole screen. The style that says so is given when the list first opens: a style
// change makes a combo box build its list, which the start of the window need not wait for.
class DropDownComboBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;
    void showPopup() override
    {
        if (!m_dropsDown) {
            m_dropsDown = true;
            setStyle(new DropDownListStyle(window()));
        }
        QComboBox::showPopup();
    }

private:
    bool m_dropsDown = false;
};

} // namespace

SpeechFactory SpeechFactory::standard()
{
    SpeechFactory factory;
    factory.makeDirectSS = [] { return std::make_unique<DirectSS>(); };
    factory.makeTextToSpeech = [] { return std::make_unique<TextToSpeech>(); };
    factory.makeSpVoice = [] { return std::make_unique<SpVoice>(); };
    return factory;
}

ttsmain::ttsmain(AppState &app, SpeechFactory factory, QWidget *parent)
    : QWidget(parent), App(app), m_factory(std::move(factory)),
      m_trayReachable([this] { return trayIconReachable(m_trayIcon); })
{
    setObjectName(QStringLiteral("ttsmain"));
    m_processEnd = [](int code) {
        // Queued, so that an end requested before the event loop runs still ends it.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    };
    buildControls();
    connectControls();
    nameForAccessibility();
    // The help and About windows close with the program whoever opened them.
    setUnloadHandler(QStringLiteral("howto"), &howto::unloadWindow);
    setUnloadHandler(QStringLiteral("ttsaboutForm"), &ttsaboutForm::unloadWindow);
    resize(twipsToPixels(DesignWidth), twipsToPixels(DesignHeight));
}

ttsmain::~ttsmain()
{
    // The completion window reads the job record, which goes with this window's state.
    delete CompletionWindow.data();
    // The speech objects go before the controls their events touch.
    for (QObject *object :
         {static_cast<QObject *>(DirectSS1.get()), static_cast<QObject *>(NewsVoice1.get())})
        if (object)
            object->disconnect(this);
    WaveVoice1.reset();
    VoiceSayTime.reset();
    NewsVoice1.reset();
    TextToSpeech1.reset();
    DirectSS1.reset();
}

void ttsmain::buildControls()
{
    setMouseTracking(true);

    Label15 = new QLabel(this);
    Label15->setObjectName(QStringLiteral("Label15"));
    // The slide reader shows its words in large type by default.
    QFont slideFont = arial();
    slideFont.setPointSize(36);
    Label15->setFont(slideFont);
    Label15->hide();

    mnuTray = new QMenu(this);
    mnuTray->setObjectName(QStringLiteral("mnuTray"));

    MonitorText1Len = new IntervalTimer(0, this);

    buildPanel();
}

// The text box lays out its (empty) text as it is made, which is the start's first use of the
// fonts, and fontconfig's and Qt's font set-up take longer than anything else the window needs:
// start-up makes it once the window is shown, before anything is painted, or as soon as
// something needs it before then (a text or file to read from the start, commands waiting, the
// defaults of a first start, an end). It goes first among the controls: below the others, first
// for a screen reader and for Tab. Whatever the window record says about it is applied as it is
// made, then the layout places it.
void ttsmain::makeTextBox()
{
    if (RichTextBox1)
        return;
    RichTextBox1 = new QPlainTextEdit(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    RichTextBox1->setAttribute(Qt::WA_NoMousePropagation);
    RichTextBox1->viewport()->installEventFilter(this);
    RichTextBox1->lower();
    connect(RichTextBox1, &QPlainTextEdit::textChanged, this, &ttsmain::RichTextBox1_Change);
    nameTextBox();
    if (m_textBoxRecord)
        applyTextBoxRecord(*std::exchange(m_textBoxRecord, std::nullopt));
    placeTextBox();
    MonitorText1Len_Timer(); // the empty document: slider unavailable
    if (isVisible())
        RichTextBox1->show();
}

// The hidden box that takes documents handed over by other programs, made on the first one:
// most runs never receive one, and a start need not lay out its text.
QTextEdit *ttsmain::receivedDocumentBox()
{
    if (RichTextBox2)
        return RichTextBox2;
    RichTextBox2 = new QTextEdit(this);
    RichTextBox2->setObjectName(QStringLiteral("RichTextBox2"));
    RichTextBox2->setAcceptRichText(true);
    RichTextBox2->hide();
    Accessibility::name(RichTextBox2, QStringLiteral("Received document"));
    Accessibility::nameScrollBars(RichTextBox2, QStringLiteral("Received document"));
    return RichTextBox2;
}

void ttsmain::buildPanel()
{
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setMouseTracking(true);
    Frame1->installEventFilter(this);
    Frame1->resize(twipsToPixels(FrameWidth), twipsToPixels(FrameHeight));
    // The voice list takes its font from the panel: a font set on a combo box itself makes it build
    // its drop-down list at once, which the start does not need. Every control with a caption sets
    // its own font.
    Frame1->setFont(tahoma());

    struct ButtonSpec
    {
        QToolButton **button;
        const char *name;
        int left;
        QString caption;
        QString tip;
    };
    const ButtonSpec buttons[] = {
        {&Command10, "Command10", 4320, QStringLiteral("&Menu"),
         QStringLiteral("All functions: batch conversion, wav to mp3, clock, slides, exit (F10)")},
        {&Command7, "Command7", 5040, QStringLiteral("&Voice"), QStringLiteral("Change voice")},
        {&Command5, "Command5", 5760, QStringLiteral("S&peak"), QStringLiteral("Read aloud")},
        {&Command6, "Command6", 6480, QStringLiteral("&Stop"), QStringLiteral("Stop speaking")},
        {&Command3, "Command3", 7200, QStringLiteral("&Open"),
         QStringLiteral("Load text file (.txt, .rtf) to read aloud")},
        {&Command4, "Command4", 7920, QStringLiteral("S&ave"),
         QStringLiteral(
             "save text as text file or audio file. To save as audio file, TTS5 is faster than TTS4")},
        {&Command8, "Command8", 8640, QStringLiteral("&Help"),
         QStringLiteral("How does this application work?")},
        {&Command1, "Command1", 9360, QStringLiteral("&BColor"), QStringLiteral("Change text back color")},
        {&Command2, "Command2", 10080, QStringLiteral("Fo&nt"), QStringLiteral("Change text font")},
        {&Command9, "Command9", 10800, QStringLiteral("&Close"), QStringLiteral("Close this window")},
    };
    for (const ButtonSpec &spec : buttons) {
        auto *button = new QToolButton(Frame1);
        button->setObjectName(QLatin1String(spec.name));
        button->setText(spec.caption);
        button->setToolTip(spec.tip);
        button->setFont(arial());
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setMouseTracking(true);
        button->installEventFilter(this);
        placeTwips(button, spec.left, 0, ButtonWidth, ButtonHeight);
        *spec.button = button;
        m_panelButtons.append(button);
    }

    Combo1 = new DropDownComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setAttribute(Qt::WA_NoMousePropagation);
    Combo1->setMaxVisibleItems(16);
    placeTwips(Combo1, 5040, -240, 3645, 405);
    Combo1->hide();

    cpvSlider1 = new QSlider(Qt::Horizontal, Frame1);
    cpvSlider1->setObjectName(QStringLiteral("cpvSlider1"));
    cpvSlider1->setAttribute(Qt::WA_NoMousePropagation);
    placeTwips(cpvSlider1, 5040, 720, 3120, 375);

    Check1 = new QCheckBox(QStringLiteral("&Text"), Frame1);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setFont(arial());
    Check1->setMouseTracking(true);
    Check1->installEventFilter(this);
    placeTwips(Check1, 8280, 840, 840, 400);

    const auto makeLabel = [this](QLabel *&label, const char *name, const QString &caption, const QFont &font,
                                  int left, int top, int width, int height, bool keyReachable = false) {
        label = keyReachable ? new KeyReachableLabel(caption, Frame1) : new QLabel(caption, Frame1);
        label->setObjectName(QLatin1String(name));
        label->setFont(font);
        label->setMouseTracking(true);
        label->installEventFilter(this);
        placeTwips(label, left, top, width, height);
        m_labels.append(label);
    };
    makeLabel(Label8, "Label8", QString(), arial(), 2670, 720, 1140, 270);
    makeLabel(Label10, "Label10", QStringLiteral("Version 1.71"), arial(), 2640, 960, 1350, 270, true);
    for (QLabel *grey : {Label8, Label10}) {
        QPalette palette = grey->palette();
        palette.setColor(QPalette::WindowText, QColor(128, 128, 128));
        grey->setPalette(palette);
        grey->setToolTip(QStringLiteral("Double click to download more text to speech engines"));
    }
    makeLabel(Label13, "Label13", QStringLiteral("00:00:00"), tahoma(), 7080, 1080, 930, 270);
    makeLabel(Label1, "Label1", QStringLiteral("100"), tahoma(), 9240, 795, 450, 285);
    makeLabel(Label2, "Label2", QStringLiteral("Volume"), arial(), 9345, 1080, 915, 240);
    makeLabel(Label5, "Label5", QStringLiteral("29"), tahoma(), 10080, 795, 330, 285);
    makeLabel(Label6, "Label6", QStringLiteral("Rate"), arial(), 10275, 1080, 705, 240);
    makeLabel(Label3, "Label3", QStringLiteral("29"), tahoma(), 10800, 795, 330, 285);
    makeLabel(Label4, "Label4", QStringLiteral("Pitch"), arial(), 11080, 1080, 840, 240);
    Label2->setToolTip(QStringLiteral("Change speak volume"));
    Label6->setToolTip(QStringLiteral("Change speak rate"));
    Label4->setToolTip(QStringLiteral("Change voice pitch. Note: pitch of some voices can be changed."));

    const auto makeBar = [this](QScrollBar *&bar, const char *name, int left) {
        bar = new UpScrollBar(Frame1); // 100 at the top: up is louder, faster, higher
        bar->setObjectName(QLatin1String(name));
        bar->setRange(0, 100);
        bar->setAttribute(Qt::WA_NoMousePropagation);
        placeTwips(bar, left, 720, 375, 400);
    };
    makeBar(VScroll1, "VScroll1", 9720);
    makeBar(VScroll2, "VScroll2", 10440);
    makeBar(VScroll3, "VScroll3", 11160);
    VScroll1->setValue(100);
    VScroll2->setValue(29);
    VScroll3->setValue(29);
}

void ttsmain::connectControls()
{
    connect(Command5, &QToolButton::clicked, this, &ttsmain::Command5_Click);
    connect(Command6, &QToolButton::clicked, this, &ttsmain::Command6_Click);
    connect(Command7, &QToolButton::clicked, this, &ttsmain::Command7_Click);
    connect(Command3, &QToolButton::clicked, this, &ttsmain::Command3_Click);
    connect(Command4, &QToolButton::clicked, this, &ttsmain::Command4_Click);
    connect(Command2, &QToolButton::clicked, this, &ttsmain::Command2_Click);
    connect(Command1, &QToolButton::clicked, this, &ttsmain::Command1_Click);
    connect(Command8, &QToolButton::clicked, this, &ttsmain::Command8_Click);
    connect(Command9, &QToolButton::clicked, this, &ttsmain::Command9_Click);
    connect(Command10, &QToolButton::clicked, this, &ttsmain::Command10_Click);
    createMenuShortcuts();
    // Only the user's click runs the check box's action; the layout's own changes do not.
    connect(Check1, &QCheckBox::clicked, this, &ttsmain::Check1_Click);
    connect(Combo1, &QComboBox::activated, this, &ttsmain::Combo1_Click);
    connect(VScroll1, &QScrollBar::valueChanged, this, &ttsmain::VScroll1_Change);
    connect(VScroll2, &QScrollBar::valueChanged, this, &ttsmain::VScroll2_Change);
    connect(VScroll3, &QScrollBar::valueChanged, this, &ttsmain::VScroll3_Change);

    connect(MonitorText1Len, &IntervalTimer::Timer, this, &ttsmain::MonitorText1Len_Timer);
    // Dragging, stepping (keys, page clicks) and releasing the slider; programmatic moves
    // while reading are not the user's and never move the cursor.
    connect(cpvSlider1, &QSlider::sliderMoved, this, &ttsmain::cpvSlider1_Scroll);
    connect(cpvSlider1, &QSlider::actionTriggered, this, [this](int) { cpvSlider1_Change(); });
    connect(cpvSlider1, &QSlider::sliderReleased, this, &ttsmain::cpvSlider1_MouseUp);
}

void ttsmain::createRunTimeTimers()
{
    Timer101 = new IntervalTimer(0, this);
    Timer1 = new IntervalTimer(0, this);
    Timer102 = new IntervalTimer(0, this);
    Timer2 = new IntervalTimer(0, this);
    TimerSay = new IntervalTimer(50000, this);
    ReadingTime = new IntervalTimer(0, this);
    TimerSayTest = new IntervalTimer(0, this);
    SaveSettings = new IntervalTimer(15000, this);
    firstuse = new IntervalTimer(0, this);
    connect(ReadingTime, &IntervalTimer::Timer, this, &ttsmain::ReadingTime_Timer);
    connect(SaveSettings, &IntervalTimer::Timer, this, &ttsmain::SaveSettings_Timer);
    connect(firstuse, &IntervalTimer::Timer, this, &ttsmain::firstuse_Timer);
    connectClockTimers();
    createSaveObjects();
}

void ttsmain::createGeneration4Objects()
{
    if (m_factory.makeDirectSS)
        DirectSS1 = m_factory.makeDirectSS();
    if (m_factory.makeTextToSpeech)
        TextToSpeech1 = m_factory.makeTextToSpeech();
    if (DirectSS1) {
        DirectSS1->setInitialized(1);
        connect(DirectSS1.get(), &DirectSS::AudioStart, this, &ttsmain::DirectSS1_AudioStart);
        connect(DirectSS1.get(), &DirectSS::TextDataStarted, this, &ttsmain::DirectSS1_TextDataStarted);
        connect(DirectSS1.get(), &DirectSS::AudioStop, this, &ttsmain::DirectSS1_AudioStop);
        connect(DirectSS1.get(), &DirectSS::TextDataDone, this, &ttsmain::DirectSS1_TextDataDone);
        connect(DirectSS1.get(), &DirectSS::WordPosition, this, &ttsmain::DirectSS1_WordPosition);
    }
    if (TextToSpeech1)
        TextToSpeech1->setInitialized(1);
}

void ttsmain::createGeneration5Objects()
{
    if (!m_factory.makeSpVoice)
        return;
    NewsVoice1 = m_factory.makeSpVoice();
    VoiceSayTime = m_factory.makeSpVoice();
    WaveVoice1 = m_factory.makeSpVoice();
    if (NewsVoice1) {
        connect(NewsVoice1.get(), &SpVoice::StartStream, this, &ttsmain::NewsVoice1_StartStream);
        connect(NewsVoice1.get(), &SpVoice::EndStream, this, &ttsmain::NewsVoice1_EndStream);
        connect(NewsVoice1.get(), &SpVoice::Word, this, &ttsmain::NewsVoice1_Word);
    }
}
