#include "tools/updatewin.h"

#include "platform/accessibility.h"
#include "platform/cursor_file.h"
#include "platform/dialogs.h"
#include "platform/program_folder.h"
#include "platform/record_codec.h"
#include "platform/twips.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace {

const QString VersionFileName = QStringLiteral("newversion.ini");
const QString InstallerFileName = QStringLiteral("tempsetup.exe");
// A transfer that receives nothing for this long has failed.
constexpr int TransferTimeoutMs = 30000;
// What the network layer may hold of a body the window has not read yet.
constexpr qint64 ReadBufferBytes = 256 * 1024;

QString quoted(const char *word)
{
    return QStringLiteral("Click \"") + QLatin1String(word) + QStringLiteral("\" button");
}

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

qint64 monotonicMs()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

// A transfer that ended in an error, or in an answer that is not the file (a redirect left
// unfollowed, an error page the network layer did not flag).
bool transferFailed(const WebTransfer &reply)
{
    const int status = reply.httpStatus();
    return reply.failed() || status < 200 || status > 299;
}

void removeIfExists(const QString &path)
{
    if (QFileInfo::exists(path))
        QFile::remove(path);
}

} // namespace

updatewin::updatewin(Links links, QWidget *parent) : QWidget(parent, Qt::Window), m_links(std::move(links))
{
    setObjectName(QStringLiteral("updatewin"));
    buildControls();
    connect(Command4, &QPushButton::clicked, this, &updatewin::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &updatewin::Command5_Click);
    connect(Command1, &QPushButton::clicked, this, &updatewin::Command1_Click);
    connect(Command8, &QPushButton::clicked, this, &updatewin::Command8_Click);
}

updatewin::~updatewin()
{
    cancelQuietly(m_inet3);
    cancelQuietly(m_inet4);
}

void updatewin::buildControls()
{
    setFixedSize(twipsToPixels(6300), twipsToPixels(3480));

    const auto makeLabel = [this](QLabel *&label, const char *name, int left, int top, int width,
                                  int height) {
        label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        placeTwips(label, left, top, width, height);
    };
    makeLabel(Label1, "Label1", 300, 240, 5700, 285);
    makeLabel(Label2, "Label2", 300, 600, 5700, 285);
    makeLabel(Label5, "Label5", 300, 960, 5700, 285);
    makeLabel(Label6, "Label6", 300, 1320, 5700, 285);
    makeLabel(Label8, "Label8", 300, 1680, 5700, 480);
    Label8->setText(QStringLiteral("This application will be closed when update package begins running"));
    Label8->setWordWrap(true);
    makeLabel(Label40, "Label40", 300, 2280, TrackWidthTwips, 240);
    Label40->setFrameShape(QFrame::Panel);
    Label40->setFrameShadow(QFrame::Sunken);
    makeLabel(Label4, "Label4", 300, 2280, 0, 240);
    Label4->setAutoFillBackground(true);
    QPalette filled = Label4->palette();
    filled.setColor(QPalette::Window, QColor(0, 0, 128));
    Label4->setPalette(filled);
    makeLabel(Label20, "Label20", 5400, 2280, 700, 240);
    Label1->setAccessibleName(QStringLiteral("Current version"));
    Label2->setAccessibleName(QStringLiteral("Update state"));
    Label5->setAccessibleName(QStringLiteral("Check result"));
    Label6->setAccessibleName(QStringLiteral("Next step"));
    Label8->setAccessibleName(QStringLiteral("Warning"));
    Label40->setAccessibleName(QStringLiteral("Download progress"));
    Label20->setAccessibleName(QStringLiteral("Download percentage"));

    const auto makeButton = [this](QPushButton *&button, const char *name, const QString &caption, int left) {
        button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        placeTwips(button, left, 2760, 1200, 420);
    };
    makeButton(Command4, "Command4", QStringLiteral("&Check"), 300);
    makeButton(Command5, "Command5", QStringLiteral("&Update"), 1620);
    makeButton(Command1, "Command1", QStringLiteral("&Stop"), 2940);
    makeButton(Command8, "Command8", QStringLiteral("C&lose"), 4800);
    Command4->setCursor(loadCursorFile(programFile(QStringLiteral("H_POINT.CUR"))));
    Command5->hide();
    Command1->hide();
    Label8->hide();

    // The state lines are read with what they show; Escape closes as "Close" does.
    const std::pair<QLabel *, QString> states[] = {
        {Label1, QStringLiteral("Current version")},
        {Label2, QStringLiteral("Update state")},
        {Label5, QStringLiteral("Check result")},
        {Label6, QStringLiteral("Next step")},
        {Label8, QStringLiteral("Warning")},
        {Label40, QStringLiteral("Download progress")},
        {Label20, QStringLiteral("Download percentage")},
    };
    for (const auto &[label, caption] : states)
        Accessibility::valueLabel(label, caption);
    Accessibility::closeOnEscape(this, Command8);
}

