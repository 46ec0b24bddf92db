#include "platform/dialogs.h"

#include "platform/font_colour_dialog.h"
#include "platform/process_ending.h"
#include "platform/program_folder.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>

#include <array>

namespace {

struct ButtonRow
{
    std::array<Dialogs::Answer, 3> answers;
    int count;
};

ButtonRow buttonRow(Dialogs::Buttons buttons)
{
    using A = Dialogs::Answer;
    switch (buttons) {
    case Dialogs::Buttons::Ok:
        return {{A::Ok, A::Ok, A::Ok}, 1};
    case Dialogs::Buttons::OkCancel:
        return {{A::Ok, A::Cancel, A::Ok}, 2};
    case Dialogs::Buttons::YesNo:
        return {{A::Yes, A::No, A::Yes}, 2};
    case Dialogs::Buttons::YesNoCancel:
        return {{A::Yes, A::No, A::Cancel}, 3};
    case Dialogs::Buttons::RetryCancel:
        return {{A::Retry, A::Cancel, A::Retry}, 2};
    }
    return {{A::Ok, A::Ok, A::Ok}, 1};
}

QMessageBox::StandardButton standardButton(Dialogs::Answer answer)
{
    switch (answer) {
    case Dialogs::Answer::Ok:
        return QMessageBox::Ok;
    case Dialogs::Answer::Cancel:
        return QMessageBox::Cancel;
    case Dialogs::Answer::Yes:
        return QMessageBox::Yes;
    case Dialogs::Answer::No:
        return QMessageBox::No;
    case Dialogs::Answer::Retry:
        return QMessageBox::Retry;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon messageIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::None:
        return QMessageBox::NoIcon;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// The dialogs whose own event loop runs now, innermost last.
QList<QPointer<QDialog>> openDialogs;

// Runs a dialog made on the heap in its own event loop. The dialog may be deleted meanwhile
// (with its owner window, when the program ends): the answer is then "cancelled" and the
// pointer null; a dialog on the stack would be deleted twice. The caller deletes a dialog
// that is still there.
bool runModal(QPointer<QDialog> &dialog)
{
    openDialogs.append(dialog);
    const int result = dialog->exec();
    openDialogs.removeAll(dialog);
    openDialogs.removeAll(nullptr);
    return dialog && result == QDialog::Accepted && !ProcessEnding::begun();
}

// Qt's own dialogs. Once the program is ending none opens: each answers as if closed.
class QtDialogs final : public Dialogs
{
public:
    Answer message(QWidget *owner, const Message &message) override
    {
        if (ProcessEnding::begun())
            return closeAnswer(message.buttons);
        auto *box = new QMessageBox(messageIcon(message.icon), message.title, message.text,
                                    QMessageBox::NoButton, owner);
        const ButtonRow row = buttonRow(message.buttons);
        QList<QAbstractButton *> added;
        for (int i = 0; i < row.count; ++i)
            added.append(box->addButton(standardButton(row.answers[size_t(i)])));
        const int defaultIndex =
            message.defaultButton >= 0 && message.defaultButton < row.count ? message.defaultButton : 0;
        box->setDefaultButton(qobject_cast<QPushButton *>(added.at(defaultIndex)));
        if (message.buttons == Buttons::Ok)
            box->setEscapeButton(added.first());
        QPointer<QDialog> dialog(box);
        runModal(dialog);
        if (!dialog || ProcessEnding::begun()) {
            delete dialog.data();
            return closeAnswer(message.buttons);
        }
        const int index = added.indexOf(box->clickedButton());
        delete box;
        return index >= 0 ? row.answers[size_t(index)] : closeAnswer(message.buttons);
    }

    std::optional<FileAnswer> openFile(QWidget *owner, const FileRequest &request) override
    {
        return runFileDialog(owner, request, QFileDialog::AcceptOpen);
    }

    std::optional<FileAnswer> saveFile(QWidget *owner, const FileRequest &request) override
    {
        return runFileDialog(owner, request, QFileDialog::AcceptSave);
    }

    // Font and text colour in one dialog; the colour changes only when the user confirms.
    std::optional<QFont> chooseFont(QWidget *owner, const QFont &initial, QColor &colour) override
    {
        if (ProcessEnding::begun())
            return std::nullopt;
        auto *fonts = new FontColourDialog(owner, initial, colour);
        QPointer<QDialog> dialog(fonts);
        std::optional<QFont> chosen;
        if (runModal(dialog)) {
            colour = fonts->selectedColour();
            chosen = fonts->selectedFont();
        }
        delete dialog.data();
        return chosen;
    }

    std::optional<QColor> chooseColour(QWidget *owner, const QColor &initial) override
    {
        if (ProcessEnding::begun())
            return std::nullopt;
        auto *colours = new QColorDialog(initial, owner);
        QPointer<QDialog> dialog(colours);
        std::optional<QColor> chosen;
        if (runModal(dialog) && colours->selectedColor().isValid())
            chosen = colours->selectedColor();
        delete dialog.data();
        return chosen;
    }

    std::optional<QString> chooseFolder(QWidget *owner, const QString &title,
                                        const QString &initialFolder) override
    {
        if (ProcessEnding::begun())
            return std::nullopt;
        auto *folders = new QFileDialog(owner, title, initialFolder);
        folders->setFileMode(QFileDialog::Directory);
        folders->setOption(QFileDialog::ShowDirsOnly, true);
        QPointer<QDialog> dialog(folders);
        std::optional<QString> chosen;
        if (runModal(dialog) && !folders->selectedFiles().isEmpty() &&
            !folders->selectedFiles().constFirst().isEmpty())
            chosen = folders->selectedFiles().constFirst();
        delete dialog.data();
        return chosen;
    }

private:
    static std::optional<FileAnswer> runFileDialog(QWidget *owner, const FileRequest &request,
                                                   QFileDialog::AcceptMode mode)
    {
        if (ProcessEnding::begun())
            return std::nullopt;
        auto *files = new QFileDialog(owner, request.title, request.initialFolder);
        files->setAcceptMode(mode);
        files->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        // Overwrite questions are the caller's, asked in its own words.
        files->setOption(QFileDialog::DontConfirmOverwrite, true);
        QStringList filters;
        for (const auto &[description, pattern] : request.filters)
            filters.append(nameFilter(description, pattern));
        if (!filters.isEmpty()) {
            files->setNameFilters(filters);
            const int index = qBound(1, request.filterIndex, int(filters.size()));
            files->selectNameFilter(filters.at(index - 1));
        }
        if (!request.initialName.isEmpty())
            files->selectFile(request.initialName);
        QPointer<QDialog> dialog(files);
        std::optional<FileAnswer> answer;
        if (runModal(dialog) && !files->selectedFiles().isEmpty()) {
            answer = FileAnswer{files->selectedFiles().constFirst(),
                                qMax(1, int(filters.indexOf(files->selectedNameFilter())) + 1)};
        }
        delete dialog.data();
        return answer;
    }
};

Dialogs *installedDialogs = nullptr;

} // namespace

Dialogs &Dialogs::instance()
{
    static QtDialogs qtDialogs;
    return installedDialogs ? *installedDialogs : static_cast<Dialogs &>(qtDialogs);
}

void Dialogs::install(Dialogs *dialogs)
{
    installedDialogs = dialogs;
}

Dialogs *Dialogs::installed()
{
    return installedDialogs;
}

void Dialogs::closeOpen()
{
    // Innermost first: an outer dialog's loop cannot return while an inner one still runs.
    for (qsizetype i = openDialogs.size() - 1; i >= 0; --i)
        if (QDialog *dialog = openDialogs.at(i))
            dialog->reject();
    // Modal dialogs of Qt's own making (a colour dialog opened from the font dialog).
    for (int guard = 0; guard < 16; ++guard) {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            break;
        dialog->reject();
    }
}

bool Dialogs::anyOpen()
{
    openDialogs.removeAll(nullptr);
    return !openDialogs.isEmpty() || QApplication::activeModalWidget() != nullptr;
}

Dialogs::Answer Dialogs::answerOfButton(Buttons buttons, int index)
{
    const ButtonRow row = buttonRow(buttons);
    return index >= 0 && index < row.count ? row.answers[size_t(index)] : row.answers[0];
}

Dialogs::Answer Dialogs::closeAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
    case Buttons::RetryCancel:
        return Answer::Cancel;
    }
    return Answer::Cancel;
}

