#include "platform/shell.h"

#include "platform/dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#include <memory>

namespace {

class DesktopShell final : public Shell
{
public:
    bool open(const QString &target, LateFailure failed) override
    {
        const QUrl url = targetUrl(target);
        if (!url.isValid())
            return false;
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty())
            return QDesktopServices::openUrl(url);
        // Qt starts xdg-open detached and never hears that it found no program for the target;
        // its exit status says so. Without a desktop of its own xdg-open waits for the program it
        // started, so this never waits for it.
        auto *process = new QProcess(QCoreApplication::instance());
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->setStandardInputFile(QProcess::nullDevice());
        auto report = std::make_shared<LateFailure>(std::move(failed));
        QObject::connect(process, &QProcess::finished, process,
                         [process, report](int code, QProcess::ExitStatus status) {
                             process->deleteLater();
                             if ((status != QProcess::NormalExit || code != 0) && *report)
                                 (*report)();
                         });
        QObject::connect(process, &QProcess::errorOccurred, process,
                         [process, report](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart)
                                 return;
                             process->deleteLater();
                             if (*report)
                                 (*report)();
                         });
        process->start(opener, {url.toString(QUrl::FullyEncoded)});
        return true;
    }
};

Shell *installedShell = nullptr;

} // namespace

QUrl targetUrl(const QString &target)
{
    const QString trimmed = target.trimmed();
    if (trimmed.isEmpty())
        return {};
    // An absolute or existing path is a file even when it contains a ':'.
    if (trimmed.startsWith(QLatin1Char('/')) || QFileInfo::exists(trimmed))
        return QUrl::fromLocalFile(QFileInfo(trimmed).absoluteFilePath());
    const QUrl url(trimmed, QUrl::StrictMode);
    // A scheme of one letter would be a Windows drive, not a URL.
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(trimmed).absoluteFilePath());
}

Shell &Shell::instance()
{
    static DesktopShell desktopShell;
    return installedShell ? *installedShell : static_cast<Shell &>(desktopShell);
}

void Shell::install(Shell *shell)
{
    installedShell = shell;
}

Shell *Shell::installed()
{
    return installedShell;
}

QString missingFileMessage(const QString &target)
{
    return QStringLiteral("Parlanto could not open %1: the file does not exist.").arg(target);
}

QString notOpenedMessage(const QString &target)
{
    return QStringLiteral("Parlanto could not open %1: no program on this computer is set up to open it.")
        .arg(target);
}

bool openWithDesktop(QWidget *owner, const QString &target)
{
    const QString named = target.trimmed();
    const QUrl url = targetUrl(named);
    if (!url.isValid())
        return false;
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        msgBox(owner, missingFileMessage(named), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
        return false;
    }
    // The window that asked may be gone by the time a late failure is known.
    const QPointer<QWidget> asking(owner);
    const auto sayNotOpened = [asking, named] {
        msgBox(asking.data(), notOpenedMessage(named), Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation);
    };
    if (Shell::instance().open(named, sayNotOpened))
        return true;
    sayNotOpened();
    return false;
}
