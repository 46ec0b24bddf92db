#pragma once

// The pure rules of 'parlanto-cli convert': where each output goes and how the words the
// engine reports become subtitle lines.

#include "speech/text_chunker.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
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
