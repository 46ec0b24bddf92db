#include "audio/audio_progress.h"

#include "platform/rounding.h"
#include "speech/reading_progress.h"

#include <cmath>

namespace AudioProgress {

QString trimBlanks(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

int countedLength(const QString &text)
{
    QString counted = trimBlanks(text);
    counted.replace(QStringLiteral("  "), QString());
    return int(counted.size());
}

int rateOfCaption(const QString &caption)
{
    bool ok = false;
    const int rate = caption.trimmed().toInt(&ok);
    return ok ? rate : 0;
}

double estimateWaveSize(int countedLength, int rate)
{
    if (rate <= 0)
        return 0;
    return (double(ReferenceRate) / rate) *
           (double(countedLength) / ReferenceCharacters * ReferenceWavBytes) / 50;
}

double estimateMp3Size(qint64 wavBytes)
{
    return double(wavBytes) / ReferenceWavBytes * ReferenceMp3Bytes / 50;
}

int recordingPercent(qint64 wavBytes, double estimateWaveSize, bool mp3Target)
{
    if (estimateWaveSize <= 0)
        return 0;
    const double part = std::floor(double(wavBytes) / estimateWaveSize);
    if (mp3Target)
        return int(qMin(part, 50.0));
    return int(qMin(2 * part, 100.0));
}

int encodingPercent(qint64 mp3Bytes, double estimateMp3Size)
{
    if (estimateMp3Size <= 0)
        return 50;
    return int(qMin(std::floor(double(mp3Bytes) / estimateMp3Size), 1e6)) + 50;
}

QString jobCaption(const QString &voiceListText, int percent, qint64 elapsedSeconds, const QString &voiceName)
{
    const bool over = percent > 100;
    return voiceListText + QStringLiteral("   Completed: ") + QString::number(over ? 100 : percent) +
           (over ? QStringLiteral("%  Elapsed Time:") : QStringLiteral("%  Elapsed Time: ")) +
           elapsedText(elapsedSeconds) + QStringLiteral("   REC Engine: ") + voiceName;
}

int mp3EstimateHundredth(qint64 wavBytes)
{
    return roundHalfEven(double(wavBytes) / ReferenceWavBytes * ReferenceMp3Bytes / 100);
}

int convertPercent(qint64 mp3Bytes, int estimateHundredth)
{
    if (estimateHundredth <= 0)
        return 0;
    return int(qMin<qint64>(mp3Bytes / estimateHundredth, 1000000));
}

QString convertPercentText(int percent)
{
    return percent > 100 ? QStringLiteral("100%") : QString::number(percent) + QLatin1Char('%');
}

QString elapsedText(qint64 seconds)
{
    return ReadingProgress::elapsedText(seconds);
}

QString asciiDigits(QString text)
{
    for (QChar &c : text)
        if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            c = QChar(u'0' + (c.unicode() - 0xFF10));
    return text;
}

} // namespace AudioProgress