void updatewin::Form_Load()
{
    DownloadState = 1;
    if (m_links.UpdateCloseAllowed)
        *m_links.UpdateCloseAllowed = false;
    const QString versionFile = programFile(VersionFileName);
    if (QFileInfo::exists(versionFile) && !QFile::remove(versionFile)) {
        showLostFiles();
        return;
    }
    Label20->clear();
    Label5->clear();
    setBarWidth(0);
    Command4->setText(QStringLiteral("&Check"));
    Command5->setText(QStringLiteral("&Update"));
    Label2->setText(quoted("Check"));
    Command4->show();
    Command5->hide();
    CurrentVersionText =
        m_links.versionCaption ? update::currentVersionText(m_links.versionCaption()) : QString();
    if (CurrentVersionText.isEmpty()) {
        showLostFiles();
        return;
    }
    Label1->setText(QStringLiteral("Current version ") + CurrentVersionText);
    Label4->hide();
    Label5->hide();
    Label6->hide();
    setWindowTitle(QStringLiteral("Update Online - Parlanto"));
}

void updatewin::showLostFiles()
{
    Label1->setText(QStringLiteral("Some files are lost."));
    Label2->setText(QStringLiteral("Please reinstall this software, then update it"));
    Command4->hide();
    Label5->hide();
    Label6->hide();
    Label40->hide();
    Label4->hide();
    setWindowTitle(QStringLiteral("Update Online - Parlanto"));
}

void updatewin::showTransferState(int state)
{
    const QString text = update::stateText(state);
    if (!text.isNull())
        Label2->setText(text);
}

// The timer may be the one whose timeout ended the transfer: it goes once that is delivered.
updatewin::Transfer::~Transfer()
{
    if (!deadline)
        return;
    deadline->stop();
    deadline->disconnect();
    deadline->deleteLater();
}

std::unique_ptr<updatewin::Transfer> updatewin::startTransfer(const QString &url, qint64 deadlineMs,
                                                              std::function<void()> headers,
                                                              std::function<void()> readyRead,
                                                              std::function<void()> finished)
{
    if (!m_network)
        m_network = WebSession::open();
    WebTransfer::Request request;
    request.url = QUrl(url);
    request.idleTimeoutMs = TransferTimeoutMs;
    // Every redirect is checked here: only within the update site, a few times.
    request.maxRedirects = update::MaxRedirects;
    request.redirectAllowed = [](const QUrl &target) {
        return update::redirectAllowed(QUrl(update::updateSite()), target);
    };
    request.readBufferBytes = ReadBufferBytes;
    request.connecting = [this] { showTransferState(update::StateConnecting); };
    request.requestSent = [this] { showTransferState(update::StateRequestSent); };
    request.metaDataChanged = [this, headers = std::move(headers)] {
        showTransferState(update::StateReceivingResponse);
        if (headers)
            headers();
    };
    request.readyRead = std::move(readyRead);
    request.finished = std::move(finished);
    showTransferState(update::StateResolving);
    auto transfer = std::make_unique<Transfer>();
    transfer->web = m_network->get(std::move(request));
    // The overall deadline.
    transfer->deadline = new QTimer(this);
    transfer->deadline->setSingleShot(true);
    transfer->startedMs = monotonicMs();
    WebTransfer *web = transfer->web.get();
    connect(transfer->deadline, &QTimer::timeout, this, [web] { web->abort(); });
    transfer->deadline->start(int(std::min<qint64>(deadlineMs, std::numeric_limits<int>::max())));
    return transfer;
}

// A deadline counted from the transfer's start, once its size is known.
void updatewin::extendDeadline(Transfer &transfer, qint64 deadlineMs)
{
    const qint64 spent = monotonicMs() - transfer.startedMs;
    transfer.deadline->start(int(std::clamp<qint64>(deadlineMs - spent, 0, std::numeric_limits<int>::max())));
}

// ---- Check

void updatewin::Command4_Click()
{
    if (m_inet3)
        return;
    m_versionBytes.clear();
    Command4->setEnabled(false);
    m_inet3 = startTransfer(
        update::versionFileUrl(), update::transferDeadlineMs(m_limits.versionFileCap, m_limits), nullptr,
        [this] { Inet3_ReadyRead(); }, [this] { Inet3_Finished(); });
}

