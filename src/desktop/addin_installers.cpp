#include "desktop/addin_installers.h"

#include "platform/program_folder.h"
#include "platform/registry.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <optional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Parlanto = QStringLiteral("Parlanto");
const QString SuccessTitle = QStringLiteral("Success -- Parlanto");

// A descriptor closed when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    // Closes now and reports the close's own error (a late write failure shows up here).
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Writes all of data; 0 or the errno of the failed write.
int writeAll(int fd, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= written;
    }
    return 0;
}

// Copies the open source into the open target; 0 or the errno of the failed step, and
// whether it was the read.
int copyContents(int in, int out, bool &readFailed)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            readFailed = true;
            return errno;
        }
        if (const int error = writeAll(out, buffer, got))
            return error;
    }
}

// A registry value read as a folder or path. Missing: the value is not there (its size could
// not be read); Unreadable: it is there but is not a single text.
struct RegistryText
{
    enum class State
    {
        Missing,
        Unreadable,
        Read
    };
    State state = State::Missing;
    QString text;
};

RegistryText readRegistryText(const QString &key, const QString &name)
{
    const QVariant value = Registry::value(key, name);
    if (!value.isValid())
        return {};
    if (value.typeId() != QMetaType::QString)
        return {RegistryText::State::Unreadable, {}};
    QString text = value.toString();
    // Registry strings end at their first NUL, whatever the stored size says.
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return {RegistryText::State::Read, text};
}

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

FileError FileError::fromErrno(int error, bool isSource)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return isSource ? FileError{FileNotFound, QStringLiteral("File not found")}
                        : FileError{PathNotFound, QStringLiteral("Path not found")};
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return {PermissionDenied, QStringLiteral("Permission denied")};
    case ENOSPC:
    case EDQUOT:
        return {DiskFull, QStringLiteral("Disk full")};
    default:
        return {PathFileAccessError, QString::fromLocal8Bit(std::strerror(error))};
    }
}

FileError copyAddInFile(const QString &source, const QString &target)
{
    Fd in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return FileError::fromErrno(errno, true);
    struct stat info = {};
    if (::fstat(in.get(), &info) != 0)
        return FileError::fromErrno(errno, true);
    if (S_ISDIR(info.st_mode))
        return FileError::fromErrno(EISDIR, true);

    QByteArray temporary = QFile::encodeName(target) + QByteArrayLiteral(".XXXXXX");
    Fd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0)
        return FileError::fromErrno(errno, false);
    bool readFailed = false;
    int error = copyContents(in.get(), out.get(), readFailed);
    if (!error && ::fchmod(out.get(), 0644) != 0)
        error = errno;
    const int closeError = out.close();
    if (!error)
        error = closeError;
    if (!error && ::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return FileError::fromErrno(error, readFailed);
    }
    return {};
}

QString wordKey()
{
    return QStringLiteral(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Winword.exe");
}

QString wordPerfectKey(const QString &version)
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\Corel\\WordPerfect\\") + version +
           QStringLiteral("\\Location of Files\\EN");
}

const QStringList &wordPerfectVersions()
{
    static const QStringList versions = {
        QStringLiteral("6"), QStringLiteral("6.0"), QStringLiteral("6.0a"), QStringLiteral("6.1"),
        QStringLiteral("7"), QStringLiteral("7.0"), QStringLiteral("8"),    QStringLiteral("8.0"),
        QStringLiteral("9"), QStringLiteral("9.0"), QStringLiteral("10"),   QStringLiteral("11"),
    };
    return versions;
}

const QStringList &wordPerfectMacroNames()
{
    static const QStringList names = {
        QStringLiteral("ttsparlSpeak.WCM"),
        QStringLiteral("ttsparlPauseOrResumeSpeaking.WCM"),
        QStringLiteral("ttsparlStopSpeaking.WCM"),
    };
    return names;
}

InstallerMessage installWordAddIn(const QString &programFolder)
{
    const QString key = wordKey();
    const InstallerMessage notFound{QStringLiteral("Can not find MS Word")};
    if (!Registry::keyExists(key))
        return notFound;
    const RegistryText path = readRegistryText(key, QStringLiteral("Path"));
    if (path.state == RegistryText::State::Missing)
        return notFound;
    if (path.state == RegistryText::State::Unreadable)
        return {QStringLiteral("Retrieve Microsoft Office path fail")};

    QString folder = path.text;
    if (folder.startsWith(QLatin1Char('"')))
        folder.remove(0, 1);
    if (folder.endsWith(QLatin1Char('"')))
        folder.chop(1);
    // An empty path would put the template at the top of the file system.
    if (folder.isEmpty())
        return notFound;

    const QString name = QLatin1String(WordTemplateName);
    const QString source = programFolder + QLatin1Char('/') + name;
    const QString target = withSeparator(folder) + QStringLiteral("Startup/") + name;
    const FileError error = copyAddInFile(source, target);
    if (!error)
        return {QStringLiteral("Copy ") + source + QStringLiteral(" TO ") + target +
                    QStringLiteral(" Successfully . The speaker has been added to your MS Word tool bar!"),
                SuccessTitle};
    if (error.number == FileError::FileNotFound)
        return {QStringLiteral("Can not find ") + programFolder + QLatin1Char('/') + name +
                QStringLiteral(" file, please reinstall Parlanto")};
    if (error.number == FileError::PermissionDenied)
        return {QStringLiteral("The file ") + source +
                QStringLiteral(" is opening , please close your MS Word")};

    const QString support = vendorSupport();
    const QString number = QString::number(error.number);
    InstallerMessage question{
        number + QStringLiteral("  ") + error.description +
            QStringLiteral(" (Whould you like E-Mail this error message to me ? My email is ") + support +
            QLatin1Char(')'),
        QStringLiteral("Add Speaker to MS Word Error"), Dialogs::Buttons::YesNo, Dialogs::Icon::Critical};
    // The subject is percent-encoded so that the blanks in it make a valid address.
    const QString subject = QStringLiteral("Add Speaker to MS Word Error Code:") + number +
                            QStringLiteral(" Text:") + error.description;
    question.mailOnYes = QStringLiteral("mailto:") + support + QStringLiteral("?subject=") +
                         QString::fromLatin1(QUrl::toPercentEncoding(subject));
    return question;
}

