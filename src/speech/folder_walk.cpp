#include "speech/folder_walk.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool append(FolderWalk &walk, char *path, bool found, const struct stat &info)
{
    if (walk.count == walk.capacity) {
        const size_t capacity = walk.capacity ? walk.capacity * 2 : 256;
        auto *grown = static_cast<FolderEntry *>(std::realloc(walk.entries, capacity * sizeof(FolderEntry)));
        if (!grown) {
            std::free(path);
            return false;
        }
        walk.entries = grown;
        walk.capacity = capacity;
    }
    walk.entries[walk.count++] = {path, found, info};
    return true;
}

int byName(const void *a, const void *b)
{
    return std::strcmp(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
}

// Entries are looked at relative to their open folder, which spares the system walking the whole
// path of each. Closes `folderFd`.
bool walkBelow(FolderWalk &walk, int folderFd, const char *relative, int depth)
{
    DIR *folder = depth > FolderWalkMaxDepth ? nullptr : ::fdopendir(folderFd);
    if (!folder) {
        if (folderFd >= 0)
            ::close(folderFd);
        return false;
    }
    char **names = nullptr;
    size_t count = 0, capacity = 0;
    bool complete = true;
    while (const dirent *entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (walk.count + count >= FolderWalkMaxEntries) {
            complete = false;
            break;
        }
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 64;
            auto *grown = static_cast<char **>(std::realloc(names, capacity * sizeof(char *)));
            if (!grown) {
                complete = false;
                break;
            }
            names = grown;
        }
        if (!(names[count] = ::strdup(entry->d_name))) {
            complete = false;
            break;
        }
        ++count;
    }
    if (complete)
        std::qsort(names, count, sizeof(char *), byName);
    const size_t prefix = std::strlen(relative);
    for (size_t i = 0; complete && i < count; ++i) {
        const size_t length = prefix + 1 + std::strlen(names[i]);
        char *path = static_cast<char *>(std::malloc(length + 1));
        if (!path) {
            complete = false;
            break;
        }
        std::memcpy(path, relative, prefix);
        path[prefix] = '/';
        std::strcpy(path + prefix + 1, names[i]);
        struct stat info = {};
        const bool found = ::fstatat(::dirfd(folder), names[i], &info, 0) == 0;
        if (!append(walk, path, found, info)) {
            complete = false;
            break;
        }
        if (found && S_ISDIR(info.st_mode)) {
            const int child = ::openat(::dirfd(folder), names[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            complete = walkBelow(walk, child, path, depth + 1);
        }
    }
    for (size_t i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
    ::closedir(folder);
    return complete;
}

} // namespace

void walkFolder(const char *root, FolderWalk &walk)
{
    walk.complete = walkBelow(walk, ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC), "", 0);
}

void freeFolderWalk(FolderWalk &walk)
{
    for (size_t i = 0; i < walk.count; ++i)
        std::free(walk.entries[i].path);
    std::free(walk.entries);
    walk = {};
}
