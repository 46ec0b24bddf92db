#include "tools/SlideReadAloud.h"

#include "platform/bounded_file.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "speech/directss.h"
#include "speech/logical_font.h"
#include "speech/spvoice.h"
#include "tools/slide_rules.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <chrono>
#include <future>
#include <thread>

namespace {

// The window as designed, in pixels.
constexpr QSize DesignedSize(640, 480);
constexpr int WordHeight = 120;
constexpr QSize FrameSize(600, 104);
constexpr int FirstTickMs = 100;
constexpr int LongestDelaySeconds = 10;

const QString FullWindowTip = QStringLiteral("Double click to restore default window");
const QString DefaultWindowTip = QStringLiteral("Double click to resotre full window");

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption, const QRect &place)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    button->setGeometry(place);
    return button;
}

QCheckBox *makeCheckBox(QWidget *parent, const QString &name, const QString &caption, const QRect &place)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    box->setGeometry(place);
    return box;
}

QTimer *makeOrderTimer(QObject *parent, const QString &name)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(name);
    // The delay is what the user drills with: a coarse timer could fire up to 5% early.
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

} // namespace

SlideReadAloud::SlideReadAloud(SlideReadAloudHost host, QWidget *parent)
    : QWidget(parent), m_host(std::move(host)), m_generator(SlideRules::seededGenerator())
{
    setObjectName(QStringLiteral("SlideReadAloud"));
    setWindowFlag(Qt::Window); // a window of its own, also when another window owns it
    setWindowTitle(QStringLiteral("Slide read aloud words - Parlanto"));
    buildControls();
    if (m_host.loadSettings)
        m_settings = m_host.loadSettings();
    applySettings(m_settings);
    connectControls();
    Text1_Change();
    SlideStatus = 1;
    resize(DesignedSize);
    placeControls();
}

SlideReadAloud::~SlideReadAloud() = default;

