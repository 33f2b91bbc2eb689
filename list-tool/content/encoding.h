// Encoding: seeds in letters, both ways, and whole list lines for an administrator's values.
#ifndef TOLVANE_LIST_CONTENT_ENCODING_H
#define TOLVANE_LIST_CONTENT_ENCODING_H

#include <cstdint>
#include <string>

#include "outcome.h"
#include "tv-list.h"

namespace tl {

// The shortest letters for a seed: base 13, least significant digit first; "" for 0.
std::string seedLetters(uint32 value);

// A seed as a brace group, plainly: its shortest letters; {} for a PUID seed of 0 (any PUID),
// {E} for a registration seed of 0 (empty registration braces look like "any").
std::string seedGroup(uint32 value, bool puid);

// A seed's value read by the list parser itself. `puid` reads it as the PUID seed, where the
// 'Z' rule applies. Refused ("values") with the reason when the letters are not a seed.
Outcome decodeSeed(const std::string &letters, bool puid, uint32 &value, uint64_t &unwrapped);

// One list line for these values, checked by parsing it back: refused ("values") with the
// reason when the pattern would not be read as written, or the line would not fit in one piece.
Outcome encodeLine(uint32 rSeed, uint32 pSeed, const std::string &pattern, const std::string &note,
                   std::string &line);

}  // namespace tl

#endif
