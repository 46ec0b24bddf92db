#pragma once

#include <QString>

#include <functional>

class SpVoice;

// Speaks `text` into the WAV file `path` with `recorder`, which first takes the voice, volume and
// rate of `source`. Returns when the file is complete; meanwhile the window's events run between
// short waits, and `stopRequested` (when given) is asked between them to end speaking early; a
// file stopped early is removed. When the program begins to end meanwhile, speaking stops the
// same way. `progress` (when given) hears how many characters of the text have been spoken so
// far, word by word. Returns why the file could not be made, or an empty text.
QString speakIntoWavFile(SpVoice &source, SpVoice &recorder, const QString &text, const QString &path,
                         const std::function<bool()> &stopRequested = {},
                         const std::function<void(qsizetype done, qsizetype total)> &progress = {});
