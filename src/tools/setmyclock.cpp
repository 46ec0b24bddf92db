#include "tools/setmyclock.h"

#include "platform/accessibility.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// Number boxes take at most nine digits, so a typed number always fits the record's Long.
constexpr int NumberBoxDigits = 9;
constexpr int ClockRefreshMs = 1000;

QLabel *staticLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    return label;
}

QString numberOrEmpty(int32_t value, bool shown)
{
    return shown ? QString::number(value) : QString();
}

int32_t numberOf(const QLineEdit *box)
{
    return box->text().trimmed().toInt();
}

bool isBlank(const QLineEdit *box)
{
    return box->text().trimmed().isEmpty();
}

int32_t checkValue(const QCheckBox *box)
{
    return box->isChecked() ? 1 : 0;
}

} // namespace

setmyclock::setmyclock(ClockWindowLinks links, QWidget *parent)
    : QWidget(parent, Qt::Window), m_links(std::move(links))
{
    setObjectName(QStringLiteral("setmyclock"));
    buildControls();
    Form_Load();
}

void setmyclock::buildControls()
{
    auto makeCheck = [this](const QString &name, const QString &caption) {
        auto *box = new QCheckBox(caption, this);
        box->setObjectName(name);
        box->setAccessibleName(caption.trimmed());
        return box;
    };
    auto makeText = [this](const QString &name, const QString &accessible) {
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        box->setAccessibleName(accessible);
        return box;
    };
    auto makeButton = [this](const QString &name, const QString &caption) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        return button;
    };

    Check1 = makeCheck(QStringLiteral("Check1"), QStringLiteral("Hour"));
    Check2 = makeCheck(QStringLiteral("Check2"), QStringLiteral("Half"));
    Check3 = makeCheck(QStringLiteral("Check3"), QStringLiteral("Quarter"));
    Text1 = makeText(QStringLiteral("Text1"), QStringLiteral("Words before the hour"));
    Text1->setText(QStringLiteral("The time is "));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAccessibleName(QStringLiteral("Current hour"));
    Text2 = makeText(QStringLiteral("Text2"), QStringLiteral("Word after the hour"));
    Text2->setText(QStringLiteral("o'clock"));
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAccessibleName(QStringLiteral("Current minute"));
    Text3 = makeText(QStringLiteral("Text3"), QStringLiteral("Word after the minute"));
    Text3->setText(QStringLiteral("minute"));
    Text4 = makeText(QStringLiteral("Text4"), QStringLiteral("Bell sound file"));
    Command3 = makeButton(QStringLiteral("Command3"), QStringLiteral("&Bell file"));
    Check4 = makeCheck(QStringLiteral("Check4"), QStringLiteral("Alarm at intervals of"));
    Text5 = makeText(QStringLiteral("Text5"), QStringLiteral("Interval in minutes"));
    Check5 = makeCheck(QStringLiteral("Check5"), QStringLiteral("Alarm at"));
    Text6 = makeText(QStringLiteral("Text6"), QStringLiteral("Minute of every hour"));
    Check6 = makeCheck(QStringLiteral("Check6"), QStringLiteral("Alarm at "));
    Check6->setAccessibleName(QStringLiteral("Alarm every day at"));
    Text7 = makeText(QStringLiteral("Text7"), QStringLiteral("Hour of every day"));
    Text8 = makeText(QStringLiteral("Text8"), QStringLiteral("Minute of every day"));
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAccessibleName(QStringLiteral("Current date and time"));
    Command4 = makeButton(QStringLiteral("Command4"), QStringLiteral("&Test bell and alarm sentence"));
    Command1 = makeButton(QStringLiteral("Command1"), QStringLiteral("&Save all settings"));
    Command2 = makeButton(QStringLiteral("Command2"), QStringLiteral("&Close"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(ClockRefreshMs);

    const auto *digits = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(NumberBoxDigits)), this);
    for (QLineEdit *box : {Text5, Text6, Text7, Text8}) {
        box->setMaxLength(NumberBoxDigits);
        box->setValidator(digits);
        box->setAutoFillBackground(true);
        box->installEventFilter(this);
    }

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(staticLabel(QStringLiteral("Basic settings"), this));
    auto *periodic = new QHBoxLayout;
    periodic->addWidget(staticLabel(QStringLiteral("At"), this));
    periodic->addWidget(Check1);
    periodic->addWidget(Check2);
    periodic->addWidget(Check3);
    periodic->addWidget(staticLabel(QStringLiteral("alarm"), this));
    periodic->addStretch();
    layout->addLayout(periodic);
    auto *sentence = new QHBoxLayout;
    sentence->addWidget(staticLabel(QStringLiteral("Sound sentence:"), this));
    sentence->addWidget(Text1);
    sentence->addWidget(Label1);
    sentence->addWidget(Text2);
    sentence->addWidget(Label2);
    sentence->addWidget(Text3);
    layout->addLayout(sentence);
    auto *bell = new QHBoxLayout;
    bell->addWidget(staticLabel(QStringLiteral("Bell sound:"), this));
    bell->addWidget(Text4, 1);
    bell->addWidget(Command3);
    layout->addLayout(bell);

    layout->addWidget(staticLabel(QStringLiteral("Advanced settings"), this));
    auto *alarms = new QGridLayout;
    alarms->addWidget(Check4, 0, 0);
    alarms->addWidget(Text5, 0, 1);
    alarms->addWidget(staticLabel(QStringLiteral("minutes"), this), 0, 2, 1, 3);
    alarms->addWidget(staticLabel(QStringLiteral("or"), this), 1, 0);
    alarms->addWidget(Check5, 2, 0);
    alarms->addWidget(Text6, 2, 1);
    alarms->addWidget(staticLabel(QStringLiteral("minute every hour"), this), 2, 2, 1, 3);
    alarms->addWidget(staticLabel(QStringLiteral("or"), this), 3, 0);
    alarms->addWidget(Check6, 4, 0);
    alarms->addWidget(Text7, 4, 1);
    alarms->addWidget(staticLabel(QStringLiteral("hour"), this), 4, 2);
    alarms->addWidget(Text8, 4, 3);
    alarms->addWidget(staticLabel(QStringLiteral("minute every day"), this), 4, 4);
    layout->addLayout(alarms);
    layout->addWidget(Label3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command4);
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    layout->addLayout(buttons);

    connect(Check1, &QCheckBox::toggled, this, &setmyclock::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &setmyclock::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &setmyclock::Check3_Click);
    connect(Check4, &QCheckBox::toggled, this, &setmyclock::Check4_Click);
    connect(Check5, &QCheckBox::toggled, this, &setmyclock::Check5_Click);
    connect(Check6, &QCheckBox::toggled, this, &setmyclock::Check6_Click);
    connect(Command1, &QPushButton::clicked, this, &setmyclock::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &setmyclock::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &setmyclock::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &setmyclock::Command4_Click);
    connect(Timer1, &QTimer::timeout, this, &setmyclock::Timer1_Timer);

    // The clock's own lines are read with the time they show; Escape closes as "Close" does.
    Accessibility::valueLabel(Label1, QStringLiteral("Current hour"));
    Accessibility::valueLabel(Label2, QStringLiteral("Current minute"));
    Accessibility::valueLabel(Label3, QStringLiteral("Current date and time"));
    Accessibility::closeOnEscape(this, Command2);
}

