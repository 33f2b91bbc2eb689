// A plain, character-at-a-time parse of one list piece: the oracle for the plug-in's parser.
#ifndef TOLVANE_TESTS_REFERENCE_PARSER_H
#define TOLVANE_TESTS_REFERENCE_PARSER_H

#include "tv-list.h"

// Same contract as tvParsePiece; `why` may be null. When `skipped` is given, it is told the
// index of every valid character the parser passes over without reading it: those before the
// first '{', between the brace groups, and before the address's opening quote.
bool refParsePiece(const char *piece, Tolvane *rec, TvWhy *why,
                   void (*skipped)(void *ctx, size_t at) = nullptr, void *ctx = nullptr);

#endif
