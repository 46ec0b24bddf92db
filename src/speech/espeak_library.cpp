#include "speech/espeak_library.h"

#include "platform/program_module.h"

#include <QFile>

#include <dlfcn.h>

namespace {

template <typename Function> bool resolve(void *handle, Function &slot, const char *name)
{
    slot = reinterpret_cast<Function>(::dlsym(handle, name));
    return slot != nullptr;
}

} // namespace

const EspeakLibrary *EspeakLibrary::get()
{
    static const EspeakLibrary *const library = []() -> const EspeakLibrary * {
        // Its own playback library is stood in for by one that loads nothing (Parlanto plays the
        // samples itself); when that is missing, eSpeak NG loads the real one as usual. Bound
        // lazily, as in a program linked with it.
        if (const QString standIn = programModulePath(QStringLiteral("libpcaudio.so.0")); !standIn.isEmpty())
            ::dlopen(QFile::encodeName(standIn).constData(), RTLD_LAZY | RTLD_LOCAL);
        void *handle = ::dlopen("libespeak-ng.so.1", RTLD_LAZY | RTLD_LOCAL);
        static EspeakLibrary table;
        const bool complete = handle && resolve(handle, table.initialize, "espeak_Initialize") &&
                              resolve(handle, table.setSynthCallback, "espeak_SetSynthCallback") &&
                              resolve(handle, table.listVoices, "espeak_ListVoices") &&
                              resolve(handle, table.setVoiceByName, "espeak_SetVoiceByName") &&
                              resolve(handle, table.setVoiceByFile, "espeak_SetVoiceByFile") &&
                              resolve(handle, table.setParameter, "espeak_SetParameter") &&
                              resolve(handle, table.synth, "espeak_Synth") &&
                              resolve(handle, table.info, "espeak_Info");
        return complete ? &table : nullptr;
    }();
    return library;
}

int EspeakLibrary::start() const
{
    using Started = int (*)();
    if (const auto started = reinterpret_cast<Started>(::dlsym(RTLD_DEFAULT, "parlanto_espeak_started")))
        if (const int rate = started(); rate > 0)
            return rate;
    return initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, nullptr, espeakINITIALIZE_DONT_EXIT);
}

bool EspeakLibrary::loadedByProgram()
{
    void *handle = ::dlopen("libespeak-ng.so.1", RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
}

const char *EspeakLibrary::fileName()
{
    const EspeakLibrary *library = get();
    Dl_info info = {};
    if (!library || ::dladdr(reinterpret_cast<void *>(library->initialize), &info) == 0 || !info.dli_fname)
        return "";
    return info.dli_fname;
}
