#pragma once

#include "speech/synth_engine.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// An engine's voice list as the engine itself last reported it, kept in the per-user cache
// folder (~/.cache/parlanto/<name>-<program>) so that a later start can list the voices without
// loading the engine and its data. A stored list is only ever used while it cannot be stale: it
// carries a fingerprint of everything the list was read from (the program file itself, the
// library file and the data folders, every file and folder in them by name, size, times and
// inode, and the settings that choose them), and the fingerprint is taken anew on every read. A
// voice added, removed or edited, an updated library or program, or another data folder all give
// another fingerprint, and the engine is then asked again.
namespace VoiceListCache {

struct Entry
{
    // The library file and data folders the list was read from, in the engine's own order.
    QStringList sources;
    QList<EngineVoice> voices;
};

// The stored list under `name` when its fingerprint still matches `sources` as they are now,
// with `settings` (whatever else chooses the sources, such as environment variables) unchanged.
std::optional<QList<EngineVoice>> read(const QString &name, const QByteArray &settings);

// Stores `entry` under `name`, complete or not at all. A list that cannot be written back
// exactly as it is (a field holding a tab or a line end) is not stored.
void write(const QString &name, const QByteArray &settings, const Entry &entry);

// The fingerprint of the running program and `sources` as they are now, with `settings`; empty
// when a source is missing or too large to take in (the list is then neither used nor stored).
QByteArray fingerprint(const QStringList &sources, const QByteArray &settings);

// The file that holds this program's list called `name`.
QString path(const QString &name);

} // namespace VoiceListCache
