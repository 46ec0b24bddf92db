// parlanto-cli: loads the command line (libparlanto_cli.so, with Qt and the engines) and runs it.
// The program itself links the C library alone, so that for `speak` a thread starts eSpeak NG
// (library, phoneme data, voice list) at once, while Qt and the rest of the command line are
// still loading: the engine takes it over started, and the first sound does not wait for both in
// turn.
#include <espeak-ng/speak_lib.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

namespace {

pthread_mutex_t handOver = PTHREAD_MUTEX_INITIALIZER;
pthread_t starter;
bool starting = false;
bool handedOver = false;
int startedRate = 0;
const espeak_VOICE **startedVoices = nullptr;

decltype(&espeak_ListVoices) listVoices = nullptr;

void *listEspeakVoices(void *)
{
    startedVoices = listVoices(nullptr);
    return nullptr;
}

// Starts eSpeak NG as the engine would (the same settings), then lists its voices on a thread of
// its own while the command line loads. Listed, a voice is chosen at once: a name in mixed case
// (gmw/en-US) would otherwise have eSpeak NG list them all then. Loading and starting come
// first and alone: two threads that load and map at once mostly wait on each other.
void startEspeak()
{
    void *library = ::dlopen("libespeak-ng.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return;
    const auto initialize =
        reinterpret_cast<decltype(&espeak_Initialize)>(::dlsym(library, "espeak_Initialize"));
    listVoices = reinterpret_cast<decltype(&espeak_ListVoices)>(::dlsym(library, "espeak_ListVoices"));
    if (!initialize || !listVoices)
        return;
    startedRate = initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (startedRate > 0)
        starting = pthread_create(&starter, nullptr, listEspeakVoices, nullptr) == 0;
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

} // namespace

// Whether this program started eSpeak NG and has not handed it over yet.
extern "C" __attribute__((visibility("default"))) int parlanto_espeak_starting()
{
    pthread_mutex_lock(&handOver);
    const bool waiting = starting || (!handedOver && startedRate > 0);
    pthread_mutex_unlock(&handOver);
    return waiting ? 1 : 0;
}

// The eSpeak NG this program started, handed over once to the engine that asks: its sample rate
// and voice list (valid until the library lists its voices again), or 0 when none was started
// (or it was handed over already) and the engine starts its own. The engine finds these
// functions by name in the running program.
extern "C" __attribute__((visibility("default"))) int parlanto_espeak_started(const espeak_VOICE ***voices)
{
    pthread_mutex_lock(&handOver);
    if (starting) {
        pthread_join(starter, nullptr);
        starting = false;
    }
    const int rate = handedOver ? 0 : startedRate;
    *voices = rate > 0 ? startedVoices : nullptr;
    handedOver = true;
    pthread_mutex_unlock(&handOver);
    return rate;
}

int main(int argc, char *argv[])
{
    if (speaksWithEspeak(argc, argv))
        startEspeak();

    // Installed, the library is in the program's library folder; run from the build folder, beside
    // the program.
    char folder[PATH_MAX] = {};
    if (::realpath("/proc/self/exe", folder))
        *std::strrchr(folder, '/') = 0;
    char installed[PATH_MAX + 64] = {};
    std::snprintf(installed, sizeof installed, "%s/%s/libparlanto_cli.so", folder,
                  PARLANTO_MODULE_DIR_FROM_BIN);
    const char *candidates[] = {installed, PARLANTO_BUILD_MODULE_DIR "/libparlanto_cli.so"};
    const char *problem = "not found";
    for (const char *path : candidates) {
        if (::access(path, F_OK) != 0)
            continue;
        void *library = ::dlopen(path, RTLD_LAZY | RTLD_LOCAL);
        if (!library) {
            problem = ::dlerror();
            continue;
        }
        using Entry = int (*)(int, char **);
        if (const auto entry = reinterpret_cast<Entry>(::dlsym(library, "parlanto_cli_main")))
            return entry(argc, argv);
        problem = ::dlerror();
    }
    std::fprintf(stderr, "parlanto-cli: cannot load libparlanto_cli.so: %s\n",
                 problem ? problem : "unknown error");
    return 1;
}
