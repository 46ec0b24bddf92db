#pragma once

#include <QString>

// Splits a text into the pieces the engines synthesise one at a time: a sentence or a clause,
// never longer than a limit, never cutting a word when a break can be found. Looks at no more
// than `limit` characters, so the cost does not grow with the text.
namespace TextChunker {

// The first piece is short so that speech starts at once; later pieces are longer.
constexpr int FirstChunkLimit = 100;
constexpr int ChunkLimit = 400;

// End (exclusive) of the piece that begins at `start`; trailing blanks belong to the piece.
// A piece ends at a sentence end or a blank line, never at a lone line end.
int chunkEnd(const QString &text, int start, int limit);

// The text as the engines get it, of the same length so that every offset holds: a NUL (which
// would end a C string early) and a lone line end inside a paragraph (hard-wrapped prose) are
// blanks; blank lines stay.
QString engineText(const QString &text);

} // namespace TextChunker
