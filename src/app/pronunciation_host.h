#pragma once

class PronunciationWindow;
class ttsmain;
struct PronunciationVoice;

// Shows the Pronunciation window, made on first use as a window of the main window's own, with
// the rule file read afresh unless the window is already up.
PronunciationWindow *showPronunciation(ttsmain &main);

// The main window's ways to the Pronunciation window: Ctrl+Shift+P anywhere in the window, and
// the context menu of the Voice button and the voice list (right click, or the menu key).
void addPronunciationEntry(ttsmain &main);

// The main window's current voice, as Listen speaks with it.
PronunciationVoice currentPronunciationVoice(const ttsmain &main);