QString Dialogs::startFolder(const QString &remembered)
{
    const QString trimmed = remembered.trimmed();
    if (!trimmed.isEmpty()) {
        const QFileInfo folder(trimmed);
        const QString clean = QDir::cleanPath(folder.absoluteFilePath());
        if (folder.isDir() && clean != QDir::cleanPath(programFolder()))
            return trimmed;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

QString Dialogs::nameFilter(const QString &description, const QString &pattern)
{
    const QStringList patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QStringList cleaned;
    for (const QString &one : patterns)
        if (!one.trimmed().isEmpty())
            cleaned.append(one.trimmed());
    const QString joined = cleaned.isEmpty() ? QStringLiteral("*") : cleaned.join(QLatin1Char(' '));
    const QString suffix = QStringLiteral("(") + joined + QStringLiteral(")");
    if (description.trimmed().endsWith(suffix))
        return description.trimmed();
    // Qt takes the last parenthesised group as the patterns, so a different one in the
    // description would hide the real patterns.
    static const QRegularExpression trailingGroup(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QString text = description;
    text.remove(trailingGroup);
    if (text.isEmpty())
        return suffix;
    return text + QLatin1Char(' ') + suffix;
}

Dialogs::Answer msgBox(QWidget *owner, const QString &text, Dialogs::Buttons buttons, Dialogs::Icon icon,
                       const QString &title, int defaultButton)
{
    Dialogs::Message message;
    message.text = text;
    message.title = title;
    message.buttons = buttons;
    message.icon = icon;
    message.defaultButton = defaultButton;
    return Dialogs::instance().message(owner, message);
}
