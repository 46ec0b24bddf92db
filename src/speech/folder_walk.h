#pragma once

// The entries below a folder, each with what stat(2) says of it (links followed), in name order,
// depth first: what a kept voice list's fingerprint is taken of. Written with the C library
// alone, so that the small parlanto-cli program can walk the voice folders while it loads the
// rest.

#include <cstddef>
#include <sys/stat.h>

struct FolderEntry
{
    char *path = nullptr; // below the folder: "/name", "/name/name"
    bool found = false;   // false for a dangling link
    struct stat info = {};
};

struct FolderWalk
{
    FolderEntry *entries = nullptr;
    size_t count = 0;
    size_t capacity = 0;
    bool complete = false;
};

// An eSpeak NG data folder holds about 500 files; far more is no engine's data folder, and a
// folder nested deeper than this is a link loop.
constexpr size_t FolderWalkMaxEntries = 20000;
constexpr int FolderWalkMaxDepth = 12;

// Walks the folder `root` into `walk`; walk.complete is false when it could not be read whole
// (not a folder, nested too deep, too many entries).
void walkFolder(const char *root, FolderWalk &walk);
void freeFolderWalk(FolderWalk &walk);
