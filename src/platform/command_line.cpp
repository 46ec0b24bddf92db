#include "platform/command_line.h"

#include <cstring>

void hideCommandLine(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (argv[i])
            std::memset(argv[i], 0, std::strlen(argv[i]));
}
