#include "speech/flite_library.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

void *fliteHandle()
{
    static void *const handle = ::dlopen("libflite.so.1", RTLD_NOW | RTLD_LOCAL);
    return handle;
}

template <typename Function> bool resolve(void *handle, Function &slot, const char *name)
{
    slot = reinterpret_cast<Function>(::dlsym(handle, name));
    return slot != nullptr;
}

} // namespace

const FliteLibrary *FliteLibrary::get()
{
    static const FliteLibrary *const library = []() -> const FliteLibrary * {
        void *handle = fliteHandle();
        if (!handle)
            return nullptr;
        static FliteLibrary table;
        const bool complete = resolve(handle, table.init, "flite_init") &&
                              resolve(handle, table.synthText, "flite_synth_text") &&
                              resolve(handle, table.uttWave, "utt_wave") &&
                              resolve(handle, table.uttRelation, "utt_relation") &&
                              resolve(handle, table.relationHead, "relation_head") &&
                              resolve(handle, table.itemNext, "item_next") &&
                              resolve(handle, table.itemDaughter, "item_daughter") &&
                              resolve(handle, table.itemAs, "item_as") &&
                              resolve(handle, table.itemFeatString, "item_feat_string") &&
                              resolve(handle, table.ffeatureFloat, "ffeature_float") &&
                              resolve(handle, table.deleteUtterance, "delete_utterance") &&
                              resolve(handle, table.featSetFloat, "feat_set_float") &&
                              resolve(handle, table.getParamFloat, "get_param_float");
        return complete ? &table : nullptr;
    }();
    return library;
}

cst_voice *FliteLibrary::registerVoice(const char *id)
{
    if (!get())
        return nullptr;
    char file[64];
    char function[64];
    std::snprintf(file, sizeof file, "libflite_cmu_us_%s.so.1", id);
    std::snprintf(function, sizeof function, "register_cmu_us_%s", id);
    // A voice library stays loaded for the life of the process, as its voice does.
    void *handle = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    using Register = cst_voice *(*)(const char *);
    const auto registerFunction = reinterpret_cast<Register>(::dlsym(handle, function));
    return registerFunction ? registerFunction(nullptr) : nullptr;
}

const char *FliteLibrary::fileName()
{
    const FliteLibrary *library = get();
    Dl_info info = {};
    if (!library || ::dladdr(reinterpret_cast<void *>(library->init), &info) == 0 || !info.dli_fname)
        return "";
    return info.dli_fname;
}
