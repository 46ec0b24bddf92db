#include "support/fake_dialogs.h"

namespace {

template <typename T> std::optional<T> takeFront(std::deque<std::optional<T>> &queue)
{
    if (queue.empty())
        return std::nullopt;
    const bool answered = queue.front().has_value();
    T value = answered ? *queue.front() : T();
    queue.pop_front();
    if (!answered)
        return std::nullopt;
    return value;
}

} // namespace

FakeDialogs::FakeDialogs() : m_previous(Dialogs::installed())
{
    Dialogs::install(this);
}

FakeDialogs::~FakeDialogs()
{
    Dialogs::install(m_previous);
}

void FakeDialogs::clearRecords()
{
    m_messages.clear();
    m_fileCalls.clear();
    m_fontCalls.clear();
    m_colourCalls.clear();
    m_folderCalls.clear();
}

Dialogs::Answer FakeDialogs::message(QWidget *, const Message &message)
{
    m_messages.append(message);
    if (m_answers.empty())
        return answerOfButton(message.buttons, message.defaultButton);
    const Answer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::optional<Dialogs::FileAnswer> FakeDialogs::nextFile(FileKind kind, const FileRequest &request)
{
    m_fileCalls.append(FileCall{kind, request});
    return takeFront(m_files);
}

std::optional<Dialogs::FileAnswer> FakeDialogs::openFile(QWidget *, const FileRequest &request)
{
    return nextFile(FileKind::Open, request);
}

std::optional<Dialogs::FileAnswer> FakeDialogs::saveFile(QWidget *, const FileRequest &request)
{
    return nextFile(FileKind::Save, request);
}

std::optional<QFont> FakeDialogs::chooseFont(QWidget *, const QFont &initial, QColor &colour)
{
    m_fontCalls.append(FontCall{initial, colour});
    const std::optional<FontAnswer> answer = takeFront(m_fonts);
    if (!answer)
        return std::nullopt;
    if (answer->colour.isValid())
        colour = answer->colour;
    return answer->font;
}

std::optional<QColor> FakeDialogs::chooseColour(QWidget *, const QColor &initial)
{
    m_colourCalls.append(initial);
    return takeFront(m_colours);
}

std::optional<QString> FakeDialogs::chooseFolder(QWidget *, const QString &title,
                                                 const QString &initialFolder)
{
    m_folderCalls.append({title, initialFolder});
    return takeFront(m_folders);
}
