#include "desktop/howto.h"

#include "desktop/addin_installers.h"
#include "desktop/help_viewer.h"
#include "desktop/window_drag.h"
#include "platform/accessibility.h"
#include "platform/cursor_file.h"
#include "platform/dialogs.h"
#include "platform/program_folder.h"
#include "platform/program_picture.h"
#include "platform/shell.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

QPointer<howto> openWindow;

constexpr int PictureSize = 16;

// The icon pictures shown in the help lines' runs of blanks.
QPixmap picture(const QString &file)
{
    const QPixmap pixmap = programPicture(file);
    return pixmap.isNull()
               ? pixmap
               : pixmap.scaled(PictureSize, PictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Puts `image` over the first run of three or more blanks in `line`'s caption, where the
// caption leaves room for it.
void placeInBlanks(QLabel *line, QLabel *image)
{
    static const QRegularExpression blanks(QStringLiteral(" {3,}"));
    const QRegularExpressionMatch run = blanks.match(line->text());
    const int offset = run.hasMatch() ? run.capturedStart() + 1 : int(line->text().size());
    const int x = line->contentsMargins().left() + line->margin() +
                  line->fontMetrics().horizontalAdvance(line->text().left(offset));
    image->setParent(line);
    image->show();
    image->move(x, qMax(0, (line->sizeHint().height() - PictureSize) / 2));
}

} // namespace

howto *howto::showWindow()
{
    if (!openWindow) {
        openWindow = new howto();
        openWindow->Form_Load();
    }
    openWindow->show();
    openWindow->raise();
    openWindow->activateWindow();
    return openWindow;
}

howto *howto::window()
{
    return openWindow;
}

void howto::unloadWindow()
{
    if (openWindow)
        openWindow->close();
    HelpViewer::unloadWindow();
}

howto::howto(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("howto"));
    buildControls();
}

