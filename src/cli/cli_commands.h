#pragma once

#include "speech/voice_catalog.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

// Standard output and error of every command, one stream each; main flushes both before the
// process ends.
QTextStream &cliOut();
QTextStream &cliErr();

// Runs one parlanto-cli command (arguments without the program name) and returns the exit
// code: 0 success, 1 failure, 2 usage error.
int runCli(const QStringList &arguments);

// The voice a --voice value picks (empty: the locale's), as the speak command picks it: a line
// of 'parlanto-cli voices', or what VoiceCatalog::matchingVoices makes of a part of one or a
// language code. Nothing when it picks no voice, or several, which then go to `candidates`.
struct CliVoice
{
    QString text;
    int generation = 0;
    int index = 0;
};
// The voices of the families asked for. Each family's library is loaded on first use, so a
// command that needs one family never waits for the other.
QList<VoiceCatalog::Entry> cliVoiceList(bool generation4 = true, bool generation5 = true);

std::optional<CliVoice> findCliVoice(const QString &wanted, QStringList *candidates = nullptr);
// Tells on standard error that `wanted` picked no voice, or which voices it could be, and
// returns the exit code: 1 for no voice, 2 (a usage error) for several.
int voiceNotFound(const QString &wanted, const QStringList &candidates);
