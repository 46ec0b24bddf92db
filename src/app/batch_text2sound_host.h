#pragma once

#include "audio/BatchText2Sound.h"

class ttsmain;

// The batch window's view of the main window: the current voice, its speed, pitch and rate, the
// two generation-5 voice objects and the batch fields of the window settings record.
BatchText2SoundHost batchText2SoundHost(ttsmain &main);

// Shows the batch window, made on first use as a window of the main window's own and closed when
// the program ends.
BatchText2Sound *showBatchText2Sound(ttsmain &main);
