#pragma once

#include <QString>
#include <QVector>

#include <optional>

// Reads a PCM WAV file (8, 16, 24 or 32-bit integer samples, any channel count and rate)
// and turns it into the one format of the sound layer: 22050 Hz, 16-bit, mono. Channels are
// mixed down and the rate converted by linear interpolation. Nothing when the file is not a
// WAV file this can read; a file longer than `maxSeconds` is cut there, so a huge file never
// takes the memory it would need whole.
std::optional<QVector<qint16>> readWavFile(const QString &fileName, int maxSeconds = 600);

// The same over bytes already in memory.
std::optional<QVector<qint16>> decodeWav(const QByteArray &bytes, int maxSeconds = 600);

// Why `fileName` is not a WAV file this reader can decode, in words that follow the file's name
// ("is not a WAV sound file"); an empty text when it is one. Reads only the file's head, and only
// from a regular file, so it is quick for a long file and never blocks on a FIFO or device.
QString wavFileProblem(const QString &fileName);
