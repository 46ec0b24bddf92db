#pragma once

// Blanks the program's arguments (all but its name) in its own memory once they have been
// taken: /proc/<pid>/cmdline, which every user of the machine may read, then no longer shows a
// text handed over on the command line for as long as the program runs.
void hideCommandLine(int argc, char **argv);
