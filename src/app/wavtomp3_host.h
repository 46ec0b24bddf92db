#pragma once

class ttsmain;
class wavtomp3;

// Shows the WAV-to-MP3 converter, made on first use as a window of the main window's own with
// the program's one job record, and closed, its folders saved, when the program ends.
wavtomp3 *showWavToMp3(ttsmain &main);
