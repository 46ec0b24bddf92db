#include "platform/start_cores.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sched.h>

namespace {

// The cores the process may use, as it was started (a cpuset or `taskset` may narrow them).
const cpu_set_t &startCores()
{
    static const cpu_set_t cores = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) != 0)
            CPU_ZERO(&set);
        return set;
    }();
    return cores;
}

// The number of threads of the whole machine that are running or ready to, from the kernel's
// load figures ("0.12 0.30 0.25 1/402 4711"); -1 when they cannot be read.
int runnableThreads()
{
    FILE *file = std::fopen("/proc/loadavg", "re");
    if (!file)
        return -1;
    int runnable = -1;
    if (std::fscanf(file, "%*s %*s %*s %d/", &runnable) != 1)
        runnable = -1;
    std::fclose(file);
    return runnable;
}

void setCores(int tid, const cpu_set_t &cores)
{
    if (CPU_COUNT(&cores) > 0)
        sched_setaffinity(tid, sizeof cores, &cores);
}

} // namespace

namespace StartCores {

int spareCore()
{
    const cpu_set_t &cores = startCores();
    const int core = sched_getcpu();
    const int runnable = runnableThreads();
    if (core < 0 || !CPU_ISSET(core, &cores) || runnable < 0 || runnable >= CPU_COUNT(&cores))
        return -1;
    return core;
}

void keepOn(int core)
{
    if (core < 0)
        return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    setCores(0, one);
}

void keepOff(int core)
{
    if (core < 0)
        return;
    cpu_set_t others = startCores();
    CPU_CLR(core, &others);
    setCores(0, others);
}

void release(int core)
{
    if (core < 0)
        return;
    // Threads started meanwhile (the display connection's reader) took the main thread's single
    // core with them.
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks) {
        setCores(0, startCores());
        return;
    }
    while (const dirent *entry = readdir(tasks)) {
        const int tid = std::atoi(entry->d_name);
        if (tid > 0)
            setCores(tid, startCores());
    }
    closedir(tasks);
}

} // namespace StartCores
