#include "platform/dialogs.h"

#include "platform/font_colour_dialog.h"
#include "platform/program_folder.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
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

// Qt's own dialogs.
class QtDialogs final : public Dialogs
{
public:
    Answer message(QWidget *owner, const Message &message) override
    {
        QMessageBox box(messageIcon(message.icon), message.title, message.text, QMessageBox::NoButton, owner);
        const ButtonRow row = buttonRow(message.buttons);
        QList<QAbstractButton *> added;
        for (int i = 0; i < row.count; ++i)
            added.append(box.addButton(standardButton(row.answers[size_t(i)])));
        const int defaultIndex =
            message.defaultButton >= 0 && message.defaultButton < row.count ? message.defaultButton : 0;
        box.setDefaultButton(qobject_cast<QPushButton *>(added.at(defaultIndex)));
        if (message.buttons == Buttons::Ok)
            box.setEscapeButton(added.first());
        box.exec();
        QAbstractButton *clicked = box.clickedButton();
        const int index = added.indexOf(clicked);
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
        FontColourDialog dialog(owner, initial, colour);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        colour = dialog.selectedColour();
        return dialog.selectedFont();
    }

    std::optional<QColor> chooseColour(QWidget *owner, const QColor &initial) override
    {
        const QColor colour = QColorDialog::getColor(initial, owner);
        if (!colour.isValid())
            return std::nullopt;
        return colour;
    }

    std::optional<QString> chooseFolder(QWidget *owner, const QString &title,
                                        const QString &initialFolder) override
    {
        const QString folder = QFileDialog::getExistingDirectory(owner, title, initialFolder);
        if (folder.isEmpty())
            return std::nullopt;
        return folder;
    }

private:
    static std::optional<FileAnswer> runFileDialog(QWidget *owner, const FileRequest &request,
                                                   QFileDialog::AcceptMode mode)
    {
        QFileDialog dialog(owner, request.title, request.initialFolder);
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                           : QFileDialog::AnyFile);
        // Overwrite questions are the caller's, asked in its own words.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        QStringList filters;
        for (const auto &[description, pattern] : request.filters)
            filters.append(nameFilter(description, pattern));
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            const int index = qBound(1, request.filterIndex, int(filters.size()));
            dialog.selectNameFilter(filters.at(index - 1));
        }
        if (!request.initialName.isEmpty())
            dialog.selectFile(request.initialName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        FileAnswer answer;
        answer.fileName = dialog.selectedFiles().first();
        answer.filterIndex = qMax(1, int(filters.indexOf(dialog.selectedNameFilter())) + 1);
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