void howto::buildControls()
{
    m_drag = new WindowDrag(this);
    connect(m_drag, &WindowDrag::clicked, this, &howto::onClicked);

    auto *column = new QVBoxLayout(this);
    column->setSpacing(2);
    int lineNumber = 12; // the fixed lines are numbered after the named controls
    auto addLine = [&](const QString &caption, bool heading = false) {
        auto *line = new QLabel(caption, this);
        line->setObjectName(QStringLiteral("Label") + QString::number(lineNumber++));
        line->setMinimumHeight(PictureSize + 4);
        if (heading) {
            QFont font = line->font();
            font.setBold(true);
            line->setFont(font);
            column->addSpacing(6);
        }
        column->addWidget(line);
        lines.append(line);
        m_drag->addDragArea(line);
        return line;
    };
    auto addLink = [&](QLabel *&label, const char *name, const QString &caption, const QString &help) {
        label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(name));
        label->setAccessibleName(caption.simplified());
        label->setToolTip(help);
        label->setMinimumHeight(PictureSize + 4);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 192));
        label->setPalette(palette);
        m_drag->addClickable(label);
        lines.append(label);
        return label;
    };
    auto addImage = [&](QLabel *&image, const char *name, const QString &file, const QString &help) {
        image = new QLabel(this);
        image->setObjectName(QLatin1String(name));
        image->setPixmap(picture(file));
        image->setFixedSize(PictureSize, PictureSize);
        image->setAccessibleName(help);
        image->setToolTip(help);
        m_drag->addClickable(image);
        return image;
    };
    auto addPictureIn = [&](QLabel *line, const QString &file) {
        auto *image = new QLabel(this);
        image->setPixmap(picture(file));
        image->setFixedSize(PictureSize, PictureSize);
        placeInBlanks(line, image);
        m_drag->addDragArea(image);
    };

    addLine(QStringLiteral("How to listen to web page?"), true);
    addLine(QStringLiteral("When you browse with Internet Explorer, select the text you"));
    addLine(QString()); // set at load
    addPictureIn(addLine(QStringLiteral("or click        icon on IE toolbar                    .")),
                 QStringLiteral("speak.bmp"));

    addLine(QStringLiteral("How to listen to text file(*.txt file) in explorer?"), true);
    addLine(QStringLiteral("Right-click your text file (*.txt file)  in explorer,"));
    addLine(QString()); // set at load

    addLine(QStringLiteral("How to listen to Microsoft Word document ?"), true);
    addLine(QStringLiteral("If you have installed Microsoft Word, then "));
    column->addWidget(addLink(Label3, "Label3",
                              QStringLiteral("click here, add                   to MS Word."),
                              QStringLiteral("Add the speaker to Microsoft Word's tool bar")));
    placeInBlanks(Label3, addImage(Image2, "Image2", QStringLiteral("speak.bmp"),
                                   QStringLiteral("Add the speaker to Microsoft Word's tool bar")));
    addLine(QStringLiteral("If you have installed Corel WordPerfect, then "));
    column->addWidget(addLink(Label9, "Label9",
                              QStringLiteral("click here, add                    to WordPerfect."),
                              QStringLiteral("Add the speaker macros to WordPerfect")));
    placeInBlanks(Label9, addImage(Image7, "Image7", QStringLiteral("speak.bmp"),
                                   QStringLiteral("Add the speaker macros to WordPerfect")));

    addLine(QStringLiteral("How to listen to LibreOffice Writer document ?"), true);
    addLine(QStringLiteral("If you have installed LibreOffice Writer, then "));
    {
        auto *row = new QHBoxLayout;
        row->setSpacing(6);
        row->addWidget(addImage(Image11, "Image11", QStringLiteral("speak.bmp"),
                                QStringLiteral("Add Speak by Parlanto to LibreOffice Writer")));
        row->addWidget(addLink(Label11, "Label11", QStringLiteral("click here, add to LibreOffice Writer."),
                               QStringLiteral("Add Speak by Parlanto to LibreOffice Writer")));
        row->addStretch(1);
        column->addLayout(row);
    }

    addLine(QStringLiteral("Note:"), true);
    addPictureIn(addLine(QStringLiteral(
                     "Look at right-bottom of screen, there is an icon     . Move mouse  onto this icon,")),
                 QStringLiteral("parlanto.png"));
    addLine(QStringLiteral("you will see a tip. Right-clicking this icon to open menu."));
    addLine(QStringLiteral("Tick \" Watch clipboard\" in that menu, and every text you copy is read aloud."));

    addLine(QStringLiteral("Advice:"), true);
    addLine(QStringLiteral("Install a good anti-virus software and set Macro's security of MS Word to Low."));
    addLine(QStringLiteral("Some functions will take effect after restarting computer."));

    column->addSpacing(8);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(addLink(Label2, "Label2", QStringLiteral("Help on this computer"),
                              QStringLiteral("Open the help page")));
    bottom->addSpacing(24);
    bottom->addWidget(addLink(Label8, "Label8", QStringLiteral("FAQ Online"),
                              QStringLiteral("Open the questions and answers on the web site")));
    bottom->addStretch(1);
    Command1 = new QPushButton(QStringLiteral("&Close"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAccessibleName(QStringLiteral("Close"));
    Command1->setToolTip(QStringLiteral("Close this window"));
    connect(Command1, &QPushButton::clicked, this, &howto::Command1_Click);
    bottom->addWidget(Command1);
    column->addLayout(bottom);

    // The two page links show the program's own hand cursor.
    const QCursor hand = loadCursorFile(programFile(QStringLiteral("H_POINT.CUR")));
    Label2->setCursor(hand);
    Label8->setCursor(hand);
    for (QLabel *installer : {Label3, Label9, Label11, Image2, Image7, Image11})
        installer->setCursor(Qt::PointingHandCursor);
    Accessibility::closeOnEscape(this, Command1);
}

void howto::Form_Load()
{
    setWindowTitle(QStringLiteral("How does it work? - Parlanto"));
    lines[2]->setText(
        QStringLiteral("want to listen to, right-click mouse, click Speak by Parlanto command"));
    lines[6]->setText(QStringLiteral("click Speak by Parlanto command, the text file will be spoken."));
}

void howto::onClicked(QWidget *widget)
{
    if (widget == Label3 || widget == Image2)
        Label3_Click();
    else if (widget == Label9 || widget == Image7)
        Label9_Click();
    else if (widget == Label11 || widget == Image11)
        Label11_Click();
    else if (widget == Label8)
        Label8_Click();
    else if (widget == Label2)
        Label2_Click();
}

void howto::showInstallerMessage(const InstallerMessage &message)
{
    Dialogs::Message box;
    box.text = message.text;
    box.title = message.title;
    box.buttons = message.buttons;
    box.icon = message.icon;
    const Dialogs::Answer answer = Dialogs::instance().message(this, box);
    if (answer == Dialogs::Answer::Yes && !message.mailOnYes.isEmpty())
        openWithDesktop(this, message.mailOnYes);
}

void howto::Label3_Click()
{
    showInstallerMessage(installWordAddIn(programFolder()));
}

void howto::Label9_Click()
{
    showInstallerMessage(installWordPerfectAddIn(programFolder()));
}

void howto::Label11_Click()
{
    if (m_writerInstallRunning)
        return;
    const QString unopkg = findUnopkg();
    const InstallerMessage refusal = writerInstallPrecheck(unopkg, programFolder());
    if (!refusal.text.isEmpty()) {
        showInstallerMessage(refusal);
        emit writerInstallFinished();
        return;
    }

    // The extension manager takes some seconds: it runs without blocking the window, and it
    // is left to finish even when the window is closed meanwhile.
    m_writerInstallRunning = true;
    setCursor(Qt::BusyCursor);
    const QString extension = programFile(QLatin1String(WriterExtensionName));
    auto *process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::MergedChannels);
    QPointer<howto> self(this);
    auto finish = [process, self, extension](int exitCode) {
        process->disconnect();
        process->deleteLater();
        const InstallerMessage outcome =
            writerInstallOutcome(extension, exitCode, QString::fromLocal8Bit(process->readAll()));
        if (!self) {
            Dialogs::Message box;
            box.text = outcome.text;
            box.title = outcome.title;
            Dialogs::instance().message(nullptr, box);
            return;
        }
        self->m_writerInstallRunning = false;
        self->unsetCursor();
        self->showInstallerMessage(outcome);
        emit self->writerInstallFinished();
    };
    connect(process, &QProcess::finished, process, [process, finish](int code, QProcess::ExitStatus status) {
        finish(status == QProcess::NormalExit ? code : -1);
    });
    connect(process, &QProcess::errorOccurred, process, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(-1);
    });
    process->start(unopkg, unopkgAddArguments(extension));
}

void howto::Label8_Click()
{
    openWithDesktop(this, vendorSite() + QStringLiteral("/faq.htm"));
    close();
}

void howto::Label2_Click()
{
    // Parlanto's own page is shown by Parlanto itself: no browser is needed for it.
    HelpViewer::showPage(this, programFile(QStringLiteral("faq.htm")));
    close();
}

void howto::Command1_Click()
{
    close();
}

void howto::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        close();
    else
        QWidget::mouseDoubleClickEvent(event);
}
