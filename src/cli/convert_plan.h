#pragma once

// The pure rules of 'parlanto-cli convert': where each output goes, where a book's chapters
// begin and how the words the engine reports become subtitle lines.

#include "speech/document_reader.h"
#include "speech/text_chunker.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace ConvertPlan {

constexpr int SampleRate = 22050;

// The output for an input: `folder` (when given) or the input's own folder, the input's name
// with the extension of the format. Standard input has no name of its own: "speech".
inline QString outputFor(const QString &input, const QString &folder, const QString &extension)
{
    const bool standardInput = input == QLatin1String("-");
    const QFileInfo info(input);
    const QString base = standardInput ? QStringLiteral("speech") : info.completeBaseName();
    const QString dir = !folder.isEmpty() ? folder : standardInput ? QStringLiteral(".") : info.path();
    return QDir(dir).filePath(base + QLatin1Char('.') + extension);
}

// A subtitle file beside an output: the same name with the subtitle's extension.
inline QString besideOutput(const QString &output, const QString &extension)
{
    const QFileInfo info(output);
    return QDir(info.path()).filePath(info.completeBaseName() + QLatin1Char('.') + extension);
}

// Lines standing alone that begin a chapter in a plain text: "Chapter 12", "CHAPTER XII",
// "Chapter 3: The Harbour", "Chapter IV. Snow", in any case.
inline QString defaultChapterPattern()
{
    return QStringLiteral(R"(^[ \t]*chapter[ \t]+(\d+|[ivxlcdm]+)\b([ \t]*[.:\-–—]?[ \t]*\S.*)?$)");
}

// Chapter marks from the lines of a plain text that match `pattern` as a whole and stand
// alone: after a blank line (or at the start), or before one. A line in the middle of a
// paragraph is prose, whatever it says. A bare "CHAPTER I." with a short line of its own right
// after it (then a blank line) takes that line as its title: "CHAPTER I. Down the Hill".
inline QList<ChapterMark> patternChapters(const QString &text, const QRegularExpression &pattern)
{
    QList<QStringView> lines;
    QList<qsizetype> starts;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        lines.append(QStringView(text).mid(start, end - start));
        starts.append(start);
        start = end + 1;
    }
    const auto blank = [&](qsizetype i) {
        return i < 0 || i >= lines.size() || lines.at(i).trimmed().isEmpty();
    };
    QList<ChapterMark> marks;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = lines.at(i);
        if (line.size() > 200 || blank(i) || !(blank(i - 1) || blank(i + 1)))
            continue;
        const QRegularExpressionMatch m = pattern.match(line.toString());
        if (!m.hasMatch() || m.capturedStart() != 0 || m.capturedLength() != line.size())
            continue;
        QString title = line.trimmed().toString();
        if (blank(i - 1) && !blank(i + 1) && blank(i + 2) && lines.at(i + 1).size() <= 80 &&
            m.captured(2).trimmed().isEmpty())
            title += QLatin1Char(' ') + lines.at(i + 1).trimmed().toString();
        marks.append({title, starts.at(i), 1});
    }
    return marks;
}

// A chapter of a book: its title and where its text is.
struct Chapter
{
    QString title;
    qsizetype start = 0, end = 0;
};

// The chapters the marks of the highest level (the smallest number) make, in order. Text
// before the first mark belongs to the first chapter; a chapter with nothing to speak (two
// marks at one place) is left out. Empty when there are no marks.
inline QList<Chapter> chapters(const QString &text, const QList<ChapterMark> &marks)
{
    int top = 0;
    for (const ChapterMark &mark : marks)
        top = top == 0 ? mark.level : std::min(top, mark.level);
    QList<Chapter> result;
    for (const ChapterMark &mark : marks) {
        if (mark.level != top)
            continue;
        const qsizetype at = std::clamp<qsizetype>(mark.offset, 0, text.size());
        if (!result.isEmpty() && at < result.last().start)
            continue; // marks out of order: the earlier place stands
        if (!result.isEmpty())
            result.last().end = at;
        result.append({mark.title.simplified(), result.isEmpty() ? 0 : at, text.size()});
    }
    QList<Chapter> spoken;
    for (const Chapter &c : std::as_const(result)) {
        if (!QStringView(text).mid(c.start, c.end - c.start).trimmed().isEmpty())
            spoken.append(c);
    }
    if (!spoken.isEmpty())
        spoken.first().start = 0;
    return spoken;
}

// A title as a file name: characters that file systems or players refuse become blanks, the
// name is at most 100 characters and never hidden or empty.
inline QString safeFileName(const QString &title, const QString &fallback)
{
    QString name;
    for (const QChar c : title) {
        const bool refused =
            c.unicode() < 0x20 || c == QChar(0x7F) || QStringLiteral("/\\:*?\"<>|").contains(c);
        name.append(refused ? QLatin1Char(' ') : c);
    }
    name = name.simplified();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.size() > 100)
        name = name.left(100).trimmed();
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name.trimmed().isEmpty() ? fallback : name.trimmed();
}

// "NN - Title.ext": the chapter's number in as many digits as the last one needs, at least two.
inline QString chapterFileName(int number, int count, const QString &title, const QString &extension)
{
    const int digits = std::max(2, int(QString::number(count).size()));
    return QStringLiteral("%1 - %2.%3")
        .arg(number, digits, 10, QLatin1Char('0'))
        .arg(safeFileName(title, QStringLiteral("Chapter %1").arg(number)), extension);
}

