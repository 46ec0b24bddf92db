#pragma once

#include "platform/dialogs.h"

#include <QList>

#include <deque>

// A scripted stand-in for every dialog. Tests queue the next answers per kind and read what
// was asked. With nothing queued a message box answers with its default button and every
// other dialog is cancelled, so a test never blocks. Installs itself for its lifetime and
// puts back whatever was installed before.
class FakeDialogs final : public Dialogs
{
public:
    enum class FileKind
    {
        Open,
        Save
    };
    struct FileCall
    {
        FileKind kind;
        FileRequest request;
    };
    struct FontCall
    {
        QFont initial;
        QColor colour;
    };

    FakeDialogs();
    ~FakeDialogs() override;
    FakeDialogs(const FakeDialogs &) = delete;
    FakeDialogs &operator=(const FakeDialogs &) = delete;

    // Scripting.
    void queueAnswer(Answer answer) { m_answers.push_back(answer); }
    void queueFile(const QString &fileName, int filterIndex = 1)
    {
        m_files.push_back(FileAnswer{fileName, filterIndex});
    }
    void queueFileCancel() { m_files.push_back(std::nullopt); }
    // A chosen font, optionally with a colour (the colour argument is set to it).
    void queueFont(const QFont &font, const QColor &colour = QColor())
    {
        m_fonts.push_back(FontAnswer{font, colour});
    }
    void queueFontCancel() { m_fonts.push_back(std::nullopt); }
    void queueColour(const QColor &colour) { m_colours.push_back(colour); }
    void queueColourCancel() { m_colours.push_back(std::nullopt); }
    void queueFolder(const QString &folder) { m_folders.push_back(folder); }
    void queueFolderCancel() { m_folders.push_back(std::nullopt); }

    // What was asked, in order.
    const QList<Message> &messages() const { return m_messages; }
    const QList<FileCall> &fileCalls() const { return m_fileCalls; }
    const QList<FontCall> &fontCalls() const { return m_fontCalls; }
    const QList<QColor> &colourCalls() const { return m_colourCalls; }
    const QList<QPair<QString, QString>> &folderCalls() const { return m_folderCalls; } // title, folder
    // Scripted answers nobody asked for (a test may want none left over).
    int unusedAnswers() const
    {
        return int(m_answers.size() + m_files.size() + m_fonts.size() + m_colours.size() + m_folders.size());
    }
    void clearRecords();

    Answer message(QWidget *owner, const Message &message) override;
    std::optional<FileAnswer> openFile(QWidget *owner, const FileRequest &request) override;
    std::optional<FileAnswer> saveFile(QWidget *owner, const FileRequest &request) override;
    std::optional<QFont> chooseFont(QWidget *owner, const QFont &initial, QColor &colour) override;
    std::optional<QColor> chooseColour(QWidget *owner, const QColor &initial) override;
    std::optional<QString> chooseFolder(QWidget *owner, const QString &title,
                                        const QString &initialFolder) override;

private:
    struct FontAnswer
    {
        QFont font;
        QColor colour;
    };
    std::optional<FileAnswer> nextFile(FileKind kind, const FileRequest &request);

    Dialogs *m_previous = nullptr;
    std::deque<Answer> m_answers;
    std::deque<std::optional<FileAnswer>> m_files;
    std::deque<std::optional<FontAnswer>> m_fonts;
    std::deque<std::optional<QColor>> m_colours;
    std::deque<std::optional<QString>> m_folders;
    QList<Message> m_messages;
    QList<FileCall> m_fileCalls;
    QList<FontCall> m_fontCalls;
    QList<QColor> m_colourCalls;
    QList<QPair<QString, QString>> m_folderCalls;
};
