#pragma once

#include "app/settings_records.h"
#include "tools/SlideReadAloud.h"

class ttsmain;

// The slide reader's view of the main window: the generation of the current voice, the two
// speech objects it speaks through and the slide fields of the window settings record.
SlideReadAloudHost slideReadAloudHost(ttsmain &main);

// Shows the slide reader, made on first use as a window of the main window's own and closed,
// its settings saved, when the program ends.
SlideReadAloud *showSlideReadAloud(ttsmain &main);

// The slide fields of the window settings record, both ways. A font without a name or size in
// the record keeps that part of `base`.
SlideSettings slideSettingsOf(const WindowSettings &record, const QFont &base = QFont());
void storeSlideSettings(const SlideSettings &settings, WindowSettings &record);
