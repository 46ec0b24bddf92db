#pragma once

#include <QString>

// The program's own folder: $PARLANTO_HOME when set, else the per-user data folder. Created on
// first use and seeded with the shipped assets (pictures, cursor, bell, help page) that are
// missing there. Paths returned end without a separator.
QString programFolder();
// programFolder() + "/" + name.
QString programFile(const QString &name);

// Private per-user folder (mode 0700) for temporary audio files, on disk in the per-user cache
// folder (~/.cache/parlanto/scratch); a private folder of its own in <temp> when that cannot be
// used. Stands in for "the root of the program's drive".
QString scratchRoot();
// This process's own folder for temporary audio files, "<scratchRoot>/<process id>" (mode 0700),
// so that a later start can tell the leftovers of a process that no longer runs from the files
// of a job still in progress.
QString ownScratchFolder();
// Removes from scratchRoot() everything no running process owns: the folders of processes that
// no longer run (this one's too, so call it before any job starts) and loose files. Returns how
// many folders and files were removed.
int removeStaleScratch();

// The first start in this program folder: true until markFirstRunDone() has left its mark
// ("firstuse.done") in the folder.
bool isFirstRun();
void markFirstRunDone();

// Where the shipped assets are found: the installed share folder at its place relative to the
// running program, else (a program started from the build tree) the source tree's assets, else
// the share folder of the configured install prefix.
QString assetFolder();

// The vendor's web site (PARLANTO_SITE, default http://www.parlanto.example) without a trailing
// slash, and the support address (PARLANTO_SUPPORT).
QString vendorSite();
QString vendorSupport();

// The user's default locale identifier, from the locale name: ko_KR 1042, zh_TW 1028,
// ja_JP 1041, zh_CN 2052, anything else 1033.
int userDefaultLocaleId();
int localeIdFromName(const QString &localeName);