void updatewin::Inet3_ReadyRead()
{
    // Never more than the cap and one piece over it: far too long for a version file is an
    // error page, a wrong address or a hostile server.
    WebTransfer &reply = *m_inet3->web;
    m_versionBytes += reply.read(m_limits.versionFileCap + 1 - m_versionBytes.size());
    const std::optional<qint64> announced = update::announcedSize(reply.rawHeader("Content-Length"));
    if (m_versionBytes.size() > m_limits.versionFileCap ||
        (announced && *announced > m_limits.versionFileCap))
        reply.abort();
}

void updatewin::Inet3_Finished()
{
    // Whatever the transfer still reports after its end is no longer this window's.
    const std::unique_ptr<Transfer> ended = std::move(m_inet3);
    WebTransfer &reply = *ended->web;
    Command4->setEnabled(true);
    if (transferFailed(reply) || m_versionBytes.size() > m_limits.versionFileCap) {
        showTransferState(update::StateError);
        checkFailed();
        return;
    }
    m_versionBytes += reply.read(m_limits.versionFileCap + 1 - m_versionBytes.size());
    if (m_versionBytes.size() > m_limits.versionFileCap) {
        checkFailed();
        return;
    }
    showTransferState(update::StateResponseReceived);
    showTransferState(update::StateResponseCompleted);

    // Through the record writer: whole or not at all, and never blocked by a FIFO in its place.
    if (!writeRecordFile(programFile(VersionFileName), m_versionBytes)) {
        checkFailed();
        return;
    }

    m_versionFile = update::readVersionFile(m_versionBytes);
    switch (update::compareVersions(CurrentVersionText, m_versionFile)) {
    case update::CheckOutcome::Failed:
        checkFailed();
        return;
    case update::CheckOutcome::NoNewVersion:
        Label5->setText(QStringLiteral("No new version"));
        Label5->show();
        return;
    case update::CheckOutcome::NewVersion:
        Label5->setText(QStringLiteral("Found new version ") + m_versionFile.newestText);
        Label6->setText(quoted("Update"));
        Command5->show();
        Command1->show();
        Label5->show();
        Label6->show();
        Label8->show();
        return;
    }
}

void updatewin::checkFailed()
{
    removeIfExists(programFile(VersionFileName));
    cancelQuietly(m_inet3);
    Command4->setEnabled(true);
    // The box waits until the transfer's own end has run: opened from inside it, the box's
    // event loop would keep a half-aborted transfer receiving while it is shown.
    QTimer::singleShot(0, this, &updatewin::showSorry);
}

void updatewin::showSorry()
{
    msgBox(
        this,
        QStringLiteral("Sorry, maybe you do not connect to Internet or an error has occurred on the author's "
                       "website, please try after a while"),
        Dialogs::Buttons::Ok, Dialogs::Icon::None, windowTitle());
}

// ---- Update, Stop and the download

void updatewin::Command5_Click()
{
    DownloadState = 1;
    if (m_links.UpdateCancel)
        *m_links.UpdateCancel = false;
    cancelQuietly(m_inet3);
    if (m_inet4)
        return;
    Command4->setEnabled(false);
    setBarWidth(0);
    Label4->show();
    m_expectedSize = 0;
    m_written = 0;
    m_fault = DownloadFault::None;
    // Until the size is known, the deadline of the smallest installer.
    m_inet4 = startTransfer(
        update::installerUrl(), update::transferDeadlineMs(0, m_limits), [this] { Inet4_Headers(); },
        [this] { Inet4_ReadyRead(); }, [this] { Inet4_Finished(); });
}

void updatewin::Command1_Click()
{
    DownloadState = 100;
    if (m_inet4)
        m_inet4->web->abort();
}

void updatewin::Inet4_Headers()
{
    if (m_installer.isOpen() || m_fault != DownloadFault::None)
        return;
    const int status = m_inet4->web->httpStatus();
    // An error page is left to the transfer's own error.
    if (status < 200 || status > 299)
        return;
    const std::optional<qint64> size = update::announcedSize(m_inet4->web->rawHeader("Content-Length"));
    if (!size) {
        endDownload(DownloadFault::NoSize);
        return;
    }
    if (*size > m_limits.installerCap) {
        endDownload(DownloadFault::TooLong);
        return;
    }
    m_expectedSize = *size;
    extendDeadline(*m_inet4, update::transferDeadlineMs(m_expectedSize, m_limits));
    // The old copy goes; the new one is created afresh (never through whatever stands in its
    // place) and only the user may read, write or run it.
    const QString path = programFile(InstallerFileName);
    m_installer.setFileName(path);
    if ((QFileInfo::exists(path) || QFileInfo(path).isSymLink()) && !QFile::remove(path)) {
        endDownload(DownloadFault::WriteFailed);
        return;
    }
    if (!m_installer.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        endDownload(DownloadFault::WriteFailed);
        return;
    }
    Label20->setText(*update::percentText(0, m_expectedSize));
}