void SlideReadAloud::buildControls()
{
    setAutoFillBackground(true);

    Label1 = new QLabel(QStringLiteral("Word"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAccessibleName(QStringLiteral("Word"));
    // A line of the list is shown as it stands, never read as markup.
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setAutoFillBackground(true);
    Label1->installEventFilter(this);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::StyledPanel);
    Frame1->resize(FrameSize);
    Frame1->setAutoFillBackground(true);
    Frame1->setBackgroundRole(QPalette::Button);

    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Word file"));
    Text1->setGeometry(8, 4, 344, 28);
    Command5 = makeButton(Frame1, QStringLiteral("Command5"), QStringLiteral("Select &word file"),
                          QRect(356, 4, 140, 28));
    Command8 = makeButton(Frame1, QStringLiteral("Command8"), QStringLiteral("&Edit"), QRect(500, 4, 92, 28));

    Command2 = makeButton(Frame1, QStringLiteral("Command2"), QStringLiteral("&Begin"), QRect(8, 38, 90, 28));
    Command3 =
        makeButton(Frame1, QStringLiteral("Command3"), QStringLiteral("&Stop"), QRect(102, 38, 90, 28));
    Command4 =
        makeButton(Frame1, QStringLiteral("Command4"), QStringLiteral("Pa&use"), QRect(196, 38, 90, 28));
    Command9 =
        makeButton(Frame1, QStringLiteral("Command9"), QStringLiteral("&Previous"), QRect(290, 38, 96, 28));
    Command10 =
        makeButton(Frame1, QStringLiteral("Command10"), QStringLiteral("&Next"), QRect(390, 38, 96, 28));
    Command1 =
        makeButton(Frame1, QStringLiteral("Command1"), QStringLiteral("&Close"), QRect(490, 38, 102, 28));

    Command6 = makeButton(Frame1, QStringLiteral("Command6"), QStringLiteral("&Font"), QRect(8, 72, 70, 28));
    Command7 =
        makeButton(Frame1, QStringLiteral("Command7"), QStringLiteral("C&olor"), QRect(82, 72, 70, 28));
    Check1 = makeCheckBox(Frame1, QStringLiteral("Check1"), QStringLiteral("&Full window"),
                          QRect(158, 72, 104, 28));
    Check2 =
        makeCheckBox(Frame1, QStringLiteral("Check2"), QStringLiteral("&Random"), QRect(264, 72, 84, 28));
    DelayLabel = new QLabel(QStringLiteral("Delay"), Frame1);
    DelayLabel->setObjectName(QStringLiteral("DelayLabel"));
    DelayLabel->setGeometry(350, 72, 40, 28);
    SlideDelay = new QSlider(Qt::Horizontal, Frame1);
    SlideDelay->setObjectName(QStringLiteral("SlideDelay"));
    SlideDelay->setAccessibleName(QStringLiteral("Delay"));
    SlideDelay->setRange(1, LongestDelaySeconds);
    SlideDelay->setPageStep(1);
    SlideDelay->setTickPosition(QSlider::TicksBelow);
    SlideDelay->setGeometry(392, 72, 110, 28);
    DelayLabel->setBuddy(SlideDelay);
    Label2 = new QLabel(Frame1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAccessibleName(QStringLiteral("Words"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setGeometry(506, 72, 90, 28);

    Command3->setEnabled(false);
    Command4->setEnabled(false);

    seriation = makeOrderTimer(this, QStringLiteral("seriation"));
    random = makeOrderTimer(this, QStringLiteral("random"));
}

void SlideReadAloud::connectControls()
{
    connect(Command1, &QPushButton::clicked, this, &SlideReadAloud::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &SlideReadAloud::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &SlideReadAloud::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &SlideReadAloud::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &SlideReadAloud::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &SlideReadAloud::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &SlideReadAloud::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &SlideReadAloud::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &SlideReadAloud::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &SlideReadAloud::Command10_Click);
    connect(Text1, &QLineEdit::textChanged, this, &SlideReadAloud::Text1_Change);
    connect(SlideDelay, &QSlider::valueChanged, this, &SlideReadAloud::SlideDelay_Change);
    connect(seriation, &QTimer::timeout, this, &SlideReadAloud::seriation_Timer);
    connect(random, &QTimer::timeout, this, &SlideReadAloud::random_Timer);
}

void SlideReadAloud::applySettings(const SlideSettings &settings)
{
    Check1->setChecked(settings.FullWindow);
    Check2->setChecked(settings.Random);
    SlideDelay->setValue(settings.Delay); // the slider keeps a damaged value within its range
    setBackColour(settings.BackColour);
    Label1->setFont(settings.WordFont);
    WordCharset = settings.Charset;
    setWordColour(settings.WordColour);
}

void SlideReadAloud::saveSettings()
{
    m_settings.FullWindow = Check1->isChecked();
    m_settings.Random = Check2->isChecked();
    m_settings.Delay = SlideDelay->value();
    m_settings.BackColour = Label1->palette().color(QPalette::Window);
    m_settings.WordFont = Label1->font();
    m_settings.Charset = WordCharset;
    m_settings.WordColour = Label1->palette().color(QPalette::WindowText);
    if (m_host.saveSettings)
        m_host.saveSettings(m_settings);
}

void SlideReadAloud::placeControls()
{
    const SlideRules::Layout place = SlideRules::layout(size(), WordHeight, Frame1->size());
    Label1->setGeometry(place.word);
    Frame1->move(place.frame);
}

void SlideReadAloud::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void SlideReadAloud::setControlsHidden(bool hidden)
{
    for (QWidget *control :
         {static_cast<QWidget *>(Command1), static_cast<QWidget *>(Command2),
          static_cast<QWidget *>(Command3), static_cast<QWidget *>(Command4),
          static_cast<QWidget *>(Command5), static_cast<QWidget *>(Command6),
          static_cast<QWidget *>(Command7), static_cast<QWidget *>(Command8), static_cast<QWidget *>(Text1),
          static_cast<QWidget *>(Label2), static_cast<QWidget *>(Check1), static_cast<QWidget *>(Check2),
          static_cast<QWidget *>(SlideDelay), static_cast<QWidget *>(Frame1)})
        control->setHidden(hidden);
}

// Chooses the word file and counts its words.
void SlideReadAloud::Command5_Click()
{
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Select A Word Text File");
    request.initialFolder = Dialogs::startFolder(SlideRules::dialogStartFolder(m_settings.WordFolder));
    request.filters = {{QStringLiteral("Text Files (*.txt)"), QStringLiteral("*.txt")}};
    const auto answer = Dialogs::instance().openFile(this, request);
    if (!answer)
        return;
    const QString path = SlideRules::pathFromDialog(answer->fileName);
    if (path.isEmpty())
        return;
    m_settings.WordFolder = SlideRules::wordFolderOf(path);
    if (m_host.saveSettings)
        m_host.saveSettings(m_settings);
    Text1->setText(path);

    CountCaption = SlideRules::countCaption(loadWordList(path).value_or(0));
    Label2->setText(CountCaption);
}

void SlideReadAloud::Text1_Change()
{
    Command8->setEnabled(SlideRules::editAllowed(Text1->text()));
}

// Opens the word file in the user's text editor.
void SlideReadAloud::Command8_Click()
{
    const QString path = Text1->text().trimmed();
    if (!path.isEmpty())
        openWithDesktop(this, path);
}

std::optional<int> SlideReadAloud::loadWordList(const QString &path)
{
    // A list of hundreds of megabytes takes a moment to read and index: the window keeps
    // painting and its timers keep running meanwhile.
    std::promise<SlideRules::WordFile> promise;
    std::future<SlideRules::WordFile> reading = promise.get_future();
    QEventLoop waiting;
    std::thread worker([&promise, &waiting, path] {
        promise.set_value(SlideRules::readWordFile(path));
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (reading.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        waiting.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    SlideRules::WordFile file = reading.get();
    const int count = int(std::min<qsizetype>(file.lines.size(), std::numeric_limits<int>::max()));
    // A list of fewer than two lines is not taken: no word of an earlier list stays behind.
    WordList = SlideRules::hasWords(count) ? std::move(file.lines) : SlideRules::WordLines();
    WordCount = int(std::min<qsizetype>(WordList.size(), std::numeric_limits<int>::max()));
    WordIndex = 0;
    if (!file.error.isEmpty()) {
        msgBox(this, file.error);
        return std::nullopt;
    }
    return count;
}

// Starts a run.
void SlideReadAloud::Command2_Click()
{
    const QString path = Text1->text().trimmed();
    if (path.isEmpty()) {
        msgBox(this, QStringLiteral("Please select a words file"));
        return;
    }
    if (BoundedFile::probe(path) == BoundedFile::Outcome::Missing) {
        msgBox(this, path + QStringLiteral(" does not exist"));
        return;
    }
    const QString noWords = SlideRules::countCaption(0);
    if (CountCaption == noWords) {
        msgBox(this, path + QStringLiteral(" has no word"));
        return;
    }
    saveSettings();
    if (Check1->isChecked()) {
        setControlsHidden(true);
        Label1->setToolTip(FullWindowTip);
    }
    // A folder, FIFO or device, or a file too large to read, is refused with the reader's own
    // words instead of " has no word".
    const std::optional<int> read = loadWordList(path);
    const int count = read.value_or(0);
    if (!SlideRules::hasWords(count)) {
        CountCaption = noWords;
        Label2->setText(CountCaption);
        if (read)
            msgBox(this, path + QStringLiteral(" has no word"));
        return;
    }
    CountCaption = SlideRules::countCaption(count);
    Label2->setText(CountCaption);
    WordIndex = 0;
    SlideDelayMs = SlideRules::delayMilliseconds(SlideDelay->value());
    Command2->setEnabled(false);
    Command5->setEnabled(false);
    Command8->setEnabled(false);
    Command3->setEnabled(true);
    Command4->setEnabled(true);
    Text1->setReadOnly(true);
    Check1->setEnabled(false);
    Check2->setEnabled(false);
    SlideRunning = true;
    SlideStatus = 3;
    if (Check2->isChecked())
        m_generator = SlideRules::seededGenerator();
    orderTimer()->start(FirstTickMs);
}

QTimer *SlideReadAloud::orderTimer() const
{
    return Check2->isChecked() ? random : seriation;
}

void SlideReadAloud::seriation_Timer()
{
    orderTick(seriation, false);
}

void SlideReadAloud::random_Timer()
{
    orderTick(random, true);
}

void SlideReadAloud::orderTick(QTimer *timer, bool randomOrder)
{
    if (SlideStatus == 1 || SlideStatus == 2) {
        timer->stop();
        return;
    }
    const SlideRules::Tick step = SlideRules::tick(WordIndex, WordCount);
    WordIndex = step.wordIndex;
    if (step.stop) {
        Command3_Click();
        return;
    }
    Label2->setText(SlideRules::progressText(WordIndex, CountCaption));
    timer->start(SlideDelayMs);
    if (randomOrder) {
        CurrentWord = WordList.value(SlideRules::randomPick(m_generator, WordCount) - 1);
        showAndSpeak(CurrentWord);
    } else {
        showAndSpeak(WordList.value(WordIndex - 1));
    }
}

void SlideReadAloud::showAndSpeak(const QString &word)
{
    Label1->setText(word);
    const int generation = m_host.SapiVersion ? m_host.SapiVersion() : 0;
    if (generation == 5) {
        if (SpVoice *voice = m_host.VoiceSayTime ? m_host.VoiceSayTime() : nullptr)
            voice->Speak(word, SpVoice::SVSFlagsAsync);
    } else if (generation == 4) {
        if (TextToSpeech *voice = m_host.TextToSpeech1 ? m_host.TextToSpeech1() : nullptr)
            voice->Speak(word);
    }
}

void SlideReadAloud::silence()
{
    const int generation = m_host.SapiVersion ? m_host.SapiVersion() : 0;
    if (generation == 4) {
        if (TextToSpeech *voice = m_host.TextToSpeech1 ? m_host.TextToSpeech1() : nullptr)
            voice->StopSpeaking();
    } else if (generation == 5) {
        if (SpVoice *voice = m_host.VoiceSayTime ? m_host.VoiceSayTime() : nullptr)
            voice->Speak(QString(), SpVoice::SVSFPurgeBeforeSpeak);
    }
}

// A new delay governs the gap that is running at once; every gap takes it from the next Begin.
void SlideReadAloud::SlideDelay_Change()
{
    if (SlideRunning && SlideStatus == 3)
        orderTimer()->start(SlideRules::delayMilliseconds(SlideDelay->value()));
}

void SlideReadAloud::Command4_Click()
{
    if (Command4->text() == QLatin1String("Pa&use")) {
        Command4->setText(QStringLiteral("Res&ume"));
        SlideStatus = 2;
        orderTimer()->stop();
    } else {
        Command4->setText(QStringLiteral("Pa&use"));
        SlideStatus = 3;
        orderTimer()->start(FirstTickMs);
    }
    Command4->setAccessibleName(QString(Command4->text()).remove(QLatin1Char('&')));
}

// Stops the run; the Pause button keeps its caption.
void SlideReadAloud::Command3_Click()
{
    SlideRunning = false;
    SlideStatus = 1;
    seriation->stop();
    random->stop();
    Label1->setToolTip(QString());
    setControlsHidden(false);
    Command2->setEnabled(true);
    Command5->setEnabled(true);
    Command8->setEnabled(true);
    Command3->setEnabled(false);
    Command4->setEnabled(false);
    Text1->setReadOnly(false);
    Check1->setEnabled(true);
    Check2->setEnabled(true);
    silence();
}

void SlideReadAloud::Command9_Click()
{
    Command3_Click();
    const auto previous = SlideRules::previousIndex(WordIndex);
    if (!previous)
        return;
    WordIndex = *previous;
    Label2->setText(SlideRules::progressText(WordIndex, CountCaption));
    showAndSpeak(WordList.value(WordIndex - 1));
}

void SlideReadAloud::Command10_Click()
{
    Command3_Click();
    const auto next = SlideRules::nextIndex(WordIndex, WordCount);
    if (!next)
        return;
    WordIndex = *next;
    Label2->setText(SlideRules::progressText(WordIndex, CountCaption));
    showAndSpeak(WordList.value(WordIndex - 1));
}

// Toggles the full-window view during a run, running or paused.
void SlideReadAloud::Label1_DblClick()
{
    if (!SlideRunning)
        return;
    if (Command2->isHidden()) {
        setControlsHidden(false);
        Label1->setToolTip(DefaultWindowTip);
    } else {
        setControlsHidden(true);
        Label1->setToolTip(FullWindowTip);
    }
}

void SlideReadAloud::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Label1_DblClick();
    QWidget::mouseDoubleClickEvent(event);
}

bool SlideReadAloud::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Label1_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Chooses the word's font and colour.
void SlideReadAloud::Command6_Click()
{
    // Through the logical-font record both ways, as the system font dialog works: whole
    // points, bold or regular, a short face name.
    const QFont initial = LogicalFont::fromFont(Label1->font(), WordCharset).toFont(Label1->font());
    QColor colour = Label1->palette().color(QPalette::WindowText);
    const auto chosen = Dialogs::instance().chooseFont(this, initial, colour);
    if (!chosen)
        return;
    if (colour.isValid())
        setWordColour(colour);
    Label1->setFont(LogicalFont::fromFont(*chosen, WordCharset).toFont(Label1->font()));
}

// Chooses the background of the word and the window.
void SlideReadAloud::Command7_Click()
{
    const auto chosen = Dialogs::instance().chooseColour(this, Label1->palette().color(QPalette::Window));
    if (chosen && chosen->isValid())
        setBackColour(*chosen);
}

void SlideReadAloud::Command1_Click()
{
    close();
}

void SlideReadAloud::closeEvent(QCloseEvent *event)
{
    saveSettings();
    Command3_Click();
    QWidget::closeEvent(event);
}

void SlideReadAloud::setBackColour(const QColor &colour)
{
    for (QWidget *widget : {static_cast<QWidget *>(this), static_cast<QWidget *>(Label1)}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, colour);
        widget->setPalette(palette);
    }
}

void SlideReadAloud::setWordColour(const QColor &colour)
{
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, colour);
    Label1->setPalette(palette);
}
