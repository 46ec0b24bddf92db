#include "audio/voice_recording.h"

#include "platform/process_ending.h"
#include "speech/spvoice.h"

#include <QCoreApplication>

namespace {
// How long a recording waits at a time before the window's events run again.
constexpr int RecordingSliceMs = 50;
} // namespace

QString speakIntoWavFile(SpVoice &source, SpVoice &recorder, const QString &text, const QString &path,
                         const std::function<bool()> &stopRequested)
{
    SpFileStream stream;
    recorder.setVoice(source.Voice());
    recorder.setVolume(source.Volume());
    recorder.setRate(source.Rate());
    if (!stream.Open(path, SpFileStream::SSFMCreateForWrite))
        return stream.errorString();
    recorder.setAudioOutputStream(&stream);
    recorder.Speak(text, SpVoice::SVSFlagsAsync);
    bool ending = false;
    while (recorder.isSpeaking()) {
        QCoreApplication::processEvents();
        // The program is ending: the recording holds the window thread, so it gives way.
        ending = ProcessEnding::begun();
        if (ending || (stopRequested && stopRequested())) {
            recorder.Speak(QString(), SpVoice::SVSFPurgeBeforeSpeak);
            break;
        }
        recorder.WaitUntilDone(RecordingSliceMs);
    }
    const bool written = stream.Close();
    recorder.setAudioOutputStream(nullptr);
    if (ending)
        return QStringLiteral("the program is ending");
    return written ? QString() : stream.errorString();
}
