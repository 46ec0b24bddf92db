#pragma once

#include "speech/synth_engine.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// eSpeak NG's voice list as the library last gave it, kept between starts: listing means loading
// the library, reading its phoneme data and parsing a few hundred voice files, which a program
// that only shows the list (or looks a voice up by name) need not wait for. The kept list is used
// only while everything it came from is as it was: the library file, the data folder the library
// picks (ESPEAK_DATA_PATH, HOME) and every file and folder under that folder's voices/ and lang/
// (name, size, inode, times of change). A voice added, removed or edited shows on the next start.
// Shared by the window and parlanto-cli; each engine family's worker is its only writer.
namespace EspeakVoiceCache {

// "$XDG_CACHE_HOME/parlanto/espeak-ng-voices" (else "~/.cache/parlanto/espeak-ng-voices").
QString filePath();

// What decides the list the library at `libraryFile` gives from `dataFolder`. Taken before the
// listing, so that a change made while the library reads the folders shows as a change.
QByteArray stamp(const QString &dataFolder, const QString &libraryFile);

// The kept voices, when their stamp still holds; nothing otherwise (no file, a damaged one, or
// anything changed).
std::optional<QList<EngineVoice>> load();

// Keeps `voices`, listed from `dataFolder` by `libraryFile` after `stamp` was taken. The file is
// written whole or not at all; failing to write it only costs the next start the listing.
void store(const QByteArray &stamp, const QString &dataFolder, const QString &libraryFile,
           const QList<EngineVoice> &voices);

} // namespace EspeakVoiceCache