struct PlaylistEntry
{
    QString file; // the name beside the playlist
    QString title;
    qint64 samples = 0;
};

// An extended M3U playlist of the files in order, each with its length in whole seconds.
inline QString m3uText(const QList<PlaylistEntry> &entries)
{
    QString out = QStringLiteral("#EXTM3U\n");
    for (const PlaylistEntry &e : entries)
        out += QStringLiteral("#EXTINF:%1,%2\n%3\n")
                   .arg((e.samples + SampleRate / 2) / SampleRate)
                   .arg(QString(e.title).replace(QLatin1Char('\n'), QLatin1Char(' ')), e.file);
    return out;
}

// "HH:MM:SS,mmm" for SubRip, "mm:ss.xx" for LRC (minutes keep counting past an hour).
inline QString srtTime(qint64 ms)
{
    ms = std::max<qint64>(0, ms);
    return QStringLiteral("%1:%2:%3,%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

inline QString lrcTime(qint64 ms)
{
    ms = std::max<qint64>(0, ms);
    const qint64 hundredths = ms / 10;
    return QStringLiteral("%1:%2.%3")
        .arg(hundredths / 6000, 2, 10, QLatin1Char('0'))
        .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

inline qint64 samplesToMs(qint64 samples)
{
    return samples * 1000 / SampleRate;
}

// A stretch [start, end) of a text that is spoken on its own and joined to its neighbours.
struct Part
{
    int start = 0;
    int end = 0;
};

// Cuts a text into contiguous parts of about `partChars` characters, each ending where the
// engines' own pieces end (a sentence end or a blank line), so that no sentence is split.
inline QList<Part> parts(const QString &text, int partChars)
{
    QList<Part> result;
    const int size = int(text.size());
    int start = 0;
    while (start < size) {
        int end = start;
        while (end < size && end - start < partChars)
            end = TextChunker::chunkEnd(text, end, TextChunker::ChunkLimit);
        result.append({start, end});
        start = end;
    }
    return result;
}

struct Word
{
    int position = 0; // UTF-16 offset in the text
    int length = 0;
    qint64 sample = 0; // where the engine started it in the audio written
};

struct Cue
{
    qint64 startMs = 0;
    qint64 endMs = 0;
    QString text;
};

// Where each sentence of the text begins: after '.', '!' or '?' followed by a blank, and at
// every line end.
inline QList<int> sentenceStarts(const QString &text)
{
    QList<int> starts{0};
    for (int i = 0; i + 1 < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool end = c == QLatin1Char('\n') ||
                         ((c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?')) &&
                          text.at(i + 1).isSpace());
        if (end)
            starts.append(i + 1);
    }
    return starts;
}

// One cue per sentence (or per word) that has a spoken word in it, starting where its first
// word starts in the audio and lasting until the next cue, the last one until the audio ends.
// Times never go backwards, even when the engine's marks do.
inline QList<Cue> cues(const QString &text, QList<Word> words, qint64 totalSamples, bool perWord)
{
    std::stable_sort(words.begin(), words.end(),
                     [](const Word &a, const Word &b) { return a.position < b.position; });
    QList<Cue> result;
    auto add = [&](qint64 sample, const QString &line) {
        const QString simple = line.simplified();
        if (simple.isEmpty())
            return;
        qint64 start = std::min(samplesToMs(sample), samplesToMs(totalSamples));
        if (!result.isEmpty())
            start = std::max(start, result.last().startMs);
        result.append({start, 0, simple});
    };
    if (perWord) {
        for (const Word &w : std::as_const(words))
            add(w.sample, text.mid(w.position, w.length));
    } else {
        const QList<int> starts = sentenceStarts(text);
        int next = 0;
        for (int s = 0; s < starts.size(); ++s) {
            const int begin = starts.at(s);
            const int end = s + 1 < starts.size() ? starts.at(s + 1) : int(text.size());
            while (next < words.size() && words.at(next).position < begin)
                ++next;
            if (next < words.size() && words.at(next).position < end)
                add(words.at(next).sample, text.mid(begin, end - begin));
        }
    }
    for (int i = 0; i < result.size(); ++i)
        result[i].endMs = i + 1 < result.size() ? result.at(i + 1).startMs : samplesToMs(totalSamples);
    return result;
}

inline QString srtText(const QList<Cue> &cues)
{
    QString out;
    for (int i = 0; i < cues.size(); ++i)
        out += QStringLiteral("%1\n%2 --> %3\n%4\n\n")
                   .arg(i + 1)
                   .arg(srtTime(cues.at(i).startMs), srtTime(cues.at(i).endMs), cues.at(i).text);
    return out;
}

// LRC lines carry only their start; a last empty line marks where the audio ends.
inline QString lrcText(const QList<Cue> &cues, qint64 totalSamples)
{
    QString out;
    for (const Cue &cue : cues)
        out += QStringLiteral("[%1]%2\n").arg(lrcTime(cue.startMs), cue.text);
    out += QStringLiteral("[%1]\n").arg(lrcTime(samplesToMs(totalSamples)));
    return out;
}

} // namespace ConvertPlan
