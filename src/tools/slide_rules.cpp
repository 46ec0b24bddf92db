#include "tools/slide_rules.h"

#include "platform/bounded_file.h"
#include "speech/text_decoder.h"

#include <QDateTime>
#include <QDir>

namespace SlideRules {

QStringList wordLinesOfBytes(const QByteArray &bytes, const QByteArray &localeCodeset)
{
    return WordLines::fromBytes(bytes, localeCodeset).toList();
}

WordFile readWordFile(const QString &path)
{
    BoundedFile::Result file = BoundedFile::read(path, LargestWordFileBytes);
    WordFile result;
    if (!file.ok()) {
        result.error = file.error;
        return result;
    }
    result.lines = WordLines::fromBytes(std::move(file.bytes), TextDecoding::localeCodeset());
    return result;
}

QString countCaption(qsizetype lineCount)
{
    return QString::number(lineCount) +
           (hasWords(lineCount) ? QStringLiteral(" words") : QStringLiteral(" word"));
}

QString progressText(int wordIndex, const QString &countCaption)
{
    return QString::number(wordIndex) + QLatin1Char('/') + countCaption;
}

QString pathFromDialog(const QString &fileName)
{
    QString path = fileName;
    path.remove(QChar(u'\0'));
    return path.trimmed();
}

QString wordFolderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString dialogStartFolder(const QString &wordFolder)
{
    if (wordFolder.compare(QLatin1String("c:\\"), Qt::CaseInsensitive) == 0)
        return QDir::homePath();
    return wordFolder;
}

bool editAllowed(const QString &path)
{
    return path.trimmed().endsWith(QLatin1String(".txt"), Qt::CaseSensitive);
}

Tick tick(int wordIndex, int wordCount)
{
    const int next = wordIndex + 1;
    return Tick{next, next > wordCount};
}

std::optional<int> previousIndex(int wordIndex)
{
    if (wordIndex > 1)
        return wordIndex - 1;
    return std::nullopt;
}

std::optional<int> nextIndex(int wordIndex, int wordCount)
{
    if (wordIndex < wordCount)
        return wordIndex + 1;
    return std::nullopt;
}

std::mt19937 seededGenerator()
{
    std::random_device entropy;
    const auto now = quint64(QDateTime::currentMSecsSinceEpoch());
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy(), unsigned(now), unsigned(now >> 32)};
    return std::mt19937(seed);
}

int randomPick(std::mt19937 &generator, int wordCount)
{
    if (wordCount < 1)
        return 0;
    return std::uniform_int_distribution<int>(1, wordCount)(generator);
}

Layout layout(QSize window, int wordHeight, QSize frame)
{
    Layout result;
    result.word = QRect(0, window.height() / 4, window.width(), wordHeight);
    result.frame = QPoint((window.width() - frame.width()) / 2, window.height() - 2 * frame.height());
    return result;
}

} // namespace SlideRules
