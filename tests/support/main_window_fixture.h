#pragma once

#include "app/app_state.h"
#include "app/ttsmain.h"
#include "speech/voice_catalog.h"

#include <QComboBox>

#include <functional>
#include <memory>

// A main window after start-up, whose process end is recorded instead of ending the test.
struct LoadedWindow
{
    // `prepare` runs on the window before its start-up (e.g. to say whether a tray exists).
    explicit LoadedWindow(SpeechFactory factory = SpeechFactory::standard(),
                          const QString &commandLine = QString(),
                          const std::function<void(ttsmain &)> &prepare = {})
        : window(std::make_unique<ttsmain>(app, std::move(factory)))
    {
        window->setProcessEnd([this](int code) {
            ++endCalls;
            endCode = code;
        });
        if (prepare)
            prepare(*window);
        result = window->Form_Load(commandLine);
    }
    ttsmain *operator->() const { return window.get(); }
    ttsmain &operator*() const { return *window; }

    AppState app;
    std::unique_ptr<ttsmain> window;
    ttsmain::LoadResult result = ttsmain::LoadResult::Ended;
    int endCalls = 0;
    int endCode = -1;
};

// List position of the first entry of a generation whose text starts with `prefix` (any entry
// of that generation when none does); -1 when the generation has no entries.
inline int listPosition(const ttsmain &w, int generation, const QString &prefix = QString())
{
    int any = -1;
    for (int i = 0; i < w.Combo1->count(); ++i) {
        if (VoiceCatalog::generationOf(w.Combo1->itemData(i).toInt()) != generation)
            continue;
        if (any < 0)
            any = i;
        if (!prefix.isEmpty() && w.Combo1->itemText(i).startsWith(prefix))
            return i;
    }
    return any;
}

// Opens the list with the Voice button and picks the entry at `position`.
inline void pickVoice(ttsmain &w, int position)
{
    w.Command7_Click();
    w.Combo1->setCurrentIndex(position);
    w.Combo1_Click();
}
