#pragma once

#include <QStringList>

// The pronunciation rules of one parlanto-cli run: the user's rule file, as the program uses it,
// then each --dict file in the order given (a later rule wins over an earlier one for the same
// text). Lines that are not rules are skipped and, unless `quiet`, named on standard error.
// False (and told on standard error) when a --dict file cannot be read.
bool useCliPronunciation(const QStringList &dictFiles, bool quiet);
