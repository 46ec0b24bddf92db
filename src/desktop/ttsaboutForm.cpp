#include "desktop/ttsaboutForm.h"

#include "desktop/window_drag.h"
#include "platform/accessibility.h"
#include "platform/program_folder.h"
#include "platform/shell.h"
#include "speech/engine_versions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QPointer<ttsaboutForm> openWindow;

constexpr int MarqueeInterval = 150; // ms per character step

// The encoder as the converter runs it: the program folder's own `lame` first, then PATH.
QString lameProgram()
{
    const QFileInfo own(programFile(QStringLiteral("lame")));
    if (own.isFile() && own.isExecutable())
        return own.absoluteFilePath();
    return QStandardPaths::findExecutable(QStringLiteral("lame"));
}

} // namespace

ttsaboutForm *ttsaboutForm::showWindow()
{
    if (!openWindow) {
        openWindow = new ttsaboutForm();
        openWindow->Form_Load();
    }
    openWindow->show();
    openWindow->raise();
    openWindow->activateWindow();
    return openWindow;
}

ttsaboutForm *ttsaboutForm::window()
{
    return openWindow;
}

void ttsaboutForm::unloadWindow()
{
    if (openWindow)
        openWindow->close();
}

QString ttsaboutForm::marqueeStep(const QString &text)
{
    if (text.size() < 2)
        return text;
    return text.mid(1) + text.front();
}

QString ttsaboutForm::lameVersionFromBanner(const QString &banner)
{
    static const QRegularExpression version(QStringLiteral("^LAME\\b.*\\bversion\\s+(\\S+)"));
    const QRegularExpressionMatch match = version.match(banner.section(QLatin1Char('\n'), 0, 0).trimmed());
    return match.hasMatch() ? match.captured(1) : QString();
}

ttsaboutForm::ttsaboutForm(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("ttsaboutForm"));
    buildControls();
}

void ttsaboutForm::buildControls()
{
    m_drag = new WindowDrag(this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 18, 24, 14);

    auto makeLabel = [&](QLabel *&label, const char *name, int pointSize = 0, bool bold = false) {
        label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setAlignment(Qt::AlignHCenter);
        QFont font = label->font();
        if (pointSize > 0)
            font.setPointSize(pointSize);
        font.setBold(bold);
        label->setFont(font);
        column->addWidget(label);
        return label;
    };

    m_drag->addDragArea(makeLabel(Label1, "Label1", 20, true));
    m_drag->addDragArea(makeLabel(Label2, "Label2"));
    m_drag->addDragArea(makeLabel(Label3, "Label3"));
    column->addSpacing(8);
    m_drag->addClickable(makeLabel(Label4, "Label4"));
    m_drag->addClickable(makeLabel(Label5, "Label5"));
    column->addSpacing(8);
    m_drag->addDragArea(makeLabel(Label6, "Label6"));
    m_drag->addDragArea(makeLabel(Label7, "Label7"));
    m_drag->addDragArea(makeLabel(Label8, "Label8"));
    column->addSpacing(8);
    m_drag->addDragArea(makeLabel(Label9, "Label9", 0, true));
    Label9->setAccessibleName(QStringLiteral("Thank you for using Parlanto"));

    for (QLabel *link : {Label4, Label5}) {
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 192));
        link->setPalette(palette);
        link->setCursor(Qt::PointingHandCursor);
    }
    connect(m_drag, &WindowDrag::clicked, this, [this](QWidget *widget) {
        if (widget == Label4)
            Label4_Click();
        else if (widget == Label5)
            Label5_Click();
    });

    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    Command1 = new QPushButton(QStringLiteral("&OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAccessibleName(QStringLiteral("OK"));
    Command1->setToolTip(QStringLiteral("Close this window"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &ttsaboutForm::Command1_Click);
    bottom->addWidget(Command1);
    bottom->addStretch(1);
    column->addLayout(bottom);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &ttsaboutForm::Timer1_Timer);
    Accessibility::closeOnEscape(this, Command1);
}

void ttsaboutForm::Form_Load()
{
    setWindowTitle(QStringLiteral("About - Parlanto"));
    Label1->setText(QStringLiteral("Parlanto"));
    Label2->setText(versionText());
    Label3->setText(QStringLiteral("Reads text aloud and turns it into WAV and MP3 files."));
    Label4->setText(vendorSite());
    Label4->setToolTip(QStringLiteral("Homepage"));
    Label4->setAccessibleName(QStringLiteral("Homepage ") + vendorSite());
    Label5->setText(QStringLiteral("Support: ") + vendorSupport());
    Label5->setToolTip(QStringLiteral("Write to us"));
    Label5->setAccessibleName(QStringLiteral("Support ") + vendorSupport());
    const QString espeak = espeakVersion();
    Label6->setText(QStringLiteral("eSpeak NG ") +
                    (espeak.isEmpty() ? QStringLiteral("(unknown version)") : espeak));
    Label7->setText(QStringLiteral("Flite ") + fliteVersion());
    Label8->setText(QStringLiteral("lame ..."));
    Label9->setText(QStringLiteral("Thank you for using Parlanto!          "));
    Timer1->start(MarqueeInterval);
    askLameVersion();
}

// Asks the encoder for its version without holding up the window.
void ttsaboutForm::askLameVersion()
{
    const QString lame = lameProgram();
    if (lame.isEmpty()) {
        Label8->setText(QStringLiteral("lame: not found (needed for MP3 files)"));
        emit lameVersionKnown();
        return;
    }
    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    // Closing the window while the encoder still answers kills it, and the answer then arrives
    // while the window's labels are already gone: nothing is left to show it in.
    auto settle = [this, process, label = QPointer<QLabel>(Label8)](const QString &version) {
        if (!label)
            return;
        process->disconnect();
        process->deleteLater();
        Label8->setText(version.isEmpty() ? QStringLiteral("lame (unknown version)")
                                          : QStringLiteral("lame ") + version);
        emit lameVersionKnown();
    };
    connect(process, &QProcess::finished, this,
            [process, settle] { settle(lameVersionFromBanner(QString::fromLocal8Bit(process->readAll()))); });
    connect(process, &QProcess::errorOccurred, this, [settle](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            settle(QString());
    });
    process->start(lame, {QStringLiteral("--version")});
}

void ttsaboutForm::Timer1_Timer()
{
    Label9->setText(marqueeStep(Label9->text()));
}

void ttsaboutForm::Command1_Click()
{
    close();
}

void ttsaboutForm::Label4_Click()
{
    openWithDesktop(this, vendorSite());
}

void ttsaboutForm::Label5_Click()
{
    openWithDesktop(this, QStringLiteral("mailto:") + vendorSupport());
}
