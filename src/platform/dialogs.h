#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every message box and common dialog goes through this seam. Production shows Qt's dialogs;
// tests install a scripted fake (tests/support/fake_dialogs.h) that answers and records.
class Dialogs
{
public:
    // Windows-style message box buttons, icons and answers.
    enum class Buttons
    {
        Ok,
        OkCancel,
        YesNo,
        YesNoCancel,
        RetryCancel
    };
    enum class Icon
    {
        None,
        Critical,
        Question,
        Exclamation,
        Information
    };
    enum class Answer
    {
        Ok,
        Cancel,
        Yes,
        No,
        Retry
    };

    struct Message
    {
        QString text;
        QString title;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        int defaultButton = 0; // 0 = first button, 1 = second, 2 = third
    };

    struct FileRequest
    {
        QString title;
        QString initialFolder;
        QString initialName;
        // Pairs of description and pattern, e.g. {"Rich Text (*.rtf)", "*.rtf"}.
        QList<QPair<QString, QString>> filters;
        int filterIndex = 1; // 1-based, as the common dialogs count
    };
    struct FileAnswer
    {
        QString fileName;
        int filterIndex = 1;
    };

    virtual ~Dialogs() = default;

    virtual Answer message(QWidget *owner, const Message &message) = 0;
    virtual std::optional<FileAnswer> openFile(QWidget *owner, const FileRequest &request) = 0;
    virtual std::optional<FileAnswer> saveFile(QWidget *owner, const FileRequest &request) = 0;
    // Font and text colour together: `colour` goes in as the current one and, when the user
    // confirms, comes back as the chosen one.
    virtual std::optional<QFont> chooseFont(QWidget *owner, const QFont &initial, QColor &colour) = 0;
    virtual std::optional<QColor> chooseColour(QWidget *owner, const QColor &initial) = 0;
    virtual std::optional<QString> chooseFolder(QWidget *owner, const QString &title,
                                                const QString &initialFolder) = 0;

    // The process-wide instance; Qt's dialogs unless a test installed another.
    static Dialogs &instance();
    // Installs a replacement (not owned); nullptr puts Qt's dialogs back.
    static void install(Dialogs *dialogs);
    // The currently installed replacement, or nullptr when Qt's dialogs are in use.
    static Dialogs *installed();
    // Closes every dialog and message box open now, as if cancelled, innermost first; each
    // caller gets the answer of a box closed without a button.
    static void closeOpen();
    // Whether a dialog or message box is open now, its event loop running.
    static bool anyOpen();

    // The answer of button index (0-based, in Windows order: OK Cancel, Yes No Cancel, Retry
    // Cancel) of a box with these buttons; an index past the last button gives the first's.
    static Answer answerOfButton(Buttons buttons, int index);
    // The answer of a box closed without a button: Cancel where there is one, else No for a
    // Yes/No box, else Ok.
    static Answer closeAnswer(Buttons buttons);
    // The folder a file or folder dialog starts in: `remembered` when it is a folder of the
    // user's. Nothing remembered, a folder that is gone, or the program folder (hidden, and meant
    // for the settings, not for the user's files) start in the user's documents folder, or in
    // the home folder when there is none.
    static QString startFolder(const QString &remembered);
    // A Qt name filter ("Rich Text (*.rtf)") from a Windows pair; Windows separates several
    // patterns with ';', Qt with blanks.
    static QString nameFilter(const QString &description, const QString &pattern);
};

// Convenience: a message box titled "Parlanto" unless told otherwise.
Dialogs::Answer msgBox(QWidget *owner, const QString &text, Dialogs::Buttons buttons = Dialogs::Buttons::Ok,
                       Dialogs::Icon icon = Dialogs::Icon::None,
                       const QString &title = QStringLiteral("Parlanto"), int defaultButton = 0);
