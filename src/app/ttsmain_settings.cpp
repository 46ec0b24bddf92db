#include "app/ttsmain.h"

// The settings records "stts.ini" and "swin.ini" and the volume, rate and pitch bars.

// Builds the speech defaults (no "stts.ini") and makes the default voice current.
void ttsmain::InitTTSSets() {}

// Reads "stts.ini" and makes its voice current with its rate and pitch.
void ttsmain::LoadTTSSets() {}

// Builds the window defaults (no "swin.ini").
void ttsmain::InitWinSets() {}

// Reads "swin.ini" and applies placement, text box, font and colours.
void ttsmain::LoadWinSets() {}

// Writes "stts.ini".
void ttsmain::SaveTTSSets() {}

// Writes "swin.ini".
void ttsmain::SaveWinSets() {}

// The periodic save, every 15 s.
void ttsmain::SaveSettings_Timer()
{
    SaveTTSSets();
    SaveWinSets();
}

// Volume bar moved: applies it to the current voice.
void ttsmain::VScroll1_Change() {}

// Rate bar moved: applies it to the current voice.
void ttsmain::VScroll2_Change() {}

// Pitch bar moved: applies it to the current voice.
void ttsmain::VScroll3_Change() {}