void setmyclock::Form_Load()
{
    setWindowTitle(QStringLiteral("Set Alarm Clock - Parlanto"));
    const ClockSettings &s = m_links.settings;
    Check1->setChecked(s.SayOnHour == 1);
    Check2->setChecked(s.SayOnHalf == 1);
    Check3->setChecked(s.SayOnQuarter == 1);
    Text1->setText(s.PrefixText);
    Text2->setText(s.HourWord);
    Text3->setText(s.MinuteWord);
    Text4->setText(s.BellFile);
    Check4->setChecked(s.IntervalAlarmOn == 1);
    Check5->setChecked(s.HourlyAlarmOn == 1);
    Check6->setChecked(s.DailyAlarmOn == 1);

    // The "never" values 70 and 25 show as empty boxes.
    Text5->setText(numberOrEmpty(s.IntervalMinutes, s.IntervalMinutes >= 1));
    Text6->setText(numberOrEmpty(s.HourlyAlarmMinute, s.HourlyAlarmMinute < 60));
    Text7->setText(numberOrEmpty(s.DailyAlarmHour, s.DailyAlarmHour < 24));
    Text8->setText(numberOrEmpty(s.DailyAlarmMinute, s.DailyAlarmMinute < 60));

    setNumberBox(Text5, Check4->isChecked());
    setNumberBox(Text6, Check5->isChecked());
    setNumberBox(Text7, Check6->isChecked());
    setNumberBox(Text8, Check6->isChecked());

    showNow();
    // Sentence words in any script show in the font of the main window's text.
    if (!m_links.textFontName.isEmpty()) {
        for (QLineEdit *box : {Text1, Text2, Text3, Text4}) {
            QFont font = box->font();
            font.setFamily(m_links.textFontName);
            box->setFont(font);
        }
    }
    Timer1->start();
}

void setmyclock::showNow()
{
    const QDateTime now = Clock::instance().now();
    Label1->setText(QString::number(now.time().hour()));
    Label2->setText(QString::number(now.time().minute()));
    const QLocale locale;
    Label3->setText(locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                    now.time().toString(QStringLiteral("HH:mm:ss")));
}

void setmyclock::Timer1_Timer()
{
    showNow();
}

void setmyclock::setNumberBox(QLineEdit *box, bool on)
{
    box->setEnabled(on);
    QPalette palette = box->palette();
    const QColor colour = QColor::fromRgb(on ? OnColour : OffColour);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    box->setPalette(palette);
}

void setmyclock::setAlarmBoxes(QCheckBox *check, std::initializer_list<QLineEdit *> boxes)
{
    const bool on = check->isChecked();
    for (QLineEdit *box : boxes)
        setNumberBox(box, on);
    if (on && m_shown)
        (*boxes.begin())->setFocus(Qt::OtherFocusReason);
}

