#include "tools/slide_rules.h"

#include "speech/text_decoder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace SlideRules {

QStringList wordLines(QStringView text, const std::function<void()> &between)
{
    QStringList lines;
    const QChar *data = text.data();
    const qsizetype size = text.size();
    qsizetype start = 0;
    int sincePause = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = data[i].unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start).toString());
        if (c == u'\r' && i + 1 < size && data[i + 1] == u'\n')
            ++i;
        start = i + 1;
        if (between && ++sincePause == LinesBetweenPauses) {
            sincePause = 0;
            between();
        }
    }
    if (start < size)
        lines.append(text.sliced(start).toString());
    return lines;
}

QStringList wordLinesOfBytes(QByteArrayView bytes, const QByteArray &localeCodeset,
                             const std::function<void()> &between)
{
    return wordLines(TextDecoding::decodePlainText(bytes, localeCodeset), between);
}

QStringList readWordFile(const QString &path, const std::function<void()> &between)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > LargestWordFileBytes)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(LargestWordFileBytes + 1);
    if (bytes.size() > LargestWordFileBytes) // grew while being read
        return {};
    return wordLinesOfBytes(bytes, TextDecoding::localeCodeset(), between);
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
