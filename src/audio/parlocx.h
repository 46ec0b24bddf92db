#pragma once

#include "speech/speech_stream.h"

#include <QObject>
#include <QString>

#include <memory>

class WavWriter;

// The recording control: speaks a text with a generation-4 (eSpeak NG) voice into a WAV file.
// Recording returns at once; the file grows while the text is spoken and its header is right
// when it ends. Completion is told through the registry value "WaveEnd" (1 finished; the
// consumer writes 3; 2 while a recording runs), which callers poll from their timers or read
// when RecordingEnded() is raised.
class Parlocx : public QObject
{
    Q_OBJECT
public:
    // The registry key and value shared with the callers.
    static const QString WaveEndKey;
    static const QString WaveEndName;
    enum WaveEnd
    {
        WaveEndFinished = 1,
        WaveEndRunning = 2,
        WaveEndConsumed = 3
    };
    // Creates the key with the value "consumed" when it is missing.
    static void ensureWaveEndKey();
    static int waveEnd();
    static void setWaveEnd(int value);

    explicit Parlocx(QObject *parent = nullptr);
    ~Parlocx() override;

    // Record-to-file member: speaks `text` into `wavPath` with the voice named `voiceName` at
    // the engine's `speed` (words per minute) and `pitch` (0..100). `realTime` is accepted as
    // callers pass it (always 2048) and has no effect. Sets "WaveEnd" to 1 when the file is
    // complete; on a failure leaves it alone and lastError() says why. Does not raise
    // FileFinished, so that exactly one encoder runs per file.
    void RecordToFile(const QString &text, const QString &wavPath, const QString &voiceName, int speed,
                      int pitch, int realTime);
    // Stop member: ends a running recording; what was written stays a valid WAV file.
    void Stop();
    // Close member: releases the file of a recording (after Stop).
    void Close();

    bool isRecording() const { return m_stream.isActive(); }
    // Why the last recording failed; empty while it runs or after it succeeded.
    QString lastError() const { return m_error; }

signals:
    // A WAV file finished (three texts; the second is the file's path).
    void FileFinished(const QString &name, const QString &wavPath, const QString &extra);
    // A recording ended by itself, complete ("WaveEnd" is 1) or failed (lastError() says why);
    // lets a caller go on at once instead of at its next poll. Not raised by Stop.
    void RecordingEnded();

private:
    void onFinished();
    void fail(const QString &reason);

    SpeechStream m_stream;
    std::unique_ptr<WavWriter> m_writer;
    QString m_path;
    QString m_error;
};
