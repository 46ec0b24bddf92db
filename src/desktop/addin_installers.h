#pragma once

#include "platform/dialogs.h"

#include <QString>
#include <QStringList>

#include <utility>

// The help window's one-click installers: they put Parlanto's add-in files into Microsoft
// Word's start-up folder, into WordPerfect's macro and template folders, and into LibreOffice
// Writer. Each ends with one message for the user; nothing is rolled back on a failure.

// A failed file operation, numbered and worded as Basic's run-time errors are, since the
// installers' messages quote both.
struct FileError
{
    int number = 0; // 0 = no error
    QString description;

    static constexpr int FileNotFound = 53;
    static constexpr int DiskFull = 61;
    static constexpr int PermissionDenied = 70;
    static constexpr int PathFileAccessError = 75;
    static constexpr int PathNotFound = 76;

    explicit operator bool() const { return number != 0; }
    // The error of an errno value from opening the source (isSource) or writing the target.
    static FileError fromErrno(int error, bool isSource);
};

// Copies source to target, replacing the target. The copy is written beside the target and
// renamed into place, so a failed copy leaves neither a half file nor a damaged old one.
FileError copyAddInFile(const QString &source, const QString &target);

// How an installer ends: the message box to show and, for the question that offers to mail
// the error, the "mailto:" address to open when the user answers Yes.
struct InstallerMessage
{
    InstallerMessage(QString text = {}, QString title = QStringLiteral("Parlanto"),
                     Dialogs::Buttons buttons = Dialogs::Buttons::Ok,
                     Dialogs::Icon icon = Dialogs::Icon::None)
        : text(std::move(text)), title(std::move(title)), buttons(buttons), icon(icon)
    {}

    QString text;
    QString title;
    Dialogs::Buttons buttons;
    Dialogs::Icon icon;
    QString mailOnYes;
};

// Registry keys the installers read (never write).
QString wordKey();
QString wordPerfectKey(const QString &version);
// WordPerfect versions in the order they are tried; the last one present wins.
const QStringList &wordPerfectVersions();

// The add-in files, as named in the program folder.
inline constexpr auto WordTemplateName = "ttsparlSpeak.dot";
const QStringList &wordPerfectMacroNames();
inline constexpr auto WordPerfectTemplateName = "ttsparlwp11.wpt";
inline constexpr auto WriterExtensionName = "parlanto.oxt";

// Copies "ttsparlSpeak.dot" from programFolder into the "Startup" folder under Word's path.
InstallerMessage installWordAddIn(const QString &programFolder);
// Copies the three macros and the template into the newest WordPerfect's folders.
InstallerMessage installWordPerfectAddIn(const QString &programFolder);

// LibreOffice's extension manager: the `unopkg` next to LibreOffice's own programs, else the
// one on PATH. Empty when LibreOffice is not installed.
QString findUnopkg();
// The arguments that add the extension for the current user, replacing an older copy.
QStringList unopkgAddArguments(const QString &extensionPath);
// The message once `unopkg` has ended; exitCode -1 means it could not be started or crashed.
InstallerMessage writerInstallOutcome(const QString &extensionPath, int exitCode, const QString &output);
// What is said before `unopkg` runs: the message when LibreOffice or the extension cannot be
// found, nothing (empty text) when the installation can start.
InstallerMessage writerInstallPrecheck(const QString &unopkg, const QString &programFolder);