InstallerMessage installWordPerfectAddIn(const QString &programFolder)
{
    const QString support = vendorSupport();
    const QString none = QStringLiteral("123456789");
    QString version = none;
    for (const QString &candidate : wordPerfectVersions()) {
        if (Registry::keyExists(wordPerfectKey(candidate)))
            version = candidate;
    }
    if (version == none)
        return {QStringLiteral("Can not find Wordperfect. Please tell us your WordPerfect version and "
                               "WordPerfect language, email: ") +
                support};

    const QString key = wordPerfectKey(version);
    const InstallerMessage folderMissing{
        QStringLiteral(
            "Can not find Wordperfect Macro Folder. Is your WordPerfect old version? Please tell us, "
            "our email: ") +
        support};
    const InstallerMessage folderUnreadable{
        QStringLiteral("Some errors occur whem reading Wordperfect Macro Folder. Is your WordPerfect old "
                       "version? Please tell us, our email: ") +
        support};

    auto failure = [&](const FileError &error) -> InstallerMessage {
        if (error.number == FileError::FileNotFound)
            return {error.description + QStringLiteral(", Please reinstall Parlanto")};
        if (error.number == FileError::PermissionDenied)
            return {QStringLiteral("Can not add files for WordPerfect, please close your WordPerfect")};
        return {QStringLiteral("Error number: ") + QString::number(error.number) +
                    QStringLiteral(" Error description: ") + error.description +
                    QStringLiteral(", Please email us this information ") + support,
                QStringLiteral("Some errors occurs Parlanto")};
    };
    // The folder value, or the message that ends the installation.
    auto folderOf = [&](const QString &name, QString &folder) -> std::optional<InstallerMessage> {
        const RegistryText value = readRegistryText(key, name);
        if (value.state == RegistryText::State::Unreadable)
            return folderUnreadable;
        // An empty folder would put the files at the top of the file system.
        if (value.state == RegistryText::State::Missing || value.text.isEmpty())
            return folderMissing;
        folder = withSeparator(value.text);
        return std::nullopt;
    };

    QString macroFolder;
    if (auto stop = folderOf(QStringLiteral("Macro Folder"), macroFolder))
        return *stop;
    for (const QString &macro : wordPerfectMacroNames()) {
        if (const FileError error =
                copyAddInFile(programFolder + QLatin1Char('/') + macro, macroFolder + macro))
            return failure(error);
    }

    QString templateFolder;
    if (auto stop = folderOf(QStringLiteral("Additional Templates Folder"), templateFolder))
        return *stop;
    const QString templateName = QLatin1String(WordPerfectTemplateName);
    if (const FileError error =
            copyAddInFile(programFolder + QLatin1Char('/') + templateName, templateFolder + templateName))
        return failure(error);

    return {
        QStringLiteral("Now, run your WordPerfect, if you can not see three green background icons on its "
                       "toolbar, please use Customize Settings to show.Any question cantact with ") +
            support,
        SuccessTitle};
}

QString findUnopkg()
{
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("unopkg"));
    if (!onPath.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(QStringLiteral("unopkg"),
                                          {QStringLiteral("/usr/lib/libreoffice/program")});
}

QStringList unopkgAddArguments(const QString &extensionPath)
{
    return {QStringLiteral("add"), QStringLiteral("--force"), QStringLiteral("--suppress-license"),
            extensionPath};
}

InstallerMessage writerInstallPrecheck(const QString &unopkg, const QString &programFolder)
{
    if (unopkg.isEmpty())
        return {QStringLiteral("Can not find LibreOffice Writer")};
    const QString extension = programFolder + QLatin1Char('/') + QLatin1String(WriterExtensionName);
    if (!QFileInfo(extension).isFile())
        return {QStringLiteral("Can not find ") + extension +
                QStringLiteral(" file, please reinstall Parlanto")};
    return {QString()};
}

InstallerMessage writerInstallOutcome(const QString &extensionPath, int exitCode, const QString &output)
{
    if (exitCode == 0)
        return {QStringLiteral("Add ") + extensionPath +
                    QStringLiteral(" TO LibreOffice Writer Successfully . The speaker has been added to your "
                                   "LibreOffice Writer tool bar! Please restart LibreOffice Writer."),
                SuccessTitle};
    // The last lines of what unopkg said are its reason; the rest is its banner.
    QString reason = output.simplified();
    constexpr int maxReason = 400;
    if (reason.size() > maxReason)
        reason = QStringLiteral("...") + reason.right(maxReason);
    if (reason.isEmpty())
        reason = exitCode < 0 ? QStringLiteral("unopkg could not be run") : QStringLiteral("unopkg failed");
    return {QStringLiteral("Error number: ") + QString::number(exitCode) +
                QStringLiteral(" Error description: ") + reason +
                QStringLiteral(", Please email us this information ") + vendorSupport(),
            QStringLiteral("Some errors occurs Parlanto")};
}
