#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

class DesktopShell final : public Shell
{
public:
    bool open(const QString &target) override
    {
        const QUrl url = targetUrl(target);
        return url.isValid() && QDesktopServices::openUrl(url);
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
