#pragma once

#include <QString>
#include <QtGlobal>

// The size model of sound-file progress and the progress texts built on it, shared by the
// main window's save, the converter window and the batch window.
//
// Model: 10000 counted characters spoken at rate caption 29 make a WAV of 24844076 bytes (the
// size scales with 29 / rate caption), and the MP3 of a WAV is 2253740 / 24844076 of its size.
namespace AudioProgress {

inline constexpr double ReferenceWavBytes = 24844076.0;
inline constexpr double ReferenceMp3Bytes = 2253740.0;
inline constexpr int ReferenceCharacters = 10000;
inline constexpr int ReferenceRate = 29;

// The text without blanks at either end (line ends are text and stay).
QString trimBlanks(const QString &text);

// The characters the WAV estimate counts: the text trimmed of blanks at both ends, with every
// pair of blanks removed.
int countedLength(const QString &text);

// The rate label's caption, trimmed, as a whole number (0 when it is none).
int rateOfCaption(const QString &caption);

// Expected WAV size in bytes divided by 50; 0 when the rate is not positive.
double estimateWaveSize(int countedLength, int rate);
// Expected MP3 size in bytes divided by 50, from its WAV's size.
double estimateMp3Size(qint64 wavBytes);

// Percentage shown while a WAV is recorded: 0..50 when an MP3 follows, 0..100 in even steps for
// a WAV target.
int recordingPercent(qint64 wavBytes, double estimateWaveSize, bool mp3Target);
// Percentage while the MP3 is encoded: 50 plus the part of the expected MP3 made; may pass 100.
int encodingPercent(qint64 mp3Bytes, double estimateMp3Size);

// The main window's caption during a sound job; a percentage above 100 shows as 100.
QString jobCaption(const QString &voiceListText, int percent, qint64 elapsedSeconds,
                   const QString &voiceName);

// The converter's expected MP3 size divided by 100, rounded half to even.
int mp3EstimateHundredth(qint64 wavBytes);
// The converter's percentage of the expected MP3 made (0 while nothing is expected).
int convertPercent(qint64 mp3Bytes, int estimateHundredth);
// The converter's percentage label: never above "100%".
QString convertPercentText(int percent);

// Elapsed time as "hh:mm:ss" (the reading clock's text).
QString elapsedText(qint64 seconds);

// Full-width digits (U+FF10..U+FF19) as ASCII digits: the one voice that reads them wrongly
// gets them this way.
QString asciiDigits(QString text);

} // namespace AudioProgress
