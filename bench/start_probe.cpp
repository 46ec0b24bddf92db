// Times a program from its start, the same way for Parlanto and for the program it is compared
// with, so that neither is measured with an advantage:
//   start_probe window IDLE_SECONDS PROGRAM [ARGS...]
//       start to the first top-level window mapped on $DISPLAY, then the memory (resident set of
//       the program and its children, in kB) after IDLE_SECONDS more; prints "MS KB"
//   start_probe first-audio PROGRAM [ARGS...]
//       start to the first sample of the WAV the program writes to its standard output; prints "MS"
//   start_probe run PROGRAM [ARGS...]
//       start to exit, output thrown away; prints "MS" (nothing and status 1 when it failed)
// The program is ended once the figure is known.
#include <xcb/xcb.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

pid_t spawn(char **argv, int stdoutFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "start_probe: cannot start %s: %s\n", argv[0], std::strerror(error));
        return -1;
    }
    return pid;
}

void end(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool exited(pid_t pid)
{
    return waitpid(pid, nullptr, WNOHANG) == pid;
}

long residentKb(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", int(pid));
    FILE *file = std::fopen(path, "r");
    if (!file)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, file))
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1)
            break;
    std::fclose(file);
    return kb;
}

pid_t parentOf(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    FILE *file = std::fopen(path, "r");
    if (!file)
        return 0;
    char buffer[512] = {};
    const size_t read = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[read] = '\0';
    // The command name may hold blanks and brackets: the fields go on after its last ')'.
    const char *after = std::strrchr(buffer, ')');
    char state = 0;
    int parent = 0;
    if (!after || std::sscanf(after + 1, " %c %d", &state, &parent) != 2)
        return 0;
    return pid_t(parent);
}

// The resident memory of a process and every process below it.
long treeResidentKb(pid_t root)
{
    std::vector<pid_t> tree{root};
    bool grew = true;
    while (grew) {
        grew = false;
        DIR *proc = opendir("/proc");
        if (!proc)
            break;
        while (dirent *entry = readdir(proc)) {
            const pid_t pid = pid_t(std::atoi(entry->d_name));
            if (pid <= 0)
                continue;
            bool known = false;
            for (pid_t member : tree)
                known = known || member == pid;
            if (known)
                continue;
            const pid_t parent = parentOf(pid);
            for (pid_t member : tree) {
                if (member == parent) {
                    tree.push_back(pid);
                    grew = true;
                    break;
                }
            }
        }
        closedir(proc);
    }
    long kb = 0;
    for (pid_t pid : tree)
        kb += residentKb(pid);
    return kb;
}

int probeWindow(double idleSeconds, char **argv)
{
    int screenNumber = 0;
    xcb_connection_t *x = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "start_probe: no X display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip, so the server watches the root before the program starts.
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));

    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(argv, -1);
    if (pid < 0)
        return 1;
    double mappedMs = -1;
    bool gone = false;
    pollfd watch{xcb_get_file_descriptor(x), POLLIN, 0};
    while (mappedMs < 0 && msSince(start) < 60000) {
        poll(&watch, 1, 100);
        while (xcb_generic_event_t *event = xcb_poll_for_event(x)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                // Menus and tooltips bypass the window manager; an application window does not.
                if (map->event == root && !map->override_redirect && mappedMs < 0)
                    mappedMs = msSince(start);
            }
            free(event);
        }
        if (xcb_connection_has_error(x) || (mappedMs < 0 && (gone = exited(pid))))
            break;
    }
    xcb_disconnect(x);
    if (mappedMs < 0) {
        std::fprintf(stderr, "start_probe: %s showed no window\n", argv[0]);
        if (!gone)
            end(pid);
        return 1;
    }
    const auto idleEnd = Clock::now() + std::chrono::milliseconds(std::llround(idleSeconds * 1000));
    while (Clock::now() < idleEnd && !(gone = exited(pid)))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (gone) {
        std::fprintf(stderr, "start_probe: %s ended while idle\n", argv[0]);
        return 1;
    }
    const long kb = treeResidentKb(pid);
    end(pid);
    std::printf("%.1f %ld\n", mappedMs, kb);
    return 0;
}

int probeFirstAudio(char **argv)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 1;
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(argv, pipeFds[1]);
    close(pipeFds[1]);
    if (pid < 0)
        return 1;
    // The first sample follows the header of the "data" chunk.
    std::string head;
    double firstMs = -1;
    char buffer[4096];
    while (firstMs < 0) {
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        head.append(buffer, size_t(got));
        const size_t data = head.find("data", 12);
        if (data != std::string::npos && head.size() > data + 8)
            firstMs = msSince(start);
    }
    close(pipeFds[0]);
    end(pid);
    if (firstMs < 0) {
        std::fprintf(stderr, "start_probe: %s wrote no audio\n", argv[0]);
        return 1;
    }
    std::printf("%.1f\n", firstMs);
    return 0;
}

int probeRun(char **argv)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(argv, -1);
    if (pid < 0)
        return 1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = msSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "start_probe: %s failed\n", argv[0]);
        return 1;
    }
    std::printf("%.1f\n", ms);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "window" && argc > 3)
        return probeWindow(std::atof(argv[2]), argv + 3);
    if (mode == "first-audio" && argc > 2)
        return probeFirstAudio(argv + 2);
    if (mode == "run" && argc > 2)
        return probeRun(argv + 2);
    std::fprintf(stderr, "usage: start_probe window IDLE_SECONDS PROGRAM [ARGS...]\n"
                         "       start_probe first-audio PROGRAM [ARGS...]\n"
                         "       start_probe run PROGRAM [ARGS...]\n");
    return 2;
}