// The periodic boxes form a ladder: Quarter implies Half, and Half implies Hour.
void setmyclock::Check1_Click()
{
    if (!Check1->isChecked()) {
        Check2->setChecked(false);
        Check3->setChecked(false);
    }
}

void setmyclock::Check2_Click()
{
    if (Check2->isChecked())
        Check1->setChecked(true);
    else
        Check3->setChecked(false);
}

void setmyclock::Check3_Click()
{
    if (Check3->isChecked()) {
        Check1->setChecked(true);
        Check2->setChecked(true);
    }
}

void setmyclock::Check4_Click()
{
    setAlarmBoxes(Check4, {Text5});
}

void setmyclock::Check5_Click()
{
    setAlarmBoxes(Check5, {Text6});
}

void setmyclock::Check6_Click()
{
    setAlarmBoxes(Check6, {Text7, Text8});
}

void setmyclock::Command3_Click()
{
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Select A File");
    request.filters = {{QStringLiteral("Wav file (*.wav)"), QStringLiteral("*.wav")},
                       {QStringLiteral("Mid file (*.mid)"), QStringLiteral("*.mid")}};
    request.initialFolder = Dialogs::startFolder(m_links.lastFolder ? m_links.lastFolder() : QString());
    const auto answer = Dialogs::instance().openFile(this, request);
    // The file-name buffer of the common dialog holds 255 characters.
    if (answer && !answer->fileName.isEmpty() && answer->fileName.size() <= 255)
        Text4->setText(answer->fileName);
}

void setmyclock::Command1_Click()
{
    if (!QFileInfo(Text4->text().trimmed()).isFile()) {
        msgBox(this, QStringLiteral("Bell file is not exists"));
        return;
    }
    ClockSettings s = m_links.settings;
    s.SayOnHour = checkValue(Check1);
    s.SayOnHalf = checkValue(Check2);
    s.SayOnQuarter = checkValue(Check3);
    s.PrefixText = Text1->text().trimmed();
    s.HourWord = Text2->text().trimmed();
    s.MinuteWord = Text3->text().trimmed();
    s.BellFile = Text4->text().trimmed();

    // An alarm switched on with its number box or boxes left empty is switched off.
    s.IntervalAlarmOn = checkValue(Check4);
    s.IntervalMinutes = 0;
    if (s.IntervalAlarmOn == 1) {
        if (!isBlank(Text5)) {
            s.IntervalMinutes = numberOf(Text5);
        } else {
            Check4->setChecked(false);
            s.IntervalAlarmOn = 0;
        }
    }
    m_links.IntervalStart = Clock::instance().now();

    s.HourlyAlarmOn = checkValue(Check5);
    s.HourlyAlarmMinute = ClockSettings::NeverMinute;
    if (s.HourlyAlarmOn == 1) {
        if (!isBlank(Text6)) {
            s.HourlyAlarmMinute = numberOf(Text6);
        } else {
            Check5->setChecked(false);
            s.HourlyAlarmOn = 0;
        }
    }

    s.DailyAlarmOn = checkValue(Check6);
    s.DailyAlarmHour = ClockSettings::NeverHour;
    s.DailyAlarmMinute = ClockSettings::NeverMinute;
    if (s.DailyAlarmOn == 1 && !isBlank(Text7) && !isBlank(Text8)) {
        s.DailyAlarmHour = numberOf(Text7);
        s.DailyAlarmMinute = numberOf(Text8);
    } else if (s.DailyAlarmOn == 1) {
        Check6->setChecked(false);
        s.DailyAlarmOn = 0;
    }

    m_links.settings = s;
    saveClockSettings(m_links.programFolder, s);
    m_links.IntervalStart = Clock::instance().now();
}

void setmyclock::Command2_Click()
{
    close();
}

void setmyclock::Command4_Click()
{
    const QString bell = Text4->text().trimmed();
    m_links.TestBellFile = bell;
    m_links.TestSentence = Text1->text().trimmed() + QLatin1Char(' ') + Label1->text() + QLatin1Char(' ') +
                           Text2->text().trimmed() + QLatin1Char(' ') + Label2->text() + QLatin1Char(' ') +
                           Text3->text().trimmed();
    if (m_links.startTest)
        m_links.startTest();
    // The test still runs without a bell; the user is told why none is heard.
    if (!QFileInfo(bell).isFile())
        msgBox(this, QStringLiteral("Bell file is not exists"));
}

void setmyclock::mousePressEvent(QMouseEvent *event)
{
    // The background drags the window.
    if (event->button() == Qt::LeftButton) {
        if (QWindow *window = windowHandle())
            window->startSystemMove();
    }
    QWidget::mousePressEvent(event);
}

void setmyclock::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_shown = true;
}

bool setmyclock::eventFilter(QObject *watched, QEvent *event)
{
    // Number boxes take digits and Backspace; every other character is discarded.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        if (!text.isEmpty() && key->key() != Qt::Key_Backspace &&
            !(text.size() == 1 && text.at(0).isDigit() && text.at(0) <= QLatin1Char('9')))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}
