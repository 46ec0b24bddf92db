#pragma once

#include "cli/convert_job.h"

// Speaking one long text on one core leaves the other idle; so each text is cut into parts
// at sentence ends, worker processes (each with its own engine: eSpeak NG makes one speech
// at a time per process, and a Flite voice object is one per process) speak the parts side by
// side, and this process joins their audio in order and encodes it into each output.

// Converts the items with two workers, up to `options.jobs` of them speaking at once, each
// item's text cut into the same parts whatever the number of jobs. Returns the number that
// failed; each item converted gets its length.
int convertInParts(const ConvertOptions &options, QList<ConvertItem> &items, ConvertProgress &progress);

// The worker's side: speaks each part sent on standard input and sends its audio back on
// standard output, until standard input ends.
int runPartWorker(const ConvertOptions &options, const CliVoice &voice);
