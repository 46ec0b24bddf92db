#pragma once

#include <QStringList>

// parlanto-cli convert: text files to WAV or MP3 files (and subtitles). Returns the exit code:
// 0 all converted, 1 any input failed, 2 usage error.
int convertCommand(const QStringList &args);
