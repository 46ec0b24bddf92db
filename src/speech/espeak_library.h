#pragma once

#include <espeak-ng/speak_lib.h>

// libespeak-ng, opened when eSpeak NG is first used rather than when the program starts: a
// process that speaks only with Flite (a convert worker with a Flite voice) never loads it, nor
// the sound client libraries it brings. Debian's soname is fixed, so it is opened by name.
struct EspeakLibrary
{
    decltype(&::espeak_Initialize) initialize;
    decltype(&::espeak_SetSynthCallback) setSynthCallback;
    decltype(&::espeak_ListVoices) listVoices;
    decltype(&::espeak_SetVoiceByName) setVoiceByName;
    decltype(&::espeak_SetVoiceByFile) setVoiceByFile;
    decltype(&::espeak_SetParameter) setParameter;
    decltype(&::espeak_Synth) synth;
    decltype(&::espeak_Info) info;

    // Starts the library as the engines use it (synchronous, errors returned rather than
    // ended on), or takes over the start the running program made before it loaded the rest:
    // parlanto-cli starts eSpeak NG so for `speak`. The sample rate; <= 0 when it fails.
    int start() const;

    // Whether the library is in the process already, loaded by the program before it loaded the
    // rest (parlanto-cli does for `speak`).
    static bool loadedByProgram();

    // Loaded once; null when it cannot be opened.
    static const EspeakLibrary *get();
    // The file libespeak-ng was loaded from; empty when it is not loaded.
    static const char *fileName();
};