void updatewin::Inet4_ReadyRead()
{
    if (m_links.UpdateCancel && *m_links.UpdateCancel)
        DownloadState = 100;
    WebTransfer &reply = *m_inet4->web;
    if (DownloadState == 100) {
        reply.abort();
        return;
    }
    if (!m_installer.isOpen()) {
        reply.skip(reply.bytesAvailable()); // the body of an error page
        return;
    }
    // Never more than one byte past what was announced: that much already proves it too long.
    const QByteArray chunk = reply.read(m_expectedSize + 1 - m_written);
    if (m_written + chunk.size() > m_expectedSize) {
        endDownload(DownloadFault::TooLong);
        return;
    }
    if (m_installer.write(chunk) != chunk.size()) {
        endDownload(DownloadFault::WriteFailed);
        return;
    }
    m_written += chunk.size();
    Label20->setText(*update::percentText(m_written, m_expectedSize));
    setBarWidth(update::barWidthTwips(m_written, m_expectedSize, TrackWidthTwips));
}

void updatewin::endDownload(DownloadFault fault)
{
    m_fault = fault;
    m_inet4->web->abort();
}

void updatewin::Inet4_Finished()
{
    const std::unique_ptr<Transfer> ended = std::move(m_inet4);
    const bool failed = transferFailed(*ended->web);
    m_installer.close();
    Command4->setEnabled(true);

    if (DownloadState == 100) {
        // Stopped by the user: the partial file stays and is not run.
        showNothingInstalled();
        return;
    }
    // Whatever fails from here on leaves nothing to run and the bar back at 0%.
    if (m_fault != DownloadFault::None || failed)
        showNothingInstalled();
    // The boxes wait until the transfer's own end has run (see checkFailed).
    switch (m_fault) {
    case DownloadFault::None:
        break;
    case DownloadFault::NoSize:
        removeInstaller();
        QTimer::singleShot(0, this, &updatewin::showSorry);
        return;
    case DownloadFault::TooLong:
    case DownloadFault::WriteFailed:
        removeInstaller();
        QTimer::singleShot(0, this, &updatewin::downloadNotVerified);
        return;
    }
    if (failed) {
        showTransferState(update::StateError);
        removeInstaller();
        return;
    }
    showTransferState(update::StateResponseReceived);
    showTransferState(update::StateResponseCompleted);

    const QString path = programFile(InstallerFileName);
    const std::optional<update::Download> download = update::measureFile(path, m_expectedSize);
    if (!download || !update::installerVerified(*download, m_expectedSize, m_versionFile.installerHash)) {
        showNothingInstalled();
        removeInstaller();
        QTimer::singleShot(0, this, &updatewin::downloadNotVerified);
        return;
    }
    Label20->setText(QStringLiteral("100%"));
    setBarWidth(TrackWidthTwips);
    if (!QProcess::startDetached(path, {}, programFolder()))
        return;
    if (m_links.endForInstaller)
        m_links.endForInstaller();
}

void updatewin::downloadNotVerified()
{
    msgBox(this,
           QStringLiteral("The update could not be verified, so it has been removed and not run. Please try "
                          "after a while"),
           Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation, windowTitle());
}

void updatewin::removeInstaller()
{
    m_installer.close();
    removeIfExists(programFile(InstallerFileName));
}

void updatewin::showNothingInstalled()
{
    Label20->setText(QStringLiteral("0%"));
    setBarWidth(StoppedBarWidthTwips);
    Label4->hide();
}

void updatewin::setBarWidth(int twips)
{
    const QRect track = Label40->geometry();
    Label4->setGeometry(track.x(), track.y(), twipsToPixels(twips), track.height());
}

// ---- Closing

void updatewin::Command8_Click()
{
    if (m_links.UpdateCloseAllowed)
        *m_links.UpdateCloseAllowed = true;
    cancelQuietly(m_inet4);
    cancelQuietly(m_inet3);
    close();
}

void updatewin::closeEvent(QCloseEvent *event)
{
    removeIfExists(programFile(VersionFileName));
    if (m_links.UpdateCloseAllowed && !*m_links.UpdateCloseAllowed) {
        event->ignore();
        return;
    }
    cancelQuietly(m_inet4);
    cancelQuietly(m_inet3);
    m_installer.close();
    event->accept();
}

void updatewin::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        if (QWindow *window = windowHandle())
            window->startSystemMove();
    }
    QWidget::mousePressEvent(event);
}

void updatewin::cancelQuietly(std::unique_ptr<Transfer> &transfer)
{
    // A transfer ended by its owner reports nothing more.
    transfer.reset();
}
