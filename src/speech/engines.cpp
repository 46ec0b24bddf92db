#include "speech/espeak_engine.h"
#include "speech/flite_engine.h"

// Each family is created on first use and lives until the process ends.
SynthEngine &SynthEngine::espeak()
{
    static EspeakEngine engine;
    return engine;
}

SynthEngine &SynthEngine::flite()
{
    static FliteEngine engine;
    return engine;
}
