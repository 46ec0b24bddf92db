#include "desktop/help_viewer.h"

#include "platform/accessibility.h"
#include "platform/bounded_file.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

QPointer<HelpViewer> openViewer;

// The shipped page is some tens of kilobytes.
constexpr qint64 MaxPageBytes = 4 * 1024 * 1024;

bool isHtmlFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("htm") || suffix == QLatin1String("html");
}

} // namespace

bool isHelpLink(const QUrl &page, const QUrl &link)
{
    const QUrl target = page.resolved(link);
    if (!target.isLocalFile() || !page.isLocalFile())
        return false;
    const QFileInfo targetFile(target.toLocalFile());
    const QFileInfo pageFile(page.toLocalFile());
    if (targetFile.absoluteFilePath() == pageFile.absoluteFilePath())
        return true;
    return targetFile.absolutePath() == pageFile.absolutePath() && isHtmlFile(targetFile.fileName()) &&
           targetFile.isFile();
}

HelpViewer *HelpViewer::showPage(QWidget *owner, const QString &page)
{
    // The page is read once through the bounded reader first: a link to an endless file under
    // the page's name would otherwise fill the memory as the browser loads it.
    if (!QFileInfo(page).isFile() || !BoundedFile::read(page, MaxPageBytes).ok()) {
        msgBox(owner, missingFileMessage(page), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        return nullptr;
    }
    if (!openViewer)
        openViewer = new HelpViewer();
    openViewer->Browser->setSource(QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()));
    openViewer->show();
    openViewer->raise();
    openViewer->activateWindow();
    openViewer->Browser->setFocus();
    return openViewer;
}

HelpViewer *HelpViewer::window()
{
    return openViewer;
}

void HelpViewer::unloadWindow()
{
    if (openViewer)
        openViewer->close();
}

HelpViewer::HelpViewer() : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Help - Parlanto"));
    resize(720, 560);

    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    // Links are followed here only when they lead to more of the help.
    Browser->setOpenLinks(false);
    Browser->setOpenExternalLinks(false);
    Accessibility::name(Browser, QStringLiteral("Help page"),
                        QStringLiteral("Tab moves from link to link, Enter follows a link"));
    Accessibility::nameScrollBars(Browser, QStringLiteral("Help page"));
    connect(Browser, &QTextBrowser::anchorClicked, this, &HelpViewer::Browser_AnchorClicked);

    Command1 = new QPushButton(QStringLiteral("&Back"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setToolTip(QStringLiteral("Back to the place shown before"));
    Accessibility::name(Command1, QStringLiteral("Back"));
    Command1->setEnabled(false);
    connect(Browser, &QTextBrowser::backwardAvailable, Command1, &QPushButton::setEnabled);
    connect(Command1, &QPushButton::clicked, Browser, &QTextBrowser::backward);

    Command2 = new QPushButton(QStringLiteral("&Close"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setToolTip(QStringLiteral("Close this window"));
    Accessibility::name(Command2, QStringLiteral("Close"));
    connect(Command2, &QPushButton::clicked, this, &QWidget::close);

    auto *column = new QVBoxLayout(this);
    column->addWidget(Browser, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    column->addLayout(buttons);
    Accessibility::tabOrder({Browser, Command1, Command2});
    Accessibility::closeOnEscape(this, Command2);
}

void HelpViewer::Browser_AnchorClicked(const QUrl &link)
{
    const QUrl page = Browser->source();
    if (isHelpLink(page, link)) {
        Browser->setSource(page.resolved(link));
        return;
    }
    const QUrl target = page.resolved(link);
    openWithDesktop(this, target.isLocalFile() ? target.toLocalFile() : target.toString());
}
