// parlanto-cli: loads the command line (libparlanto_cli.so, with Qt and the engines) and runs it.
// The program itself links the C library alone, so that for `speak` it can start eSpeak NG
// (library and phoneme data) before anything else loads: loaded first, it loads as fast as in a
// program of its own, and the engine takes it over started. Meanwhile a thread walks eSpeak NG's
// voice folders for the fingerprint of the kept voice list, which the command line checks next.
#include "speech/folder_walk.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

namespace {

int startedRate = 0;
std::atomic<bool> handedOver = false;

// The voice folders, as the kept voice list names them, and their walks.
constexpr int VoiceFolderCount = 2;
char voiceFolders[VoiceFolderCount][PATH_MAX] = {};
FolderWalk voiceFolderWalks[VoiceFolderCount];
std::atomic<bool> voiceFolderTaken[VoiceFolderCount] = {};
pthread_t walker;
bool walking = false;
pthread_once_t walked = PTHREAD_ONCE_INIT;

void *walkVoiceFolders(void *)
{
    for (int i = 0; i < VoiceFolderCount; ++i)
        walkFolder(voiceFolders[i], voiceFolderWalks[i]);
    return nullptr;
}

void joinWalker()
{
    if (walking)
        pthread_join(walker, nullptr);
}

bool endsWith(const char *text, const char *suffix)
{
    const size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

// True when the command speaks with an eSpeak NG voice: `speak` with no voice named (the
// default is eSpeak NG's) or with one that is not a Flite voice (whose list text ends so).
bool speaksWithEspeak(int argc, char *argv[])
{
    if (argc < 2 || std::strcmp(argv[1], "speak") != 0)
        return false;
    const char *voice = "";
    for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--voice") == 0 && i + 1 < argc)
            voice = argv[++i];
        else if (std::strncmp(argv[i], "--voice=", 8) == 0)
            voice = argv[i] + 8;
    }
    char trimmed[256] = {};
    std::snprintf(trimmed, sizeof trimmed, "%s", voice);
    for (size_t end = std::strlen(trimmed); end > 0 && (trimmed[end - 1] == ' ' || trimmed[end - 1] == '\t');)
        trimmed[--end] = 0;
    return !endsWith(trimmed, " (TTS5.0)");
}

// Opens the program's own library `name`: installed, it is in the program's library folder; run
// from the build folder, beside the program. Null when none opens; `problem` then says why.
void *openProgramLibrary(const char *name, const char *&problem)
{
    char folder[PATH_MAX] = {};
    if (::realpath("/proc/self/exe", folder))
        *std::strrchr(folder, '/') = 0;
    char installed[PATH_MAX + 64] = {}, built[PATH_MAX] = {};
    std::snprintf(installed, sizeof installed, "%s/%s/%s", folder, PARLANTO_MODULE_DIR_FROM_BIN, name);
    std::snprintf(built, sizeof built, "%s/%s", PARLANTO_BUILD_MODULE_DIR, name);
    problem = "not found";
    for (const char *path : {installed, built}) {
        if (::access(path, F_OK) != 0)
            continue;
        if (void *library = ::dlopen(path, RTLD_LAZY | RTLD_LOCAL))
            return library;
        problem = ::dlerror();
    }
    return nullptr;
}

// Starts eSpeak NG as the engine would: synchronous, errors returned rather than ended on. Its
// playback library is stood in for by the program's own, which loads no sound client.
void startEspeak()
{
    const char *problem = nullptr;
    openProgramLibrary("libpcaudio.so.0", problem);
    void *library = ::dlopen("libespeak-ng.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return;
    const auto initialize =
        reinterpret_cast<decltype(&espeak_Initialize)>(::dlsym(library, "espeak_Initialize"));
    const auto findData =
        reinterpret_cast<decltype(&espeak_ng_InitializePath)>(::dlsym(library, "espeak_ng_InitializePath"));
    const auto info = reinterpret_cast<decltype(&espeak_Info)>(::dlsym(library, "espeak_Info"));
    if (!initialize || !findData || !info)
        return;
    // The data folder is known before the library starts (which looks for it the same way), so
    // the walk runs while it starts.
    findData(nullptr);
    const char *dataFolder = nullptr;
    info(&dataFolder);
    if (dataFolder && *dataFolder) {
        const char *names[VoiceFolderCount] = {"voices", "lang"};
        for (int i = 0; i < VoiceFolderCount; ++i)
            std::snprintf(voiceFolders[i], PATH_MAX, "%s/%s", dataFolder, names[i]);
        walking = pthread_create(&walker, nullptr, walkVoiceFolders, nullptr) == 0;
    }
    startedRate = initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, nullptr, espeakINITIALIZE_DONT_EXIT);
}

} // namespace

// The eSpeak NG this program started, handed over once to the engine that asks (found by name
// in the running program): its sample rate, or 0 when none was started, or it was handed over
// already, and the engine starts its own.
extern "C" __attribute__((visibility("default"))) int parlanto_espeak_started()
{
    return handedOver.exchange(true) ? 0 : startedRate;
}

// The walk of the voice folder `root` this program took while it loaded, handed over once (a
// later fingerprint walks anew); null when it took none of that folder. Found by name in the
// running program.
extern "C" __attribute__((visibility("default"))) const FolderWalk *parlanto_walked_folder(const char *root)
{
    pthread_once(&walked, joinWalker);
    for (int i = 0; walking && i < VoiceFolderCount; ++i)
        if (std::strcmp(root, voiceFolders[i]) == 0 && !voiceFolderTaken[i].exchange(true))
            return &voiceFolderWalks[i];
    return nullptr;
}

int main(int argc, char *argv[])
{
    if (speaksWithEspeak(argc, argv))
        startEspeak();

    const char *problem = nullptr;
    if (void *library = openProgramLibrary("libparlanto_cli.so", problem)) {
        using Entry = int (*)(int, char **);
        if (const auto entry = reinterpret_cast<Entry>(::dlsym(library, "parlanto_cli_main")))
            return entry(argc, argv);
        problem = ::dlerror();
    }
    std::fprintf(stderr, "parlanto-cli: cannot load libparlanto_cli.so: %s\n",
                 problem ? problem : "unknown error");
    return 1;
}
