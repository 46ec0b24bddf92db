#include "audio/voice_recording.h"

#include "platform/process_ending.h"
#include "speech/spvoice.h"

#include <QCoreApplication>
#include <QFile>

namespace {
// How long a recording waits at a time before the window's events run again.
constexpr int RecordingSliceMs = 50;
} // namespace

QString speakIntoWavFile(SpVoice &source, SpVoice &recorder, const QString &text, const QString &path,
                         const std::function<bool()> &stopRequested,
                         const std::function<void(qsizetype done, qsizetype total)> &progress)
{
    SpFileStream stream;
    recorder.setVoice(source.Voice());
    recorder.setVolume(source.Volume());
    recorder.setRate(source.Rate());
    if (!stream.Open(path, SpFileStream::SSFMCreateForWrite))
        return stream.errorString();
    QMetaObject::Connection words;
    if (progress)
        words = QObject::connect(&recorder, &SpVoice::Word, &recorder,
                                 [&](int, qint64, int position, int length) {
                                     progress(qMin<qsizetype>(position + length, text.size()), text.size());
                                 });
    recorder.setAudioOutputStream(&stream);
    recorder.Speak(text, SpVoice::SVSFlagsAsync);
    bool stopped = false;
    bool ending = false;
    while (recorder.isSpeaking()) {
        QCoreApplication::processEvents();
        // The program is ending: the recording holds the window thread, so it gives way.
        ending = ProcessEnding::begun();
        if (ending || (stopRequested && stopRequested())) {
            recorder.Speak(QString(), SpVoice::SVSFPurgeBeforeSpeak);
            stopped = true;
            break;
        }
        recorder.WaitUntilDone(RecordingSliceMs);
    }
    QObject::disconnect(words);
    const bool written = stream.Close();
    recorder.setAudioOutputStream(nullptr);
    if (stopped) {
        // Only part of the text is in it: it must not pass for the file that was asked for.
        QFile::remove(path);
        return ending ? QStringLiteral("the program is ending") : QStringLiteral("the recording was stopped");
    }
    return written ? QString() : stream.errorString();
}
