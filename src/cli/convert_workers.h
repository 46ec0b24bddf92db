#pragma once

#include "cli/convert_job.h"

// Speaking one long text on one core leaves the other idle; so each text is cut into parts
// at sentence ends, worker processes (each with its own engine: eSpeak NG makes one speech
// at a time per process, and a Flite voice object is one per process) speak and encode the
// parts side by side, and this process joins their audio in order into each output.

// Converts the inputs with up to `options.jobs` workers. Returns the number that failed.
// `firstText`, when given, is the first input's text, already read.
int convertInParts(const ConvertOptions &options, const QStringList &inputs, std::optional<QString> firstText,
                   ConvertProgress &progress);

// The worker's side: speaks each part sent on standard input and sends its audio back on
// standard output, until standard input ends.
int runPartWorker(const ConvertOptions &options, const CliVoice &voice);
