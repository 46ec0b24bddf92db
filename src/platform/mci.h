#pragma once

#include "platform/mci_command.h"

#include <QString>

// Carries out a media command string and answers with an error number (0 on success, see
// MciError). Status queries put their answer into `answer`; every other command leaves it
// empty. Supported:
//   open <file> alias <name> type waveaudio|sequencer|avivideo [wait]
//   play <name> [from <ms>] [to <ms>] [wait]     pause / resume / stop <name>
//   seek <name> to <ms>|start|end                 close <name>|all
//   status <name> length|position|mode           set <name> time format milliseconds
//   set cdaudio door open|closed
// Wave audio is read by Parlanto's own WAV reader and played through the sound layer, fed by
// a timer on the calling (window) thread. MIDI and AVI files play their sound through Qt's
// media player where its back end can; otherwise their open fails. Times are milliseconds,
// modes "playing", "paused", "stopped" or "not ready".
int mciSendString(const QString &command, QString *answer = nullptr);

// The CD-ROM drive whose door "set cdaudio door" moves: /dev/cdrom, else the first /dev/sr*;
// empty when the machine has none.
QString cdromDevicePath();
