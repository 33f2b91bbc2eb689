// A plain, character-at-a-time parse of one list piece: the oracle for the plug-in's parser.
#ifndef TOLVANE_TESTS_REFERENCE_PARSER_H
#define TOLVANE_TESTS_REFERENCE_PARSER_H

#include "tv-list.h"

// Same contract as tvParsePiece; `why` may be null.
bool refParsePiece(const char *piece, Tolvane *rec, TvWhy *why);

#endif
